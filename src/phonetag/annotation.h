#pragma once
// Automatic annotation and clearing pinyin, the two operations of the annotation form.
//
// Automatic annotation, per line: InsBlank marks the annotated characters, the word table
// puts in the readings of the words it knows (a marker between two characters keeps an
// already annotated character out of every word), every "0" is deleted (the markers and any
// digit 0 of the lexicon), and FixPinyin gives the remaining bare characters their dictionary
// readings. Clearing pinyin keeps entryWord of every line.

#include "phonetag/char_dictionary.h"
#include "phonetag/word_table.h"

#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace lex {
class LineStream;
}

namespace lex::phonetag {

inline constexpr const char *kOpenFailed = "打开词库失败！";
inline constexpr const char *kDictionaryMissing = "找不到单字表文件“dz.txt”，程序无法运行。";
inline constexpr const char *kWordTableMissing = "找不到词表文件“zn.lxd”，无法智能注音。";

struct LineCountResult {
    bool inputFound = false; // false: nothing was read or written
    int64_t lines = 0;
};

// One lexicon line through the whole annotation. `scratch` is working space.
void annotateLine(std::u16string_view line, const CharDictionary &dict, const WordTable &table,
                  PinyinCounters &counters, std::u16string &out, std::u16string &scratch);
// annotateLine, appended to `out`; `work` is working space too.
void appendAnnotatedLine(std::u16string_view line, const CharDictionary &dict,
                         const WordTable &table, PinyinCounters &counters, std::u16string &out,
                         std::u16string &scratch, std::u16string &work);

// Annotates `input` (either encoding) into `output` (code page 936, CR LF after every line).
// The counters grow by what FixPinyin counted. Throws LexError on unreadable input or
// unwritable output; the output is then left as it was. `opened`, if given, is a stream already
// opened on `input` (a caller that starts decoding it while it loads the data).
LineCountResult autoAnnotate(const std::filesystem::path &input,
                             const std::filesystem::path &output, const CharDictionary &dict,
                             const WordTable &table, PinyinCounters &counters, EventPump &pump,
                             LineStream *opened = nullptr);

// Writes entryWord of every line of `input` to `output`.
LineCountResult clearPinyin(const std::filesystem::path &input, const std::filesystem::path &output,
                            EventPump &pump);

// "共计词条：" + lines, then the elapsed time since `startSecondsOfDay`; the titles of the two
// reports are "自动注音完成！" and "清除拼音完成！".
std::string lineCountReport(int64_t lines, int startSecondsOfDay);
inline constexpr const char *kAnnotateTitle = "自动注音完成！";
inline constexpr const char *kClearTitle = "清除拼音完成！";

} // namespace lex::phonetag
