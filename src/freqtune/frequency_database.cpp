#include "freqtune/frequency_database.h"

#include "freqtune/rime_dictionary.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/size_limits.h"
#include "shared/lexcore/temporary_file.h"
#include "shared/lexcore/text_format.h"
#include "shared/lexcore/utf8.h"

#include <sqlite3.h>

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace lex::freqtune {
namespace fs = std::filesystem;

namespace {

constexpr int kBusyTimeoutMs = 10000;

std::string reasonOf(sqlite3 *db, int code) {
    switch (code & 0xFF) {
    case SQLITE_FULL:
        return systemErrorText(ENOSPC);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "数据库正被其他程序使用";
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return systemErrorText(EACCES);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_ERROR: // a query the file's tables cannot answer
        return "不是有效的词频数据库";
    case SQLITE_NOMEM:
        return systemErrorText(ENOMEM);
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        if (const int err = db ? sqlite3_system_errno(db) : 0; err != 0)
            return systemErrorText(err);
        return systemErrorText(EIO);
    default:
        return "错误代码 " + std::to_string(code);
    }
}

// The frequency table with its five columns, or the file is no frequency database.
void checkTable(sqlite3 *db, const fs::path &path) {
    Statement probe(db, "SELECT * FROM WordLib LIMIT 0", path);
    if (probe.columns() != 5)
        throw LexError("数据库出错：" + path.string() + "（" + reasonOf(db, SQLITE_ERROR) + "）",
                       path);
}

// Flushes a file or folder to the disk; a failure only costs durability, never consistency.
void syncPath(const fs::path &path, bool directory) {
    const int fd = ::open(path.c_str(), (directory ? O_RDONLY | O_DIRECTORY : O_RDWR) | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

fs::path folderOf(const fs::path &path) {
    fs::path dir = path.parent_path();
    return dir.empty() ? fs::path(".") : dir;
}

// The hidden name of a database being built beside `database`: "." name "." six characters.
std::string tempPrefix(const fs::path &database) {
    return "." + database.filename().string() + ".";
}

// A copy of the template being made into a database: removed again unless handed on, also by
// the signal handlers. It holds a lock on the file for as long as it lives, so that the copy a
// killed program left behind can be told from one being built (removeStaleCopies).
class TempDatabase {
public:
    TempDatabase(const fs::path &beside, const fs::path &templateFile)
        : m_file(TemporaryFile::beside(beside, tempPrefix(beside), beside)) {
        copyInto(m_file.fd(), templateFile, beside);
    }
    ~TempDatabase() {
        if (m_db)
            sqlite3_close(m_db);
    }
    TempDatabase(const TempDatabase &) = delete;
    TempDatabase &operator=(const TempDatabase &) = delete;

    // Opens the copy; a template without the table is named as the culprit.
    sqlite3 *open(const fs::path &templateFile) {
        const int rc = sqlite3_open_v2(path().c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK)
            throwDatabaseError(m_db, rc, templateFile);
        checkTable(m_db, templateFile);
        return m_db;
    }
    // Closes the finished database and flushes it to the disk.
    void finish() {
        const int rc = sqlite3_close(m_db);
        if (rc != SQLITE_OK)
            throwDatabaseError(m_db, rc, path());
        m_db = nullptr;
        syncPath(path(), false);
    }
    fs::path path() const { return m_file.path(); }
    // Renamed into place by its owner: no longer removed.
    void release() { m_file.release(); }

private:
    // The template's bytes into `fd`, with the mode of the file it will replace (a new file
    // gets the usual 0666 less the umask).
    static void copyInto(int fd, const fs::path &from, const fs::path &target) {
        struct stat st {};
        mode_t mode;
        if (::stat(target.c_str(), &st) == 0) {
            mode = st.st_mode & 07777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ::fchmod(fd, mode);
        const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0)
            throw LexError("无法打开文件：" + from.string() + "（" + systemErrorText(errno) + "）",
                           from);
        char buf[1 << 16];
        for (;;) {
            ssize_t n = ::read(in, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                const int err = errno;
                ::close(in);
                throw LexError(
                    "无法读取文件：" + from.string() + "（" + systemErrorText(err) + "）", from);
            }
            if (n == 0)
                break;
            for (ssize_t off = 0; off < n;) {
                const ssize_t w = ::write(fd, buf + off, size_t(n - off));
                if (w < 0 && errno == EINTR)
                    continue;
                if (w < 0) {
                    const int err = errno;
                    ::close(in);
                    throw LexError("无法写入文件：" + target.string() + "（" +
                                       systemErrorText(err) + "）",
                                   target);
                }
                off += w;
            }
        }
        ::close(in);
    }

    TemporaryFile m_file;
    sqlite3 *m_db = nullptr;
};

} // namespace

void removeStaleCopies(const fs::path &database) {
    removeStaleTemporaries(folderOf(database), tempPrefix(database));
}

namespace {

void copyTemplate(const fs::path &templateFile, const fs::path &database) {
    if (!fileExists(templateFile))
        throw LexError("找不到文件：" + templateFile.string(), templateFile);
    TempDatabase copy(database, templateFile);
    syncPath(copy.path(), false);
    if (::rename(copy.path().c_str(), database.c_str()) != 0)
        throw LexError("无法写入文件：" + database.string() + "（" + systemErrorText(errno) + "）",
                       database);
    copy.release();
}

} // namespace

[[noreturn]] void throwDatabaseError(sqlite3 *db, int code, const fs::path &path) {
    throw LexError("数据库出错：" + path.string() + "（" + reasonOf(db, code) + "）", path);
}

void execOn(sqlite3 *db, const char *sql, const fs::path &path) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throwDatabaseError(db, rc, path);
}

ToolFiles ToolFiles::in(const ToolFolder &folder) {
    const fs::path dir = folder.writableDir();
    return {folder.writable(kDatabaseFile), folder.shipped(kTemplateFile),
            dir / fs::u8path(kUnreadFolder), dir / fs::u8path(kReadFolder),
            dir / fs::u8path(kLogFile)};
}

void createArticleFolders(const ToolFiles &files) {
    for (const fs::path &dir : {files.unread, files.read}) {
        std::error_code ec;
        if (fs::is_directory(dir, ec))
            continue;
        fs::create_directories(dir, ec);
        if (ec)
            throw LexError(
                "无法创建文件夹：" + dir.string() + "（" + systemErrorText(ec.value()) + "）", dir);
    }
}

// ---- Statement ----

Statement::Statement(sqlite3 *db, const char *sql, const fs::path &path) : m_db(db), m_path(path) {
    const int rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        throwDatabaseError(db, rc, path);
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

bool Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throwDatabaseError(m_db, rc, m_path);
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
}

void Statement::bind(int index, int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
}

void Statement::bindText(int index, std::string_view utf8) {
    sqlite3_bind_text(m_stmt, index, utf8.data(), int(utf8.size()), SQLITE_STATIC);
}

void Statement::bindReal(int index, double value) {
    sqlite3_bind_double(m_stmt, index, value);
}

void Statement::bindNull(int index) {
    sqlite3_bind_null(m_stmt, index);
}

int Statement::columns() const {
    return sqlite3_column_count(m_stmt);
}

int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

double Statement::real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::string_view Statement::text(int column) const {
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    if (!p)
        return {};
    return {p, size_t(sqlite3_column_bytes(m_stmt, column))};
}

std::u16string Statement::text16(int column) const {
    const auto *p = static_cast<const char16_t *>(sqlite3_column_text16(m_stmt, column));
    if (!p)
        return {};
    return {p, size_t(sqlite3_column_bytes16(m_stmt, column)) / 2};
}

// ---- FrequencyDatabase ----

FrequencyDatabase::FrequencyDatabase(const fs::path &database, const fs::path &templateFile,
                                     IfMissing ifMissing) {
    open(database, templateFile, ifMissing);
}

FrequencyDatabase::~FrequencyDatabase() {
    close();
}

void FrequencyDatabase::open(const fs::path &database, const fs::path &templateFile,
                             IfMissing ifMissing) {
    close();
    m_path = database;
    removeStaleCopies(database);
    std::error_code ec;
    const auto status = fs::status(database, ec);
    if (!fs::exists(status)) {
        if (ifMissing == IfMissing::Refuse)
            throw LexError("找不到词频数据库：" + database.string(), database);
        if (ifMissing == IfMissing::Leave)
            return;
        copyTemplate(templateFile, database);
    } else if (!fs::is_regular_file(status)) {
        throw LexError("不是文件：" + database.string(), database);
    }
    openExisting();
}

void FrequencyDatabase::openExisting() {
    const int rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3 *db = m_db;
        m_db = nullptr;
        try {
            throwDatabaseError(db, rc, m_path);
        } catch (...) {
            sqlite3_close(db);
            throw;
        }
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    try {
        checkTable(m_db, m_path);
    } catch (...) {
        close();
        throw;
    }
}

void FrequencyDatabase::close() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

bool FrequencyDatabase::replaced() const {
    int moved = 0;
    return m_db &&
           sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
           moved != 0;
}

void FrequencyDatabase::fail(int code) const {
    throwDatabaseError(m_db, code, m_path);
}

void FrequencyDatabase::exec(const char *sql) {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
}

bool FrequencyDatabase::hasRows() {
    Statement st(m_db, "SELECT 1 FROM WordLib LIMIT 1", m_path);
    return st.step();
}

void FrequencyDatabase::replaceWith(const fs::path &replacement) {
    // No other connection may be half way through a change while the file goes.
    if (m_db)
        exec("BEGIN EXCLUSIVE");
    int err = 0;
    try {
        err = commitRename(replacement.c_str(), m_path.c_str());
    } catch (...) {
        if (m_db)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    if (m_db)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    if (err != 0)
        throw LexError("无法写入文件：" + m_path.string() + "（" + systemErrorText(err) + "）",
                       m_path);
    close();
    syncPath(folderOf(m_path), true);
    openExisting();
}

Transaction::Transaction(FrequencyDatabase &db) : m_db(db) {
    db.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (m_open)
        sqlite3_exec(m_db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    m_db.exec("COMMIT");
    m_open = false;
}

// ---- import ----

namespace {

// A run's size options on a database connection: its temporary files (the sorts of a big export
// or a big import) go to the run's temporary folder when it names one, and with --memory its page
// cache, and with it the memory a sort holds before it spills, takes at most half the bound. The
// connection's defaults come back afterwards.
class SizeLimitsScope {
public:
    SizeLimitsScope(sqlite3 *handle, const fs::path &database, const SizeLimits &limits)
        : m_handle(handle), m_path(database) {
        if (!limits.tempDir.empty()) {
            setFolder(limits.tempDir.string());
            m_folder = true;
        }
        if (limits.memory != 0) {
            m_cache = pragmaValue("PRAGMA cache_size");
            const uint64_t kib = std::max<uint64_t>(limits.memory / 2 / 1024, 256);
            exec("PRAGMA cache_size = -" + std::to_string(kib));
            m_cacheSet = true;
        }
    }
    ~SizeLimitsScope() {
        try {
            if (m_folder)
                setFolder("");
            if (m_cacheSet)
                exec("PRAGMA cache_size = " + std::to_string(m_cache));
        } catch (...) {
        }
    }
    SizeLimitsScope(const SizeLimitsScope &) = delete;
    SizeLimitsScope &operator=(const SizeLimitsScope &) = delete;

private:
    void exec(const std::string &sql) { execOn(m_handle, sql.c_str(), m_path); }
    int64_t pragmaValue(const char *sql) {
        Statement st(m_handle, sql, m_path);
        return st.step() ? st.integer(0) : -2000;
    }
    void setFolder(const std::string &dir) {
        char *sql = sqlite3_mprintf("PRAGMA temp_store_directory = %Q", dir.c_str());
        std::unique_ptr<char, void (*)(void *)> owned(sql, sqlite3_free);
        exec(sql);
    }
    sqlite3 *m_handle;
    fs::path m_path;
    bool m_folder = false;
    bool m_cacheSet = false;
    int64_t m_cache = -2000;
};

} // namespace

ImportResult importLexicon(FrequencyDatabase &db, const fs::path &lexicon,
                           const fs::path &templateFile, EventPump &pump) {
    ImportResult result;
    if (!fileExists(lexicon))
        return result;
    result.found = true;
    if (!fileExists(templateFile))
        throw LexError("找不到文件：" + templateFile.string(), templateFile);
    // A Rime dictionary is read by importRimeRows, a chunk at a time; any other lexicon too big
    // for memory is read so too.
    const bool rime = formats::isRimeDictionary(lexicon);
    const LexiconEncoding encoding = rime ? LexiconEncoding::Utf8 : detectEncoding(lexicon);
    std::optional<LineStream> stream;
    LineReader reader;
    int64_t total = 0;
    std::error_code sizeError;
    if (!rime && !pump.context().fitsInMemory(fs::file_size(lexicon, sizeError) * 3)) {
        stream.emplace(lexicon, encoding);
        total = int64_t(stream->size());
    } else if (!rime) {
        reader.open(lexicon, encoding);
        total = int64_t(reader.countLines());
    }
    auto next = [&](std::u16string_view &line) {
        if (stream)
            return stream->next(line);
        if (reader.atEnd())
            return false;
        line = reader.readLineView();
        return true;
    };

    TempDatabase fresh(db.path(), templateFile);
    sqlite3 *handle = fresh.open(templateFile);
    const SizeLimitsScope limits(handle, db.path(), pump.context().limits());
    auto exec = [&](const char *sql) { execOn(handle, sql, db.path()); };
    // Nobody else knows this file yet, and it only takes the old one's place once complete:
    // it needs neither a journal nor flushes until then.
    exec("PRAGMA journal_mode=OFF");
    exec("PRAGMA synchronous=OFF");
    exec("PRAGMA locking_mode=EXCLUSIVE");
    exec("BEGIN");
    auto insert = std::make_unique<Statement>(
        handle, "INSERT INTO WordLib VALUES (?1, ?2, ?3, ?4, ?5)", db.path());

    if (rime)
        importRimeRows(handle, db.path(), lexicon, *insert, result, pump);
    // Read as code page 936, the words are its double-byte characters (and those it lacks, as
    // ever); read as UTF-8 or UTF-16, every character outside ASCII but the decoders' U+FFFD, a
    // surrogate pair counting once.
    const bool wide = encoding != LexiconEncoding::Ansi936;
    int64_t done = 0;
    bool header = true;
    std::string line8, word8;
    std::u16string word;
    std::u16string_view line;
    while (!rime && next(line)) {
        ++done;
        if (header && !line.empty() && line[0] == u';') {
            ++result.headerLines;
            pump.yield();
            continue;
        }
        header = false;
        word.clear();
        for (char16_t c : line)
            if (wide ? c >= 0x80 && c != u'\uFFFD' : isDoubleByte(c) || lossIn936(c))
                word += c;
        const size_t length = wide ? formats::characterCount(word) : word.size();
        if (length > 1 && length < 50) {
            toUtf8Into(line, line8);
            toUtf8Into(word, word8);
            insert->bind(1, result.rows + 1);
            insert->bindText(2, line8);
            insert->bindText(3, word8);
            insert->bind(4, 0);
            insert->bind(5, int64_t(length));
            insert->step();
            insert->reset();
            ++result.rows;
        } else {
            ++result.dropped;
        }
        if ((done & 4095) == 0)
            pump.setProgress(stream ? int64_t(stream->bytesRead()) : done, total);
        pump.yield();
    }
    insert.reset();
    exec("COMMIT");
    fresh.finish();
    db.replaceWith(fresh.path());
    fresh.release();
    return result;
}

// ---- export ----

bool parseInt16(std::string_view text, int &value) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    long long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || end != text.data() + text.size())
        return false;
    if (ec == std::errc::result_out_of_range) // many digits still make a number
        v = text.front() == '-' ? -32768 : 32767;
    else if (ec != std::errc())
        return false;
    value = int(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
    return true;
}

void clampLengths(const std::string &l1Text, const std::string &l2Text, int &l1, int &l2) {
    if (!parseInt16(l1Text, l1) || l1 < 2 || l1 > 10)
        l1 = 2;
    if (!parseInt16(l2Text, l2) || l2 < l1)
        l2 = l1;
}

namespace {

// The rows an export writes, by falling Freq, filtered by `options`: `row(EntryLine, Freq)` for
// each. False when the table has no row at all.
template <typename Row>
bool forEachExportRow(FrequencyDatabase &db, const ExportOptions &options, EventPump &pump,
                      Row row) {
    Statement rows(db.handle(), kExportQuery, db.path());
    if (!rows.step())
        return false;
    do {
        if (options.freqOnly && rows.integer(3) < 1)
            break;
        const int64_t len = rows.integer(4);
        if (!options.lengthRange || (options.l1 <= len && len <= options.l2))
            row(rows.text(1), rows.integer(3));
        pump.yield();
    } while (rows.step());
    return true;
}

} // namespace

ExportResult exportLexicon(FrequencyDatabase &db, const fs::path &out, const ExportOptions &options,
                           EventPump &pump) {
    const SizeLimitsScope limits(db.handle(), db.path(), pump.context().limits());
    ExportResult result;
    LineWriter writer(out, pump.context());
    result.empty = !forEachExportRow(db, options, pump, [&](std::string_view line, int64_t) {
        writer.writeLine(fromUtf8(line));
        ++result.written;
    });
    writer.close();
    return result;
}

ExportRowLines::ExportRowLines(FrequencyDatabase &db, const char *sql, const ExportOptions &options,
                               EventPump &pump)
    : m_rows(db.handle(), sql, db.path()), m_options(options), m_pump(pump) {
    m_more = m_rows.step();
    m_empty = !m_more;
}

bool ExportRowLines::next(std::u16string_view &line) {
    if (lineBefore(line)) {
        ++m_lineNumber;
        return true;
    }
    while (m_more) {
        const int64_t freq = m_rows.integer(0);
        if (m_options.freqOnly && freq < 1) {
            m_more = false;
            break;
        }
        const int64_t len = m_rows.integer(1);
        const bool wanted = !m_options.lengthRange || (m_options.l1 <= len && len <= m_options.l2);
        if (wanted)
            makeLine(m_rows, m_line);
        m_pump.yield();
        m_more = m_rows.step();
        if (wanted) {
            ++m_lineNumber;
            line = m_line;
            return true;
        }
    }
    return false;
}

namespace {

// The rows an export writes, as lines of a standard lexicon with their frequencies as weights
// after a TAB.
class ExportRows final : public ExportRowLines {
public:
    ExportRows(FrequencyDatabase &db, const ExportOptions &options, EventPump &pump)
        : ExportRowLines(db, "SELECT Freq, WordLen, EntryLine FROM WordLib ORDER BY 1 DESC, SeqNo",
                         options, pump) {}

private:
    void makeLine(const Statement &row, std::u16string &line) override {
        line = fromUtf8(row.text(2));
        line += u'\t';
        for (char c : std::to_string(row.integer(0)))
            line += char16_t(c);
    }
};

} // namespace

ImExportResult exportForInputMethod(FrequencyDatabase &db, const fs::path &out,
                                    const ExportOptions &options, formats::Format format,
                                    formats::Annotator &annotator, EventPump &pump) {
    const SizeLimitsScope limits(db.handle(), db.path(), pump.context().limits());
    if (format == formats::Format::Rime && holdsRimeDictionary(db))
        return exportRimeDictionary(db, out, options, annotator, pump);
    ImExportResult result;
    ExportRows rows(db, options, pump);
    result.empty = rows.empty();
    if (result.empty)
        return result;
    formats::ConvertOptions convert;
    convert.to = format;
    result.conversion =
        formats::Conversion(convert, annotator, pump).convert(rows, formats::Format::Quillo, out);
    return result;
}

// ---- results list ----

std::vector<FrequencyItem> listFrequencies(FrequencyDatabase &db) {
    std::vector<FrequencyItem> items;
    Statement rows(db.handle(), kResultsQuery, db.path());
    while (rows.step()) {
        const int64_t freq = rows.integer(3);
        if (freq < 1)
            break;
        items.push_back({fromUtf8(rows.text(2)), freq});
    }
    return items;
}

std::u16string itemText(const FrequencyItem &item) {
    std::u16string text = item.word;
    text += u"    ";
    for (char c : std::to_string(item.freq))
        text += char16_t(c);
    return text;
}

std::vector<std::u16string> itemTexts(const std::vector<FrequencyItem> &items) {
    std::vector<std::u16string> texts;
    texts.reserve(items.size());
    for (const auto &item : items)
        texts.push_back(itemText(item));
    return texts;
}

void writeFrequencyLog(const fs::path &path, const std::vector<std::u16string> &items,
                       RunContext *run) {
    LineWriter writer(path, TextFormat::gbk(), run);
    for (const auto &item : items)
        writer.writeLine(item);
    writer.close();
}

} // namespace lex::freqtune
