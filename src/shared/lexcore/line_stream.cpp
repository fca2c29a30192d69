#include "shared/lexcore/line_stream.h"

#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/line_decoding.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace lex {
namespace fs = std::filesystem;

struct LineStream::Chunk {
    LargeBlock<char16_t> text;
    size_t length = 0;      // units of whole lines (all units in the last chunk)
    LineEnds ends;          // the LFs in text, in order
    uint64_t bytesRead = 0; // of the file, with this chunk
    bool last = false;
    bool replaced = false;    // its lines hold U+FFFD
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
        c.replaced = false;
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
                if (final || !c.ends.empty()) {
                    c.length = final ? units : c.ends.back() + 1;
                    c.last = final;
                    tail.assign(text + c.length, units - c.length);
                    c.replaced = std::u16string_view(text, c.length).find(u'\uFFFD') !=
                                 std::u16string_view::npos;
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
    m_replaced = m_replaced || m_chunk->replaced;
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

bool endsLinesInCr(const fs::path &path) {
    size_t size = 0;
    Fd f = openForReading(path, size);
    char buf[64 << 10];
    size_t have = 0;
    while (have < sizeof buf) {
        const size_t n = readChunk(f, path, buf + have, sizeof buf - have);
        if (n == 0)
            break;
        have += n;
    }
    const std::string_view bytes(buf, have);
    // UTF-16 too has its CR and LF as bytes 0D and 0A.
    return bytes.find('\r') != std::string_view::npos && bytes.find('\n') == std::string_view::npos;
}

} // namespace lex
