#include "shared/lexcore/line_reader.h"

#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/line_decoding.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <thread>

namespace lex {
namespace fs = std::filesystem;

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

std::u16string readWholeText(const fs::path &path, LexiconEncoding encoding) {
    LineReader r(path, encoding);
    return r.readAll();
}

} // namespace lex
