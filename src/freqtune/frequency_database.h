#pragma once
// The word-frequency database: an SQLite file ("freqtune.mdb") made from the empty template
// "freqtune.mmm", with one table
//     WordLib(SeqNo, EntryLine, WordText, Freq, WordLen)
// addressed by column position only (the queries order by ordinals). One row per imported
// lexicon line; the statistics raise Freq; the export writes EntryLine by falling Freq.
//
// The file stays consistent whatever happens to the program: an import builds the new database
// beside the old one and renames it over the old one only once it is complete, and every
// change of frequencies is one transaction.

#include "shared/formats/conversion.h"
#include "shared/formats/format_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/tool_folder.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace lex::freqtune {

inline constexpr const char *kDatabaseFile = "freqtune.mdb";
inline constexpr const char *kTemplateFile = "freqtune.mmm";
inline constexpr const char *kUnreadFolder = "未阅文章";
inline constexpr const char *kReadFolder = "已阅文章";
inline constexpr const char *kLogFile = "词频.log";
inline constexpr std::string_view kNoRows = "词库表无记录！";
inline constexpr std::string_view kDone = "完成！";

// The queries, with their ordinal columns (two blanks before ORDER, as the tool has always
// sent them).
inline constexpr const char *kExportQuery = "SELECT * FROM WordLib  ORDER BY 4 DESC,1";
inline constexpr const char *kResultsQuery = "SELECT * FROM WordLib  ORDER BY 4 DESC,1 ";
// The statistics cursor "SELECT * FROM WordLib  ORDER BY 4 ,1", with the row's identity after
// the five columns so that a row found in an article can be changed.
inline constexpr const char *kStatsQuery = "SELECT *, rowid FROM WordLib  ORDER BY 4 ,1";

// Where the tool's files are: the database, the template, the article folders, the log.
struct ToolFiles {
    std::filesystem::path database;
    std::filesystem::path templateFile;
    std::filesystem::path unread;
    std::filesystem::path read;
    std::filesystem::path log;

    static ToolFiles in(const ToolFolder &folder);
};

// Creates the two article folders when they are missing.
void createArticleFolders(const ToolFiles &files);

// A prepared statement that finalizes itself; failures throw LexError naming the database.
class Statement {
public:
    Statement(sqlite3 *db, const char *sql, const std::filesystem::path &path);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // True while a row is there; false at the end.
    bool step();
    void reset();
    void bind(int index, int64_t value);
    // UTF-8 text that stays valid until the next step().
    void bindText(int index, std::string_view utf8);
    void bindReal(int index, double value);
    void bindNull(int index);
    int columns() const;
    int64_t integer(int column) const;
    double real(int column) const;
    bool isNull(int column) const;
    std::string_view text(int column) const; // UTF-8; NULL reads as empty
    std::u16string text16(int column) const;

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    const std::filesystem::path &m_path;
};

// What open() does when the database file does not exist.
enum class IfMissing {
    CopyTemplate, // makes it from the template (the window at start)
    Refuse,       // throws LexError naming it: a request that only reads must not create it
    Leave,        // opens nothing; replaceWith() puts the first database in place (an import)
};

class FrequencyDatabase {
public:
    FrequencyDatabase() = default;
    // open(database, templateFile, ifMissing)
    FrequencyDatabase(const std::filesystem::path &database,
                      const std::filesystem::path &templateFile,
                      IfMissing ifMissing = IfMissing::CopyTemplate);
    ~FrequencyDatabase();
    FrequencyDatabase(const FrequencyDatabase &) = delete;
    FrequencyDatabase &operator=(const FrequencyDatabase &) = delete;

    // Opens the database; when it is missing, as `ifMissing` says. Throws LexError when neither
    // it nor the template exists ("找不到文件") or the file is not a frequency database. Removes
    // the hidden copies that killed imports left beside it first (removeStaleCopies).
    void open(const std::filesystem::path &database, const std::filesystem::path &templateFile,
              IfMissing ifMissing = IfMissing::CopyTemplate);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    const std::filesystem::path &path() const { return m_path; }
    sqlite3 *handle() const { return m_db; }

    // True when the file at path() is no longer the one open (another program replaced it).
    bool replaced() const;

    // Runs SQL without results; throws LexError.
    void exec(const char *sql);
    bool hasRows();

    // Puts the complete database `replacement` (a file in the same folder) in place of this
    // one and opens it. Waits for other writers to finish first. The rename is the run's
    // commit point (commitRename): an interrupt before it leaves the old database, one after it
    // is held.
    void replaceWith(const std::filesystem::path &replacement);

    // Throws the LexError for the database's last failure.
    [[noreturn]] void fail(int code) const;

private:
    void openExisting();

    std::filesystem::path m_path;
    sqlite3 *m_db = nullptr;
};

// Removes the hidden copies ("." name "." six characters) that imports killed before they
// finished left beside `database`: those that no running import holds locked.
void removeStaleCopies(const std::filesystem::path &database);

// A write transaction that rolls back unless committed.
class Transaction {
public:
    explicit Transaction(FrequencyDatabase &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    FrequencyDatabase &m_db;
    bool m_open = true;
};

// The text of a database failure for `path`.
[[noreturn]] void throwDatabaseError(sqlite3 *db, int code, const std::filesystem::path &path);
// Runs `sql` on `db`; a failure throws throwDatabaseError's text for `path`.
void execOn(sqlite3 *db, const char *sql, const std::filesystem::path &path);

// ---- import ("导入词库") ----

struct ImportResult {
    bool found = false;      // the lexicon exists (else nothing happened)
    int64_t rows = 0;        // rows added
    int64_t headerLines = 0; // leading ";" lines skipped
    int64_t dropped = 0;     // lines whose word has fewer than 2 or more than 49 characters
    // A Rime dictionary (rime_dictionary.h): every entry is a row, the header is kept, other
    // lines are skipped (comments, empty lines) or dropped (rejected: an entry without text).
    bool rime = false;
    int64_t keptHeader = 0; // header lines kept
    int64_t singles = 0;    // single-character entries
    int64_t skipped = 0;
};

// Replaces the whole table by the lines of `lexicon` (read as code page 936): leading lines
// that begin with ";" are skipped, every other line whose double-byte characters number 2 to
// 49 becomes a row with Freq 0. A lexicon in UTF-8 or UTF-16 is read as such, and every
// character outside ASCII is one of its words, a surrogate pair counting once. A Rime dictionary
// comes in whole (rime_dictionary.h). The old database stays as it was when this fails. `db` may
// be one that IfMissing::Leave left unopened: the import then makes the first one.
ImportResult importLexicon(FrequencyDatabase &db, const std::filesystem::path &lexicon,
                           const std::filesystem::path &templateFile, EventPump &pump);

// ---- export ("导出词库") ----

struct ExportOptions {
    bool freqOnly = false;    // only rows with a frequency; the walk ends at the first without
    bool lengthRange = false; // only words of l1 to l2 characters
    int l1 = 2;
    int l2 = 10;
    // A Rime export of a Rime dictionary's rows: the counts mixed into the dictionary's weights
    // by this share instead of replacing them (RimeWeights).
    std::optional<double> blend;
};

// The option dialog's rule for typed lengths: an L1 that is not a number or lies outside 2..10
// becomes 2; an L2 that is not a number or lies below L1 becomes L1.
void clampLengths(const std::string &l1Text, const std::string &l2Text, int &l1, int &l2);
// A decimal 16-bit integer as the option texts hold it (blanks around it allowed); numbers
// beyond the 16-bit range are clamped to it. False when the text is not a number.
bool parseInt16(std::string_view text, int &value);

struct ExportResult {
    bool empty = false; // the table has no rows: "词库表无记录！", the file written empty
    int64_t written = 0;
};

// Writes EntryLine of the rows by falling Freq, then import order, filtered by `options`.
ExportResult exportLexicon(FrequencyDatabase &db, const std::filesystem::path &out,
                           const ExportOptions &options, EventPump &pump);

// The rows an export writes, by falling Freq and then import order, filtered by the options, one
// by one as the lines of a lexicon for a conversion to read. `sql` gives the rows in that order
// with Freq and WordLen as its first two columns; makeLine() makes the line of one.
class ExportRowLines : public formats::LineSource {
public:
    ExportRowLines(FrequencyDatabase &db, const char *sql, const ExportOptions &options,
                   EventPump &pump);
    // The table has no row at all.
    bool empty() const { return m_empty; }

    bool next(std::u16string_view &line) override;
    int64_t lineNumber() const override { return m_lineNumber; }
    uint64_t bytesRead() const override { return 0; }
    uint64_t size() const override { return 0; }
    uint64_t sizeHint() const override { return 0; }

protected:
    virtual void makeLine(const Statement &row, std::u16string &line) = 0;
    // A line to give before the rows (a header), or false.
    virtual bool lineBefore(std::u16string_view &) { return false; }

private:
    Statement m_rows;
    const ExportOptions &m_options;
    EventPump &m_pump;
    std::u16string m_line;
    int64_t m_lineNumber = 0;
    bool m_more = false, m_empty = true;
};

// The same rows for another input method: a Rime dictionary or an fcitx5 text dictionary whose
// weights are the frequencies (pinyin completed by annotation where a line lacks it; lines that
// cannot be converted go to the rejects file beside `out`). A Rime export of the rows of a Rime
// dictionary gives that dictionary back (rime_dictionary.h).
struct ImExportResult {
    bool empty = false;
    formats::ConvertResult conversion;
    bool asImported = false;     // the Rime dictionary imported, its header and columns kept
    int64_t headerLines = 0;     // header lines written back
    int64_t singles = 0;         // single-character entries written
    bool noWeightColumn = false; // its columns have no weight: the counts could not be written
};
ImExportResult exportForInputMethod(FrequencyDatabase &db, const std::filesystem::path &out,
                                    const ExportOptions &options, formats::Format format,
                                    formats::Annotator &annotator, EventPump &pump);

// ---- the results list and "词频.log" ----

struct FrequencyItem {
    std::u16string word;
    int64_t freq;
};

// Every row with a frequency, by falling Freq, then import order.
std::vector<FrequencyItem> listFrequencies(FrequencyDatabase &db);
// One list item: the word, four blanks, the frequency in decimal.
std::u16string itemText(const FrequencyItem &item);
std::vector<std::u16string> itemTexts(const std::vector<FrequencyItem> &items);
// "词频.log": the items, one per line (code page 936, CR LF), replacing the file.
void writeFrequencyLog(const std::filesystem::path &path, const std::vector<std::u16string> &items,
                       RunContext *run = nullptr);

} // namespace lex::freqtune
