#include "entry_hash_set.h"

#include "cp936.h"
#include "lexicon_files.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace lex {

namespace {

uint64_t mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

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
    return mix(h ^ tail);
}

constexpr std::u16string_view kSemicolon = u";";

} // namespace

struct EntryHashSet::WordIndex {
    std::unordered_map<std::u16string, std::vector<int32_t>> byWord;
};

EntryHashSet::EntryHashSet(KeyVariant variant, bool cancelledResult, bool wordLookups)
    : m_variant(variant), m_cancelledResult(cancelledResult), m_wordLookups(wordLookups),
      m_slots(new int32_t[kSlots]), m_nextEmpty(new int32_t[kSlots + 1]) {
    Clear();
}

EntryHashSet::~EntryHashSet() = default;

void EntryHashSet::Clear() {
    std::fill_n(m_slots.get(), kSlots, kEmpty);
    for (int32_t i = 0; i <= kSlots; ++i)
        m_nextEmpty[i] = i;
    m_emptyCount = kSlots;
    m_probe = kSlots;
    m_deleted = 0;
    m_cut = false;
    m_text = {};
    m_entries = {};
    m_hash = {};
    m_slotOf = {};
    m_dup = {};
    m_index.assign(1024, -1);
    m_indexUsed = 0;
    if (m_wordLookups)
        m_words = std::make_unique<WordIndex>();
    else
        m_words.reset();
}

void EntryHashSet::Clear(EventPump &pump) {
    // The slots are filled in ten blocks; the pump runs before each block starts.
    for (int32_t i = 0; i < kSlots; i += kClearYieldEvery)
        pump.yield();
    Clear();
}

std::u16string_view EntryHashSet::placeholder() const {
    return m_variant == KeyVariant::SetOperations ? std::u16string_view() : kSemicolon;
}

int32_t EntryHashSet::EntryKey(KeyVariant variant, std::u16string_view &word) {
    auto reject = [&](std::u16string_view placeholder) {
        word = placeholder;
        return kRejectKey;
    };
    if (variant == KeyVariant::Standard && (word.empty() || !isDoubleByte(word[0])))
        return reject(kSemicolon);
    uint32_t u[6];
    int n = 0;
    for (char16_t c : word) {
        int16_t code = ansiCode(c);
        if (code < 0) {
            u[n++] = uint32_t(uint16_t(code));
            if (n == 6)
                break;
        }
    }
    switch (n) {
    case 0:
        return reject(variant == KeyVariant::SetOperations ? std::u16string_view() : kSemicolon);
    case 1:
        if (variant == KeyVariant::Standard)
            return reject(kSemicolon);
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
    int32_t key = EntryKey(m_variant, view);
    if (view.data() != word.data() || view.size() != word.size())
        word = view;
    return key;
}

std::u16string_view EntryHashSet::entry(int32_t index) const {
    const EntryRef &r = m_entries[size_t(index)];
    if (r.offset == kPlaceholderOffset)
        return placeholder();
    return std::u16string_view(m_text.data() + r.offset, r.length);
}

// Union-find over the slots: m_nextEmpty[i] leads to the first empty slot at or after i, or
// to the sentinel kSlots when there is none up to the end.
int32_t EntryHashSet::nextEmpty(int32_t from) {
    int32_t *p = m_nextEmpty.get();
    int32_t x = from;
    while (p[x] != x) {
        p[x] = p[p[x]];
        x = p[x];
    }
    return x;
}

void EntryHashSet::markFilled(int32_t slot) {
    m_nextEmpty[slot] = slot + 1;
    --m_emptyCount;
}

int32_t EntryHashSet::findLive(std::u16string_view line, uint64_t hash) const {
    const size_t mask = m_index.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        int32_t idx = m_index[i];
        if (idx < 0)
            return -1;
        if (m_hash[size_t(idx)] == hash && entry(idx) == line)
            return idx;
    }
}

void EntryHashSet::growIndex() {
    std::vector<int32_t> old(m_index.size() * 2, -1);
    old.swap(m_index);
    const size_t mask = m_index.size() - 1;
    for (int32_t idx : old) {
        if (idx < 0)
            continue;
        size_t i = m_hash[size_t(idx)] & mask;
        while (m_index[i] >= 0)
            i = (i + 1) & mask;
        m_index[i] = idx;
    }
}

void EntryHashSet::indexInsert(int32_t idx) {
    const uint64_t hash = m_hash[size_t(idx)];
    int32_t same = findLive(entry(idx), hash);
    if (same >= 0) {
        // A second live copy of a line (only after an Add at a slot where a cut-short lookup
        // stopped): chain it behind the one the index holds.
        m_dup[size_t(idx)] = m_dup[size_t(same)];
        m_dup[size_t(same)] = idx;
        return;
    }
    if ((m_indexUsed + 1) * 2 > m_index.size())
        growIndex();
    const size_t mask = m_index.size() - 1;
    size_t i = hash & mask;
    while (m_index[i] >= 0)
        i = (i + 1) & mask;
    m_index[i] = idx;
    ++m_indexUsed;
}

void EntryHashSet::indexErase(int32_t idx) {
    const size_t mask = m_index.size() - 1;
    size_t i = m_hash[size_t(idx)] & mask;
    while (m_index[i] != idx) {
        if (m_index[i] < 0)
            return;
        i = (i + 1) & mask;
    }
    // Backward-shift deletion keeps every probe chain of the linear-probing index intact.
    size_t hole = i;
    for (size_t j = (i + 1) & mask;; j = (j + 1) & mask) {
        int32_t other = m_index[j];
        if (other < 0)
            break;
        size_t home = m_hash[size_t(other)] & mask;
        bool movable = hole <= j ? (home <= hole || home > j) : (home <= hole && home > j);
        if (movable) {
            m_index[hole] = other;
            hole = j;
        }
    }
    m_index[hole] = -1;
    --m_indexUsed;
}

// Takes a live entry out of the line index (it was removed, or its slot was overwritten).
void EntryHashSet::unlinkLive(int32_t idx) {
    const uint64_t hash = m_hash[size_t(idx)];
    int32_t head = findLive(entry(idx), hash);
    if (head == idx) {
        int32_t next = m_dup[size_t(idx)];
        if (next >= 0) {
            const size_t mask = m_index.size() - 1;
            size_t i = hash & mask;
            while (m_index[i] != idx)
                i = (i + 1) & mask;
            m_index[i] = next;
        } else {
            indexErase(idx);
        }
    } else if (head >= 0) {
        for (int32_t p = head; p >= 0; p = m_dup[size_t(p)]) {
            if (m_dup[size_t(p)] == idx) {
                m_dup[size_t(p)] = m_dup[size_t(idx)];
                break;
            }
        }
    }
    m_dup[size_t(idx)] = -1;
    m_slotOf[size_t(idx)] = -1;
}

bool EntryHashSet::Contains(std::u16string_view &word) { return lookup(word, false); }

bool EntryHashSet::Contains(std::u16string &word) {
    std::u16string_view view = word;
    bool found = lookup(view, false);
    if (view.data() != word.data() || view.size() != word.size())
        word = view;
    return found;
}

bool EntryHashSet::Hash_ExistsX(std::u16string_view &word) { return lookup(word, true); }

bool EntryHashSet::Hash_ExistsX(std::u16string &word) {
    std::u16string_view view = word;
    bool found = lookup(view, true);
    if (view.data() != word.data() || view.size() != word.size())
        word = view;
    return found;
}

bool EntryHashSet::lookup(std::u16string_view &word, bool byWord) {
    m_cut = false;
    const int32_t key = EntryKey(m_variant, word);

    // Where the plain probe would stop: at the live match nearest the key, else at the first
    // empty slot at or after the key.
    int32_t match = -1;
    if (byWord) {
        auto it = m_words->byWord.find(entryWord(word));
        if (it != m_words->byWord.end()) {
            auto &list = it->second;
            int32_t best = kSlots;
            size_t keep = 0;
            for (int32_t idx : list) {
                int32_t slot = m_slotOf[size_t(idx)];
                if (slot < 0)
                    continue; // dropped here: removed or overwritten entries never return
                list[keep++] = idx;
                int32_t d = distance(key, slot);
                if (d < best) {
                    best = d;
                    match = slot;
                }
            }
            list.resize(keep);
        }
    } else {
        const uint64_t hash = hashLine(word);
        int32_t idx = findLive(word, hash);
        int32_t best = kSlots;
        for (; idx >= 0; idx = m_dup[size_t(idx)]) {
            int32_t slot = m_slotOf[size_t(idx)];
            int32_t d = distance(key, slot);
            if (d < best) {
                best = d;
                match = slot;
            }
        }
    }
    int32_t stop = match;
    if (stop < 0) {
        if (m_emptyCount == 0)
            throw LexError("词条太多：超出了词条表 2,000,000 个位置的容量，没有写入任何文件。");
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
                    m_probe = int32_t((int64_t(key) + first + cutAfter * kProbeYieldEvery) % kSlots);
                    m_cut = true;
                    return m_cancelledResult;
                }
            }
        }
    }
    m_probe = stop;
    return match >= 0;
}

void EntryHashSet::Add(std::u16string_view word) {
    const int32_t slot = m_probe;
    if (slot < 0 || slot >= kSlots)
        return; // no lookup before: nothing to add at
    const auto idx = int32_t(m_entries.size());
    if (m_text.size() + word.size() > 0xFFFFFFF0u)
        throw LexError("词库太大，超出了词条表的容量，没有写入任何文件。");
    m_entries.push_back({uint32_t(m_text.size()), uint32_t(word.size())});
    m_text.insert(m_text.end(), word.begin(), word.end());
    m_hash.push_back(hashLine(word));
    m_slotOf.push_back(slot);
    m_dup.push_back(-1);

    const int32_t old = m_slots[slot];
    if (old >= 0)
        unlinkLive(old); // its entry stays in the list but can no longer be found
    else if (old == kEmpty)
        markFilled(slot);
    m_slots[slot] = idx;
    indexInsert(idx);
    if (m_words)
        m_words->byWord[entryWord(word)].push_back(idx);
}

bool EntryHashSet::Remove() {
    if (m_cut || m_probe < 0 || m_probe >= kSlots)
        return false;
    const int32_t idx = m_slots[m_probe];
    if (idx < 0)
        return false;
    unlinkLive(idx);
    m_entries[size_t(idx)] = {kPlaceholderOffset, 0};
    m_slots[m_probe] = kDeleted;
    ++m_deleted;
    return true;
}

} // namespace lex
