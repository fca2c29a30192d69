#include "shared/lexcore/entry_hash_set.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/lexicon_rules.h"
#include "shared/lexcore/size_limits.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace lex {

namespace {

// entryWord of a line without building it: the first code unit, then the word units.
uint64_t hashWord(std::u16string_view s, const int16_t *units) {
    // Every unit is mixed in on its own: words of two or three characters differ in a few
    // bits only, and a plain xor-multiply per unit lets 呵呵 and 哈哈 meet.
    uint64_t h = 0x9E3779B97F4A7C15ULL;
    auto step = [&h](char16_t c) {
        h = (h ^ c) * 0xbf58476d1ce4e5b9ULL;
        h ^= h >> 31;
    };
    if (!s.empty())
        step(s[0]);
    for (size_t i = 1; i < s.size(); ++i)
        if (units[s[i]] < 0)
            step(s[i]);
    return mixHash(h);
}

bool sameWord(std::u16string_view a, std::u16string_view b, const int16_t *units) {
    if (a.empty() || b.empty())
        return a.empty() && b.empty();
    if (a[0] != b[0])
        return false;
    size_t i = 1, j = 1;
    for (;; ++i, ++j) {
        while (i < a.size() && units[a[i]] >= 0)
            ++i;
        while (j < b.size() && units[b[j]] >= 0)
            ++j;
        if (i == a.size() || j == b.size())
            return i == a.size() && j == b.size();
        if (a[i] != b[j])
            return false;
    }
}

} // namespace

uint64_t hashLine(std::u16string_view s) {
    uint64_t h = 0x9E3779B97F4A7C15ULL ^ (s.size() * 0x100000001B3ULL);
    const char16_t *p = s.data();
    size_t n = s.size();
    while (n >= 4) {
        uint64_t chunk;
        std::memcpy(&chunk, p, 8);
        h = (h ^ chunk) * 0xbf58476d1ce4e5b9ULL;
        h ^= h >> 31;
        p += 4;
        n -= 4;
    }
    uint64_t tail = 0;
    if (n)
        std::memcpy(&tail, p, n * 2);
    return mixHash(h ^ tail);
}

// The entries by their word, for Hash_ExistsX: open addressing over the words, each cell the
// head of a chain of entries with that word (linked through `next`). Removed entries leave
// their chains at the next lookup of their word. Built at the first word lookup after a Clear,
// so that sets that never look up words never pay for it.
struct EntryHashSet::WordIndex {
    struct Cell {
        uint32_t hash;
        int32_t head; // the newest entry with this word, -1 when none is left
        int32_t line; // the entry whose line gave the word; -1: a free cell
    };
    // In large buffers, as the slots are: random probes need few page-table walks.
    LargeArray<Cell> cells;
    size_t used = 0;
    LargeArray<int32_t> next; // per entry: the next older entry with the same word
    const EntryHashSet &set;

    WordIndex(const EntryHashSet &owner, size_t entries) : set(owner) {
        size_t n = 1024;
        while (n < entries * 2)
            n *= 2;
        cells.assign(n, Cell{0, -1, -1});
        next.assign(entries, -1);
    }

    Cell *find(std::u16string_view word, uint32_t hash, bool create) {
        const size_t mask = cells.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Cell &c = cells[i];
            if (c.line < 0)
                return create ? &c : nullptr;
            if (c.hash == hash && sameWord(set.lineOf(c.line), word, set.m_units.table()))
                return &c;
        }
    }

    void insert(int32_t idx) {
        if ((used + 1) * 2 > cells.size())
            grow();
        const std::u16string_view line = set.lineOf(idx);
        const auto hash = uint32_t(hashWord(line, set.m_units.table()));
        Cell *c = find(line, hash, true);
        if (c->line < 0) {
            *c = Cell{hash, -1, idx};
            ++used;
        }
        next[size_t(idx)] = c->head;
        c->head = idx;
    }

    void grow() {
        LargeArray<Cell> old;
        old.assign(cells.size() * 2, Cell{0, -1, -1});
        old.swap(cells);
        const size_t mask = cells.size() - 1;
        for (const Cell &c : old) {
            if (c.line < 0)
                continue;
            size_t i = c.hash & mask;
            while (cells[i].line >= 0)
                i = (i + 1) & mask;
            cells[i] = c;
        }
    }
};

EntryHashSet::EntryHashSet(KeyVariant variant, bool cancelledResult, bool /*wordLookups*/)
    : m_variant(variant), m_cancelledResult(cancelledResult),
      m_capacity(SizeLimits::kWindowCapacity), m_slots() {
    Clear();
}

EntryHashSet::~EntryHashSet() = default;

void EntryHashSet::Clear() {
    clear(false);
}

void EntryHashSet::clear(bool keepMemory) {
    m_slots.clear();
    m_materialized = false;
    m_probeAt = ProbeAt::Idle;
    m_emptyCount = kSlots;
    m_probe = kSlots;
    m_deleted = 0;
    m_cut = false;
    m_pendingValid = false;
    m_ringHead = m_ringTail = 0;
    m_borrowing = false;
    m_dup = {};
    m_indexUsed = 0;
    m_unlinkLater.clear();
    m_words.reset();
    if (keepMemory) {
        m_text.truncate();
        m_entries.truncate();
        m_slotOf.truncate();
        m_index.assign(m_index.size(), IndexCell{0, -1});
        return;
    }
    m_text.clear();
    m_entries.clear();
    m_slotOf.clear();
    m_index.clear();
    m_index.assign(1024, IndexCell{0, -1});
}

void EntryHashSet::Clear(EventPump &pump, bool keepMemory) {
    // The slots are filled in ten blocks; the pump runs before each block starts.
    for (int32_t i = 0; i < kSlots; i += kClearYieldEvery)
        pump.yield();
    clear(keepMemory);
}

void EntryHashSet::materialize() {
    if (m_materialized)
        return;
    // A set without the window's limit may hold more lines than there are slots.
    if (m_entries.size() > size_t(kSlots))
        throw LexError(capacityFullMessage(kSlots));
    m_materialized = true;
    m_slots.assign(kSlots, Slot{kEmpty, 0});
    m_emptyCount = kSlots;
    // Replay the Adds in order: each took the first empty slot at or after its key. A removed
    // entry's slot is a tombstone; it still counts as taken.
    int32_t probeSlot = kSlots;
    const auto n = int32_t(m_entries.size());
    m_slotOf.clear();
    m_slotOf.reserve(size_t(n));
    for (int32_t i = 0; i < n; ++i) {
        EntryRef &e = m_entries[size_t(i)];
        int32_t slot = nextEmpty(keyOf(e));
        if (slot == kSlots)
            slot = nextEmpty(0);
        Slot &t = m_slots[slot];
        t.next = slot + 1;
        --m_emptyCount;
        const bool gone = removed(e);
        t.value = gone ? kDeleted : i;
        m_slotOf.push_back(gone ? -1 : slot);
        if (i == m_probeEntry)
            probeSlot = slot;
    }
    switch (m_probeAt) {
    case ProbeAt::Idle:
        m_probe = kSlots;
        break;
    case ProbeAt::Found:
    case ProbeAt::Entry:
        m_probe = probeSlot;
        break;
    case ProbeAt::Absent:
        m_probe = m_emptyCount == 0 ? kSlots : nextEmpty(m_probeKey);
        if (m_probe == kSlots && m_emptyCount > 0)
            m_probe = nextEmpty(0);
        break;
    }
}

void EntryHashSet::reserve(size_t entries, size_t textUnits) {
    m_entries.reserve(entries);
    if (m_materialized)
        m_slotOf.reserve(entries);
    if (textUnits)
        m_text.reserve(textUnits);
    size_t cells = m_index.size();
    while (cells < entries * 2)
        cells *= 2;
    if (cells > m_index.size())
        growIndex(cells);
}

bool EntryHashSet::full() const {
    // Once built, the slots themselves are the limit.
    if (m_materialized && m_emptyCount <= 0)
        return true;
    if (m_capacity < 0)
        return false;
    // The window's slots: full when no empty slot is left, as the plain probe finds it.
    if (m_capacity == kSlots)
        return m_emptyCount == 0;
    return int64_t(m_entries.size()) >= m_capacity;
}

std::u16string_view EntryHashSet::placeholder() const {
    return placeholderOf(m_variant);
}

int32_t EntryHashSet::EntryKey(KeyVariant variant, std::u16string_view &word, WordUnits units) {
    const bool lead = !word.empty() && units.isWord(word[0]);
    // The standard key looks no further than a first character that is not a word's.
    if (!keepsOwnText(variant, lead, 2)) {
        word = placeholderOf(variant);
        return kRejectKey;
    }
    uint32_t u[6];
    int n = 0;
    const int16_t *table = units.table();
    const char16_t *p = word.data();
    const char16_t *end = p + word.size();
    for (; p != end; ++p) {
        const int16_t code = table[*p];
        if (code < 0) {
            uint32_t value = uint32_t(uint16_t(code));
            // Wide words count a surrogate pair as the one character it is.
            if (units.isWide() && *p >= 0xD800 && *p <= 0xDBFF && p + 1 != end && p[1] >= 0xDC00 &&
                p[1] <= 0xDFFF) {
                const uint32_t cp = 0x10000 + ((uint32_t(*p) - 0xD800) << 10) + (p[1] - 0xDC00);
                value = 0x8000 | (cp & 0x7FFF);
                ++p;
            }
            u[n++] = value;
            if (n == 6)
                break;
        }
    }
    if (!keepsOwnText(variant, lead, n)) {
        word = placeholderOf(variant);
        return kRejectKey;
    }
    switch (n) {
    case 1:
        return int32_t(u[0] * 10);
    case 2:
        return int32_t((u[0] % 1000) * 1000 + u[1] % 1000);
    case 3:
        return int32_t((u[0] % 100) * 10000 + (u[1] % 100) * 100 + u[2] % 100);
    case 4:
        return int32_t(1000000 + (u[0] % 10) * 100000 + (u[1] % 10) * 10000 + (u[2] % 100) * 100 +
                       u[3] % 100);
    case 5:
        return int32_t(1000000 + (u[0] % 10) * 100000 + (u[1] % 10) * 10000 + (u[2] % 10) * 1000 +
                       (u[3] % 10) * 100 + u[4] % 100);
    default:
        return int32_t(1000000 + (u[0] % 10) * 100000 + (u[1] % 10) * 10000 + (u[2] % 10) * 1000 +
                       (u[3] % 10) * 100 + (u[4] % 10) * 10 + u[5] % 10);
    }
}

int32_t EntryHashSet::EntryKey(std::u16string &word) const {
    std::u16string_view view = word;
    int32_t key = EntryKey(m_variant, view, m_units);
    if (view.data() != word.data() || view.size() != word.size())
        word = view;
    return key;
}

std::u16string_view EntryHashSet::entry(int32_t index) const {
    const EntryRef &r = m_entries[size_t(index)];
    if (removed(r))
        return placeholder();
    return std::u16string_view(textOf(r), r.length);
}

// The first empty slot at or after `from`, or kSlots when there is none up to the end. Filled
// slots link forward (path halving keeps the chains short); empty slots are their own root.
int32_t EntryHashSet::nextEmpty(int32_t from) {
    Slot *t = m_slots.data();
    int32_t x = from;
    while (x < kSlots && t[x].value != kEmpty) {
        int32_t n = t[x].next;
        if (n < kSlots && t[n].value != kEmpty)
            t[x].next = t[n].next;
        x = t[x].next;
    }
    return x;
}

size_t EntryHashSet::findCell(std::u16string_view line, uint32_t hash) const {
    const size_t mask = m_index.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const IndexCell &c = m_index[i];
        if (c.entry < 0 || (c.hash == hash && lineOf(c.entry) == line))
            return i;
    }
}

int32_t EntryHashSet::findLive(std::u16string_view line, uint32_t hash) {
    unlinkRemoved();
    return m_index[findCell(line, hash)].entry;
}

void EntryHashSet::growIndex(size_t cells) {
    LargeArray<IndexCell> old;
    old.assign(cells, IndexCell{0, -1});
    old.swap(m_index);
    const size_t mask = m_index.size() - 1;
    for (const IndexCell &c : old) {
        if (c.entry < 0)
            continue;
        size_t i = c.hash & mask;
        while (m_index[i].entry >= 0)
            i = (i + 1) & mask;
        m_index[i] = c;
    }
}

void EntryHashSet::indexInsert(int32_t idx, uint32_t hash) {
    unlinkRemoved();
    if ((m_indexUsed + 1) * 2 > m_index.size())
        growIndex(m_index.size() * 2);
    size_t cell = findCell(entry(idx), hash);
    int32_t same = m_index[cell].entry;
    if (same >= 0) {
        // A second live copy of a line: chain it behind the one the index holds.
        auto it = m_dup.find(same);
        if (it != m_dup.end())
            m_dup[idx] = it->second;
        m_dup[same] = idx;
        return;
    }
    m_index[cell] = IndexCell{hash, idx};
    ++m_indexUsed;
}

void EntryHashSet::indexErase(size_t cell) {
    const size_t mask = m_index.size() - 1;
    // Backward-shift deletion keeps every probe chain of the linear-probing index intact.
    size_t hole = cell;
    for (size_t j = (cell + 1) & mask;; j = (j + 1) & mask) {
        const IndexCell other = m_index[j];
        if (other.entry < 0)
            break;
        size_t home = other.hash & mask;
        bool movable = hole <= j ? (home <= hole || home > j) : (home <= hole && home > j);
        if (movable) {
            m_index[hole] = other;
            hole = j;
        }
    }
    m_index[hole] = IndexCell{0, -1};
    --m_indexUsed;
}

void EntryHashSet::unlinkRemoved() {
    // In the order of the removals: the chains of equal lines end up as they would have.
    for (const int32_t idx : m_unlinkLater)
        unlinkLive(idx);
    m_unlinkLater.clear();
}

// Takes an entry out of the line index (it was removed, or its slot was overwritten).
void EntryHashSet::unlinkLive(int32_t idx) {
    const std::u16string_view line = lineOf(idx);
    const uint32_t hash = uint32_t(hashLine(line));
    const size_t cell = findCell(line, hash);
    const int32_t head = m_index[cell].entry;
    if (head == idx) {
        auto it = m_dup.find(idx);
        if (it != m_dup.end()) {
            m_index[cell].entry = it->second;
            m_dup.erase(it);
        } else {
            indexErase(cell);
        }
    } else if (head >= 0) {
        for (int32_t p = head;;) {
            auto it = m_dup.find(p);
            if (it == m_dup.end())
                break;
            if (it->second == idx) {
                auto next = m_dup.find(idx);
                if (next != m_dup.end()) {
                    it->second = next->second;
                    m_dup.erase(next);
                } else {
                    m_dup.erase(it);
                }
                break;
            }
            p = it->second;
        }
    }
    if (m_materialized)
        m_slotOf[size_t(idx)] = -1;
}

void EntryHashSet::prefetch(std::u16string_view line) {
    if (m_ringHead - m_ringTail == kPrefetchRing)
        ++m_ringTail; // the oldest was never looked up
    Prefetched &p = m_ring[m_ringHead++ % kPrefetchRing];
    p.data = line.data();
    p.size = line.size();
    p.key = EntryKey(m_variant, line, m_units);
    p.word = line;
    if (m_materialized)
        __builtin_prefetch(&m_slots[p.key], 1);
    // A set with a word index is looked up by word.
    p.ofWord = m_words != nullptr;
    if (p.ofWord) {
        p.hash = uint32_t(hashWord(line, m_units.table()));
        __builtin_prefetch(&m_words->cells[p.hash & (m_words->cells.size() - 1)]);
    } else {
        p.hash = uint32_t(hashLine(line));
        __builtin_prefetch(&m_index[p.hash & (m_index.size() - 1)], 1);
    }
    // A line found in its cell is compared with the entry's text, two more dependent loads.
    // Lines hinted a few hints ago have their cell in the cache by now: start loading the entry
    // of one and the text of an older one.
    const size_t queued = m_ringHead - m_ringTail;
    if (queued > 4) {
        if (const int32_t e = hintedEntry(m_ring[(m_ringHead - 5) % kPrefetchRing], false); e >= 0)
            __builtin_prefetch(&m_entries[size_t(e)]);
    }
    if (queued > 6) {
        if (const int32_t e = hintedEntry(m_ring[(m_ringHead - 7) % kPrefetchRing], true); e >= 0)
            __builtin_prefetch(textOf(m_entries[size_t(e)]));
    }
}

int32_t EntryHashSet::hintedEntry(const Prefetched &q, bool sameHash) const {
    // A hint given before the word index was built looks in the line index, and the other way.
    if (q.ofWord != (m_words != nullptr))
        return -1;
    if (q.ofWord) {
        const WordIndex::Cell &c = m_words->cells[q.hash & (m_words->cells.size() - 1)];
        return sameHash && c.hash != q.hash ? -1 : c.line;
    }
    const IndexCell &c = m_index[q.hash & (m_index.size() - 1)];
    return sameHash && c.hash != q.hash ? -1 : c.entry;
}

bool EntryHashSet::Contains(std::u16string_view &word) {
    return lookup(word, false);
}

bool EntryHashSet::Contains(std::u16string &word) {
    std::u16string_view view = word;
    bool found = lookup(view, false);
    if (view.data() != word.data() || view.size() != word.size())
        word = view;
    return found;
}

bool EntryHashSet::Hash_ExistsX(std::u16string_view &word) {
    return lookup(word, true);
}

bool EntryHashSet::Hash_ExistsX(std::u16string &word) {
    std::u16string_view view = word;
    bool found = lookup(view, true);
    if (view.data() != word.data() || view.size() != word.size())
        word = view;
    return found;
}

bool EntryHashSet::lookup(std::u16string_view &word, bool byWord) {
    m_cut = false;
    m_pendingValid = false;
    const std::u16string_view read = word;
    int32_t key;
    uint32_t hash = 0;
    bool haveHash = false;
    if (m_ringTail != m_ringHead) {
        const Prefetched &p = m_ring[m_ringTail % kPrefetchRing];
        if (p.data == word.data() && p.size == word.size()) {
            ++m_ringTail;
            key = p.key;
            word = p.word;
            if (p.ofWord == byWord) {
                hash = p.hash;
                haveHash = true;
            }
        } else {
            m_ringTail = m_ringHead = 0; // looked up out of order: forget the hints
            key = EntryKey(m_variant, word, m_units);
        }
    } else {
        key = EntryKey(m_variant, word, m_units);
    }
    // The key rewrites a line without a key of its own to the placeholder.
    if (word.data() != read.data() || word.size() != read.size())
        noteDropped(read);
    return probe(word, key, hash, haveHash, byWord);
}

void EntryHashSet::noteDropped(std::u16string_view read) {
    if (m_pump && !m_units.isWide() && holdsBeyond936(read))
        m_pump->context().noteDropped(read);
}

int32_t EntryHashSet::EntryKey(KeyVariant variant, std::u16string_view &word, RunContext &run) {
    const std::u16string_view read = word;
    const WordUnits units = run.wordUnits();
    const int32_t key = EntryKey(variant, word, units);
    if ((word.data() != read.data() || word.size() != read.size()) && !units.isWide() &&
        holdsBeyond936(read))
        run.noteDropped(read);
    return key;
}

bool EntryHashSet::Hash_ExistsX(std::u16string_view &word, const WordHint &hint) {
    m_cut = false;
    m_pendingValid = false;
    m_ringTail = m_ringHead = 0; // a lookup out of the order of the prefetch() hints
    if (hint.word.data() != word.data() || hint.word.size() != word.size())
        noteDropped(word);
    word = hint.word;
    return probe(word, hint.key, hint.hash, true, true);
}

// The lookup of `word` under `key`, with its hash when `haveHash`.
bool EntryHashSet::probe(std::u16string_view &word, int32_t key, uint32_t hash, bool haveHash,
                         bool byWord) {
    m_lastKey = key;
    if (!m_materialized) {
        // A stop request needs the slots to take effect.
        if (m_pump && m_pump->yield())
            materialize();
        else
            return deferredLookup(word, key, hash, haveHash, byWord);
    }

    // Where the plain probe would stop: at the live match nearest the key, else at the first
    // empty slot at or after the key.
    int32_t match = -1;
    if (byWord) {
        if (!m_words)
            buildWordIndex();
        WordIndex::Cell *cell =
            m_words->find(word, haveHash ? hash : uint32_t(hashWord(word, m_units.table())), false);
        if (cell) {
            int32_t best = kSlots;
            for (int32_t *link = &cell->head; *link >= 0;) {
                const int32_t idx = *link;
                if (!live(idx)) {
                    // Dropped here: removed or overwritten entries never return.
                    *link = m_words->next[size_t(idx)];
                    continue;
                }
                const int32_t slot = m_slotOf[size_t(idx)];
                const int32_t d = distance(key, slot);
                if (d < best) {
                    best = d;
                    match = slot;
                }
                link = &m_words->next[size_t(idx)];
            }
        }
    } else {
        if (!haveHash)
            hash = uint32_t(hashLine(word));
        int32_t idx = findLive(word, hash);
        if (idx >= 0) {
            match = m_slotOf[size_t(idx)];
            if (!m_dup.empty()) {
                int32_t best = distance(key, match);
                for (auto it = m_dup.find(idx); it != m_dup.end(); it = m_dup.find(it->second)) {
                    int32_t slot = m_slotOf[size_t(it->second)];
                    if (distance(key, slot) < best) {
                        best = distance(key, slot);
                        match = slot;
                    }
                }
            }
        }
    }
    int32_t stop = match;
    if (stop < 0) {
        if (full())
            throw LexError(capacityFullMessage(m_capacity < 0 ? kSlots : m_capacity));
        stop = nextEmpty(key);
        if (stop == kSlots)
            stop = nextEmpty(0);
    }

    const int32_t run = distance(key, stop);
    if (run > 0 && m_pump) {
        if (byWord) {
            int64_t cutAfter = m_pump->yieldMany(run);
            if (cutAfter >= 0) {
                m_probe = int32_t((int64_t(key) + cutAfter + 1) % kSlots);
                m_cut = true;
                return m_cancelledResult;
            }
        } else {
            const int32_t first = kProbeYieldEvery - key % kProbeYieldEvery;
            if (first <= run) {
                const int64_t points = (run - first) / kProbeYieldEvery + 1;
                int64_t cutAfter = m_pump->yieldMany(points);
                if (cutAfter >= 0) {
                    m_probe =
                        int32_t((int64_t(key) + first + cutAfter * kProbeYieldEvery) % kSlots);
                    m_cut = true;
                    return m_cancelledResult;
                }
            }
        }
    }
    m_probe = stop;
    if (match < 0 && !byWord) {
        m_pendingValid = true;
        m_pendingHash = hash;
    }
    return match >= 0;
}

bool EntryHashSet::deferredLookup(std::u16string_view &word, int32_t key, uint32_t hash,
                                  bool haveHash, bool byWord) {
    int32_t idx = -1;
    if (byWord) {
        // The live entries with this word all have the word's key, and each Add went further
        // along the run of that key than the ones before it: the nearest is the oldest.
        if (!m_words)
            buildWordIndex();
        if (WordIndex::Cell *cell = m_words->find(
                word, haveHash ? hash : uint32_t(hashWord(word, m_units.table())), false)) {
            for (int32_t *link = &cell->head; *link >= 0;) {
                const int32_t e = *link;
                if (!live(e)) {
                    *link = m_words->next[size_t(e)];
                    continue;
                }
                idx = e; // newest first: the last live one is the oldest
                link = &m_words->next[size_t(e)];
            }
        }
    } else {
        if (!haveHash)
            hash = uint32_t(hashLine(word));
        idx = findLive(word, hash);
    }
    if (idx >= 0) {
        m_probeAt = ProbeAt::Found;
        m_probeEntry = idx;
        return true;
    }
    if (full())
        throw LexError(capacityFullMessage(m_capacity < 0 ? kSlots : m_capacity));
    m_probeAt = ProbeAt::Absent;
    m_probeKey = key;
    if (!byWord) {
        m_pendingValid = true;
        m_pendingHash = hash;
    }
    return false;
}

void EntryHashSet::Add(std::u16string_view word) {
    if (m_materialized ? (m_probe < 0 || m_probe >= kSlots) : m_probeAt != ProbeAt::Absent)
        return; // no lookup before: nothing to add at
    const auto idx = int32_t(m_entries.size());
    if (word.size() >= 0xFFFFFFFFu)
        throw LexError("词库太大，超出了词条表的容量，没有写入任何文件。");
    const uint32_t hash = m_pendingValid ? m_pendingHash : uint32_t(hashLine(word));
    m_pendingValid = false;
    if (m_borrowing) {
        m_entries.push_back(
            {reinterpret_cast<uintptr_t>(word.data()), uint32_t(word.size()), m_lastKey});
    } else {
        m_entries.push_back({m_text.size(), uint32_t(word.size()), m_lastKey});
        m_text.append(word.data(), word.size());
    }
    if (m_materialized) {
        const int32_t slot = m_probe;
        m_slotOf.push_back(slot);
        Slot &s = m_slots[slot];
        if (s.value >= 0) {
            unlinkRemoved();
            unlinkLive(s.value); // its entry stays in the list but can no longer be found
        } else if (s.value == kEmpty) {
            s.next = slot + 1;
            --m_emptyCount;
        }
        s.value = idx;
    } else {
        --m_emptyCount;
        m_probeAt = ProbeAt::Entry;
        m_probeEntry = idx;
    }
    indexInsert(idx, hash);
    if (m_words) {
        m_words->next.push_back(-1);
        m_words->insert(idx);
    }
}

void EntryHashSet::hintWords(std::span<const std::u16string_view> lines,
                             std::span<WordHint> hints) const {
    const size_t n = std::min(lines.size(), hints.size());
    for (size_t i = 0; i < n; ++i) {
        WordHint &h = hints[i];
        std::u16string_view word = lines[i];
        h.key = EntryKey(m_variant, word, m_units);
        h.word = word;
        h.hash = uint32_t(hashWord(word, m_units.table()));
    }
}

void EntryHashSet::prefetch(const WordHint &hint, int step) const {
    if (!m_words)
        return;
    const WordIndex::Cell &c = m_words->cells[hint.hash & (m_words->cells.size() - 1)];
    if (step == 0) {
        __builtin_prefetch(&c);
        return;
    }
    // The cell found first is the word's unless another word's hash collides.
    if (c.line < 0 || c.hash != hint.hash)
        return;
    if (step == 1) {
        __builtin_prefetch(&m_entries[size_t(c.line)]);
        if (c.head >= 0) {
            __builtin_prefetch(&m_entries[size_t(c.head)]);
            __builtin_prefetch(&m_words->next[size_t(c.head)]);
        }
    } else {
        __builtin_prefetch(textOf(m_entries[size_t(c.line)]));
    }
}

void EntryHashSet::buildWordIndex() {
    const size_t n = m_entries.size();
    m_words = std::make_unique<WordIndex>(*this, n);
    for (size_t idx = 0; idx < n; ++idx)
        if (live(int32_t(idx)))
            m_words->insert(int32_t(idx));
}

void EntryHashSet::markRemoved(int32_t idx) {
    if (m_materialized)
        m_slotOf[size_t(idx)] = -1;
    m_unlinkLater.push_back(idx);
    EntryRef &e = m_entries[size_t(idx)];
    if (!removed(e))
        e.key = ~e.key;
    ++m_deleted;
}

bool EntryHashSet::Remove() {
    if (!m_materialized) {
        if (m_probeAt != ProbeAt::Found)
            return false;
        markRemoved(m_probeEntry);
        m_probeAt = ProbeAt::Entry; // the probe stays at the slot that is now a tombstone
        return true;
    }
    if (m_cut || m_probe < 0 || m_probe >= kSlots)
        return false;
    Slot &s = m_slots[m_probe];
    const int32_t idx = s.value;
    if (idx < 0)
        return false;
    markRemoved(idx);
    s.value = kDeleted;
    return true;
}

} // namespace lex
