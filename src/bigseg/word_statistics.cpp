#include "bigseg/word_statistics.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/text_format.h"
#include "shared/lexcore/utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace lex::bigseg {
namespace {

constexpr int kYieldEvery = 20000;

} // namespace

std::u16string paddedCount(int64_t count) {
    std::u16string s = u"00000";
    for (char c : std::to_string(count))
        s += char16_t(c);
    return s.substr(s.size() - 6);
}

namespace {

// The lines already looked up, by their bytes, and the entry each counts for. A segmented
// article repeats a few thousand words a million times, and a line found once is found again
// (nothing is removed), so a repeated line needs neither decoding nor the set.
class SeenLines {
public:
    struct Cell {
        uint64_t hash = 0;
        uint32_t offset = 0;
        uint32_t length = 0;
        int32_t entry = -1; // -1: free
    };

    SeenLines() : m_cells(1024), m_mask(1023) {}

    // `bytes` must be followed by at least 8 readable bytes (the reader's buffer has them): the
    // last bytes are loaded as one word and masked, not copied byte by byte.
    static uint64_t hash(std::string_view bytes) {
        uint64_t h = 0x9E3779B97F4A7C15ull ^ (bytes.size() * 0x100000001B3ull);
        const char *p = bytes.data();
        size_t n = bytes.size();
        for (; n >= 8; n -= 8, p += 8) {
            uint64_t chunk;
            std::memcpy(&chunk, p, 8);
            h = (h ^ chunk) * 0xBF58476D1CE4E5B9ull;
            h ^= h >> 31;
        }
        uint64_t tail;
        std::memcpy(&tail, p, 8);
        tail &= n ? ~uint64_t(0) >> (64 - 8 * n) : 0;
        // The full finaliser: the cell index takes the low bits, which the product alone leaves
        // to the first bytes (the first character) of a line.
        h ^= tail;
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ull;
        return h ^ (h >> 33);
    }

    void prefetch(uint64_t h) const { __builtin_prefetch(&m_cells[size_t(h) & m_mask]); }

    // The cell of `bytes`: its own, or the free cell where it belongs.
    Cell &find(std::string_view bytes, uint64_t h) {
        for (size_t i = size_t(h) & m_mask;; i = (i + 1) & m_mask) {
            Cell &c = m_cells[i];
            if (c.entry < 0 ||
                (c.hash == h && c.length == bytes.size() &&
                 std::memcmp(m_bytes.data() + c.offset, bytes.data(), bytes.size()) == 0))
                return c;
        }
    }

    void insert(Cell &cell, std::string_view bytes, uint64_t h, int32_t entry) {
        cell = {h, uint32_t(m_bytes.size()), uint32_t(bytes.size()), entry};
        m_bytes.append(bytes);
        if (++m_used * 2 > m_cells.size())
            grow();
    }

private:
    void grow() {
        std::vector<Cell> old(m_cells.size() * 2);
        old.swap(m_cells);
        const size_t mask = m_mask = m_cells.size() - 1;
        for (const Cell &c : old) {
            if (c.entry < 0)
                continue;
            size_t i = size_t(c.hash) & mask;
            while (m_cells[i].entry >= 0)
                i = (i + 1) & mask;
            m_cells[i] = c;
        }
    }

    std::vector<Cell> m_cells;
    size_t m_mask;
    std::string m_bytes;
    size_t m_used = 0;
};

// Reads a file in chunks and hands out its lines (without LF and a CR before it) as bytes.
class ByteLines {
public:
    explicit ByteLines(const std::filesystem::path &path) : m_path(path) {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            fail(errno);
    }
    ~ByteLines() { ::close(m_fd); }
    ByteLines(const ByteLines &) = delete;
    ByteLines &operator=(const ByteLines &) = delete;

    // The next line that is whole in the buffer (the last line too, once the file has ended);
    // false when the buffer must be refilled first. Lines stay valid until then.
    bool next(std::string_view &line) {
        const char *lf =
            static_cast<const char *>(std::memchr(m_buf.data() + m_pos, '\n', m_end - m_pos));
        if (lf) {
            line = take(size_t(lf - m_buf.data()), 1);
            return true;
        }
        if (m_eof && m_pos < m_end) {
            line = take(m_end, 0);
            return true;
        }
        return false;
    }

    // Reads on; false at the end of the file.
    bool refill() {
        if (m_eof)
            return false;
        fill();
        return true;
    }

private:
    std::string_view take(size_t end, size_t terminator) {
        size_t stop = end;
        if (terminator && stop > m_pos && m_buf[stop - 1] == '\r')
            --stop;
        std::string_view line(m_buf.data() + m_pos, stop - m_pos);
        m_pos = end + terminator;
        return line;
    }

    void fill() {
        // Keep the unfinished line; a line longer than the buffer makes it grow.
        std::memmove(m_buf.data(), m_buf.data() + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
        if (m_end == capacity())
            m_buf.resize(capacity() * 2 + kPad);
        for (;;) {
            checkInterrupt(); // a batch run ends here when it was interrupted
            const ssize_t got = ::read(m_fd, m_buf.data() + m_end, capacity() - m_end);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                fail(errno);
            if (got == 0)
                m_eof = true;
            // A NUL byte is no text: the file is refused as the line reader refuses it.
            if (std::memchr(m_buf.data() + m_end, '\0', size_t(got)))
                throw LexError("不是文本文件：" + m_path.string(), m_path);
            m_end += size_t(got);
            // The UTF-8 mark is no part of the first line.
            if (!m_started && m_end >= 3 && std::memcmp(m_buf.data(), "\xEF\xBB\xBF", 3) == 0)
                m_pos = 3;
            if (m_end >= 3 || m_eof)
                m_started = true;
            return;
        }
    }

    [[noreturn]] void fail(int err) const {
        throw LexError("无法读取文件：" + m_path.string() + "（" + systemErrorText(err) + "）",
                       m_path);
    }

    std::filesystem::path m_path;
    int m_fd = -1;
    // The buffer has kPad bytes beyond its capacity, so that a line's hash may read past it.
    static constexpr size_t kPad = 8;
    size_t capacity() const { return m_buf.size() - kPad; }
    std::string m_buf = std::string((size_t(1) << 20) + kPad, '\0');
    size_t m_pos = 0;
    size_t m_end = 0;
    bool m_eof = false;
    bool m_started = false; // the first bytes are read
};

} // namespace

bool countLines(const std::filesystem::path &input, EntryHashSet &set, std::vector<int64_t> &counts,
                EventPump &pump) {
    set.setPump(&pump);
    // Code page 936 whatever the first bytes, unless the file is UTF-8.
    const bool utf8 = detectUtf8(input) == LexiconEncoding::Utf8;
    ByteLines lines(input);
    SeenLines seen;
    std::u16string text;
    // Lines are taken a batch at a time, their cells fetched before they are looked up: the
    // lookups wait on memory, not on computation.
    constexpr size_t kBatch = 16;
    std::string_view batch[kBatch];
    uint64_t hashes[kBatch];
    for (;;) {
        size_t n = 0;
        std::string_view bytes;
        while (n < kBatch && lines.next(bytes)) {
            if (bytes.empty())
                continue;
            hashes[n] = SeenLines::hash(bytes);
            seen.prefetch(hashes[n]);
            batch[n++] = bytes;
        }
        if (n == 0) {
            if (!lines.refill())
                break;
            continue;
        }
        for (size_t k = 0; k < n; ++k) {
            bytes = batch[k];
            const uint64_t h = hashes[k];
            SeenLines::Cell &cell = seen.find(bytes, h);
            // A line seen before is found again without a lookup while the set has no slot
            // table, yielding once as its lookup would. A stop makes the set build its table
            // and look the line up as it stands, and every line after it too.
            if (cell.entry >= 0 && !set.materialized()) {
                if (!pump.yield()) {
                    ++counts[size_t(cell.entry)];
                    continue;
                }
                set.materialize();
            }
            text.clear();
            if (utf8)
                decodeUtf8(bytes, text);
            else
                decode936(bytes, text);
            std::u16string_view line = text;
            int32_t entry;
            if (set.Contains(line)) {
                entry = set.matchedIndex();
                ++counts[size_t(entry)];
            } else {
                // A lookup that a stop request cut short stopped at a slot that may hold
                // another line: counting ends here, so that every line counted so far stays
                // found.
                if (set.lastLookupCut())
                    return false;
                set.Add(line);
                entry = set.insertedCount() - 1;
                counts.push_back(1);
            }
            if (cell.entry < 0)
                seen.insert(cell, bytes, h, entry);
        }
    }
    return true;
}

StatsResult countWords(const std::filesystem::path &input, const std::filesystem::path &output,
                       EventPump &pump) {
    StatsResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;

    // The counter is created empty; its clear yields as a clear of the slot table does.
    EntryHashSet set(KeyVariant::Annotation, /*cancelledResult=*/false);
    pump.yieldMany(EntryHashSet::kSlots / EntryHashSet::kClearYieldEvery);
    std::vector<int64_t> counts;
    countLines(input, set, counts, pump);

    const int32_t n = set.insertedCount();
    result.entries = n;
    // The output lines, as (padded count, entry): ordering these pairs orders the lines
    // "NNNNNN<TAB>entry", whose first seven characters are digits and a TAB.
    struct Item {
        int32_t padded;
        std::u16string_view entry;
    };
    std::vector<Item> items;
    items.reserve(size_t(n));
    for (int32_t i = 0; i < n; ++i) {
        items.push_back({int32_t(counts[size_t(i)] % 1000000), set.entry(i)});
        if (i % kYieldEvery == 0 && pump.yield())
            break;
    }
    uint32_t countdown = 4096;
    std::sort(items.begin(), items.end(), [&](const Item &a, const Item &b) {
        if (--countdown == 0) {
            countdown = 4096;
            pump.yield();
        }
        if (a.padded != b.padded)
            return a.padded < b.padded;
        return a.entry < b.entry;
    });

    LineWriter writer(output, pump.context());
    std::u16string text;
    for (size_t i = items.size(); i-- > 0;) {
        text = paddedCount(items[i].padded);
        text += u'\t';
        text += items[i].entry;
        writer.writeLine(text);
        if (i % kYieldEvery == 0 && pump.yield())
            break;
    }
    writer.close();
    result.stopped = pump.stopRequested();
    return result;
}

std::string statsReport(const StatsResult &result, std::string_view elapsed) {
    if (result.stopped)
        return std::string(kStatsStopped);
    return CompletionText().count("合计词条：", result.entries).text(elapsed);
}

} // namespace lex::bigseg
