#pragma once
// One conversion: a lexicon of one format into a lexicon of another, line by line. Lines that
// cannot be converted go to "<output>.rejects.txt" beside the output (line number, reason, the
// line; a line of an imported Rime dictionary numbered "NAME.dict.yaml:N"); nothing is dropped
// in silence. Codes are completed by annotation where the target
// needs one per character; weights travel, or are given; the same word with the same code
// keeps one line, with the larger weight.
//
// Memory: without deduplication a conversion holds one chunk of the input and nothing per
// line; with it, one record (the line as written, its weight) per distinct entry.

#include "shared/formats/annotator.h"
#include "shared/formats/format_reader.h"
#include "shared/formats/format_writer.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/line_stream.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lex::formats {

inline constexpr const char *kOpenFailed = "打开词库失败！";
inline constexpr const char *kRejectsSuffix = ".rejects.txt";

struct ConvertOptions {
    std::optional<Format> from; // nullopt: told from the file
    Format to = Format::Quillo;
    std::optional<double> weight; // every entry gets this weight
    bool weightByOrder = false;   // falling weights in input order (the first gets the most)
    bool dedup = true;
    bool quilloWeights = false;   // a quillo target keeps weights after a TAB
    std::optional<UeSpelling> ue; // else the target's convention
    // The count an entry without a weight gets (a cost for fcitx5, as counts become); else the
    // least weight of the target.
    std::optional<double> defaultWeight;
    // A Rime source's "import_tables": the dictionaries it names are converted after it into
    // the same output. Always so into another format; into Rime only with this (the header then
    // loses its import_tables), else the header keeps them.
    bool followImports = false;
    // A word without code (a Rime entry that has none, a word list) gets every reading librime
    // would encode it with, each a line, instead of one.
    bool allReadings = false;
};

// A dictionary of "import_tables" that was converted, and the entries read from it.
struct ImportedDictionary {
    std::filesystem::path file;
    int64_t entries = 0;
};

struct ConvertResult {
    bool inputFound = false;
    Format from = Format::Quillo;
    int64_t converted = 0;         // lines written
    int64_t merged = 0;            // duplicates folded into an earlier line
    int64_t annotated = 0;         // entries whose pinyin the annotation completed
    int64_t rejected = 0;          // lines in the rejects file
    int64_t skipped = 0;           // comments, headers, empty lines
    int64_t deleted = 0;           // entries a Rime user deleted
    std::filesystem::path rejects; // the rejects file, when there was a rejection
    // A Rime header kept but for its name, which follows the output file: the names, old and new.
    std::string renamedFrom, renamedTo;
    // Rime's "N%" shares, which no other format has: written without a weight.
    int64_t unconvertibleWeights = 0;
    // The preset vocabulary a Rime source asks for: the file read, or the name not found.
    std::filesystem::path vocabulary;
    std::string missingVocabulary;
    std::vector<ImportedDictionary> imports; // followed, in order
    // Names of import_tables not followed: the source's (into Rime without followImports), and
    // those of the imported dictionaries, which librime does not follow either.
    std::vector<std::string> unfollowedImports, nestedImports;
    // Words without code that have more than one reading: given one (the annotation's), or
    // every one in `readingLines` lines.
    int64_t oneReading = 0, allReadings = 0, readingLines = 0;
};

// The rejects file of `output`.
std::filesystem::path rejectsPath(const std::filesystem::path &output);

// Lines of one format that a caller makes rather than reads from a file (freqtune's rows).
class LineSource {
public:
    virtual ~LineSource() = default;
    // The next line, valid until the next call; false at the end.
    virtual bool next(std::u16string_view &line) = 0;
    // 1-based number of the line next() gave last (the rejects file names lines by it).
    virtual int64_t lineNumber() const = 0;
    // Progress: how far of size() the lines have come; and about how many lines there are.
    virtual uint64_t bytesRead() const = 0;
    virtual uint64_t size() const = 0;
    virtual uint64_t sizeHint() const = 0;
};

// One conversion of the given options. Throws LexError when the input cannot be read or its
// format told, when the output cannot be written, and when annotation is needed without its
// data; the output is then left as it was.
class Conversion {
public:
    Conversion(ConvertOptions options, Annotator &annotator, EventPump &pump);
    // `input` into `output`; nothing is written when `input` is missing (inputFound false).
    ConvertResult convert(const std::filesystem::path &input, const std::filesystem::path &output);
    // The lines of `source`, of format `from`, into `output`. The lines are read once, so
    // weights by order or costs need deduplication.
    ConvertResult convert(LineSource &source, Format from, const std::filesystem::path &output);

private:
    ConvertOptions m_options;
    Annotator &m_annotator;
    EventPump &m_pump;
};

// Conversion(options, annotator, pump).convert(input, output).
ConvertResult convertLexicon(const std::filesystem::path &input,
                             const std::filesystem::path &output, const ConvertOptions &options,
                             Annotator &annotator, EventPump &pump);

// The entries of a lexicon of any format as lines of the suite's standard lexicon, in order
// ("中zhong国guo", pinyin where the source has it): what other tools read.
class StandardLines {
public:
    StandardLines(const std::filesystem::path &path, Format from);
    // The next entry's line (valid until the next call); false at the end.
    bool next(std::u16string_view &line);
    int64_t skipped() const { return m_skipped; } // lines that were no entries
    uint64_t bytesRead() const { return m_in.bytesRead(); }
    uint64_t size() const { return m_in.size(); }

private:
    LineStream m_in;
    FormatReader m_reader;
    FormatWriter m_writer;
    std::u16string m_line;
    int64_t m_skipped = 0;
};

// The completion report: counts, the rejects file, the elapsed time.
std::string convertReport(const ConvertResult &result, const std::string &elapsed);

} // namespace lex::formats
