#include "bigseg/corpus_count.h"

#include "bigseg/word_counts.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/text_format.h"
#include "shared/lexcore/utf8.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace lex::bigseg {
namespace {

// ---- the chunks and their workers ----

enum class Mode { Undecided, Guess, Decided };

struct Task {
    int32_t file = 0;
    int32_t epoch = 0;
    int64_t seq = 0;
    LexiconEncoding encoding = LexiconEncoding::Ansi936;
    bool guessed = false;  // UTF-8 by its beginning only: the worker checks its bytes
    bool final = false;    // the file's last bytes
    bool wideRuns = false; // RunUnits::of(wide)
    int sign = 1;
    std::string bytes;
};

struct Fragment {
    int32_t file, epoch;
    int64_t seq;
    bool whole;
    std::u16string head, tail;
    bool hasText;
};

// Where a chunk that begins at the start of `b` (a place between two characters) ends: after the
// first line end between `from` and 2 * `from` bytes, else at the first place from `from` on
// where the text may be cut without changing how it decodes; npos when `b` is too short to say.
size_t findCut(std::string_view b, size_t from, LexiconEncoding enc) {
    const size_t window = std::min(b.size(), 2 * from);
    if (enc == LexiconEncoding::Utf16Le) {
        const size_t even = from + (from & 1);
        for (size_t i = even; i + 1 < window; i += 2)
            if (b[i] == '\n' && b[i + 1] == '\0')
                return i + 2;
        return even < b.size() ? even : std::string_view::npos;
    }
    if (const void *lf =
            from < window ? std::memchr(b.data() + from, '\n', window - from) : nullptr)
        return size_t(static_cast<const char *>(lf) - b.data()) + 1;
    const auto at = [&](size_t i) { return uint8_t(b[i]); };
    if (enc == LexiconEncoding::Utf8) {
        // Before a byte that starts a character, or after three continuation bytes in a row
        // (no sequence reaches further back, and a lone continuation byte stands alone).
        for (size_t i = from; i < b.size(); ++i)
            if ((at(i) & 0xC0) != 0x80 ||
                (i >= 3 && (at(i - 1) & 0xC0) == 0x80 && (at(i - 2) & 0xC0) == 0x80 &&
                 (at(i - 3) & 0xC0) == 0x80))
                return i;
        return std::string_view::npos;
    }
    // Code page 936: the pairs from the start, as the decoder takes them.
    size_t i = 0;
    while (i < from) {
        const uint8_t c = at(i);
        if (c >= 0x81 && c <= 0xFE) {
            if (i + 1 >= b.size())
                return std::string_view::npos;
            const uint8_t t = at(i + 1);
            i += t >= 0x40 && t <= 0xFE && t != 0x7F ? 2 : 1;
        } else {
            ++i;
        }
    }
    return i < b.size() ? i : std::string_view::npos;
}

class TaskQueue {
public:
    explicit TaskQueue(size_t capacity) : m_capacity(capacity) {}

    std::unique_ptr<Task> spare() {
        std::lock_guard lock(m_mutex);
        if (m_free.empty())
            return std::make_unique<Task>();
        auto t = std::move(m_free.back());
        m_free.pop_back();
        return t;
    }
    // False while the queue is full after `wait`; the caller polls meanwhile.
    bool tryPush(std::unique_ptr<Task> &t, std::chrono::milliseconds wait) {
        std::unique_lock lock(m_mutex);
        if (m_tasks.size() >= m_capacity && !m_notFull.wait_for(lock, wait, [&] {
                return m_tasks.size() < m_capacity || m_closed;
            }))
            return false;
        m_tasks.push_back(std::move(t));
        ++m_pending;
        m_notEmpty.notify_one();
        return true;
    }
    std::unique_ptr<Task> pop() {
        std::unique_lock lock(m_mutex);
        m_notEmpty.wait(lock, [&] { return !m_tasks.empty() || m_closed; });
        if (m_tasks.empty())
            return nullptr;
        auto t = std::move(m_tasks.front());
        m_tasks.pop_front();
        m_notFull.notify_one();
        return t;
    }
    void done(std::unique_ptr<Task> t) {
        std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(t));
        if (--m_pending == 0)
            m_idle.notify_all();
    }
    // A task that was never pushed.
    void recycle(std::unique_ptr<Task> t) {
        std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(t));
    }
    bool waitIdle(std::chrono::milliseconds wait) {
        std::unique_lock lock(m_mutex);
        return m_idle.wait_for(lock, wait, [&] { return m_pending == 0 || m_closed; });
    }
    void close() {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_tasks.clear();
        m_notEmpty.notify_all();
        m_notFull.notify_all();
        m_idle.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_notEmpty, m_notFull, m_idle;
    std::deque<std::unique_ptr<Task>> m_tasks;
    std::vector<std::unique_ptr<Task>> m_free;
    size_t m_capacity;
    size_t m_pending = 0; // pushed and not done
    bool m_closed = false;
};

// One count over the corpus: the reading and cutting on the calling thread, the chunks on the
// workers.
class Counter {
public:
    Counter(const std::vector<CorpusFile> &files, const SegmentLexicon &lexicon,
            const CountSettings &settings, EventPump &pump)
        : m_files(files), m_lexicon(lexicon), m_settings(settings), m_pump(pump),
          m_chunk(std::max<size_t>(settings.chunkSize, 1)),
          m_queue(size_t(std::max(settings.threads, 1)) * 2 + 1), m_state(files.size()),
          m_flipped(new std::atomic<bool>[files.size() + 1]),
          m_tables(size_t(std::max(settings.threads, 1))) {
        for (size_t i = 0; i < files.size(); ++i)
            m_flipped[i] = false;
        for (const CorpusFile &f : files)
            m_totalBytes += f.size;
    }

    CorpusCounts run();

private:
    struct Range {
        uint64_t offset;
        size_t length;
        bool final;
    };
    struct FileState {
        int32_t epoch = 0;
        LexiconEncoding encoding = LexiconEncoding::Ansi936;
        std::vector<Range> guessed; // the chunks dispatched as UTF-8 before it was sure
        std::optional<bool> crlf;
        char last[2] = {0, 0}; // the last bytes before the chunk, the last one first
    };

    void work(size_t index);
    void process(Task &t, WordCounts &counts, RunCounter &runs, std::u16string &text);
    void readFile(int32_t f, bool asCp936);
    void recount(int32_t f);
    void dispatch(std::unique_ptr<Task> &t);
    void poll();
    void rethrowWorkerFailure();
    void noteLineEnd(FileState &st, std::string_view bytes, LexiconEncoding enc);
    // The runs of a chunk read in `enc`: as forced, as the first file holding text was read, or
    // (a chunk of that file) as it is read.
    bool wideRuns(LexiconEncoding enc) const {
        if (m_settings.wideRuns)
            return *m_settings.wideRuns;
        return m_wideRuns ? *m_wideRuns : enc == LexiconEncoding::Utf8;
    }
    void drainFlips();

    const std::vector<CorpusFile> &m_files;
    const SegmentLexicon &m_lexicon;
    const CountSettings &m_settings;
    EventPump &m_pump;
    // The wide runs of the chunks after the first file holding text, once it is read.
    std::optional<bool> m_wideRuns;
    size_t m_chunk;
    TaskQueue m_queue;
    std::vector<FileState> m_state;
    std::unique_ptr<std::atomic<bool>[]> m_flipped;
    std::vector<WordCounts> m_tables;

    std::mutex m_mutex; // guards what the workers hand back
    std::vector<Fragment> m_fragments;
    std::vector<int32_t> m_flips;
    std::exception_ptr m_failure;
    std::atomic<bool> m_failed{false};

    uint64_t m_totalBytes = 0;
    uint64_t m_doneBytes = 0; // of the files read through
};

void Counter::work(size_t index) {
    try {
        RunCounter runs(m_lexicon, m_chunk * 2, m_settings.splitBelow);
        std::u16string text;
        while (auto t = m_queue.pop()) {
            if (!m_failed)
                process(*t, m_tables[index], runs, text);
            m_queue.done(std::move(t));
        }
    } catch (...) {
        std::lock_guard lock(m_mutex);
        if (!m_failure)
            m_failure = std::current_exception();
        m_failed = true;
        m_queue.close();
    }
}

void Counter::process(Task &t, WordCounts &counts, RunCounter &runs, std::u16string &text) {
    text.clear();
    switch (t.encoding) {
    case LexiconEncoding::Utf16Le:
        text.resize((t.bytes.size() + 1) / 2);
        std::memcpy(text.data(), t.bytes.data(), t.bytes.size() & ~size_t(1));
        if (t.bytes.size() & 1) // a dangling last byte is no character
            text.back() = 0xFFFD;
        break;
    case LexiconEncoding::Utf8:
        decodeUtf8(t.bytes, text);
        break;
    case LexiconEncoding::Ansi936:
        decode936(t.bytes, text);
        break;
    }
    const RunUnits runUnit = RunUnits::of(WordUnits::of(t.wideRuns));
    const size_t n = text.size();
    size_t firstSep = std::u16string::npos, lastSep = 0, start = 0;
    bool inRun = false, replaced = false;
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (runUnit(c)) {
            if (!inRun) {
                inRun = true;
                start = i;
            }
            continue;
        }
        if (c == 0) // the reader refuses such a file, and so does the count
            throw LexError("不是文本文件：" + m_files[size_t(t.file)].name(),
                           m_files[size_t(t.file)].path);
        replaced |= c == 0xFFFD;
        if (inRun) {
            inRun = false;
            if (start > 0) // a run at the start is the head, counted with its neighbours
                runs.count(std::u16string_view(text).substr(start, i - start), counts, t.sign);
        }
        if (firstSep == std::u16string::npos)
            firstSep = i;
        lastSep = i;
    }
    if (t.guessed && replaced) {
        // Some bytes were no UTF-8, or the UTF-8 held U+FFFD itself: only the bytes tell.
        Utf8Validator v;
        if (!v.feed(t.bytes) || !v.complete()) {
            const int32_t f = t.file;
            if (!m_flipped[size_t(f)].exchange(true)) {
                std::lock_guard lock(m_mutex);
                m_flips.push_back(f);
            }
        }
    }
    if (t.sign < 0)
        return;
    Fragment frag{t.file, t.epoch, t.seq, firstSep == std::u16string::npos, {}, {}, n > 0};
    const std::u16string_view all(text);
    if (frag.whole) {
        frag.head = all;
    } else {
        frag.head = all.substr(0, firstSep);
        frag.tail = all.substr(lastSep + 1);
    }
    std::lock_guard lock(m_mutex);
    m_fragments.push_back(std::move(frag));
}

void Counter::rethrowWorkerFailure() {
    if (!m_failed)
        return;
    std::lock_guard lock(m_mutex);
    std::rethrow_exception(m_failure);
}

void Counter::poll() {
    rethrowWorkerFailure();
    m_pump.yieldNow(); // progress, and an interrupt throws here
}

void Counter::dispatch(std::unique_ptr<Task> &t) {
    while (!m_queue.tryPush(t, std::chrono::milliseconds(50))) {
        poll();
    }
    rethrowWorkerFailure();
}

void Counter::noteLineEnd(FileState &st, std::string_view b, LexiconEncoding enc) {
    if (st.crlf)
        return;
    const size_t unit = enc == LexiconEncoding::Utf16Le ? 2 : 1;
    // The bytes before `at`, those of the chunk before included.
    const auto before = [&](size_t at, size_t back) {
        return at >= back ? b[at - back] : st.last[back - at - 1];
    };
    for (size_t i = 0; i + unit <= b.size(); i += unit) {
        if (b[i] != '\n' || (unit == 2 && b[i + 1] != '\0'))
            continue;
        st.crlf = before(i, unit) == '\r' && (unit == 1 || before(i, 1) == '\0');
        return;
    }
    for (size_t k = 0; k < 2 && k < b.size(); ++k)
        st.last[k] = b[b.size() - 1 - k];
}

void Counter::readFile(int32_t f, bool asCp936) {
    const CorpusFile &file = m_files[size_t(f)];
    FileState &st = m_state[size_t(f)];
    CorpusReader reader(file);
    Mode mode = asCp936 ? Mode::Decided : Mode::Undecided;
    LexiconEncoding enc = LexiconEncoding::Ansi936;
    auto t = m_queue.spare();
    t->bytes.clear();
    bool eof = false;
    // Reads until the chunk holds `size` bytes or the file ends.
    auto fill = [&](size_t size) {
        std::string &buf = t->bytes;
        while (!eof && buf.size() < size) {
            const size_t at = buf.size();
            buf.resize(size);
            const size_t got = reader.read(buf.data() + at, size - at);
            buf.resize(at + got);
            eof = got == 0;
        }
    };
    fill(3);
    uint64_t offset = 0;
    bool held = false; // a chunk of text was dispatched
    if (!asCp936) {
        // The marks, as detectEncoding tells them.
        if (t->bytes.starts_with("\xFF\xFE")) {
            mode = Mode::Decided;
            enc = LexiconEncoding::Utf16Le;
            offset = 2;
        } else if (t->bytes.starts_with("\xEF\xBB\xBF")) {
            mode = Mode::Decided;
            enc = LexiconEncoding::Utf8;
            offset = 3;
        }
        t->bytes.erase(0, offset);
    }
    int64_t seq = 0;
    for (size_t want = 2 * m_chunk;;) {
        fill(want);
        std::string &buf = t->bytes;
        if (buf.empty())
            break;
        if (mode == Mode::Undecided) {
            // UTF-8 only if its first non-ASCII bytes are; a code page 936 file is told here.
            const auto high =
                std::find_if(buf.begin(), buf.end(), [](char c) { return uint8_t(c) >= 0x80; });
            if (high != buf.end()) {
                // A look at the first bytes is enough for code page 936 text, which is no UTF-8
                // from its first characters on; the workers check the rest.
                Utf8Validator v;
                const bool ok = v.feed(std::string_view(
                    &*high, std::min<size_t>(size_t(buf.end() - high), size_t(64) << 10)));
                mode = ok ? Mode::Guess : Mode::Decided;
                enc = ok ? LexiconEncoding::Utf8 : LexiconEncoding::Ansi936;
            }
        }
        // Still undecided: ASCII so far, which every encoding reads alike (UTF-8's cut rule).
        const LexiconEncoding cutAs = mode == Mode::Undecided ? LexiconEncoding::Utf8 : enc;
        size_t cut = buf.size();
        if (!eof || buf.size() > m_chunk) {
            cut = findCut(buf, m_chunk, cutAs);
            if (cut == std::string_view::npos) {
                if (!eof) {
                    want = buf.size() + 16; // a few bytes more tell
                    continue;
                }
                cut = buf.size();
            }
        }
        want = 2 * m_chunk;
        auto next = m_queue.spare();
        next->bytes.assign(buf, cut, std::string::npos);
        buf.resize(cut);
        noteLineEnd(st, buf, cutAs);
        t->file = f;
        t->epoch = st.epoch;
        t->seq = seq++;
        t->encoding = mode == Mode::Undecided ? LexiconEncoding::Ansi936 : enc;
        t->guessed = mode == Mode::Guess;
        t->final = eof && next->bytes.empty();
        t->wideRuns = wideRuns(t->encoding);
        t->sign = 1;
        held = true;
        if (t->guessed)
            st.guessed.push_back({offset, cut, t->final});
        offset += cut;
        dispatch(t);
        t = std::move(next);
        m_pump.setProgress(int64_t(m_doneBytes + reader.consumed()), int64_t(m_totalBytes));
        poll();
        if (!asCp936 && m_flipped[size_t(f)]) {
            m_queue.recycle(std::move(t));
            return; // counted again from the start
        }
    }
    st.encoding = mode == Mode::Undecided ? LexiconEncoding::Ansi936 : enc;
    if (!m_wideRuns && held)
        m_wideRuns = st.encoding == LexiconEncoding::Utf8;
    m_queue.recycle(std::move(t));
}

void Counter::recount(int32_t f) {
    const CorpusFile &file = m_files[size_t(f)];
    if (file.isStdin())
        throw LexError("标准输入开头是 UTF-8，后面却有不是 UTF-8 的字节：要按 GBK 重新统计，"
                       "请先把它存成文件。");
    FileState &st = m_state[size_t(f)];
    // The chunks read as UTF-8, once more with the opposite sign.
    {
        CorpusReader reader(file);
        uint64_t at = 0;
        std::string skip(size_t(1) << 16, '\0');
        for (const Range &r : st.guessed) {
            while (at < r.offset) {
                const size_t got = reader.readFull(
                    skip.data(), size_t(std::min<uint64_t>(skip.size(), r.offset - at)));
                if (got == 0)
                    break;
                at += got;
            }
            auto t = m_queue.spare();
            t->bytes.resize(r.length);
            t->bytes.resize(reader.readFull(t->bytes.data(), r.length));
            at += t->bytes.size();
            t->file = f;
            t->epoch = st.epoch;
            t->seq = -1;
            t->encoding = LexiconEncoding::Utf8;
            t->guessed = false;
            t->final = r.final;
            t->wideRuns = wideRuns(LexiconEncoding::Utf8); // as they were counted
            t->sign = -1;
            dispatch(t);
        }
    }
    st.guessed.clear();
    ++st.epoch;
    readFile(f, /*asCp936=*/true);
}

void Counter::drainFlips() {
    for (;;) {
        std::vector<int32_t> flips;
        {
            std::lock_guard lock(m_mutex);
            flips.swap(m_flips);
        }
        if (flips.empty())
            return;
        std::sort(flips.begin(), flips.end());
        for (int32_t f : flips)
            recount(f);
    }
}

CorpusCounts Counter::run() {
    const size_t threads = m_tables.size();
    std::vector<std::thread> workers;
    struct Join {
        TaskQueue &queue;
        std::vector<std::thread> &workers;
        ~Join() {
            queue.close();
            for (auto &w : workers)
                w.join();
        }
    } join{m_queue, workers};
    for (size_t i = 0; i < threads; ++i)
        workers.emplace_back([this, i] { work(i); });

    for (size_t f = 0; f < m_files.size(); ++f) {
        readFile(int32_t(f), false);
        m_doneBytes += m_files[f].size;
        drainFlips();
    }
    // A flip may still come from a chunk in the queue.
    for (;;) {
        while (!m_queue.waitIdle(std::chrono::milliseconds(50)))
            poll();
        rethrowWorkerFailure();
        bool more;
        {
            std::lock_guard lock(m_mutex);
            more = !m_flips.empty();
        }
        if (!more)
            break;
        drainFlips();
    }
    m_queue.close();
    for (auto &w : workers)
        w.join();
    workers.clear();
    rethrowWorkerFailure();

    CorpusCounts out;
    WordCounts &all = m_tables[0];
    for (size_t i = 1; i < threads; ++i) {
        all.addAll(m_tables[i]);
        m_tables[i] = WordCounts();
    }
    // The open ends in corpus order, the chunks of each file's last reading.
    std::vector<Fragment *> order;
    for (Fragment &fr : m_fragments)
        if (fr.epoch == m_state[size_t(fr.file)].epoch)
            order.push_back(&fr);
    std::sort(order.begin(), order.end(), [](const Fragment *a, const Fragment *b) {
        return std::pair(a->file, a->seq) < std::pair(b->file, b->seq);
    });
    std::vector<EndsView> parts;
    parts.reserve(order.size());
    std::vector<bool> fileHasText(m_files.size(), false);
    for (const Fragment *fr : order) {
        parts.push_back({fr->whole, fr->head, fr->tail});
        if (fr->hasText)
            fileHasText[size_t(fr->file)] = true;
    }
    RunCounter runs(m_lexicon, 0, m_settings.splitBelow);
    out.ends = joinEnds(parts, [&](std::u16string_view run) { runs.count(run, all, 1); });
    out.words = all.sorted();
    for (size_t f = 0; f < m_files.size(); ++f) {
        if (fileHasText[f] && !out.hasText) {
            out.hasText = true;
            out.encoding = m_state[f].encoding;
        }
        if (!out.crlf && m_state[f].crlf)
            out.crlf = m_state[f].crlf;
    }
    m_pump.setProgress(int64_t(m_totalBytes), int64_t(m_totalBytes));
    return out;
}

} // namespace

CorpusCounts countCorpus(const std::vector<CorpusFile> &files, const SegmentLexicon &lexicon,
                         const CountSettings &settings, EventPump &pump) {
    Counter counter(files, lexicon, settings, pump);
    return counter.run();
}

void closeEnds(CorpusCounts &counts, const SegmentLexicon &lexicon, int16_t splitBelow) {
    WordCounts ends;
    RunCounter runs(lexicon, 0, splitBelow);
    runs.count(counts.ends.head, ends, 1);
    runs.count(counts.ends.tail, ends, 1);
    counts.ends = OpenEnds{};
    const auto extra = ends.sorted();
    if (extra.empty())
        return;
    std::vector<std::pair<std::u16string, int64_t>> merged;
    merged.reserve(counts.words.size() + extra.size());
    auto a = counts.words.begin();
    auto b = extra.begin();
    while (a != counts.words.end() || b != extra.end()) {
        if (b == extra.end() || (a != counts.words.end() && a->first < b->first)) {
            merged.push_back(std::move(*a++));
        } else if (a == counts.words.end() || b->first < a->first) {
            merged.push_back(*b++);
        } else {
            merged.emplace_back(std::move(a->first), a->second + b->second);
            ++a;
            ++b;
        }
    }
    counts.words = std::move(merged);
}

} // namespace lex::bigseg
