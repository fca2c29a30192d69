#include "shared/lexcore/byte_lines.h"

#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/ordered_batches.h"
#include "shared/lexcore/size_limits.h"
#include "shared/lexcore/text_format.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace lex {
namespace fs = std::filesystem;

namespace {

uint64_t load64(const char *p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

constexpr uint64_t kLow = 0x0101010101010101ull;
constexpr uint64_t kHigh = 0x8080808080808080ull;
constexpr size_t kMaxLine = (size_t(1) << 30) - 1; // a record's length field

// What the key variant needs of a line: whether it is plain, how many double-byte characters
// it holds (0, 1, or 2 for two or more), and whether it starts with one.
struct LineShape {
    bool plain = true;
    int pairs = 0;
    bool leadFirst = false;
};

LineShape shapeOf(const char *data, size_t size) {
    LineShape s;
    const auto *p = reinterpret_cast<const uint8_t *>(data);
    const auto *e = p + size;
    s.leadFirst = size > 0 && p[0] >= 0x81 && p[0] <= 0xFE;
    while (p < e) {
        if (e - p >= 8) {
            const uint64_t v = load64(reinterpret_cast<const char *>(p));
            // Eight ASCII bytes, none of them NUL.
            if (((v & kHigh) | ((v - kLow) & ~v & kHigh)) == 0) {
                p += 8;
                continue;
            }
        }
        const uint8_t b = *p;
        if (b < 0x80) {
            if (b == 0) {
                s.plain = false;
                return s;
            }
            ++p;
        } else if (b == 0x80 || b == 0xFF) {
            ++p; // single-byte characters (the euro sign, U+F8F5)
        } else {
            const uint8_t t = p + 1 < e ? p[1] : 0;
            if (t < 0x40 || t == 0x7F || t == 0xFF) {
                s.plain = false;
                return s;
            }
            if (s.pairs < 2)
                ++s.pairs;
            p += 2;
        }
    }
    return s;
}

// The line as the key variant leaves it (see EntryHashSet::EntryKey): the placeholder for a line
// without a key of its own.
void keyed(KeyVariant variant, const LineShape &s, ByteLine &line) {
    if (keepsOwnText(variant, s.leadFirst, s.pairs))
        return;
    // The placeholder as bytes: ";" or the empty string.
    static const char kSemicolon[] = ";";
    line.data = kSemicolon;
    line.size = uint32_t(placeholderOf(variant).size());
}
struct ScanBatch {
    LargeBuffer buffer;
    char *bytes = nullptr;
    size_t capacity = 0;
    size_t size = 0;       // whole lines, the last one with or without its LF
    uint64_t readTo = 0;   // bytes of the file read once this batch was filled
    bool notPlain = false; // set by the scan
    std::vector<ByteLine> lines;
};

class ChunkFile {
public:
    // Opened without blocking, so that a FIFO named here is refused rather than waited on.
    ChunkFile(const fs::path &path, size_t chunk) : m_chunk(chunk) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            throw NotPlainGbk{};
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            throw NotPlainGbk{};
        }
        m_fd = fd;
        m_size = uint64_t(st.st_size);
    }
    ~ChunkFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ChunkFile(const ChunkFile &) = delete;
    ChunkFile &operator=(const ChunkFile &) = delete;

    uint64_t size() const { return m_size; }

    // Fills `b` with the carried bytes and what follows them, up to its last LF (everything at
    // the end of the file); false once the file is done.
    bool fill(ScanBatch &b) {
        if (b.capacity < m_carry.size() + m_chunk) {
            b.capacity = m_carry.size() + m_chunk;
            b.buffer.resize(b.capacity);
            b.bytes = static_cast<char *>(b.buffer.data());
        }
        std::memcpy(b.bytes, m_carry.data(), m_carry.size());
        size_t have = m_carry.size();
        m_carry.clear();
        for (;;) {
            bool eof = false;
            while (have < b.capacity) {
                const ssize_t n = ::read(m_fd, b.bytes + have, b.capacity - have);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    throw NotPlainGbk{}; // the general path names the failure
                if (n == 0) {
                    eof = true;
                    break;
                }
                have += size_t(n);
                m_read += uint64_t(n);
            }
            b.readTo = m_read;
            if (eof) {
                b.size = have;
                return false;
            }
            const void *lf = ::memrchr(b.bytes, '\n', have);
            if (lf) {
                b.size = size_t(static_cast<const char *>(lf) - b.bytes) + 1;
                m_carry.assign(b.bytes + b.size, have - b.size);
                return true;
            }
            // A line longer than the chunk: room for more of it.
            if (b.capacity > kMaxLine)
                throw NotPlainGbk{};
            b.capacity *= 2;
            b.buffer.resize(b.capacity);
            b.bytes = static_cast<char *>(b.buffer.data());
        }
    }

private:
    int m_fd = -1;
    size_t m_chunk;
    uint64_t m_size = 0;
    uint64_t m_read = 0;
    std::string m_carry;
};

void scanBatch(ScanBatch &b, KeyVariant variant) {
    b.lines.clear();
    b.lines.reserve(b.size / 8);
    b.notPlain = false;
    const char *p = b.bytes;
    const char *end = p + b.size;
    while (p < end) {
        const auto *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        const char *e = lf ? lf : end;
        size_t n = size_t(e - p);
        if (lf && n > 0 && e[-1] == '\r')
            --n;
        const LineShape shape = shapeOf(p, n);
        if (!shape.plain || n > kMaxLine) {
            b.notPlain = true;
            return;
        }
        ByteLine line{p, uint32_t(n), 0};
        keyed(variant, shape, line);
        line.hash = hashBytes(line.data, line.size);
        b.lines.push_back(line);
        p = lf ? lf + 1 : end;
    }
}

} // namespace

uint64_t hashBytes(const char *data, size_t size) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ (uint64_t(size) * 0xC2B2AE3D27D4EB4Full);
    while (size >= 8) {
        h = (h ^ load64(data)) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 29;
        data += 8;
        size -= 8;
    }
    if (size > 0) {
        uint64_t v = 0;
        std::memcpy(&v, data, size);
        h = (h ^ v) * 0x94D049BB133111EBull;
    }
    return mixHash(h);
}

uint64_t estimateLines(const std::vector<fs::path> &inputs) {
    // Four samples spread over the file: lexicons are often sorted or grouped, so that their
    // first lines say little about the rest.
    constexpr size_t kSamples = 4, kSample = size_t(256) << 10;
    uint64_t lines = 0;
    std::vector<char> sample(kSample);
    for (const fs::path &path : inputs) {
        const int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        uint64_t read = 0, lfs = 0;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            const uint64_t size = uint64_t(st.st_size);
            for (size_t k = 0; k < kSamples; ++k) {
                const uint64_t at = size > kSample ? (size - kSample) / (kSamples - 1) * k : 0;
                const ssize_t n = ::pread(fd, sample.data(), kSample, off_t(at));
                if (n <= 0)
                    break;
                read += uint64_t(n);
                lfs += uint64_t(std::count(sample.data(), sample.data() + n, '\n'));
                if (size <= kSample)
                    break;
            }
            if (read > 0)
                lines += uint64_t(double(size) * double(lfs + 1) / double(read)) + 1;
        }
        ::close(fd);
    }
    return lines;
}

bool plainGbkRun(const RunContext &context, const std::vector<fs::path> &inputs) {
    // Held as code page 936 bytes, a line's word is its double-byte characters: not so when the
    // outputs hold every character.
    if (context.limits().capacity != SizeLimits::kUnlimited || context.wordUnits().isWide())
        return false;
    // A file that cannot be read is left to the general path, which reports it in its turn.
    try {
        for (const fs::path &path : inputs) {
            if (path.empty() || !fs::exists(path))
                continue;
            if (!fileExists(path) || detectEncoding(path) != LexiconEncoding::Ansi936)
                return false;
        }
    } catch (...) {
        return false;
    }
    return true;
}

void scanPlainGbk(const fs::path &path, KeyVariant variant, EventPump &pump,
                  const std::function<void(const ByteLine *, size_t)> &batch, size_t chunk) {
    ChunkFile file(path, std::max<size_t>(chunk, 1));
    pump.setPhase("读取");
    ScanBatch batches[4];
    runOrderedBatches(
        batches, [&](ScanBatch &b) { return file.fill(b); },
        [&](ScanBatch &b, int) { scanBatch(b, variant); },
        [&](ScanBatch &b) {
            if (b.notPlain)
                throw NotPlainGbk{};
            batch(b.lines.data(), b.lines.size());
            pump.setProgress(int64_t(b.readTo), int64_t(file.size()));
            pump.yieldNow();
        });
}

ByteLineTable::ByteLineTable() {
    clear();
}

void ByteLineTable::clear() {
    m_cells.clear();
    m_arena.clear();
    m_arena.push_back(0);
    m_count = 0;
    m_cells.extend(1024); // fresh memory reads as zero: free cells
    m_mask = 1023;
}

void ByteLineTable::reserve(size_t lines, size_t bytes) {
    m_arena.reserve(m_arena.size() + bytes / 4 + lines * 2);
    size_t cells = m_cells.size();
    while ((m_count + lines) * 10 > cells * 7)
        cells *= 2;
    if (cells == m_cells.size())
        return;
    while (m_cells.size() < cells)
        grow();
}

void ByteLineTable::reserveFor(const std::vector<fs::path> &inputs) {
    uint64_t bytes = 0;
    for (const fs::path &path : inputs) {
        std::error_code ec;
        const uint64_t size = path.empty() ? 0 : fs::file_size(path, ec);
        bytes += ec ? 0 : size;
    }
    reserve(size_t(estimateLines(inputs)), size_t(bytes));
}

size_t ByteLineTable::cellOf(const ByteLine &line) const {
    const uint32_t tag = uint32_t(line.hash >> 32);
    for (size_t i = size_t(line.hash) & m_mask;; i = (i + 1) & m_mask) {
        const Cell c = m_cells[i];
        if (c.ref == 0 || (c.tag == tag && bytes(c.ref) == line.view()))
            return i;
    }
}

ByteLineTable::Ref ByteLineTable::find(const ByteLine &line) const {
    return m_cells[cellOf(line)].ref;
}

ByteLineTable::Ref ByteLineTable::insert(const ByteLine &line, bool &added) {
    size_t i = cellOf(line);
    if (m_cells[i].ref != 0) {
        added = false;
        return m_cells[i].ref;
    }
    const size_t words = 1 + (size_t(line.size) + 3) / 4;
    const size_t at = m_arena.size();
    if (at + words > UINT32_MAX)
        throw NotPlainGbk{}; // past what a record number holds: the general path partitions
    uint32_t *d = m_arena.extend(words);
    d[words - 1] = 0;
    d[0] = line.size << 2;
    std::memcpy(d + 1, line.data, line.size);
    ++m_count;
    if (m_count * 10 > m_cells.size() * 7) {
        grow();
        i = cellOf(line);
    }
    m_cells[i] = Cell{uint32_t(line.hash >> 32), Ref(at)};
    added = true;
    return Ref(at);
}

// Doubles the cells and places every record again, walking the records in order (their hashes
// are not kept: recomputing them reads memory in sequence, looking them up would not).
void ByteLineTable::grow() {
    LargeArray<Cell> cells;
    const size_t size = m_cells.size() * 2;
    cells.extend(size);
    const size_t mask = size - 1;
    const uint32_t *a = m_arena.data();
    for (size_t w = 1; w < m_arena.size();) {
        const size_t n = a[w] >> 2;
        const uint64_t hash = hashBytes(reinterpret_cast<const char *>(a + w + 1), n);
        size_t i = size_t(hash) & mask;
        while (cells[i].ref != 0)
            i = (i + 1) & mask;
        cells[i] = Cell{uint32_t(hash >> 32), Ref(w)};
        w += 1 + (n + 3) / 4;
    }
    m_cells.swap(cells);
    m_mask = mask;
}

} // namespace lex
