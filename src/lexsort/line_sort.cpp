#include "lexsort/line_sort.h"

#include "lexsort/pinyin_collator.h"

#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/lexicon_files.h"

#include <algorithm>
#include <cstring>
#include <limits>

// Both sorts first order the lines with a fast sort that may leave equal lines in any order: a
// counting sort into 65,536 buckets by the first 16 bits of each line's order key, then
// std::sort inside each bucket. Where lines that compare equal are identical (in every stroke
// sort, and in pinyin sorts without lines that differ only in case or width) that order is the
// quicksort's, byte for byte. Otherwise the quicksort runs as specified, on the ranks the fast
// sort found, which compare exactly as the lines do.

namespace lex::lexsort {
namespace {

// n elements in one mapping, uninitialised: pages cost only once they are written.
template <class T> class Slab {
public:
    explicit Slab(size_t n) : m_buffer(std::max<size_t>(n, 1) * sizeof(T)) {}
    T *data() const { return static_cast<T *>(m_buffer.data()); }
    T &operator[](size_t i) const { return data()[i]; }

private:
    LargeBuffer m_buffer;
};

// A line during the fast sort: the first bytes of its order key packed big-endian into one
// integer, so that most comparisons touch nothing else, and where the rest is.
struct Item {
    uint64_t prefix;
    uint32_t rest; // pinyin: offset of the sort key
    uint32_t line; // index into the lines being sorted
};

// A line during the quicksort: its rank among the distinct order keys.
struct Ranked {
    uint32_t rank;
    uint32_t line;
};

int sign(int v) {
    return (v > 0) - (v < 0);
}

// Sorts a[0..n) by `less`, which orders by prefix first: a radix sort on the prefix, byte by
// byte, while a range is large, then std::sort. Where a large range agrees on its whole prefix,
// refill(range, count, level) may load the next part of each order key into the prefixes (the
// level counts the refills) and return true; the range is then sorted on by those.
template <class Less, class Refill>
void radixSort(Item *a, size_t n, std::vector<Item> &scratch, const Less &less,
               const Refill &refill) {
    struct Task {
        Item *a;
        size_t n;
        int byte;
        int level;
    };
    std::vector<Task> tasks{{a, n, 7, 0}};
    while (!tasks.empty()) {
        Task t = tasks.back();
        tasks.pop_back();
        for (;;) {
            if (t.n <= 48) {
                std::sort(t.a, t.a + t.n, less);
                break;
            }
            if (t.byte < 0) {
                if (!refill(t.a, t.n, t.level)) {
                    std::sort(t.a, t.a + t.n, less);
                    break;
                }
                t.byte = 7;
                ++t.level;
            }
            const int shift = t.byte * 8;
            size_t start[257] = {};
            for (size_t k = 0; k < t.n; ++k)
                ++start[((t.a[k].prefix >> shift) & 0xFF) + 1];
            if (std::find(start + 1, start + 257, t.n) != start + 257) {
                --t.byte; // one digit for all: on to the next byte
                continue;
            }
            for (int d = 0; d < 256; ++d)
                start[d + 1] += start[d];
            size_t next[256];
            std::copy(start, start + 256, next);
            for (size_t k = 0; k < t.n; ++k)
                scratch[next[(t.a[k].prefix >> shift) & 0xFF]++] = t.a[k];
            std::copy(scratch.begin(), scratch.begin() + ptrdiff_t(t.n), t.a);
            for (int d = 0; d < 256; ++d)
                if (start[d + 1] - start[d] > 1)
                    tasks.push_back({t.a + start[d], start[d + 1] - start[d], t.byte - 1, t.level});
            break;
        }
    }
}

// Items 0..n-1, made by make(k), ordered by (bucketOf(k) < 65,536, prefix, tie(a, b) < 0);
// refill as for radixSort.
template <class BucketOf, class Make, class Tie, class Refill>
Slab<Item> fastSort(size_t n, const BucketOf &bucketOf, const Make &make, const Tie &tie,
                    const Refill &refill, EventPump &pump, SortProgress progress) {
    constexpr size_t kBuckets = 1 << 16;
    std::vector<uint32_t> start(kBuckets + 1, 0);
    for (size_t k = 0; k < n; ++k)
        ++start[bucketOf(k) + 1];
    for (size_t b = 0; b < kBuckets; ++b)
        start[b + 1] += start[b];
    Slab<Item> items(n);
    {
        std::vector<uint32_t> next(start.begin(), start.end() - 1);
        for (size_t k = 0; k < n; ++k)
            items[next[bucketOf(k)]++] = make(k);
    }
    auto less = [&tie](const Item &a, const Item &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        return tie(a, b) < 0;
    };
    size_t largest = 0;
    for (size_t b = 0; b < kBuckets; ++b)
        largest = std::max<size_t>(largest, start[b + 1] - start[b]);
    std::vector<Item> scratch(largest);
    for (size_t b = 0; b < kBuckets; ++b) {
        if (start[b + 1] - start[b] > 1) {
            radixSort(items.data() + start[b], start[b + 1] - start[b], scratch, less, refill);
            if (progress.total > 0)
                pump.setProgress(progress.base + start[b + 1], progress.total);
        }
        pump.yield();
    }
    return items;
}

size_t checkedCount(size_t n) {
    if (n > std::numeric_limits<uint32_t>::max())
        throw LexError("词库的行数太多，无法排序");
    return n;
}

// The stroke order of lines[0..n): the line indices, ascending.
std::vector<uint32_t> strokeOrder(const std::u16string_view *lines, size_t n, EventPump &pump,
                                  SortProgress progress) {
    checkedCount(n);
    // The bucket is code unit 0, the prefix units 1..4; a missing unit counts as 0 there, the
    // tie-break puts the shorter line first.
    auto bucketOf = [lines](size_t k) { return lines[k].empty() ? 0u : uint32_t(lines[k][0]); };
    auto make = [lines](size_t k) {
        const std::u16string_view s = lines[k];
        uint64_t prefix = 0;
        for (size_t u = 1; u < 5; ++u)
            prefix = prefix << 16 | (u < s.size() ? s[u] : 0);
        return Item{prefix, 0, uint32_t(k)};
    };
    // char16_t compares unsigned: code unit order, a proper prefix first.
    auto tie = [lines](const Item &a, const Item &b) {
        const std::u16string_view x = lines[a.line], y = lines[b.line];
        const size_t from = std::min<size_t>({5, x.size(), y.size()});
        return sign(x.substr(from).compare(y.substr(from)));
    };
    // Lines that agree on units 0..4 share long runs (the letters after a first character):
    // the prefixes then take the next four units, as long as some line of the range has them.
    auto refill = [lines](Item *a, size_t count, int level) {
        const size_t from = 5 + 4 * size_t(level);
        bool more = false;
        for (size_t k = 0; k < count; ++k) {
            const std::u16string_view s = lines[a[k].line];
            uint64_t prefix = 0;
            for (size_t u = from; u < from + 4; ++u)
                prefix = prefix << 16 | (u < s.size() ? s[u] : 0);
            a[k].prefix = prefix;
            more = more || s.size() > from;
        }
        return more;
    };
    const Slab<Item> items = fastSort(n, bucketOf, make, tie, refill, pump, progress);
    // Lines that compare equal are identical: this order is the only one.
    std::vector<uint32_t> order(n);
    for (size_t k = 0; k < n; ++k)
        order[k] = items[k].line;
    return order;
}

// Sort keys one after another in one buffer whose untouched room costs nothing.
class KeyArena {
public:
    explicit KeyArena(size_t estimate) { m_buffer.resize(std::max<size_t>(estimate, 4096)); }

    // Appends the key of `text`; returns its offset.
    uint32_t append(const PinyinCollator &collator, std::u16string_view text) {
        size_t room = m_buffer.size() - m_used;
        size_t length = collator.sortKey(text, bytes() + m_used, room);
        if (length > room) {
            m_buffer.resize(std::max(m_buffer.size() * 2, m_used + length));
            length = collator.sortKey(text, bytes() + m_used, m_buffer.size() - m_used);
        }
        if (m_used > std::numeric_limits<uint32_t>::max())
            throw LexError("词库太大，无法按拼音排序");
        const auto at = uint32_t(m_used);
        m_used += length;
        return at;
    }

    const uint8_t *at(uint32_t offset) const { return bytes() + offset; }

private:
    uint8_t *bytes() const { return static_cast<uint8_t *>(m_buffer.data()); }

    LargeBuffer m_buffer;
    size_t m_used = 0;
};

// The pinyin order of lines[0..n): the line indices as the quicksort leaves them.
std::vector<uint32_t> pinyinOrder(const std::u16string_view *lines, size_t n, EventPump &pump,
                                  SortProgress progress) {
    checkedCount(n);
    const PinyinCollator collator;
    size_t units = 0;
    for (size_t k = 0; k < n; ++k)
        units += lines[k].size();
    KeyArena keys(units * 3 + n * 8);
    std::vector<uint32_t> offsets(n);
    for (size_t k = 0; k < n; ++k) {
        offsets[k] = keys.append(collator, lines[k]);
        pump.yield();
    }
    // A key ends in its only zero byte; the bytes after it count as zero.
    auto prefixOf = [&keys](uint32_t at) {
        const uint8_t *key = keys.at(at);
        uint64_t prefix = 0;
        bool ended = false;
        for (int b = 0; b < 8; ++b) {
            const uint8_t byte = ended ? 0 : key[b];
            prefix = prefix << 8 | byte;
            ended = byte == 0;
        }
        return prefix;
    };
    auto bucketOf = [&](size_t k) {
        const uint8_t *key = keys.at(offsets[k]);
        return key[0] == 0 ? 0u : uint32_t(key[0]) << 8 | key[1];
    };
    auto make = [&](size_t k) { return Item{prefixOf(offsets[k]), offsets[k], uint32_t(k)}; };
    auto tie = [&keys](const Item &a, const Item &b) {
        // Equal first eight bytes: either both keys ended within them, or the rest decides.
        if ((a.prefix & 0xFF) == 0)
            return 0;
        return sign(std::strcmp(reinterpret_cast<const char *>(keys.at(a.rest) + 8),
                                reinterpret_cast<const char *>(keys.at(b.rest) + 8)));
    };
    // The prefixes must stay as made: the ranks below compare them.
    auto refill = [](Item *, size_t, int) { return false; };
    std::vector<uint32_t> order(n);
    Slab<Ranked> ranked(n);
    bool mixed = false;
    {
        const Slab<Item> items = fastSort(n, bucketOf, make, tie, refill, pump, progress);
        // The ranks of the keys; the fast order stands unless lines with equal keys differ.
        uint32_t rank = 0;
        for (size_t k = 0; k < n; ++k) {
            const Item &it = items[k];
            if (k + 16 < n)
                __builtin_prefetch(&ranked[items[k + 16].line], 1);
            if (k > 0) {
                const Item &prev = items[k - 1];
                if (prev.prefix != it.prefix || tie(prev, it) != 0)
                    ++rank;
                else
                    mixed = mixed || lines[prev.line] != lines[it.line];
            }
            ranked[it.line] = {rank, it.line};
            order[k] = it.line;
        }
    }
    if (mixed) {
        auto cmp = [](const Ranked &a, const Ranked &b) {
            return (a.rank > b.rank) - (a.rank < b.rank);
        };
        quickSort(ranked.data(), 0, int64_t(n) - 1, cmp, pump, progress);
        for (size_t k = 0; k < n; ++k)
            order[k] = ranked[k].line;
    }
    return order;
}

void applyOrder(std::vector<std::u16string_view> &sA, int64_t lLeft,
                const std::vector<uint32_t> &order) {
    std::vector<std::u16string_view> sorted(order.size());
    for (size_t k = 0; k < order.size(); ++k)
        sorted[k] = sA[size_t(lLeft) + order[k]];
    std::copy(sorted.begin(), sorted.end(), sA.begin() + lLeft);
}

} // namespace

void sortSA(std::vector<std::u16string_view> &sA, int64_t lLeft, int64_t lRight, EventPump &pump,
            SortProgress progress) {
    if (lLeft < lRight)
        applyOrder(sA, lLeft,
                   strokeOrder(sA.data() + lLeft, size_t(lRight - lLeft) + 1, pump, progress));
}

void sortSB(std::vector<std::u16string_view> &sA, int64_t lLeft, int64_t lRight, EventPump &pump,
            SortProgress progress) {
    if (lLeft < lRight)
        applyOrder(sA, lLeft,
                   pinyinOrder(sA.data() + lLeft, size_t(lRight - lLeft) + 1, pump, progress));
}

SortResult sortLines(const std::filesystem::path &input, const std::filesystem::path &output,
                     SortMode mode, EventPump &pump) {
    SortResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    LineReader reader(input);
    std::vector<std::u16string_view> lines;
    lines.reserve(reader.countLines());
    while (!reader.atEnd()) {
        lines.push_back(reader.readLineView());
        pump.yield();
    }
    const size_t n = lines.size();
    // Progress: the sort, then the writing.
    const SortProgress progress{0, 2 * int64_t(n)};
    const std::vector<uint32_t> order = mode == SortMode::Stroke
                                            ? strokeOrder(lines.data(), n, pump, progress)
                                            : pinyinOrder(lines.data(), n, pump, progress);
    LineWriter writer(output);
    writer.reserve(reader.size() * 2 + n * 2);
    // The lines are read in sorted order, all over the text: their memory is asked for early.
    constexpr size_t kAhead = 16;
    for (size_t k = 0; k < n; ++k) {
        if (k + 2 * kAhead < n)
            __builtin_prefetch(&lines[order[k + 2 * kAhead]]);
        if (k + kAhead < n)
            __builtin_prefetch(lines[order[k + kAhead]].data());
        writer.writeLine(lines[order[k]]);
        if (k % 4096 == 0)
            pump.setProgress(int64_t(n + k), 2 * int64_t(n));
        pump.yield();
    }
    writer.close();
    result.count = int64_t(n);
    return result;
}

} // namespace lex::lexsort
