#include "freqtune/article_stats.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lex::freqtune {
namespace fs = std::filesystem;

namespace {

// A huge article still lets the window repaint while it is scanned.
constexpr size_t kScanYieldEvery = size_t(1) << 20;

[[noreturn]] void moveFailed(const fs::path &from, int err) {
    throw LexError("无法移动文章：" + from.string() + "（" + systemErrorText(err) + "）", from);
}

// rename(), or across file systems a copy that replaces `to` in one step and then the removal
// of `from`.
void moveFile(const fs::path &from, const fs::path &to) {
    if (::rename(from.c_str(), to.c_str()) == 0)
        return;
    if (errno != EXDEV)
        moveFailed(from, errno);
    fs::path tmp = to;
    tmp += ".moving";
    std::error_code ec;
    fs::copy_file(from, tmp, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        const int err = ec.value();
        fs::remove(tmp, ec);
        moveFailed(from, err);
    }
    if (::rename(tmp.c_str(), to.c_str()) != 0) {
        const int err = errno;
        fs::remove(tmp, ec);
        moveFailed(from, err);
    }
    if (::unlink(from.c_str()) != 0) {
        const int err = errno;
        fs::remove(to, ec);
        moveFailed(from, err);
    }
}

} // namespace

std::optional<std::u16string> readArticle(const fs::path &path) {
    // Non-blocking, so that a FIFO put in place of an article cannot hang the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        throw LexError("无法打开文件：" + path.string() + "（" + systemErrorText(errno) + "）",
                       path);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(size_t(st.st_size));
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            throw LexError("无法读取文件：" + path.string() + "（" + systemErrorText(err) + "）",
                           path);
        }
        if (n == 0)
            break;
        bytes.append(buf, size_t(n));
    }
    ::close(fd);
    return decodeText(bytes, /*utf16=*/false);
}

fs::path moveArticle(const fs::path &from, const fs::path &folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        // The folder was removed while the tool ran: make it again.
        fs::create_directories(folder, ec);
        if (ec)
            throw LexError("无法创建文件夹：" + folder.string() + "（" +
                               systemErrorText(ec.value()) + "）",
                           folder);
    }
    const fs::path target = folder / from.filename();
    // Moving an article of the read folder onto itself would delete it: it stays.
    if (fs::exists(target, ec) && fs::equivalent(from, target, ec))
        return {};
    moveFile(from, target);
    return target;
}

std::vector<fs::path> listArticles(const fs::path &folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kind;
        if (it->is_regular_file(kind))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end(),
              [](const fs::path &a, const fs::path &b) { return a.filename() < b.filename(); });
    return files;
}

StatisticsRun::StatisticsRun(FrequencyDatabase &db, fs::path readFolder, EventPump &pump, bool move)
    : m_db(db), m_readFolder(std::move(readFolder)), m_move(move) {
    Statement rows(db.handle(), kStatsQuery, db.path());
    std::u16string text;      // the words of all rows, one after the other
    std::vector<size_t> ends; // per walk position: where its word ends in `text`
    while (rows.step()) {
        m_rowid.push_back(rows.integer(5));
        text += rows.text16(2);
        ends.push_back(text.size());
        if ((m_rowid.size() & 4095) == 0)
            pump.yield();
    }
    std::vector<std::u16string_view> words(ends.size());
    for (size_t pos = 0, from = 0; pos < ends.size(); from = ends[pos++])
        words[pos] = std::u16string_view(text).substr(from, ends[pos] - from);
    const auto nodes = m_words.build(words, {.folding = true});
    // Word ids in the order of their first row; the empty word occurs in every text.
    m_idOfNode.assign(m_words.nodeCount(), -1);
    std::vector<int32_t> wordOf(words.size());
    int32_t count = 0;
    for (size_t pos = 0; pos < words.size(); ++pos) {
        if (words[pos].empty()) {
            if (m_emptyWord < 0)
                m_emptyWord = count++;
            wordOf[pos] = m_emptyWord;
        } else {
            int32_t &id = m_idOfNode[nodes[pos]];
            if (id < 0)
                id = count++;
            wordOf[pos] = id;
        }
    }
    // The walk positions of each word's rows, rising.
    m_wordStart.assign(size_t(count) + 1, 0);
    for (int32_t w : wordOf)
        ++m_wordStart[size_t(w) + 1];
    for (size_t i = 1; i < m_wordStart.size(); ++i)
        m_wordStart[i] += m_wordStart[i - 1];
    m_rows.resize(wordOf.size());
    std::vector<int32_t> fill(m_wordStart.begin(), m_wordStart.end() - 1);
    for (size_t pos = 0; pos < wordOf.size(); ++pos)
        m_rows[size_t(fill[size_t(wordOf[pos])]++)] = int32_t(pos);
    m_added.assign(m_rowid.size(), 0);
}

StatisticsRun::~StatisticsRun() = default;

ArticleCount StatisticsRun::countArticle(const fs::path &article, EventPump &pump) {
    ArticleCount result;
    struct stat st {};
    if (::stat(article.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return result;
    // Counted once already in this run and as good as moved: gone.
    const std::pair<uint64_t, uint64_t> id{st.st_dev, st.st_ino};
    if (m_leaving.count(id))
        return result;
    std::optional<std::u16string> text = readArticle(article);
    if (!text)
        return result;
    result.counted = true;
    m_words.clearMarks();
    m_met.clear();
    // A stop seen while scanning is seen at the first row's yield: yields stay latched, and
    // the scan goes on to its end.
    m_words.markOccurrences(
        *text,
        [&] {
            pump.yield();
            return false;
        },
        kScanYieldEvery, &m_met);
    text.reset();
    m_found.clear();
    if (m_emptyWord >= 0)
        m_found.push_back(m_emptyWord);
    for (uint32_t node : m_met)
        if (m_idOfNode[node] >= 0)
            m_found.push_back(m_idOfNode[node]);

    const int64_t rows = rowCount();
    const int64_t cut = pump.yieldMany(rows);
    result.stopped = cut >= 0;
    result.walked = cut >= 0 ? cut + 1 : rows;
    for (int32_t w : m_found) {
        for (int32_t i = m_wordStart[size_t(w)]; i < m_wordStart[size_t(w) + 1]; ++i) {
            const int32_t pos = m_rows[size_t(i)];
            if (pos >= result.walked)
                break;
            if (m_added[size_t(pos)]++ == 0)
                m_touched.push_back(pos);
            ++result.raised;
        }
    }
    m_pending.push_back(article);
    struct stat there {};
    const fs::path target = m_readFolder / article.filename();
    if (::stat(target.c_str(), &there) != 0 || there.st_dev != st.st_dev ||
        there.st_ino != st.st_ino)
        m_leaving.insert(id);
    return result;
}

int StatisticsRun::commit(bool last) {
    if (m_pending.empty()) {
        if (last) // what earlier commits wrote is the whole result
            commitPoint([] {});
        return 0;
    }
    // In rowid order the updates visit each page of the table once.
    std::vector<std::pair<int64_t, int32_t>> raise;
    raise.reserve(m_touched.size());
    for (int32_t pos : m_touched)
        raise.emplace_back(m_rowid[size_t(pos)], m_added[size_t(pos)]);
    std::sort(raise.begin(), raise.end());

    Transaction tx(m_db);
    {
        Statement update(m_db.handle(), "UPDATE WordLib SET Freq = Freq + ?2 WHERE rowid = ?1",
                         m_db.path());
        for (auto [rowid, added] : raise) {
            update.bind(1, rowid);
            update.bind(2, added);
            update.step();
            update.reset();
        }
    }
    // The articles move before the commit: a move that fails undoes the counts, and a commit
    // that fails puts the articles back, so that no article is ever counted twice.
    std::vector<std::pair<fs::path, fs::path>> moved; // from, to
    auto putBack = [&] {
        for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
            try {
                moveFile(it->second, it->first);
            } catch (const std::exception &) {
                // The first failure is the one to report.
            }
        }
    };
    try {
        for (const fs::path &article : m_pending) {
            if (!m_move)
                break;
            fs::path to = moveArticle(article, m_readFolder);
            if (!to.empty())
                moved.emplace_back(article, std::move(to));
        }
        if (last)
            commitPoint([&] { tx.commit(); });
        else
            tx.commit();
    } catch (...) {
        putBack();
        throw;
    }
    const int committed = int(m_pending.size());
    for (int32_t pos : m_touched)
        m_added[size_t(pos)] = 0;
    m_touched.clear();
    m_pending.clear();
    m_leaving.clear();
    return committed;
}

StatisticsResult runStatistics(FrequencyDatabase &db, const std::vector<fs::path> &articles,
                               const fs::path &readFolder, EventPump &pump, bool moveArticles) {
    using Clock = std::chrono::steady_clock;
    StatisticsResult result;
    StatisticsRun run(db, readFolder, pump, moveArticles);
    if (run.empty()) {
        result.noRows = true;
        return result;
    }
    auto lastCommit = Clock::now();
    for (size_t i = 0; i < articles.size(); ++i) {
        pump.setProgress(int64_t(i), int64_t(articles.size()));
        const ArticleCount c = run.countArticle(articles[i], pump);
        result.raised += c.raised;
        if (pump.stopRequested()) {
            result.stopped = true;
            break;
        }
        if (Clock::now() - lastCommit > std::chrono::seconds(kCommitEverySeconds)) {
            result.articles += run.commit();
            lastCommit = Clock::now();
        }
    }
    result.articles += run.commit(true);
    pump.setProgress(int64_t(articles.size()), int64_t(articles.size()));
    return result;
}

} // namespace lex::freqtune
