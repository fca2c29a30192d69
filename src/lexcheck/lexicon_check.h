#pragma once
// The checks of a lexicon: every line of a file of any format the suite reads, judged by the
// shipped data (the readings of every character, the annotation and its review), with one
// finding per fault: the file's own line number, a check, a severity and a Chinese message.
// The same pass records what the safe fixes need, so that fixLexicon() writes the lexicon again
// with only those changes.

#include "shared/formats/format_reader.h"
#include "shared/lexcore/event_pump.h"
#include "shared/pinyin/annotation_data.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lex::lexcheck {

inline constexpr const char *kReadingsFile = "dz.lxd";
inline constexpr const char *kTraditionalFile = "ft.txt";

enum class Severity { Error, Warning, Info };

enum class Check {
    InvalidSyllable,
    CountMismatch,
    UnknownReading,
    Unparsable,
    WeightConflict,
    UeSpelling,
    ReviewReading,
    Duplicate,
    Charset,
    Traditional,
    PrivateUse,
    WeightZero,
    MixedScript,
    LongWord,
};
inline constexpr size_t kCheckCount = 14;

struct CheckInfo {
    Check check;
    const char *id; // "invalid-syllable": what --checks and the findings name
    Severity severity;
    const char *caption; // the window's tick box
};

std::span<const CheckInfo> allChecks();
const CheckInfo &checkInfo(Check check);
std::optional<Check> checkById(std::string_view id);
const char *severityName(Severity severity); // "error", "warning", "info"

// The characters a lexicon promises to hold.
enum class Charset { Any, Gb2312, Gbk, File };

struct CheckOptions {
    std::optional<formats::Format> from; // nullopt: told from each file
    std::bitset<kCheckCount> checks = std::bitset<kCheckCount>().set();
    Charset charset = Charset::Any;
    std::filesystem::path charsetFile; // Charset::File: every character in it is allowed
    size_t longWord = 10;              // more characters than this is a long word
    bool prepareFix = false;           // keep what fixLastFile() needs
};

// The readings every character has in any shipped source ("dz.lxd", "dz.txt", "dy.txt").
class CharReadings {
public:
    void add(char16_t ch, std::u16string_view reading);
    // The readings of `ch`; empty when no source knows it.
    std::span<const std::u16string> of(char16_t ch) const;
    bool has(char16_t ch, std::u16string_view reading) const;
    bool has(char16_t ch, std::string_view reading) const; // ASCII

private:
    std::vector<std::vector<std::u16string>> m_readings =
        std::vector<std::vector<std::u16string>>(65536);
};

// The shipped data the checks read, from a tool folder.
struct CheckData {
    CharReadings readings;
    // Per code unit, the simplified form of a traditional character ("ft.txt"); 0 for others.
    std::vector<char16_t> simplified = std::vector<char16_t>(65536, 0);
    pinyin::AnnotationData annotation;
};
// Reads "dz.lxd", "ft.txt" and the annotation data from `folder`. Throws LexError naming a missing
// file.
CheckData loadCheckData(const std::filesystem::path &folder, EventPump &pump);

struct Finding {
    size_t file = 0;  // index into CheckResult::files
    int64_t line = 0; // the file's own line number, from 1
    Check check = Check::InvalidSyllable;
    bool fixable = false; // the safe fixes repair it
    std::u16string word;
    std::string message; // UTF-8
};

struct CheckResult {
    std::vector<std::string> files; // as given
    std::vector<Finding> findings;  // by file, then line
    std::array<int64_t, kCheckCount> counts{};
    int64_t lines = 0, entries = 0;
    bool stopped = false;

    int64_t count(Severity severity) const;
    // Errors that the safe fixes leave.
    int64_t unfixedErrors() const;
};

// What the safe fixes changed: per changed line, its number, what it was and what it became
// (empty: dropped as a duplicate).
struct FixChange {
    int64_t line;
    std::u16string before, after;
    std::string note;
};
struct FixResult {
    int64_t written = 0;
    std::vector<FixChange> changes;
};

// Line `line` (from 1) of a file as its readers decode it; empty past the end.
std::u16string lineAt(const std::filesystem::path &path, int64_t line);

class LexiconCheck {
public:
    LexiconCheck(CheckOptions options, const CheckData &data, EventPump &pump);
    ~LexiconCheck();

    // Checks one file, appending its findings. Throws LexError when it cannot be read or its
    // format cannot be told.
    void checkFile(const std::filesystem::path &path, const std::string &shownName);
    const CheckResult &result() const { return m_result; }
    CheckResult takeResult();

    // The last file checked (with prepareFix), written to `output` with the safe fixes (ü spelling
    // for its format, lower case and half-width letters in codes, duplicates merged into the line
    // with the larger weight); every other line as it was. The output is replaced atomically.
    FixResult fixLastFile(const std::filesystem::path &output);

private:
    class FileRun;
    CheckOptions m_options;
    const CheckData &m_data;
    EventPump &m_pump;
    CheckResult m_result;
    std::unique_ptr<FileRun> m_last;
    std::bitset<65536> m_charsetFile;
};

} // namespace lex::lexcheck
