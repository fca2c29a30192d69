#include "shared/lexcore/lexicon_files.h"

#include "shared/lexcore/event_pump.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/utf8.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lex {
namespace fs = std::filesystem;

namespace {

std::string pathText(const fs::path &p) {
    return p.string();
}

[[noreturn]] void failOpen(const fs::path &path, int err) {
    if (err == ENOENT)
        throw LexError("文件不存在：" + pathText(path), path);
    if (err == EISDIR)
        throw LexError("不是文件：" + pathText(path), path);
    throw LexError("无法打开文件：" + pathText(path) + "（" + systemErrorText(err) + "）", path);
}

[[noreturn]] void failWrite(const fs::path &path, int err) {
    throw LexError("无法写入文件：" + pathText(path) + "（" + systemErrorText(err) + "）", path);
}

// An open file descriptor that closes itself.
struct Fd {
    int fd;
    Fd(int f) : fd(f) {}
    Fd(Fd &&other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Fd &operator=(Fd &&) = delete;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

// Opens a regular file for reading and returns its descriptor and size. Anything else (a
// FIFO, a device, a socket, a folder) is refused before it is read: opening without blocking,
// a FIFO without a writer cannot hang the open, and /dev/zero never ends.
Fd openForReading(const fs::path &path, size_t &size) {
    Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    if (f.fd < 0)
        failOpen(path, errno);
    struct stat st {};
    if (::fstat(f.fd, &st) != 0)
        failOpen(path, errno);
    if (S_ISDIR(st.st_mode))
        failOpen(path, EISDIR);
    if (!S_ISREG(st.st_mode))
        throw LexError("不是普通文件：" + pathText(path), path);
    ::fcntl(f.fd, F_SETFL, ::fcntl(f.fd, F_GETFL) & ~O_NONBLOCK);
    size = size_t(st.st_size);
    return f;
}

// Reads the next chunk; returns the bytes read (0 at the end).
size_t readChunk(const Fd &f, const fs::path &path, char *buf, size_t n) {
    for (;;) {
        ssize_t got = ::read(f.fd, buf, n);
        if (got >= 0)
            return size_t(got);
        if (errno != EINTR)
            throw LexError("无法读取文件：" + pathText(path) + "（" + systemErrorText(errno) + "）",
                           path);
        checkInterrupt();
    }
}

} // namespace

namespace {

bool startsWith(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
}

// detectEncoding() with or without the UTF-16 mark.
LexiconEncoding detectFileEncoding(const fs::path &path, bool utf16) {
    size_t size = 0;
    Fd f = openForReading(path, size);
    // A code page 936 file is told by its first non-ASCII characters, so the first chunk is
    // small; a UTF-8 one is validated to the end in bigger ones.
    std::vector<char> buf(std::min<size_t>(size + 4, 64 << 10));
    size_t have = 0;
    while (have < 3) {
        const size_t n = readChunk(f, path, buf.data() + have, buf.size() - have);
        if (n == 0)
            break;
        have += n;
    }
    const std::string_view start(buf.data(), have);
    if (utf16 && startsWith(start, "\xFF\xFE"))
        return LexiconEncoding::Utf16Le;
    if (startsWith(start, "\xEF\xBB\xBF"))
        return LexiconEncoding::Utf8;
    Utf8Validator utf8;
    if (!utf8.feed(start))
        return LexiconEncoding::Ansi936;
    // The rest in two halves at once when it is big: UTF-8 can be checked from any byte that
    // begins a character, so the second half starts at the first such byte after the middle.
    constexpr size_t kChunk = size_t(1) << 20;
    const size_t mid = size > have + 8 * kChunk ? have + (size - have) / 2 : size;
    std::atomic<bool> secondOk{true}, secondMultibyte{false};
    std::thread second;
    size_t split = mid;
    if (mid < size) {
        char probe[4];
        const ssize_t got = ::pread(f.fd, probe, sizeof probe, off_t(mid));
        for (ssize_t i = 0; i < got && (uint8_t(probe[i]) & 0xC0) == 0x80; ++i)
            ++split;
        second = std::thread([&, split] {
            Utf8Validator tail;
            LargeBlock<char> chunk(kChunk);
            bool ok = true;
            for (off_t at = off_t(split); ok && secondOk.load(std::memory_order_relaxed);) {
                const ssize_t n = ::pread(f.fd, chunk.get(), chunk.size(), at);
                if (n <= 0)
                    break;
                at += n;
                ok = tail.feed(std::string_view(chunk.get(), size_t(n)));
            }
            secondOk = ok && secondOk && tail.complete();
            secondMultibyte = tail.sawMultibyte();
        });
    }
    struct Join {
        std::thread &t;
        std::atomic<bool> &ok;
        ~Join() {
            if (t.joinable()) {
                ok = false; // a failure of the first half ends the second early
                t.join();
            }
        }
    } join{second, secondOk};
    LargeBlock<char> big(std::min<size_t>(std::max(size, have) + 4, kChunk));
    for (size_t at = have; at < split;) {
        const size_t n = readChunk(f, path, big.get(), std::min(big.size(), split - at));
        if (n == 0)
            break;
        at += n;
        if (!utf8.feed(std::string_view(big.get(), n)))
            return LexiconEncoding::Ansi936;
    }
    bool multibyte = utf8.sawMultibyte();
    if (second.joinable()) {
        second.join();
        if (!secondOk)
            return LexiconEncoding::Ansi936;
        multibyte = multibyte || secondMultibyte;
    }
    return utf8.complete() && multibyte ? LexiconEncoding::Utf8 : LexiconEncoding::Ansi936;
}

} // namespace

LexiconEncoding detectEncoding(const fs::path &path) {
    return detectFileEncoding(path, true);
}

LexiconEncoding detectUtf8(const fs::path &path) {
    return detectFileEncoding(path, false);
}

LexiconEncoding detectEncoding(std::string_view bytes, bool utf16) {
    if (utf16 && startsWith(bytes, "\xFF\xFE"))
        return LexiconEncoding::Utf16Le;
    if (startsWith(bytes, "\xEF\xBB\xBF") || looksUtf8(bytes))
        return LexiconEncoding::Utf8;
    return LexiconEncoding::Ansi936;
}

std::u16string decodeText(std::string_view bytes, bool utf16) {
    std::u16string text;
    switch (detectEncoding(bytes, utf16)) {
    case LexiconEncoding::Utf16Le:
        bytes.remove_prefix(2);
        text.resize((bytes.size() + 1) / 2);
        std::memcpy(text.data(), bytes.data(), bytes.size() & ~size_t(1));
        if (bytes.size() & 1)
            text.back() = 0xFFFD;
        break;
    case LexiconEncoding::Utf8:
        if (startsWith(bytes, "\xEF\xBB\xBF"))
            bytes.remove_prefix(3);
        decodeUtf8(bytes, text);
        break;
    case LexiconEncoding::Ansi936:
        decode936(bytes, text);
        break;
    }
    return text;
}

bool fileExists(const fs::path &path) {
    if (path.empty())
        return false;
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// The decoding of one file, in chunks: on this thread, or on a second one that publishes the
// lines as their ends are found.
struct LineReader::Decoding {
    Fd fd;
    fs::path path;
    LexiconEncoding encoding;
    char16_t *text = nullptr; // the reader's buffer
    size_t capacity = 0;      // units it holds, beside a few spare ones
    LargeBuffer *grow;        // the buffer, when it may grow (a file that grows while read)
    size_t limit = 0;         // bytes to read at most when it may not
    size_t readSoFar = 0;
    LargeBlock<char> chunk;
    size_t chunkSize = 0;
    size_t carry = 0; // bytes left over from the previous chunk (a split pair)
    bool first = true;
    bool sawNul = false;
    size_t units = 0;
    LineEnds ends;

    std::thread thread;
    std::atomic<size_t> published{0};  // lines whose ends are known to the reader
    std::atomic<uint64_t> progress{0}; // bumped at every publication; the reader waits on it
    std::atomic<bool> done{false};
    std::atomic<bool> stop{false};
    std::exception_ptr error;

    Decoding(Fd &&f, const fs::path &p, LexiconEncoding e)
        : fd(std::move(f)), path(p), encoding(e) {}
    ~Decoding() {
        stop.store(true);
        if (thread.joinable())
            thread.join();
    }

    // Reads and decodes the next chunk; true at the end of the file.
    bool step();
    // After the last chunk: UTF-16 line ends, a last line without terminator, the checks.
    void end();
    void publish() {
        published.store(ends.size(), std::memory_order_release);
        progress.fetch_add(1, std::memory_order_release);
        progress.notify_all();
    }
};

namespace {

// Appends the position of every LF in text[from, to) to `ends` and sets `sawNul` at a NUL. Lines
// are a few units long, so eight units are tested at once and only the hits are looked at.
void scanUtf16Lines(const char16_t *text, size_t from, size_t to, LineEnds &ends, bool &sawNul) {
    size_t i = from;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi16(u'\n'), nul = _mm_setzero_si128();
    for (; i + 8 <= to; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i));
        // Two mask bits a unit: the low one of each pair is enough.
        unsigned hits = unsigned(_mm_movemask_epi8(
                            _mm_or_si128(_mm_cmpeq_epi16(v, lf), _mm_cmpeq_epi16(v, nul)))) &
                        0x5555u;
        while (hits) {
            const size_t k = i + size_t(__builtin_ctz(hits)) / 2;
            if (text[k] == u'\n')
                ends.push_back(uint32_t(k));
            else
                sawNul = true;
            hits &= hits - 1;
        }
    }
#endif
    for (; i < to; ++i) {
        const char16_t c = text[i];
        if (c <= u'\n') {
            if (c == u'\n')
                ends.push_back(uint32_t(i));
            sawNul |= c == 0;
        }
    }
}

// Drops the mark of `encoding` from the first bytes of a file: once, so that text that begins
// with the same bytes again keeps them.
void dropMark(std::string_view &bytes, LexiconEncoding encoding) {
    if (encoding == LexiconEncoding::Utf16Le && startsWith(bytes, "\xFF\xFE"))
        bytes.remove_prefix(2);
    else if (encoding == LexiconEncoding::Utf8 && startsWith(bytes, "\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
}

// Decodes `bytes` behind the first `units` units of `text`, which has room for bytes.size()
// more, appending every LF (counted from `text`) to `ends` and setting `sawNul` at a NUL;
// returns the units of text now. `consumed` gets the bytes used: all but a character cut at the
// end, unless `final`.
size_t decodeChunk(LexiconEncoding encoding, std::string_view bytes, bool final, char16_t *text,
                   size_t units, size_t &consumed, bool &sawNul, LineEnds &ends) {
    if (encoding == LexiconEncoding::Utf16Le) {
        consumed = final ? bytes.size() : bytes.size() & ~size_t(1);
        std::memcpy(text + units, bytes.data(), consumed & ~size_t(1));
        const size_t from = units;
        units += consumed / 2;
        // A dangling last byte of an odd-length file cannot be a character.
        if (consumed & 1)
            text[units++] = 0xFFFD;
        scanUtf16Lines(text, from, units, ends, sawNul);
        return units;
    }
    char16_t *end = encoding == LexiconEncoding::Utf8
                        ? decodeUtf8Lines(bytes, text + units, final, consumed, sawNul, text, ends)
                        : decode936Lines(bytes, text + units, final, consumed, sawNul, text, ends);
    return size_t(end - text);
}

} // namespace

bool LineReader::Decoding::step() {
    checkInterrupt();
    size_t want = chunkSize;
    if (!grow)
        want = std::min(want, limit - std::min(limit, readSoFar));
    const size_t got = want == 0 ? 0 : readChunk(fd, path, chunk.get() + carry, want);
    readSoFar += got;
    const size_t have = carry + got;
    const bool final = got == 0;
    std::string_view bytes(chunk.get(), have);
    if (std::exchange(first, false))
        dropMark(bytes, encoding);
    if (grow && capacity < units + bytes.size() + 16) { // the file grew while we read it
        capacity = (units + bytes.size() + 16) * 2;
        grow->resize(capacity * 2);
        text = static_cast<char16_t *>(grow->data());
    }
    size_t consumed = 0;
    units = decodeChunk(encoding, bytes, final, text, units, consumed, sawNul, ends);
    carry = bytes.size() - consumed;
    std::memmove(chunk.get(), bytes.data() + consumed, carry);
    return final;
}

void LineReader::Decoding::end() {
    if (units > 0 && text[units - 1] != u'\n')
        ends.push_back(uint32_t(units)); // a last line without terminator
    text[units] = u'\0';                 // the end of a last line without terminator is no LF
    if (sawNul)
        throw LexError("不是文本文件：" + pathText(path), path);
}

LineReader::LineReader(const fs::path &path, LexiconEncoding encoding) {
    open(path, encoding);
}

LineReader::LineReader(const fs::path &path) {
    open(path, detectEncoding(path));
}

LineReader::LineReader() = default;

LineReader::~LineReader() {
    close();
}

LineReader::LineReader(LineReader &&other) noexcept
    : m_buffer(std::move(other.m_buffer)), m_text(std::exchange(other.m_text, nullptr)),
      m_size(std::exchange(other.m_size, 0)), m_pos(std::exchange(other.m_pos, 0)),
      m_lineEnds(std::move(other.m_lineEnds)), m_line(std::exchange(other.m_line, 0)),
      m_encoding(other.m_encoding), m_decoding(std::move(other.m_decoding)),
      m_ready(std::exchange(other.m_ready, 0)) {}

LineReader &LineReader::operator=(LineReader &&other) noexcept {
    if (this != &other) {
        close(); // a decoding thread of ours stops before our buffer goes
        m_decoding = std::move(other.m_decoding);
        m_buffer = std::move(other.m_buffer);
        m_text = std::exchange(other.m_text, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_pos = std::exchange(other.m_pos, 0);
        m_lineEnds = std::move(other.m_lineEnds);
        m_line = std::exchange(other.m_line, 0);
        m_encoding = other.m_encoding;
        m_ready = std::exchange(other.m_ready, 0);
    }
    return *this;
}

void LineReader::open(const fs::path &path, LexiconEncoding encoding) {
    close();
    m_encoding = encoding;
    size_t size = 0;
    auto d = std::make_unique<Decoding>(openForReading(path, size), path, encoding);
    if (size >= 0xFFFFFFF0u)
        throw LexError("文件太大：" + pathText(path), path);
    // Decoding on a second thread pays off from a few megabytes of text on.
    constexpr size_t kAsyncFrom = size_t(4) << 20;
    const bool async = size >= kAsyncFrom;
    d->capacity = size + 16; // at most one code unit per byte
    m_buffer.resize(d->capacity * 2);
    m_text = d->text = static_cast<char16_t *>(m_buffer.data());
    // The buffer may not move under a second thread: it then reads what the file held at open.
    d->grow = async ? nullptr : &m_buffer;
    d->limit = size;
    // Read and decode in chunks: the raw bytes never exist in full beside the text. A small file
    // needs no megabyte of buffer (nor its zeroing) for each open.
    constexpr size_t kChunk = 1 << 20;
    const size_t chunkSize = std::min(kChunk, size + 16);
    d->chunk.reset(chunkSize + 4); // room for a carried sequence
    // Room for every line end at once: a second thread's vector must never move.
    d->ends.reserve(async ? size + 2 : size / 8 + 16);

    // The first chunk here: its notice and its failures come from open(). When a second thread
    // decodes the rest, a small one, so that the first lines come soon and the second thread
    // takes the bulk of the work.
    d->chunkSize = async ? std::min<size_t>(chunkSize, 64 << 10) : chunkSize;
    bool last = d->step();
    d->chunkSize = chunkSize;
    if (async && !last) {
        d->publish();
        Decoding *work = d.get();
        m_decoding = std::move(d);
        work->thread = std::thread([work] {
            try {
                bool ended = false;
                while (!ended && !work->stop.load(std::memory_order_relaxed))
                    if ((ended = work->step()) == false)
                        work->publish();
                if (ended)
                    work->end();
            } catch (...) {
                work->error = std::current_exception();
            }
            work->done.store(true, std::memory_order_release);
            work->publish();
        });
        return;
    }
    while (!last)
        last = d->step();
    m_text = d->text; // it may have grown
    d->end();
    m_lineEnds = std::move(d->ends);
    m_size = d->units;
}

void LineReader::finish() const {
    if (!m_decoding)
        return;
    auto *self = const_cast<LineReader *>(this);
    m_decoding->thread.join();
    std::unique_ptr<Decoding> done = std::move(self->m_decoding);
    if (done->error) {
        self->close();
        std::rethrow_exception(done->error);
    }
    self->m_lineEnds = std::move(done->ends);
    self->m_size = done->units;
}

void LineReader::waitFor(size_t line) const {
    if (line < m_ready) // known to be decoded already
        return;
    while (m_decoding) {
        const uint64_t seen = m_decoding->progress.load(std::memory_order_acquire);
        m_ready = m_decoding->published.load(std::memory_order_acquire);
        if (line < m_ready)
            return;
        if (m_decoding->done.load(std::memory_order_acquire)) {
            finish();
            return;
        }
        m_decoding->progress.wait(seen, std::memory_order_acquire);
    }
}

size_t LineReader::readyLines() const {
    return m_decoding ? m_decoding->published.load(std::memory_order_acquire) : m_lineEnds.size();
}

// Line `line`, which starts at `start`: up to its LF, without a CR before it.
std::u16string_view LineReader::lineAt(size_t line, size_t start) const {
    const size_t lf = (m_decoding ? m_decoding->ends.data() : m_lineEnds.data())[line];
    size_t end = lf;
    if (m_text[lf] == u'\n' && end > start && m_text[end - 1] == u'\r')
        --end;
    return std::u16string_view(m_text + start, end - start);
}

bool LineReader::atEnd() const {
    waitFor(m_line);
    return m_line >= readyLines();
}

std::u16string_view LineReader::readLineView() {
    waitFor(m_line);
    const std::u16string_view line = lineAt(m_line, m_pos);
    const size_t lf = (m_decoding ? m_decoding->ends.data() : m_lineEnds.data())[m_line++];
    m_pos = m_text[lf] == u'\n' ? lf + 1 : lf;
    return line;
}

std::u16string_view LineReader::peekLineView(size_t ahead) const {
    const size_t line = m_line + ahead;
    waitFor(line);
    if (line >= readyLines())
        return {};
    const uint32_t *ends = m_decoding ? m_decoding->ends.data() : m_lineEnds.data();
    return lineAt(line, line == 0 ? 0 : ends[line - 1] + 1);
}

size_t LineReader::size() const {
    finish();
    return m_size;
}

size_t LineReader::decodingSize() const {
    if (m_decoding && !m_decoding->done.load(std::memory_order_acquire))
        return 0;
    finish();
    return m_size;
}

size_t LineReader::countLines() const {
    finish();
    return m_lineEnds.size() - m_line;
}

std::u16string LineReader::readAll() {
    finish();
    std::u16string rest(m_text + m_pos, m_size - m_pos);
    m_pos = m_size;
    m_line = m_lineEnds.size();
    return rest;
}

void LineReader::close() {
    m_decoding.reset(); // stops and joins a second thread before the buffer goes
    m_buffer.reset();
    m_text = nullptr;
    m_size = 0;
    m_pos = 0;
    m_lineEnds = {};
    m_line = 0;
    m_ready = 0;
}

// The lines of one chunk of the file: whole lines only, but for the last chunk, whose last
// line may have no terminator.
struct LineStream::Chunk {
    LargeBlock<char16_t> text;
    size_t length = 0;      // units of whole lines (all units in the last chunk)
    LineEnds ends;          // the LFs in text, in order
    uint64_t bytesRead = 0; // of the file, with this chunk
    bool last = false;
    std::exception_ptr error; // the chunk holds a NUL, or could not be read

    // Room for `units`, keeping the first `keep` units.
    void reserve(size_t units, size_t keep) {
        if (units <= text.size())
            return;
        LargeBlock<char16_t> bigger(std::max(units, text.size() * 2));
        if (keep > 0)
            std::memcpy(bigger.get(), text.get(), keep * 2);
        text = std::move(bigger);
    }
};

// Reads and decodes the file a chunk at a time: on the reading thread for a small file, on a
// second one for a big file, which fills a ring of chunks ahead of the reader.
struct LineStream::Decoder {
    static constexpr int kSlots = 3;
    Fd fd;
    fs::path path;
    LexiconEncoding encoding;
    bool ahead; // on a second thread
    size_t chunkSize;
    LargeBlock<char> raw; // a chunk of bytes, behind what the last one left
    size_t carry = 0;     // bytes of a character the last chunk cut
    bool first = true;
    uint64_t bytesRead = 0;
    std::u16string tail; // the unfinished last line of the chunk before
    Chunk slots[kSlots];

    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t produced = 0, released = 0; // chunks filled, and given back by the reader
    bool stop = false;

    // A big file is decoded ahead in smaller chunks: the ring stays small, and the reader
    // waits only for the first.
    static constexpr size_t kAheadFrom = size_t(4) << 20;
    Decoder(Fd &&f, const fs::path &p, LexiconEncoding e, size_t fileSize)
        : fd(std::move(f)), path(p), encoding(e), ahead(fileSize >= kAheadFrom),
          chunkSize(ahead ? size_t(256) << 10 : size_t(1) << 20) {}
    ~Decoder() {
        if (thread.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                stop = true;
            }
            changed.notify_all();
            thread.join();
        }
    }

    // Fills `c` with the next whole lines: reads on until a chunk holds an LF or the file ends,
    // so a long line grows one chunk rather than being copied from chunk to chunk.
    void decodeInto(Chunk &c) {
        c.ends.clear();
        c.length = 0;
        c.last = false;
        c.error = nullptr;
        try {
            // Room for the tail and a whole chunk from the start: a slot is sized once, its
            // pages touched once.
            c.reserve(tail.size() + chunkSize + 64, 0);
            c.ends.reserve(chunkSize / 8);
            if (!tail.empty())
                std::memcpy(c.text.get(), tail.data(), tail.size() * 2);
            size_t units = tail.size();
            tail.clear();
            if (!raw)
                raw.reset(chunkSize + 8);
            for (;;) {
                checkInterrupt();
                const size_t got = readChunk(fd, path, raw.get() + carry, chunkSize);
                bytesRead += got;
                const bool final = got == 0;
                std::string_view view(raw.get(), carry + got);
                if (first && view.size() < 3 && !final) { // too short to tell a mark: read on
                    carry = view.size();
                    continue;
                }
                if (std::exchange(first, false))
                    dropMark(view, encoding);
                c.reserve(units + view.size() + 1, units);
                char16_t *text = c.text.get();
                size_t consumed = 0;
                bool nul = false;
                units = decodeChunk(encoding, view, final, text, units, consumed, nul, c.ends);
                carry = view.size() - consumed;
                std::memmove(raw.get(), view.data() + consumed, carry);
                if (nul)
                    throw LexError("不是文本文件：" + pathText(path), path);
                c.bytesRead = bytesRead;
                if (final) {
                    c.length = units;
                    c.last = true;
                    return;
                }
                if (!c.ends.empty()) {
                    c.length = c.ends.back() + 1;
                    tail.assign(text + c.length, units - c.length);
                    return;
                }
            }
        } catch (...) {
            c.error = std::current_exception();
            c.ends.clear();
            c.length = 0;
            c.last = true;
        }
    }

    void start() {
        thread = std::thread([this] {
            for (;;) {
                Chunk *c;
                {
                    std::unique_lock<std::mutex> lock(mutex);
                    // The slot the reader holds is never refilled.
                    changed.wait(lock, [&] { return stop || produced < released + kSlots; });
                    if (stop)
                        return;
                    c = &slots[produced % kSlots];
                }
                decodeInto(*c);
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    ++produced;
                }
                changed.notify_all();
                if (c->last)
                    return;
            }
        });
    }
};

LineStream::LineStream(const fs::path &path) : LineStream(path, detectEncoding(path)) {}

LineStream::LineStream(const fs::path &path, LexiconEncoding encoding) : m_encoding(encoding) {
    size_t size = 0;
    Fd fd = openForReading(path, size);
    m_size = size;
    m_decoder = std::make_unique<Decoder>(std::move(fd), path, encoding, size);
}

LineStream::~LineStream() = default;

bool LineStream::fill() {
    if (m_eof)
        return false;
    Decoder &d = *m_decoder;
    if (!d.ahead) {
        d.decodeInto(d.slots[0]);
        m_chunk = &d.slots[0];
    } else {
        if (!d.thread.joinable() && !m_chunk)
            d.start();
        std::unique_lock<std::mutex> lock(d.mutex);
        if (m_chunk)
            ++d.released;
        lock.unlock();
        d.changed.notify_all();
        lock.lock();
        d.changed.wait(lock, [&] { return d.produced > d.released; });
        m_chunk = &d.slots[d.released % Decoder::kSlots];
    }
    m_text = m_chunk->text.get();
    m_ends = m_chunk->ends.data();
    m_endCount = m_chunk->ends.size();
    m_pos = 0;
    m_nextEnd = 0;
    m_bytesRead = m_chunk->bytesRead;
    m_eof = m_chunk->last;
    if (m_chunk->error)
        std::rethrow_exception(m_chunk->error);
    return true;
}

bool LineStream::nextChunk(std::u16string_view &line) {
    for (;;) {
        if (m_nextEnd < m_endCount)
            return next(line);                                     // the chunk just taken
        if (m_chunk && m_chunk->last && m_pos < m_chunk->length) { // no terminator
            line = std::u16string_view(m_text + m_pos, m_chunk->length - m_pos);
            m_pos = m_chunk->length;
            ++m_lineNumber;
            return true;
        }
        if (m_eof)
            return false;
        checkInterrupt();
        fill();
    }
}

std::u16string readWholeText(const fs::path &path, LexiconEncoding encoding) {
    LineReader r(path, encoding);
    return r.readAll();
}

namespace {

// Big writes go out in chunks, so that an interrupt is noticed within one of them.
constexpr size_t kWriteChunk = size_t(4) << 20;

void writeAll(int fd, const fs::path &path, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        checkInterrupt();
        const size_t n = std::min(kWriteChunk, bytes.size() - done);
        ssize_t wrote = ::write(fd, bytes.data() + done, n);
        if (wrote < 0) {
            if (errno == EINTR)
                continue;
            failWrite(path, errno);
        }
        done += size_t(wrote);
    }
}

// The file an output path stands for: symlinks in its last component are followed, so that
// the link stays and its target is replaced. A target that does not exist yet is created.
fs::path followLinks(const fs::path &path) {
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return p;
        std::string target(size_t(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t n = ::readlink(p.c_str(), target.data(), target.size());
        if (n < 0)
            failWrite(path, errno);
        target.resize(size_t(n));
        p = target.starts_with('/') ? fs::path(target) : p.parent_path() / target;
    }
    failWrite(path, ELOOP);
}

// A temporary file beside the output, removed unless it was renamed into place. The name is
// short, so that an output name of any legal length leaves room for it.
class TemporaryFile {
public:
    TemporaryFile(const fs::path &dir, const fs::path &output) : m_output(output) {
        m_path = (dir / ".lex~XXXXXX").string();
        // No handler may run between creating the file and registering it for removal.
        InterruptBlock block;
        m_fd = ::mkostemp(m_path.data(), O_CLOEXEC);
        if (m_fd < 0)
            failWrite(output, errno);
        m_slot = registerTemporaryFile(m_path);
    }
    ~TemporaryFile() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_renamed)
            ::unlink(m_path.c_str());
        unregisterTemporaryFile(m_slot);
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    int fd() const { return m_fd; }
    void close() {
        const int fd = std::exchange(m_fd, -1);
        if (::close(fd) != 0)
            failWrite(m_output, errno);
    }
    // The commit point: either an interrupt came before and nothing is replaced, or the new
    // output is in place and the run is done.
    void renameTo(const fs::path &target) {
        if (const int err = commitRename(m_path.c_str(), target.c_str()))
            failWrite(m_output, err);
        m_renamed = true;
        unregisterTemporaryFile(std::exchange(m_slot, -1));
    }

private:
    fs::path m_output;
    std::string m_path;
    int m_fd = -1;
    int m_slot = -1;
    bool m_renamed = false;
};

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

// Where an output goes while it is written: a temporary file beside it, or the device itself.
struct AtomicOutput::Target {
    fs::path path; // as given, for messages
    fs::path target;
    fs::path dir;
    std::optional<TemporaryFile> tmp;
    Fd direct{-1};
    size_t written = 0;
};

AtomicOutput::AtomicOutput(const fs::path &path) {
    if (path.empty())
        throw LexError("没有指定输出文件", path);
    checkInterrupt();
    m_t = std::make_unique<Target>();
    m_t->path = path;
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        failWrite(path, errno);
    if (exists) {
        if (S_ISDIR(st.st_mode))
            failWrite(path, EISDIR);
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
            // A character device (/dev/null, a terminal) or a pipe is written as it is: there is
            // nothing to replace, and replacing it by a regular file would be wrong (as root,
            // fatal for /dev/null). A FIFO that nobody reads is refused instead of waiting for
            // a reader forever.
            Fd &f = m_t->direct;
            f.fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
            if (f.fd < 0) {
                if (errno == ENXIO)
                    throw LexError("无法写入文件：" + pathText(path) + "（管道没有读取端）", path);
                failWrite(path, errno);
            }
            struct stat opened {};
            if (::fstat(f.fd, &opened) != 0)
                failWrite(path, errno);
            if (!S_ISCHR(opened.st_mode) && !S_ISFIFO(opened.st_mode))
                throw LexError("不能写入特殊文件：" + pathText(path), path);
            ::fcntl(f.fd, F_SETFL, ::fcntl(f.fd, F_GETFL) & ~O_NONBLOCK);
            return;
        }
        if (!S_ISREG(st.st_mode))
            throw LexError("不能写入特殊文件：" + pathText(path), path);
    }
    m_t->target = followLinks(path);
    if (exists && st.st_nlink > 1)
        notice("注意：" + pathText(path) +
               " 还有其它硬链接；它换成了新文件，其它链接仍是原来的内容。");
    m_t->dir = m_t->target.parent_path();
    if (m_t->dir.empty())
        m_t->dir = ".";
    TemporaryFile &tmp = m_t->tmp.emplace(m_t->dir, path);
    // The new file takes the place of the old one: same owner and group where the system lets
    // us (root, or a group of our own), same mode.
    if (exists && ::fchown(tmp.fd(), st.st_uid, st.st_gid) != 0 &&
        ::fchown(tmp.fd(), uid_t(-1), st.st_gid) != 0) {
        // Neither: the new file is ours, as any file we create.
    }
    if (::fchmod(tmp.fd(), exists ? st.st_mode & 07777 : newFileMode()) != 0)
        failWrite(path, errno);
}

AtomicOutput::~AtomicOutput() = default;

void AtomicOutput::write(std::string_view bytes) {
    if (!m_t->tmp) {
        writeAll(m_t->direct.fd, m_t->path, bytes);
        return;
    }
    const int fd = m_t->tmp->fd();
    writeAll(fd, m_t->path, bytes);
    // Start writing this part to disk now, while the rest is computed: the flush before the
    // rename then waits only for the last part. (A hint: failures show at that flush.)
    ::sync_file_range(fd, off64_t(m_t->written), off64_t(bytes.size()), SYNC_FILE_RANGE_WRITE);
    m_t->written += bytes.size();
}

void AtomicOutput::sync() {
    if (!m_t->tmp)
        return;
    while (::fsync(m_t->tmp->fd()) != 0)
        if (errno != EINTR)
            failWrite(m_t->path, errno);
}

void AtomicOutput::commit() {
    if (!m_t->tmp) {
        const int fd = std::exchange(m_t->direct.fd, -1);
        if (::close(fd) != 0)
            failWrite(m_t->path, errno);
        return;
    }
    TemporaryFile &tmp = *m_t->tmp;
    // On disk before it replaces anything: after a crash the output is the old or the new file,
    // never an empty one.
    sync();
    tmp.close();
    tmp.renameTo(m_t->target);
    // The rename itself reaches the disk with the folder; it has happened either way, so a
    // folder that cannot be synced is no failure of the write.
    Fd folder{::open(m_t->dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (folder.fd >= 0)
        ::fsync(folder.fd);
}

void writeFileAtomically(const fs::path &path, std::string_view bytes) {
    AtomicOutput out(path);
    out.write(bytes);
    out.commit();
}

LineWriter::LineWriter(fs::path path) {
    open(std::move(path));
}

LineWriter::LineWriter(fs::path path, TextFormat format, LossReport loss) {
    open(std::move(path), format, loss);
}

LineWriter::~LineWriter() = default;

void LineWriter::open(fs::path path) {
    open(std::move(path), lexiconOutputFormat(), LossReport::ToScope);
}

void LineWriter::open(fs::path path, TextFormat format, LossReport loss) {
    m_path = std::move(path);
    m_out.reset();
    m_size = 0;
    m_open = true;
    m_encoding = format.encoding;
    m_crlf = format.crlf;
    m_reportLoss = loss == LossReport::ToScope && OutputScope::current() != nullptr;
    m_lines = m_lossyLines = m_firstLossy = 0;
    m_firstLossyText.clear();
    m_pending.clear();
    m_pendingLines = 0;
    // A small first chunk: most outputs are small, and every page touched costs. One that
    // outgrows it gets the full chunk at its first flush.
    if (m_buffer.size() < kFirstChunk)
        m_buffer.resize(kFirstChunk);
    if (m_encoding == LexiconEncoding::Utf16Le) {
        buffer()[0] = char(0xFF);
        buffer()[1] = char(0xFE);
        m_size = 2;
    }
}

void LineWriter::flush() {
    try {
        if (!m_out)
            m_out = std::make_unique<AtomicOutput>(m_path);
        m_out->write(std::string_view(buffer(), m_size));
    } catch (...) {
        // A failed write ends the output here and now: no temporary file outlives the error.
        m_out.reset();
        m_open = false;
        throw;
    }
    m_size = 0;
}

char *LineWriter::room(size_t units) {
    // At most three bytes a unit (UTF-8), and the line end.
    const size_t need = units * 3 + 4;
    if (m_size + need > m_buffer.size()) {
        if (m_size > 0)
            flush();
        if (need > m_buffer.size() || m_buffer.size() < kChunk)
            m_buffer.resize(std::max(need, kChunk));
    }
    return buffer() + m_size;
}

char *LineWriter::encode(std::u16string_view text, char *dst, bool dropCr) {
    switch (m_encoding) {
    case LexiconEncoding::Ansi936: {
        bool lossy = false;
        dst = encode936To(text, dst, lossy);
        if (lossy && m_reportLoss)
            noteLossyLines(text);
        return dst;
    }
    case LexiconEncoding::Utf8:
        return encodeUtf8To(text, dst, dropCr);
    case LexiconEncoding::Utf16Le:
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (c == u'\r' && dropCr && i + 1 < text.size() && text[i + 1] == u'\n')
                continue;
            *dst++ = char(c & 0xFF);
            *dst++ = char(c >> 8);
        }
        return dst;
    }
    return dst;
}

// Counts the lines of `text` (the text of one write, lines ending in LF) that code page 936
// cannot hold, numbered from the lines written before it.
void LineWriter::noteLossyLines(std::u16string_view text) {
    int64_t line = m_lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t lf = text.find(u'\n', start);
        if (lf == std::u16string_view::npos)
            lf = text.size();
        const std::u16string_view part = text.substr(start, lf - start);
        ++line;
        if (std::any_of(part.begin(), part.end(), lossIn936)) {
            if (m_lossyLines++ == 0) {
                m_firstLossy = line;
                m_firstLossyText = part;
                if (!m_firstLossyText.empty() && m_firstLossyText.back() == u'\r')
                    m_firstLossyText.pop_back();
            }
        }
        if (lf == text.size())
            break;
        start = lf + 1;
    }
}

void LineWriter::encodePending() {
    if (m_pending.empty())
        return;
    char *end = encode(m_pending, room(m_pending.size()), !m_crlf);
    m_size = size_t(end - buffer());
    m_lines += m_pendingLines;
    m_pending.clear();
    m_pendingLines = 0;
}

void LineWriter::writeLine(std::u16string_view text) {
    constexpr size_t kPending = size_t(16) << 10;
    // Not waiting: UTF-16 (a copy), very long lines, and a line that ends in a CR of its own
    // where the line ends are LF (the encoder would take the two for a CR LF to turn into LF).
    const bool ownCr = !m_crlf && !text.empty() && text.back() == u'\r';
    if (m_encoding != LexiconEncoding::Utf16Le && text.size() < kPending && !ownCr) {
        if (m_pending.size() + text.size() + 2 > kPending)
            encodePending();
        m_pending += text;
        m_pending += m_crlf ? std::u16string_view(u"\r\n", 2) : std::u16string_view(u"\n", 1);
        ++m_pendingLines;
        return;
    }
    encodePending();
    char *end = encode(text, room(text.size()), !m_crlf);
    if (m_encoding == LexiconEncoding::Utf16Le) {
        if (m_crlf) {
            *end++ = '\r';
            *end++ = '\0';
        }
        *end++ = '\n';
        *end++ = '\0';
    } else {
        if (m_crlf)
            *end++ = '\r';
        *end++ = '\n';
    }
    ++m_lines;
    m_size = size_t(end - buffer());
}

void LineWriter::writeLine936(std::string_view bytes) {
    if (m_encoding != LexiconEncoding::Ansi936) {
        thread_local std::u16string text;
        text.clear();
        decode936(bytes, text);
        writeLine(text);
        return;
    }
    encodePending();
    char *end = room(bytes.size());
    std::memcpy(end, bytes.data(), bytes.size());
    end += bytes.size();
    if (m_crlf)
        *end++ = '\r';
    *end++ = '\n';
    ++m_lines;
    m_size = size_t(end - buffer());
}

void LineWriter::write(std::u16string_view text) {
    writeText(text, !m_crlf);
}

void LineWriter::writeLines(std::u16string_view lines) {
    // A line's own CR before its LF stays: nothing here is a CR LF to turn into LF.
    writeText(lines, false);
}

void LineWriter::writeText(std::u16string_view text, bool dropCr) {
    encodePending();
    const int64_t before = m_lines;
    char *end = encode(text, room(text.size()), dropCr);
    m_size = size_t(end - buffer());
    if (m_reportLoss)
        m_lines = before + int64_t(std::count(text.begin(), text.end(), u'\n'));
}

void LineWriter::syncAhead() {
    if (!m_open)
        return;
    encodePending();
    flush();
    m_out->sync();
}

void LineWriter::close() {
    if (!m_open)
        return;
    encodePending();
    flush();
    m_open = false;
    std::unique_ptr<AtomicOutput> out = std::move(m_out);
    m_buffer.reset();
    out->commit();
    if (m_lossyLines > 0)
        if (OutputScope *scope = OutputScope::current())
            scope->addLossy({m_lossyLines, m_firstLossy, std::move(m_firstLossyText), m_path});
}

std::u16string entryWord(std::u16string_view line) {
    std::u16string word;
    entryWordInto(line, word);
    return word;
}

void entryWordInto(std::u16string_view line, std::u16string &word) {
    word.resize(line.size());
    size_t n = 0;
    if (!line.empty())
        word[n++] = line[0];
    for (size_t i = 1; i < line.size(); ++i)
        if (isDoubleByte(line[i]))
            word[n++] = line[i];
    word.resize(n);
}

std::u16string TakeOff(std::u16string_view s) {
    std::u16string word;
    word.reserve(s.size());
    for (char16_t c : s)
        if (isDoubleByte(c))
            word.push_back(c);
    return word;
}

} // namespace lex
