#include "freqtune/corpus_stats.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/partial_counts.h"
#include "shared/lexcore/text_format.h"
#include "shared/lexcore/utf8.h"
#include "shared/lexcore/word_automaton.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

namespace lex::freqtune {
namespace {

constexpr const char *kKind = "freqtune";
constexpr size_t kBuffer = size_t(1) << 20;

std::u16string folded(std::u16string_view w) {
    std::u16string s(w);
    foldCase(s);
    return s;
}

// FNV-1a over the sorted distinct words, with their number in front.
std::string fingerprintOf(std::vector<std::u16string> words) {
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    uint64_t h = 0xCBF29CE484222325ull;
    for (const auto &w : words) {
        for (char16_t c : w)
            h = (h ^ c) * 0x100000001B3ull;
        h = (h ^ 0x10000u) * 0x100000001B3ull;
    }
    char hex[17];
    for (int i = 15; i >= 0; --i, h >>= 4)
        hex[i] = "0123456789abcdef"[h & 15];
    hex[16] = 0;
    return std::to_string(words.size()) + "-" + hex;
}

// The rows' words: the automaton, the word id of each word node, and the folded text of each
// word id.
struct DatabaseWords {
    WordAutomaton automaton;
    std::vector<int32_t> idOfNode;
    int32_t emptyWord = -1; // the id of the empty word, if a row has it: it occurs everywhere
    std::vector<std::u16string> text;
    int64_t rows = 0;

    explicit DatabaseWords(FrequencyDatabase &db) {
        std::vector<std::u16string> all;
        Statement st(db.handle(), kStatsQuery, db.path());
        while (st.step()) {
            all.push_back(st.text16(2));
            ++rows;
        }
        const std::vector<std::u16string_view> views(all.begin(), all.end());
        const auto nodes = automaton.build(views, {.folding = true});
        idOfNode.assign(automaton.nodeCount(), -1);
        for (size_t i = 0; i < all.size(); ++i) {
            int32_t &id = all[i].empty() ? emptyWord : idOfNode[nodes[i]];
            if (id < 0) {
                id = int32_t(text.size());
                text.push_back(folded(all[i]));
            }
        }
    }
};

// One scan of a text handed over in pieces, with marks of its own, so that several threads can
// scan with the one automaton.
class WordScanner {
public:
    explicit WordScanner(const DatabaseWords &words)
        : m_words(words), m_seen(words.automaton.nodeCount(), 0u) {}

    // Starts a new text; found() is emptied.
    void begin() {
        if (++m_scan == 0) { // wrapped: forget the old marks
            std::fill(m_seen.begin(), m_seen.end(), 0u);
            m_scan = 1;
        }
        m_state = 0;
        m_found.clear();
        if (m_words.emptyWord >= 0)
            m_found.push_back(m_words.emptyWord);
    }
    // The next piece of the text.
    void feed(std::u16string_view text) {
        const WordAutomaton &a = m_words.automaton;
        uint32_t state = m_state;
        for (const char16_t c : text) {
            state = a.step(state, c);
            // A node met in this scan has its whole chain met already.
            for (uint32_t w = a.wordAt(state); w != WordAutomaton::kNoNode && m_seen[w] != m_scan;
                 w = a.nextWord(w)) {
                m_seen[w] = m_scan;
                m_found.push_back(m_words.idOfNode[w]);
            }
        }
        m_state = state;
    }
    // The ids of the words that occurred in the text so far, each once.
    const std::vector<int32_t> &found() const { return m_found; }

private:
    const DatabaseWords &m_words;
    uint32_t m_state = 0;
    uint32_t m_scan = 0;
    std::vector<uint32_t> m_seen; // per node: the scan that last met it
    std::vector<int32_t> m_found;
};

// Reads one file as an article, a buffer at a time, into a scanner.
class ArticleReader {
public:
    ArticleReader(const DatabaseWords &words, const std::atomic<bool> &cancel,
                  std::atomic<uint64_t> &consumed)
        : m_scanner(words), m_cancel(cancel), m_consumed(consumed) {}

    // The ids of the words the file holds.
    const std::vector<int32_t> &scan(const CorpusFile &file) {
        if (!scanOnce(file, false))
            scanOnce(file, true); // began as UTF-8 but is not: code page 936 after all
        return m_scanner.found();
    }

private:
    // False when a file read as UTF-8 turned out not to be.
    bool scanOnce(const CorpusFile &file, bool asCp936) {
        enum class Mode {
            Undecided,
            Guess,
            Decided
        } mode = asCp936 ? Mode::Decided : Mode::Undecided;
        LexiconEncoding enc = LexiconEncoding::Ansi936;
        CorpusReader reader(file);
        m_scanner.begin();
        Utf8Validator valid;
        m_bytes.resize(kBuffer + 16);
        size_t carry = 0;
        uint64_t reported = 0;
        bool first = true;
        for (;;) {
            if (m_cancel)
                throw Interrupted(0);
            const size_t got = first ? reader.readFull(m_bytes.data(), kBuffer)
                                     : reader.read(m_bytes.data() + carry, kBuffer);
            const bool eof = got == 0 || (first && got < kBuffer);
            m_consumed += reader.consumed() - reported;
            reported = reader.consumed();
            std::string_view view(m_bytes.data(), carry + got);
            if (first && !asCp936 && view.starts_with("\xEF\xBB\xBF")) {
                mode = Mode::Decided;
                enc = LexiconEncoding::Utf8;
                view.remove_prefix(3);
            }
            first = false;
            const std::string_view fresh = view.substr(view.size() - std::min(view.size(), got));
            if (mode == Mode::Guess && !valid.feed(fresh))
                return false;
            if (mode == Mode::Undecided) {
                const auto high = std::find_if(fresh.begin(), fresh.end(),
                                               [](char c) { return uint8_t(c) >= 0x80; });
                if (high != fresh.end()) {
                    const bool ok = valid.feed(fresh.substr(size_t(high - fresh.begin())));
                    mode = ok ? Mode::Guess : Mode::Decided;
                    enc = ok ? LexiconEncoding::Utf8 : LexiconEncoding::Ansi936;
                }
            }
            m_text.resize(view.size() + 1);
            size_t consumed = 0;
            bool nul = false;
            m_ends.clear();
            char16_t *end = enc == LexiconEncoding::Utf8
                                ? decodeUtf8Lines(view, m_text.data(), eof, consumed, nul,
                                                  m_text.data(), m_ends)
                                : decode936Lines(view, m_text.data(), eof, consumed, nul,
                                                 m_text.data(), m_ends);
            m_text.resize(size_t(end - m_text.data()));
            foldCase(m_text);
            m_scanner.feed(m_text);
            if (eof)
                return mode != Mode::Guess || valid.complete();
            carry = view.size() - consumed;
            std::memmove(m_bytes.data(), view.data() + consumed, carry);
            if (m_bytes.size() < carry + kBuffer)
                m_bytes.resize(carry + kBuffer);
        }
    }

    WordScanner m_scanner;
    const std::atomic<bool> &m_cancel;
    std::atomic<uint64_t> &m_consumed;
    std::string m_bytes;
    std::u16string m_text;
    LineEnds m_ends;
};

} // namespace

std::string databaseWordsFingerprint(FrequencyDatabase &db) {
    std::vector<std::u16string> words;
    Statement st(db.handle(), kStatsQuery, db.path());
    while (st.step())
        words.push_back(folded(st.text16(2)));
    return fingerprintOf(std::move(words));
}

ArticleCounts countArticles(FrequencyDatabase &db, const std::vector<CorpusFile> &files,
                            int threads, EventPump &pump, bool &noRows) {
    ArticleCounts out;
    const DatabaseWords words(db);
    noRows = words.rows == 0;
    if (noRows)
        return out;
    out.fingerprint = fingerprintOf(words.text);
    out.articles = int64_t(files.size());

    const size_t n = size_t(std::clamp(threads, 1, int(std::max<size_t>(files.size(), 1))));
    std::vector<std::vector<int64_t>> counts(n);
    std::atomic<size_t> next{0};
    std::atomic<uint64_t> consumed{0};
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::condition_variable finished;
    size_t running = n;
    std::exception_ptr failure;
    std::vector<std::thread> workers;
    for (size_t t = 0; t < n; ++t) {
        workers.emplace_back([&, t] {
            try {
                std::vector<int64_t> &mine = counts[t];
                mine.assign(words.text.size(), 0);
                ArticleReader reader(words, cancel, consumed);
                for (size_t i; (i = next++) < files.size() && !cancel;)
                    for (int32_t id : reader.scan(files[i]))
                        ++mine[size_t(id)];
            } catch (...) {
                std::lock_guard lock(mutex);
                if (!failure && !cancel)
                    failure = std::current_exception();
                cancel = true;
            }
            std::lock_guard lock(mutex);
            --running;
            finished.notify_all();
        });
    }
    uint64_t total = 0;
    for (const CorpusFile &f : files)
        total += f.size;
    try {
        for (;;) {
            {
                std::unique_lock lock(mutex);
                if (finished.wait_for(lock, std::chrono::milliseconds(50),
                                      [&] { return running == 0; }))
                    break;
            }
            pump.setProgress(int64_t(consumed.load()), int64_t(total));
            pump.yieldNow(); // an interrupt throws here
        }
    } catch (...) {
        cancel = true;
        for (auto &w : workers)
            w.join();
        throw;
    }
    for (auto &w : workers)
        w.join();
    if (failure)
        std::rethrow_exception(failure);
    pump.setProgress(int64_t(total), int64_t(total));

    for (size_t id = 0; id < words.text.size(); ++id) {
        int64_t sum = 0;
        for (const auto &c : counts)
            sum += c[id];
        if (sum > 0)
            out.words.emplace_back(words.text[id], sum);
    }
    std::sort(out.words.begin(), out.words.end());
    return out;
}

int64_t applyArticleCounts(FrequencyDatabase &db, const ArticleCounts &counts) {
    std::vector<std::pair<int64_t, int64_t>> raise; // rowid, count
    std::vector<std::u16string> words;
    {
        Statement st(db.handle(), kStatsQuery, db.path());
        while (st.step()) {
            std::u16string w = folded(st.text16(2));
            const auto it = std::lower_bound(
                counts.words.begin(), counts.words.end(), w,
                [](const auto &item, const std::u16string &key) { return item.first < key; });
            if (it != counts.words.end() && it->first == w)
                raise.emplace_back(st.integer(5), it->second);
            words.push_back(std::move(w));
        }
    }
    if (!counts.fingerprint.empty() && fingerprintOf(std::move(words)) != counts.fingerprint)
        throw LexError("部分计数不是用这个词频数据库的词统计的：" + db.path().string(), db.path());
    std::sort(raise.begin(), raise.end());
    int64_t added = 0;
    Transaction tx(db);
    {
        Statement update(db.handle(), "UPDATE WordLib SET Freq = Freq + ?2 WHERE rowid = ?1",
                         db.path());
        for (auto [rowid, n] : raise) {
            update.bind(1, rowid);
            update.bind(2, n);
            update.step();
            update.reset();
            added += n;
        }
    }
    commitPoint([&] { tx.commit(); });
    return added;
}

void writeArticlePartial(const ArticleCounts &counts, const std::filesystem::path &path) {
    PartialWriter w(path, kKind);
    w.field("articles", std::to_string(counts.articles));
    w.field("words-of", counts.fingerprint);
    w.words(int64_t(counts.words.size()));
    for (const auto &[word, n] : counts.words)
        w.word(word, n);
    w.close();
}

ArticleCounts mergeArticlePartials(const std::vector<std::filesystem::path> &paths) {
    ArticleCounts out;
    std::vector<std::unique_ptr<PartialReader>> inputs;
    for (const auto &p : paths) {
        auto in = std::make_unique<PartialReader>(p);
        if (in->kind() != kKind)
            throw LexError("不是 freqtune 的部分计数：" + p.string(), p);
        const std::string of = in->required("words-of");
        if (inputs.empty())
            out.fingerprint = of;
        else if (of != out.fingerprint)
            throw LexError("部分计数不是用同一词频数据库统计的：" + p.string(), p);
        const std::string articles = in->required("articles");
        int64_t count = 0;
        const auto r = std::from_chars(articles.data(), articles.data() + articles.size(), count);
        if (r.ec != std::errc() || r.ptr != articles.data() + articles.size() || count < 0)
            throw LexError("部分计数文件已损坏：" + p.string() + "（articles）", p);
        out.articles += count;
        inputs.push_back(std::move(in));
    }
    mergeSorted(inputs, [&](std::string_view word, int64_t n) {
        out.words.emplace_back(fromUtf8(word), n);
    });
    return out;
}

} // namespace lex::freqtune
