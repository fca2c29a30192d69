#pragma once
// Fixed-top lexicon generation: every entry of a standard lexicon becomes "code=word", the code
// made of the pinyin of each character (its annotation, or its reading from "dz.lxd"), joined
// by the syllable separator, optionally shortened or dropped for words of four or more
// characters. Only "-" is taken out of the codes again, so any other separator stays.

#include "pintop/char_readings.h"

#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace lex::pintop {

// What happens to the codes of words longer than three characters.
enum class LongWords {
    Keep,     // the full code (the exception box cleared)
    Initials, // the first letter of every syllable
    First6,   // the first six letters of the whole code
    Omit,     // the word is left out and not counted
};

struct GenerateOptions {
    LongWords longWords = LongWords::Keep;
    char16_t separator = u'-';
};

// The separator given by the program's whole argument text: that character when the text is
// exactly one code unit long, "-" otherwise.
char16_t separatorFromArguments(std::u16string_view argumentText);

// Splits an annotated line (not empty) into its word and its code. A line that does not start
// with a character of a word (cp936.h's WordUnits) gives the empty word and the code ";".
// Annotation letters after a character replace its reading (converted through the table while one
// is in use).
void parseStandardLine(std::u16string_view line, char16_t separator, const PintopData &data,
                       std::u16string &word, std::u16string &code,
                       WordUnits units = WordUnits::narrow());

// Keeps the first character of every syllable, each preceded by the separator
// ("zhong-hua-ren-min" -> "z-h-r-m").
std::u16string initialsCode(std::u16string_view code, char16_t separator);
void initialsCode(std::u16string_view code, char16_t separator, std::u16string &out);

// Shapes a parsed code by the long-word mode; false when the line is to be dropped.
// `scratch` is working space that the caller may reuse from line to line.
bool shapeCode(std::u16string &code, size_t wordLength, LongWords mode, char16_t separator,
               std::u16string &scratch);

struct GenerateResult {
    bool inputFound = false; // false: nothing was read or written
    int64_t count = 0;       // lines written
    // Of another program's lexicon, read for its entries: its format and the lines that were no
    // entries, for the report; empty for the suite's own.
    std::string shape;
};

// Reads `input` (either encoding) and writes the fixed-top lexicon to `output` in code page
// 936. `data` and `options` are read afresh for every line: the window may reload the readings
// or change the options while the run yields. Throws LexError on unreadable input or
// unwritable output; the output is then left as it was.
GenerateResult generateFixedTop(const std::filesystem::path &input,
                                const std::filesystem::path &output, const PintopData &data,
                                const GenerateOptions &options, EventPump &pump);

// "固顶词库词条：" + count, then the elapsed time since `startSecondsOfDay`.
std::string generateReport(int64_t count, int startSecondsOfDay);

inline constexpr const char *kOpenFailed = "打开词库失败！";

} // namespace lex::pintop
