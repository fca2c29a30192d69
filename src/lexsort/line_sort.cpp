#include "lexsort/line_sort.h"

#include "lexsort/foreign_sort.h"

#include "lexsort/chunk_runner.h"
#include "lexsort/pinyin_collator.h"

#include "shared/formats/foreign_lexicon.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/spill.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <utility>

// Both sorts first order the lines with a fast sort that may leave equal lines in any order: a
// counting sort into 65,536 buckets by the first 16 bits of each line's order key, then a radix
// sort and std::sort inside each bucket, the buckets shared out between two threads and written
// out in order as soon as they are sorted. Where lines that compare equal are identical (in
// every stroke sort, and in pinyin sorts without lines that differ only in case or width) that
// order is the quicksort's, byte for byte. Otherwise the quicksort runs step by step on the ranks
// the fast sort found, which compare exactly as the lines do, but only on the ranges that hold
// lines that compare equal and differ: every other range comes out as the fast sort left it.
//
// Nothing is copied out of the reader's text: an item holds where its line is, 32 bits wide.

namespace lex::lexsort {
namespace {

// n elements in one mapping, uninitialised: pages cost only once they are written.
template <class T> class Slab {
public:
    Slab() = default;
    explicit Slab(size_t n) : m_buffer(std::max<size_t>(n, 1) * sizeof(T)) {}
    T *data() const { return static_cast<T *>(m_buffer.data()); }
    T &operator[](size_t i) const { return data()[i]; }

private:
    LargeBuffer m_buffer;
};

constexpr size_t kBuckets = size_t(1) << 16;
// Work is shared out in about this many chunks, none smaller than kMinChunk lines: small enough
// for the two threads to end together, large enough that handing one over costs nothing.
constexpr size_t kChunks = 64;
constexpr size_t kMinChunk = 1024;

size_t chunkSize(size_t n) {
    return std::max(kMinChunk, n / kChunks);
}

// A line in the text: where it starts and its length, in code units.
struct LineRef {
    uint32_t start;
    uint32_t length;
};

// Where `line` lies in the text that begins with the first line added, which sets `text`.
LineRef placeIn(const char16_t *&text, std::u16string_view line) {
    if (!text)
        text = line.data();
    const auto start = size_t(line.data() - text);
    if (start + line.size() > std::numeric_limits<uint32_t>::max())
        throw LexError("词库太大，无法排序");
    return {uint32_t(start), uint32_t(line.size())};
}

// Stroke items: units 0..3 of the line packed big-endian into the prefix (unit 0 is the
// bucket), so that most comparisons touch nothing else.
struct StrokeItem {
    uint64_t prefix;
    uint32_t start;
    uint32_t length;
};

// Pinyin items: the first eight bytes of the line's sort key, and where the key and the line are.
struct KeyItem {
    uint64_t prefix;
    uint32_t rest; // the key's tail past the prefix: its arena in the top bit, its offset below
    uint32_t line; // index of the line in file order
};

// A line during the quicksort: its rank among the distinct order keys.
struct Ranked {
    uint32_t rank;
    uint32_t line;
};

int sign(int v) {
    return (v > 0) - (v < 0);
}

size_t checkedCount(size_t n) {
    if (n > std::numeric_limits<uint32_t>::max())
        throw LexError("词库的行数太多，无法排序");
    return n;
}

// Units from..from+3 of s, big-endian; a missing unit counts as 0.
uint64_t unitsFrom(std::u16string_view s, size_t from) {
    uint64_t prefix = 0;
    for (size_t u = from; u < from + 4; ++u)
        prefix = prefix << 16 | (u < s.size() ? s[u] : 0);
    return prefix;
}

// Sorts a[0..n) by `less`, which orders by prefix first: a radix sort on the prefix, byte by
// byte from byte `first` (7 the highest) down, while a range is large, then std::sort. scratch
// has room for n items. Where a large range agrees on its whole prefix, refill(range, count,
// level) may load the next part of each order key into the prefixes (the level counts the
// refills) and return true; the range is then sorted on by those.
template <class Item, class Less, class Refill>
void radixSort(Item *a, size_t n, Item *scratch, int first, const Less &less,
               const Refill &refill) {
    struct Task {
        Item *a;
        size_t n;
        int byte;
        int level;
    };
    std::vector<Task> tasks{{a, n, first, 0}};
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
            std::copy(scratch, scratch + t.n, t.a);
            for (int d = 0; d < 256; ++d)
                if (start[d + 1] - start[d] > 1)
                    tasks.push_back({t.a + start[d], start[d + 1] - start[d], t.byte - 1, t.level});
            break;
        }
    }
}

// The buckets of the fast sort, by the top 16 bits of the items' prefixes: bucket b holds the
// sorted positions start[b]..start[b+1]-1. Its chunks are runs of whole buckets of about
// chunkSize(n) items, so that lines with equal keys never straddle two chunks.
struct Buckets {
    std::vector<uint32_t> start;
    std::vector<uint32_t> chunkStart; // first bucket of each chunk, then kBuckets
    size_t largest = 0;               // items in the largest bucket

    // count[w][b]: the items of bucket b that thread w counted.
    Buckets(size_t n, const std::vector<uint32_t> (&count)[2]) : start(kBuckets + 1, 0) {
        for (size_t b = 0; b < kBuckets; ++b) {
            const size_t items = size_t(count[0][b]) + (count[1].empty() ? 0 : count[1][b]);
            start[b + 1] = uint32_t(start[b] + items);
            largest = std::max(largest, items);
        }
        const size_t target = chunkSize(n);
        chunkStart.push_back(0);
        for (size_t b = 0; b + 1 < kBuckets; ++b)
            if (start[b + 1] - start[chunkStart.back()] >= target)
                chunkStart.push_back(uint32_t(b + 1));
        chunkStart.push_back(uint32_t(kBuckets));
    }
    size_t chunks() const { return chunkStart.size() - 1; }
    // The sorted positions of chunk c.
    size_t begin(size_t c) const { return start[chunkStart[c]]; }
    size_t end(size_t c) const { return start[chunkStart[c + 1]]; }
};

// Moves the items of a[0..n), whose digit(item) is 0..255, in place to their digit's part:
// part d begins at a + begin[d]. Each item moves once; 256 places to write to stay in the cache.
template <class Item, class Digit>
void permuteByDigit(Item *a, const size_t (&begin)[257], const Digit &digit, EventPump &pump) {
    size_t next[256];
    std::copy(begin, begin + 256, next);
    for (size_t d = 0; d < 256; ++d) {
        while (next[d] < begin[d + 1]) {
            // Follow the cycle: each item displaces the one in the place it goes to.
            Item it = a[next[d]];
            for (size_t to = digit(it); to != d; to = digit(it))
                std::swap(it, a[next[to]++]);
            a[next[d]++] = it;
            pump.yield();
        }
    }
}

// Puts the items in bucket order in place, by the first byte of the bucket, then by the second
// within each: a second array would cost as much in fresh pages as the moves, and moves to
// 65,536 places at once would miss the cache at every step.
template <class Item> void permuteToBuckets(Item *a, const Buckets &buckets, EventPump &pump) {
    size_t begin[257];
    for (size_t d = 0; d <= 256; ++d)
        begin[d] = buckets.start[d * 256];
    permuteByDigit(
        a, begin, [](const Item &it) { return size_t(it.prefix >> 56); }, pump);
    for (size_t high = 0; high < 256; ++high) {
        const size_t base = begin[high];
        if (begin[high + 1] - base < 2)
            continue;
        size_t part[257];
        for (size_t d = 0; d <= 256; ++d)
            part[d] = buckets.start[std::min(high * 256 + d, kBuckets)] - base;
        permuteByDigit(
            a + base, part, [](const Item &it) { return size_t(it.prefix >> 48) & 0xFF; }, pump);
    }
}

// Sorts the buckets of a (in bucket order) chunk by chunk on two threads by `less`, a radix
// sort from byte `first` of the prefix as for radixSort; handOn(begin, end) gets the sorted
// positions, in order, on this thread, and returns how far it has handed them on. checked(c)
// runs after chunk c is sorted, on the thread that sorted it, and may keep it and every later
// chunk from being handed on by returning false.
template <class Item, class Less, class Refill, class Checked, class HandOn>
size_t sortBuckets(Item *a, const Buckets &buckets, int first, const Less &less,
                   const Refill &refill, const Checked &checked, const HandOn &handOn,
                   EventPump &pump) {
    // Each thread's room for the radix sort: pages only for the buckets it sorts.
    Slab<Item> scratch[2] = {Slab<Item>(buckets.largest), Slab<Item>(buckets.largest)};
    std::vector<char> handable(buckets.chunks(), 1);
    size_t handed = 0;
    runChunks(
        buckets.chunks(),
        [&](size_t c, EventPump &p, int w) {
            for (size_t b = buckets.chunkStart[c]; b < buckets.chunkStart[c + 1]; ++b) {
                const size_t from = buckets.start[b], count = buckets.start[b + 1] - from;
                if (count > 1)
                    radixSort(a + from, count, scratch[w].data(), first, less, refill);
                p.yield();
            }
            handable[c] = checked(c);
        },
        [&](size_t c) {
            if (!handable[c])
                return false;
            handOn(buckets.begin(c), buckets.end(c));
            handed = buckets.end(c);
            return true;
        },
        pump);
    return handed;
}

// Stroke order: code unit by code unit, a proper prefix first. Lines that compare equal are
// identical, so the fast sort's order is the only one.
class StrokeSort {
public:
    explicit StrokeSort(size_t estimate) {
        m_count[0].assign(kBuckets, 0);
        m_items.reserve(estimate);
    }

    // The next line in file order; every line lies in one text, at increasing addresses.
    void add(std::u16string_view line) {
        const LineRef ref = placeIn(m_text, line);
        const uint64_t prefix = unitsFrom(line, 0);
        ++m_count[0][prefix >> 48];
        m_items.push_back({prefix, ref.start, ref.length});
    }
    size_t size() const { return m_items.size(); }

    // Sorts; handOn(begin, end) gets the sorted positions in order, a chunk at a time.
    template <class HandOn> void sort(EventPump &pump, const HandOn &handOn) {
        const size_t n = checkedCount(size());
        if (n == 0)
            return;
        const Buckets buckets(n, m_count);
        permuteToBuckets(m_items.data(), buckets, pump);
        const char16_t *text = m_text;
        auto line = [text](const StrokeItem &it) {
            return std::u16string_view(text + it.start, it.length);
        };
        // char16_t compares unsigned: code unit order, a proper prefix first.
        auto less = [&line](const StrokeItem &a, const StrokeItem &b) {
            if (a.prefix != b.prefix)
                return a.prefix < b.prefix;
            const std::u16string_view x = line(a), y = line(b);
            const size_t from = std::min<size_t>({4, x.size(), y.size()});
            return x.substr(from).compare(y.substr(from)) < 0;
        };
        // Lines that agree on units 0..3 share long runs (the letters after a first character):
        // the prefixes then take the next four units, as long as some line of the range has them.
        auto refill = [&line](StrokeItem *a, size_t count, int level) {
            const size_t from = 4 + 4 * size_t(level);
            bool more = false;
            for (size_t k = 0; k < count; ++k) {
                a[k].prefix = unitsFrom(line(a[k]), from);
                more = more || a[k].length > from;
            }
            return more;
        };
        // Unit 0 is the bucket's: the radix starts at unit 1.
        sortBuckets(
            m_items.data(), buckets, 5, less, refill, [](size_t) { return true; }, handOn, pump);
    }

    std::u16string_view at(size_t position) const {
        const StrokeItem &it = m_items[position];
        return {m_text + it.start, it.length};
    }
    // Where the line at `position` starts in the text.
    size_t startAt(size_t position) const { return m_items[position].start; }
    // Asks for the memory of the line at `position` (the items are read in order anyway).
    void prefetch(size_t position, size_t) const {
        __builtin_prefetch(m_text + m_items[position].start);
    }
    // Progress: the sort and the writing, n each.
    int64_t progressBase() const { return 0; }

private:
    const char16_t *m_text = nullptr;
    std::vector<uint32_t> m_count[2]; // lines per bucket
    LargeArray<StrokeItem> m_items;   // in file order, then sorted
};

// The tails of sort keys, each after its eighth byte, one after another in one buffer whose
// untouched room costs nothing.
class KeyArena {
public:
    static constexpr size_t kLimit = size_t(1) << 31; // offsets leave the top bit free

    explicit KeyArena(size_t estimate) { m_buffer.resize(std::max<size_t>(estimate, 4096)); }

    // Appends bytes[0..length); returns their offset.
    uint32_t append(const uint8_t *bytes, size_t length) {
        if (m_used + length > m_buffer.size())
            m_buffer.resize(std::max(m_buffer.size() * 2, m_used + length));
        if (m_used >= kLimit)
            throw LexError("词库太大，无法按拼音排序");
        if (length > 0)
            std::memcpy(static_cast<uint8_t *>(m_buffer.data()) + m_used, bytes, length);
        const auto at = uint32_t(m_used);
        m_used += length;
        return at;
    }

    const uint8_t *at(uint32_t offset) const {
        return static_cast<const uint8_t *>(m_buffer.data()) + offset;
    }

private:
    LargeBuffer m_buffer;
    size_t m_used = 0;
};

// The first eight bytes of a key, big-endian; a key ends in its only zero byte, the bytes after
// it count as zero.
uint64_t prefixOf(const uint8_t *key) {
    uint64_t prefix = 0;
    bool ended = false;
    for (int b = 0; b < 8; ++b) {
        const uint8_t byte = ended ? 0 : key[b];
        prefix = prefix << 8 | byte;
        ended = byte == 0;
    }
    return prefix;
}

// A group of sorted positions first..last (inclusive).
using Group = std::pair<uint32_t, uint32_t>;

// Whether some group of `groups` (ascending, not overlapping) meets the range [l, r]: the first
// group that ends at l or later starts by r.
bool groupMeets(const std::vector<Group> &groups, int64_t l, int64_t r) {
    auto g = std::lower_bound(groups.begin(), groups.end(), l,
                              [](const Group &group, int64_t at) { return group.second < at; });
    return g != groups.end() && g->first <= r;
}

// Pinyin order: ICU sort keys, made on two threads, each with its own collator and arena. Most
// keys of Chinese words end within their first eight bytes, which the items hold: the arenas
// keep only the longer keys' tails.
class PinyinSort {
public:
    explicit PinyinSort(size_t estimate) { m_refs.reserve(estimate); }
    // Lines anywhere in memory, views[0..n) in file order, which must outlive the sort.
    PinyinSort(const std::u16string_view *views, size_t n) : m_views(views), m_viewCount(n) {
        for (size_t k = 0; k < n; ++k)
            m_units += views[k].size();
    }

    // The next line in file order; every line lies in one text, at increasing addresses.
    void add(std::u16string_view line) {
        m_refs.push_back(placeIn(m_text, line));
        m_units += line.size();
    }
    size_t size() const { return m_views ? m_viewCount : m_refs.size(); }

    // Sorts; handOn(begin, end) gets the sorted positions in order, a chunk at a time.
    template <class HandOn> void sort(EventPump &pump, const HandOn &handOn) {
        const size_t n = checkedCount(size());
        if (n == 0)
            return;
        makeKeys(pump);
        const Buckets buckets(n, m_counts);
        permuteToBuckets(m_items.data(), buckets, pump);
        // Equal keys in file order: the quicksort below takes its ranges from file order
        // anyway, and the rest then keeps repeats of a line in theirs.
        auto less = [this](const KeyItem &a, const KeyItem &b) {
            if (a.prefix != b.prefix)
                return a.prefix < b.prefix;
            const int c = tie(a, b);
            return c != 0 ? c < 0 : a.line < b.line;
        };
        // The prefixes must stay as made: the groups below compare them.
        auto refill = [](KeyItem *, size_t, int) { return false; };
        // The groups of equal keys whose lines differ, per chunk.
        std::vector<std::vector<Group>> mixed(buckets.chunks());
        // The bucket's first two key bytes are alike: the radix starts at the third.
        const size_t handed = sortBuckets(
            m_items.data(), buckets, 5, less, refill,
            [&](size_t c) {
                findMixed(buckets.begin(c), buckets.end(c), mixed[c]);
                return mixed[c].empty();
            },
            handOn, pump);
        if (handed == n)
            return;
        for (const auto &chunk : mixed)
            m_mixed.insert(m_mixed.end(), chunk.begin(), chunk.end());
        orderMixed(buckets, m_mixed, pump);
        handOn(handed, n);
    }
    // The groups of sorted positions (ascending) whose keys are equal and whose lines differ,
    // put in order by the quicksort; every other group of equal keys is in file order.
    const std::vector<Group> &mixedGroups() const { return m_mixed; }

    std::u16string_view at(size_t position) const { return line(m_items[position].line); }
    // The file-order index of the line at `position`.
    uint32_t indexAt(size_t position) const { return m_items[position].line; }
    // Asks for the memory of the line at `position`, and of the line's place `ahead` later.
    void prefetch(size_t position, size_t ahead) const {
        if (m_views) {
            __builtin_prefetch(&m_views[m_items[position + ahead].line]);
            __builtin_prefetch(m_views[m_items[position].line].data());
            return;
        }
        __builtin_prefetch(&m_refs[m_items[position + ahead].line]);
        __builtin_prefetch(m_text + m_refs[m_items[position].line].start);
    }
    // Progress: the keys, then the sort and the writing, n each.
    int64_t progressBase() const { return int64_t(size()); }

private:
    std::u16string_view line(uint32_t k) const {
        if (m_views)
            return m_views[k];
        return {m_text + m_refs[k].start, m_refs[k].length};
    }

    // Equal first eight bytes: either both keys ended within them, or their tails decide.
    int tie(const KeyItem &a, const KeyItem &b) const {
        if ((a.prefix & 0xFF) == 0)
            return 0;
        return sign(std::strcmp(tail(a.rest), tail(b.rest)));
    }
    const char *tail(uint32_t rest) const {
        return reinterpret_cast<const char *>(m_arenas[rest >> 31]->at(rest & 0x7FFFFFFF));
    }
    bool sameKey(const KeyItem &a, const KeyItem &b) const {
        return a.prefix == b.prefix && tie(a, b) == 0;
    }

    // The key of every line, made in chunks of lines on two threads: the items in file order
    // and the counts of their buckets.
    void makeKeys(EventPump &pump) {
        const size_t n = size();
        const PinyinCollator collator;
        const std::unique_ptr<PinyinCollator> other = collator.clone();
        const PinyinCollator *collators[2] = {&collator, other.get()};
        for (int w = 0; w < 2; ++w) {
            // Keys take about two bytes a unit, and their level separators and end.
            m_arenas[w] = std::make_unique<KeyArena>(m_units * 3 + n * 8);
            m_counts[w].assign(kBuckets, 0);
        }
        m_items = Slab<KeyItem>(n);
        const size_t lines = chunkSize(n);
        std::vector<uint8_t> room[2] = {std::vector<uint8_t>(256), std::vector<uint8_t>(256)};
        runChunks((n + lines - 1) / lines,
                  [&](size_t c, EventPump &p, int w) {
                      std::vector<uint8_t> &key = room[w];
                      for (size_t k = c * lines; k < std::min(n, (c + 1) * lines); ++k) {
                          const std::u16string_view text = line(uint32_t(k));
                          size_t length = collators[w]->sortKey(text, key.data(), key.size());
                          if (length > key.size()) {
                              key.resize(length);
                              collators[w]->sortKey(text, key.data(), key.size());
                          }
                          const uint64_t prefix = prefixOf(key.data());
                          uint32_t rest = 0;
                          if (length > 8)
                              rest = m_arenas[w]->append(key.data() + 8, length - 8) | uint32_t(w)
                                                                                           << 31;
                          m_items[k] = {prefix, rest, uint32_t(k)};
                          ++m_counts[w][prefix >> 48];
                          p.yield();
                      }
                  },
                  [&](size_t c) {
                      pump.setProgress(int64_t(std::min(n, (c + 1) * lines)), 3 * int64_t(n));
                      return true;
                  },
                  pump);
    }

    // Appends the groups of sorted positions begin..end-1 whose keys are equal and whose lines
    // differ.
    void findMixed(size_t begin, size_t end, std::vector<Group> &groups) const {
        size_t first = begin;
        bool differ = false;
        for (size_t k = begin + 1; k <= end; ++k) {
            if (k < end && sameKey(m_items[k - 1], m_items[k])) {
                differ = differ || line(m_items[k - 1].line) != line(m_items[k].line);
                continue;
            }
            if (differ)
                groups.emplace_back(uint32_t(first), uint32_t(k - 1));
            first = k;
            differ = false;
        }
    }

    // The quicksort over the ranks, on the ranges that hold one of the (ascending) groups, and
    // the lines it puts there.
    void orderMixed(const Buckets &buckets, const std::vector<Group> &groups, EventPump &pump) {
        const size_t n = size();
        Slab<Ranked> ranked(n);
        // A line's rank is the first position of its equal keys: ranks compare as the keys do.
        // Equal keys share a chunk, so the chunks are ranked apart.
        runChunks(
            buckets.chunks(),
            [&](size_t c, EventPump &p, int) {
                uint32_t rank = 0;
                for (size_t k = buckets.begin(c); k < buckets.end(c); ++k) {
                    const KeyItem &it = m_items[k];
                    if (k + 16 < buckets.end(c))
                        __builtin_prefetch(&ranked[m_items[k + 16].line], 1);
                    if (k == buckets.begin(c) || !sameKey(m_items[k - 1], it))
                        rank = uint32_t(k);
                    ranked[it.line] = {rank, it.line};
                    p.yield();
                }
            },
            [](size_t) { return true; }, pump);
        auto cmp = [](const Ranked &a, const Ranked &b) {
            return (a.rank > b.rank) - (a.rank < b.rank);
        };
        auto needed = [&groups](int64_t l, int64_t r) { return groupMeets(groups, l, r); };
        quickSort(ranked.data(), 0, int64_t(n) - 1, cmp, pump, {}, needed);
        for (const auto &[first, last] : groups)
            for (size_t k = first; k <= last; ++k)
                m_items[k].line = ranked[k].line;
    }

    const char16_t *m_text = nullptr;
    size_t m_units = 0;
    LargeArray<LineRef> m_refs;
    const std::u16string_view *m_views = nullptr; // or the lines are views of their own
    size_t m_viewCount = 0;
    std::vector<Group> m_mixed;
    std::unique_ptr<KeyArena> m_arenas[2];
    std::vector<uint32_t> m_counts[2]; // lines per bucket, per thread
    Slab<KeyItem> m_items;             // in file order, then sorted
};

// Lines of separate strings in one text, so that the sorts can see them as a file's lines: each
// one unit after the one before, so that even empty lines start apart.
struct JoinedLines {
    std::u16string text;
    std::vector<size_t> starts;

    JoinedLines(const std::u16string_view *lines, size_t n) {
        size_t units = n;
        for (size_t k = 0; k < n; ++k)
            units += lines[k].size();
        text.reserve(units);
        starts.reserve(n);
        for (size_t k = 0; k < n; ++k) {
            starts.push_back(text.size());
            text.append(lines[k]);
            text.push_back(u'\n');
        }
    }
    std::u16string_view line(size_t k, size_t length) const {
        return std::u16string_view(text).substr(starts[k], length);
    }
};

// Sorts sA[lLeft..lRight] with a Sort over the joined lines; indexOf(sort, joined, k) is the
// index of the line at sorted position k.
template <class Sort, class IndexOf>
void sortViews(std::vector<std::u16string_view> &sA, int64_t lLeft, int64_t lRight, EventPump &pump,
               const IndexOf &indexOf) {
    if (lLeft >= lRight)
        return;
    const size_t n = size_t(lRight - lLeft) + 1;
    const JoinedLines joined(sA.data() + lLeft, n);
    Sort sort(n);
    for (size_t k = 0; k < n; ++k)
        sort.add(joined.line(k, sA[size_t(lLeft) + k].size()));
    sort.sort(pump, [](size_t, size_t) {});
    std::vector<std::u16string_view> sorted(n);
    for (size_t k = 0; k < n; ++k)
        sorted[k] = sA[size_t(lLeft) + indexOf(sort, joined, k)];
    std::copy(sorted.begin(), sorted.end(), sA.begin() + lLeft);
}

} // namespace

void sortSA(std::vector<std::u16string_view> &sA, int64_t lLeft, int64_t lRight, EventPump &pump,
            SortProgress) {
    // Back from where a line starts to its index.
    sortViews<StrokeSort>(
        sA, lLeft, lRight, pump, [](const StrokeSort &sort, const JoinedLines &joined, size_t k) {
            const auto &starts = joined.starts;
            return size_t(std::upper_bound(starts.begin(), starts.end(), sort.startAt(k)) -
                          starts.begin()) -
                   1;
        });
}

void sortSB(std::vector<std::u16string_view> &sA, int64_t lLeft, int64_t lRight, EventPump &pump,
            SortProgress) {
    sortViews<PinyinSort>(
        sA, lLeft, lRight, pump,
        [](const PinyinSort &sort, const JoinedLines &, size_t k) { return sort.indexAt(k); });
}

std::vector<uint32_t> pinyinOrder(const std::vector<std::u16string_view> &texts, EventPump &pump) {
    const size_t n = texts.size();
    std::vector<uint32_t> order(n);
    if (n == 0)
        return order;
    PinyinSort sort(texts.data(), n);
    sort.sort(pump, [](size_t, size_t) {});
    for (size_t k = 0; k < n; ++k)
        order[k] = uint32_t(sort.indexAt(k));
    // The same text at several places: in their order. Equal texts have equal keys, which the
    // sort left in file order but where the quicksort ordered lines of equal keys that differ
    // ("a" and "A"). There each text keeps the places the quicksort gave it, and its lines
    // take them in file order.
    std::vector<uint32_t> places, lines;
    for (const auto &[first, last] : sort.mixedGroups()) {
        places.resize(last - first + 1);
        std::iota(places.begin(), places.end(), first);
        std::stable_sort(places.begin(), places.end(),
                         [&](uint32_t a, uint32_t b) { return texts[order[a]] < texts[order[b]]; });
        for (size_t from = 0; from < places.size();) {
            size_t to = from + 1;
            while (to < places.size() && texts[order[places[to]]] == texts[order[places[from]]])
                ++to;
            lines.clear();
            for (size_t k = from; k < to; ++k)
                lines.push_back(order[places[k]]);
            std::sort(lines.begin(), lines.end());
            for (size_t k = from; k < to; ++k)
                order[places[k]] = lines[k - from];
            from = to;
        }
    }
    return order;
}

namespace {

// Reads the lines into `sort`, sorts them and writes them in order, each chunk as soon as it is
// sorted.
template <class Sort>
int64_t readSortWrite(LineReader &reader, Sort &sort, const std::filesystem::path &output,
                      EventPump &pump) {
    while (!reader.atEnd()) {
        sort.add(reader.readLineView());
        pump.yield();
    }
    const size_t n = sort.size();
    LineWriter writer(output, pump.context());
    // Progress: what the sort did before, then its sorted positions and the lines written.
    const int64_t base = sort.progressBase(), total = base + 2 * int64_t(n);
    // The lines are read in sorted order, all over the text: their memory is asked for early.
    constexpr size_t kAhead = 16;
    sort.sort(pump, [&](size_t begin, size_t end) {
        for (size_t k = begin; k < end; ++k) {
            if (k + 2 * kAhead < end)
                sort.prefetch(k + kAhead, kAhead);
            writer.writeLine(sort.at(k));
            if (k % 4096 == 0)
                pump.setProgress(base + int64_t(end + k), total);
            pump.yield();
        }
    });
    writer.close();
    return int64_t(n);
}

} // namespace

namespace {

// ---- beyond memory ----
//
// A lexicon that does not fit into memory is sorted in runs: chunks of lines that do, each sorted
// and written to one segment of a temporary file, then merged (a group of runs at a time into
// longer runs when they are many). Stroke runs hold the lines: lines that compare equal are
// identical. Pinyin runs hold each line's sort key and its place in the file, and order lines
// with equal keys by that place; where such lines differ (in case or width), the quicksort's
// order of them is found afterwards on the ranks of all lines, as in memory.

// Runs merged at once, at most.
constexpr size_t kFanIn = 64;

// Sort keys of the lines of a pinyin chunk, on two threads.
struct KeyedChunk {
    std::vector<uint8_t> keys[2];
    struct Item {
        uint64_t prefix;
        uint32_t key; // offset in keys[arena]
        uint32_t keyLength;
        uint32_t line; // index in the chunk
        uint32_t arena;
    };
    std::vector<Item> items;
};

// One run's records as the merge reads them.
class RunReader {
public:
    RunReader(const SpillFile &file, SpillSegment segment, size_t buffer, bool keyed)
        : m_in(file, segment, buffer), m_keyed(keyed) {}
    bool next() {
        if (m_in.atEnd())
            return false;
        if (m_keyed) {
            index = m_in.varint();
            const size_t length = size_t(m_in.varint());
            const char *bytes = m_in.bytes(length);
            key.assign(bytes, length);
        }
        line = m_in.readLine();
        return true;
    }
    uint64_t index = 0;
    std::string key; // ends in its only zero byte
    std::u16string_view line;

private:
    SpillReader m_in;
    bool m_keyed;
};

void putRecord(SpillWriter &w, bool keyed, uint64_t index, std::string_view key,
               std::u16string_view line) {
    if (keyed) {
        w.putVarint(index);
        w.putVarint(key.size());
        w.putBytes(key.data(), key.size());
    }
    w.putLine(line);
    w.countRecord();
}

class RunMerge {
public:
    RunMerge(const SpillFile &file, const std::vector<SpillSegment> &runs, size_t buffer,
             bool keyed)
        : m_keyed(keyed) {
        m_readers.reserve(runs.size());
        for (const SpillSegment &run : runs)
            m_readers.emplace_back(file, run, buffer, keyed);
        for (size_t r = 0; r < m_readers.size(); ++r)
            if (m_readers[r].next())
                m_heap.push_back(uint32_t(r));
        for (size_t i = m_heap.size() / 2; i-- > 0;)
            sift(i);
    }
    // The next record in order, or nullptr; valid until the next call.
    const RunReader *next() {
        if (m_current >= 0) {
            if (!m_readers[size_t(m_current)].next()) {
                m_heap[0] = m_heap.back();
                m_heap.pop_back();
            }
            if (!m_heap.empty())
                sift(0);
        }
        if (m_heap.empty())
            return nullptr;
        m_current = m_heap[0];
        return &m_readers[size_t(m_current)];
    }

private:
    bool less(uint32_t a, uint32_t b) const {
        const RunReader &x = m_readers[a], &y = m_readers[b];
        if (m_keyed) {
            // Keys end in their only zero byte: the shorter one's end decides a common prefix.
            const int c =
                std::memcmp(x.key.data(), y.key.data(), std::min(x.key.size(), y.key.size()));
            if (c != 0)
                return c < 0;
            return x.index < y.index;
        }
        const int c = x.line.compare(y.line);
        return c != 0 ? c < 0 : a < b;
    }
    void sift(size_t i) {
        siftDown(m_heap, i, [this](uint32_t a, uint32_t b) { return less(a, b); });
    }

    bool m_keyed;
    std::vector<RunReader> m_readers;
    std::vector<uint32_t> m_heap;
    int64_t m_current = -1;
};

class ExternalSort {
public:
    ExternalSort(SortMode mode, EventPump &pump)
        : m_keyed(mode == SortMode::Pinyin), m_pump(pump), m_plan(planSpill(pump.context(), 0)),
          m_file(m_plan.folder) {
        const SizeLimits &limits = pump.context().limits();
        const uint64_t memory = limits.memory ? limits.memory : defaultMemory();
        // A line of a chunk takes its text and some 40 bytes (stroke) or its key and some 60
        // bytes (pinyin) while it is sorted: half the memory for the chunk's text.
        m_chunkUnits = size_t(std::max<uint64_t>(memory / (m_keyed ? 16 : 8), 256));
        m_text.reserve(m_chunkUnits + 1);
        m_merge = std::max<size_t>(m_plan.buffer, 64 << 10);
    }

    void add(std::u16string_view line) {
        if (!m_lines.empty() && m_text.size() + line.size() > m_chunkUnits)
            flushChunk();
        m_lines.push_back({m_text.size(), line.size()});
        m_text.append(line.data(), line.size());
        ++m_count;
    }

    // Sorts what is left and merges every run into `output`; returns the lines.
    int64_t finish(const std::filesystem::path &output) {
        if (!m_lines.empty())
            flushChunk();
        m_text.clear();
        m_lines = {};
        m_pump.setPhase("合并");
        spillPauseForTest("merge");
        while (m_runs.size() > kFanIn)
            mergePass();
        {
            // Most lexicons have no lines that compare equal and differ: the merge is the order.
            LineWriter writer(output, m_pump.context());
            RunMerge merge(m_file, m_runs, m_merge, m_keyed);
            std::string lastKey;
            std::u16string lastLine;
            bool mixed = false;
            int64_t done = 0;
            while (const RunReader *r = merge.next()) {
                if (m_keyed) {
                    if (done > 0 && r->key == lastKey && r->line != lastLine) {
                        mixed = true;
                        break;
                    }
                    lastKey = r->key;
                    lastLine = r->line;
                }
                writer.writeLine(r->line);
                progress(++done);
            }
            if (!mixed) {
                writer.close();
                return m_count;
            }
        }
        return finishMixed(output);
    }

private:
    struct Place {
        size_t start, length;
    };

    void progress(int64_t done) {
        if ((done & 0xFFF) == 0)
            m_pump.setProgress(done, m_count);
        m_pump.yield();
    }

    void flushChunk() {
        SpillWriter w(m_file, m_plan.buffer);
        const char16_t *text = m_text.data();
        auto line = [&](size_t k) {
            return std::u16string_view(text + m_lines[k].start, m_lines[k].length);
        };
        const size_t n = m_lines.size();
        if (!m_keyed) {
            // The in-memory sort of the chunk: lines that compare equal are identical.
            StrokeSort sort(n);
            for (size_t k = 0; k < n; ++k)
                sort.add(line(k));
            sort.sort(m_pump, [&](size_t begin, size_t end) {
                for (size_t k = begin; k < end; ++k)
                    putRecord(w, false, 0, {}, sort.at(k));
            });
        } else {
            KeyedChunk chunk;
            makeKeys(chunk, line, n);
            auto key = [&](const KeyedChunk::Item &it) {
                return std::string_view(
                    reinterpret_cast<const char *>(chunk.keys[it.arena].data()) + it.key,
                    it.keyLength);
            };
            std::sort(chunk.items.begin(), chunk.items.end(),
                      [&](const KeyedChunk::Item &a, const KeyedChunk::Item &b) {
                          if (a.prefix != b.prefix)
                              return a.prefix < b.prefix;
                          const int c = key(a).compare(key(b));
                          return c != 0 ? c < 0 : a.line < b.line;
                      });
            const uint64_t base = uint64_t(m_count) - n;
            for (const KeyedChunk::Item &it : chunk.items)
                putRecord(w, true, base + it.line, key(it), line(it.line));
        }
        m_runs.push_back(w.endSegment());
        m_text.truncate();
        m_lines.clear();
        m_pump.yield();
    }

    template <class Line> void makeKeys(KeyedChunk &chunk, const Line &line, size_t n) {
        const PinyinCollator collator;
        const std::unique_ptr<PinyinCollator> other = collator.clone();
        const PinyinCollator *collators[2] = {&collator, other.get()};
        chunk.items.resize(n);
        const size_t lines = chunkSize(n);
        std::vector<uint8_t> room[2] = {std::vector<uint8_t>(256), std::vector<uint8_t>(256)};
        runChunks((n + lines - 1) / lines,
                  [&](size_t c, EventPump &p, int w) {
                      std::vector<uint8_t> &key = room[w];
                      std::vector<uint8_t> &arena = chunk.keys[w];
                      for (size_t k = c * lines; k < std::min(n, (c + 1) * lines); ++k) {
                          const std::u16string_view text = line(k);
                          size_t length = collators[w]->sortKey(text, key.data(), key.size());
                          if (length > key.size()) {
                              key.resize(length);
                              collators[w]->sortKey(text, key.data(), key.size());
                          }
                          if (arena.size() + length > std::numeric_limits<uint32_t>::max())
                              throw LexError("词库太大，无法按拼音排序");
                          const auto at = uint32_t(arena.size());
                          arena.insert(arena.end(), key.begin(), key.begin() + long(length));
                          chunk.items[k] = {prefixOf(key.data()), at, uint32_t(length), uint32_t(k),
                                            uint32_t(w)};
                          p.yield();
                      }
                  },
                  [](size_t) { return true; }, m_pump);
    }

    // Merges the runs kFanIn at a time into runs of a new file.
    void mergePass() {
        SpillFile next(m_plan.folder);
        std::vector<SpillSegment> runs;
        for (size_t first = 0; first < m_runs.size(); first += kFanIn) {
            const std::vector<SpillSegment> group(
                m_runs.begin() + long(first),
                m_runs.begin() + long(std::min(m_runs.size(), first + kFanIn)));
            SpillWriter w(next, m_plan.buffer);
            RunMerge merge(m_file, group, m_merge, m_keyed);
            while (const RunReader *r = merge.next()) {
                putRecord(w, m_keyed, r->index, r->key, r->line);
                m_pump.yield();
            }
            runs.push_back(w.endSegment());
        }
        m_file = std::move(next);
        m_runs = std::move(runs);
    }

    // Lines with equal keys differ: the quicksort decides their order. Every line's rank (the
    // first sorted position of its key) goes into an array in file order, the quicksort runs on
    // it where such lines are, and the lines are written once more, those groups as it left them.
    int64_t finishMixed(const std::filesystem::path &output) {
        const size_t n = checkedCount(size_t(m_count));
        Slab<Ranked> ranked(n);
        std::vector<Group> groups;
        {
            RunMerge merge(m_file, m_runs, m_merge, m_keyed);
            std::string lastKey;
            std::u16string firstLine;
            uint32_t rank = 0, k = 0;
            bool differ = false;
            auto endGroup = [&](uint32_t end) {
                if (differ)
                    groups.emplace_back(rank, end - 1);
            };
            for (const RunReader *r; (r = merge.next()); ++k) {
                if (k == 0 || r->key != lastKey) {
                    if (k > 0)
                        endGroup(k);
                    rank = k;
                    lastKey = r->key;
                    firstLine = r->line;
                    differ = false;
                } else if (!differ && r->line != firstLine) {
                    differ = true;
                }
                ranked[size_t(r->index)] = {rank, uint32_t(r->index)};
                m_pump.yield();
            }
            if (k > 0)
                endGroup(k);
        }
        auto cmp = [](const Ranked &a, const Ranked &b) {
            return (a.rank > b.rank) - (a.rank < b.rank);
        };
        auto needed = [&groups](int64_t l, int64_t r) { return groupMeets(groups, l, r); };
        quickSort(ranked.data(), 0, int64_t(n) - 1, cmp, m_pump, {}, needed);

        LineWriter writer(output, m_pump.context());
        RunMerge merge(m_file, m_runs, m_merge, m_keyed);
        size_t g = 0;
        uint32_t k = 0;
        std::unordered_map<uint32_t, std::u16string> held;
        for (const RunReader *r; (r = merge.next()); ++k) {
            if (g < groups.size() && k >= groups[g].first) {
                held.emplace(uint32_t(r->index), std::u16string(r->line));
                if (k == groups[g].second) {
                    for (uint32_t j = groups[g].first; j <= groups[g].second; ++j)
                        writer.writeLine(held.at(ranked[j].line));
                    held.clear();
                    ++g;
                }
            } else {
                writer.writeLine(r->line);
            }
            progress(int64_t(k) + 1);
        }
        writer.close();
        return m_count;
    }

    bool m_keyed;
    EventPump &m_pump;
    SpillPlan m_plan;
    size_t m_chunkUnits;
    size_t m_merge;
    LargeArray<char16_t> m_text;
    std::vector<Place> m_lines;
    int64_t m_count = 0;
    SpillFile m_file;
    std::vector<SpillSegment> m_runs;
};

SortResult sortBeyondMemory(const std::filesystem::path &input, const std::filesystem::path &output,
                            SortMode mode, EventPump &pump) {
    SortResult result;
    result.inputFound = true;
    ExternalSort sort(mode, pump);
    streamLines(input, pump, [&](std::u16string_view line) { sort.add(line); });
    result.count = sort.finish(output);
    return result;
}

} // namespace

SortResult sortLines(const std::filesystem::path &input, const std::filesystem::path &output,
                     SortMode mode, EventPump &pump) {
    SortResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    if (const auto format = formats::foreignFormat(input))
        return sortForeign(input, *format, output,
                           mode == SortMode::Stroke ? ForeignOrder::Stroke : ForeignOrder::Pinyin,
                           pump);
    // In memory: the text and some 40 bytes a line (stroke), and the sort keys (pinyin).
    std::error_code sizeError;
    const uintmax_t fileBytes = std::filesystem::file_size(input, sizeError);
    if (!pump.context().fitsInMemory(fileBytes * (mode == SortMode::Stroke ? 6 : 12)))
        return sortBeyondMemory(input, output, mode, pump);
    LineReader reader(input);
    // Lines take a dozen bytes or so; the arrays grow past this where they take fewer.
    std::error_code error;
    const uintmax_t bytes = std::filesystem::file_size(input, error);
    const size_t estimate = error ? 4096 : size_t(bytes / 8) + 4096;
    if (mode == SortMode::Stroke) {
        StrokeSort sort(estimate);
        result.count = readSortWrite(reader, sort, output, pump);
    } else {
        PinyinSort sort(estimate);
        result.count = readSortWrite(reader, sort, output, pump);
    }
    return result;
}

} // namespace lex::lexsort
