#pragma once
// The entry hash set: 2,000,000 int32 slots with linear probing, addressed by the entry key,
// beside an entry list that keeps the lines in insertion order.
//
// Everything the owner can observe is that of the plain slot-by-slot probe: the slot where
// each lookup stops (the probe position), the slots that become tombstones, insertion order,
// counts, placeholders, and the slot numbers where a long probe run yields and may be cut
// short. But real lexicons cluster badly under the key (every two- and three-character word
// lands in 0..999,999 and a word's annotated and plain lines share one key), so walking the
// slots costs billions of steps. Because a slot never becomes empty again before Clear, each
// lookup can be answered in O(1) amortised instead:
//  - a live line is found through a hash index from line to slot: no empty slot can lie
//    between its key and its slot, so the literal probe would stop exactly there;
//  - an absent line stops at the next empty slot at or after its key, found through a
//    union-find over the slots ("next empty slot");
//  - the yield points of a run are the multiples of 20,000 in (key, stop], and a run cut
//    short by a stop request ends at the first of them at which the pump says stop.
//
// Most runs never see a stop request, and then the slots are not observable at all: a line is
// found exactly when it is live, and every Add takes an empty slot, so the only limit is the
// number of Adds. The set therefore starts without a slot table and only keeps the entry list
// and the line index, yielding once per lookup. The slot table is built when something needs
// it — a stop request seen by a lookup, a word lookup (which picks the match nearest the key),
// or a question about slots or the probe position — by replaying the Adds in order: an Add's
// slot is the first empty slot at or after its key, whatever was removed meanwhile. From then
// on lookups walk the slots as above, so a stop takes effect exactly as if it had been pressed
// just before the lookup that saw it.

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lex {

enum class KeyVariant {
    // Sort and update tools: a line must start with a double-byte character and hold two or
    // more; every other line is rejected and becomes ";".
    Standard,
    // Set operations: single-byte characters are skipped wherever they stand; one double-byte
    // character has the key u1 * 10; a line without any becomes the empty string; Remove
    // leaves the empty string.
    SetOperations,
    // Annotation tool and word statistics: as SetOperations, but a line without double-byte
    // characters becomes ";" and Remove leaves ";".
    Annotation,
};

// The one rule of which lines keep their own text under a key variant, for the entry set and for
// the lines held as code page 936 bytes (byte_lines.h): from whether the first character is a
// double-byte one and how many double-byte characters the line holds (counted up to two). A line
// that does not becomes the variant's placeholder.
constexpr bool keepsOwnText(KeyVariant variant, bool leadDoubleByte, int doubleBytes) {
    return variant == KeyVariant::Standard ? leadDoubleByte && doubleBytes >= 2 : doubleBytes >= 1;
}
// ";", or the empty string for the set operations.
constexpr std::u16string_view placeholderOf(KeyVariant variant) {
    return variant == KeyVariant::SetOperations ? std::u16string_view() : u";";
}

// The 64-bit hash of a line: the entry set's, and that of partitions and partition tables.
uint64_t hashLine(std::u16string_view line);
// The last step of the hashes: every input bit reaches every output bit.
inline uint64_t mixHash(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

class EntryHashSet {
public:
    static constexpr int32_t kSlots = 2'000'000;
    static constexpr int32_t kProbeYieldEvery = 20'000;
    static constexpr int32_t kClearYieldEvery = 200'000;
    static constexpr int32_t kEmpty = -1;
    static constexpr int32_t kDeleted = -2;
    static constexpr int32_t kRejectKey = 1'000'000;

    // The set takes as many Adds between two Clears as the capacity of its pump's run says
    // (size_limits.h): the window's 2,000,000, another number, or no limit (lexcli); once they
    // are taken, a lookup of an absent line throws the capacity message.
    // cancelledResult: what a lookup cut short by a stop request returns (set operations:
    // true, word statistics: false). wordLookups is accepted for callers that name it: the
    // index that Hash_ExistsX needs is built at its first call after a Clear.
    explicit EntryHashSet(KeyVariant variant = KeyVariant::Standard, bool cancelledResult = false,
                          bool wordLookups = false);
    ~EntryHashSet();
    EntryHashSet(const EntryHashSet &) = delete;
    EntryHashSet &operator=(const EntryHashSet &) = delete;

    // The pump that long probe runs yield to (may be null: no yields); its run's limits give the
    // capacity (the windows' slots without a pump).
    // Its run also says which units are a word's (the windows': code page 936's double-byte
    // characters; every character outside ASCII when the outputs hold every character).
    void setPump(EventPump *pump) {
        m_pump = pump;
        m_capacity = pump ? pump->context().limits().capacity : SizeLimits::kWindowCapacity;
        m_units = pump ? pump->context().wordUnits() : WordUnits::narrow();
    }
    // The capacity and the word units of `other`, without its pump: a set worked on another
    // thread for the same run.
    void sameRunAs(const EntryHashSet &other) {
        m_capacity = other.m_capacity;
        m_units = other.m_units;
    }
    // A hint that `line` will be looked up soon (by Contains, or by Hash_ExistsX once the word
    // index is built): starts loading the memory its lookup needs.
    // Hints are taken in order by the lookups of the same lines (same memory), which then skip
    // computing key and hash; `line` must stay valid until then. Changes nothing observable.
    void prefetch(std::u16string_view line);
    // Room for `entries` lines of `textUnits` code units in all (an estimate; saves regrowth).
    void reserve(size_t entries, size_t textUnits = 0);
    // From now on until Clear, Add keeps a view of the caller's text instead of a copy; the
    // caller keeps that text alive and unchanged until Clear. Saves copying every line of a
    // lexicon that is held in memory anyway.
    void borrowText() { m_borrowing = true; }

    // Empties the set. The second form yields at slots 0, 200,000, ... 1,800,000.
    void Clear();
    // With keepMemory the set keeps its buffers for a refill within the same operation.
    void Clear(EventPump &pump, bool keepMemory = false);

    // The key of `word` under `variant`; a word without a key of its own is rewritten, in
    // the caller's variable, to the variant's placeholder (";" or the empty string).
    // `units` say which units count as the word's characters.
    static int32_t EntryKey(KeyVariant variant, std::u16string_view &word,
                            WordUnits units = WordUnits::narrow());
    // The key with the word units of `run`; a line that became the placeholder losing
    // characters code page 936 lacks is noted in `run` (RunContext::noteDropped).
    static int32_t EntryKey(KeyVariant variant, std::u16string_view &word, RunContext &run);
    int32_t EntryKey(std::u16string &word) const;

    // Builds the slot table now; lookups walk it from then on (until Clear).
    void materialize();
    bool materialized() const { return m_materialized; }

    // Probes for the line (which the key may rewrite) and leaves the probe position where the
    // probe stopped. Throws LexError when the line is absent and the capacity is taken.
    bool Contains(std::u16string &word);
    bool Contains(std::u16string_view &word);
    // Appends the line to the entry list and stores its index at the probe position. Must
    // follow a Contains of the same line that returned false.
    void Add(std::u16string_view word);
    // Turns the slot at the probe position into a tombstone and the entry into the
    // placeholder. Must follow a Contains that returned true; after a lookup that a stop
    // request cut short it removes nothing and returns false.
    bool Remove();
    // Word lookup: as Contains, but an entry matches when entryWord of the entry equals
    // entryWord of the line, and the run yields after every probe step that moves on.
    bool Hash_ExistsX(std::u16string &word);
    bool Hash_ExistsX(std::u16string_view &word);

    // What Hash_ExistsX computes from the line alone, worked out ahead (on any thread: it
    // reads nothing of the set's but its variant): the key, the word as the key left it, and
    // the word's hash.
    struct WordHint {
        std::u16string_view word;
        int32_t key;
        uint32_t hash;
    };
    // The hints of `lines`, one per line, into `hints`.
    void hintWords(std::span<const std::u16string_view> lines, std::span<WordHint> hints) const;
    // Hash_ExistsX of the line whose hint hintWords() gave.
    bool Hash_ExistsX(std::u16string_view &word, const WordHint &hint);
    // Starts loading what the lookup of a hinted line reads: at `step` 0 the cell of its word,
    // at 1 the entries the cell leads to (the cell loaded by then), at 2 the text they are
    // compared with.
    void prefetch(const WordHint &hint, int step) const;

    KeyVariant variant() const { return m_variant; }
    // Adds this set takes between two Clears; SizeLimits::kUnlimited for no limit.
    int64_t capacity() const { return m_capacity; }
    void setCapacity(int64_t capacity) { m_capacity = capacity; }
    int32_t insertedCount() const { return int32_t(m_entries.size()); }
    int32_t deletedCount() const { return m_deleted; }
    int32_t probePosition() const {
        built();
        return m_probe;
    }
    bool lastLookupCut() const { return m_cut; }
    // The entry list, with placeholders where entries were removed.
    std::u16string_view entry(int32_t index) const;
    // The slot table value at `slot` (-1 empty, -2 tombstone, else an entry index).
    int32_t slotValue(int32_t slot) const { return built().m_slots[slot].value; }
    // The entry index held at the probe position (after a successful lookup).
    int32_t matchedIndex() const {
        if (!m_materialized)
            return m_probeAt == ProbeAt::Found ? m_probeEntry : kEmpty;
        return m_probe < kSlots ? m_slots[m_probe].value : kEmpty;
    }
    std::u16string_view placeholder() const;

private:
    // An entry's text: an offset into m_text, or, while borrowing, the caller's own pointer.
    // The text stays when the entry is removed (the word index may still compare with it).
    struct EntryRef {
        uintptr_t pos;
        uint32_t length;
        int32_t key; // kept for the replay that builds the slot table; ~key once removed
    };
    static bool removed(const EntryRef &r) { return r.key < 0; }
    static int32_t keyOf(const EntryRef &r) { return r.key < 0 ? ~r.key : r.key; }
    // What the probe position is, while the slot table is not built: where the last lookup,
    // Add or Remove left it, expressed without slots.
    enum class ProbeAt { Idle, Found, Absent, Entry };
    // A slot and, while it is not empty, its link in the "next empty slot" union-find: the
    // link points at or before the first empty slot after it. Kept side by side so that a
    // lookup touches one cache line.
    struct Slot {
        int32_t value;
        int32_t next;
    };
    // The line index: live entries by line hash, open addressing with linear probing (with the
    // entries removed since its last use, until its next).
    struct IndexCell {
        uint32_t hash;
        int32_t entry; // -1: free
    };
    const char16_t *textOf(const EntryRef &r) const {
        return m_borrowing ? reinterpret_cast<const char16_t *>(r.pos) : m_text.data() + r.pos;
    }
    // The line of entry `idx` as it was added, removed or not.
    std::u16string_view lineOf(int32_t idx) const {
        const EntryRef &r = m_entries[size_t(idx)];
        return std::u16string_view(textOf(r), r.length);
    }
    // Whether entry `idx` can still be found: not removed, and not overwritten by an Add after
    // a cut-short lookup (once the slots are built).
    bool live(int32_t idx) const {
        return m_materialized ? m_slotOf[size_t(idx)] >= 0 : !removed(m_entries[size_t(idx)]);
    }

    // Building the slot table changes nothing observable, so const questions may build it.
    const EntryHashSet &built() const {
        const_cast<EntryHashSet *>(this)->materialize();
        return *this;
    }
    void clear(bool keepMemory);
    bool full() const;
    bool lookup(std::u16string_view &word, bool byWord);
    bool probe(std::u16string_view &word, int32_t key, uint32_t hash, bool haveHash, bool byWord);
    // A line the key made the placeholder: noted in the run when it lost characters that code
    // page 936 lacks.
    void noteDropped(std::u16string_view read);
    bool deferredLookup(std::u16string_view &word, int32_t key, uint32_t hash, bool haveHash,
                        bool byWord);
    void markRemoved(int32_t idx);
    void buildWordIndex();
    int32_t nextEmpty(int32_t from);
    size_t findCell(std::u16string_view line, uint32_t hash) const;
    int32_t findLive(std::u16string_view line, uint32_t hash);
    void indexInsert(int32_t idx, uint32_t hash);
    void indexErase(size_t cell);
    void unlinkLive(int32_t idx);
    void unlinkRemoved();
    void growIndex(size_t cells);
    int32_t distance(int32_t from, int32_t to) const {
        return to >= from ? to - from : to + kSlots - from;
    }

    KeyVariant m_variant;
    WordUnits m_units = WordUnits::narrow();
    bool m_cancelledResult;
    int64_t m_capacity;
    EventPump *m_pump = nullptr;

    LargeArray<Slot> m_slots; // empty until materialized
    bool m_materialized = false;
    ProbeAt m_probeAt = ProbeAt::Idle;
    int32_t m_probeKey = 0;   // Absent: the key of the line looked up
    int32_t m_probeEntry = 0; // Found, Entry: the entry whose slot the probe is at
    int32_t m_lastKey = 0;    // the key of the last lookup, for the Add that follows it
    int32_t m_emptyCount = kSlots;
    int32_t m_probe = kSlots;
    int32_t m_deleted = 0;
    bool m_cut = false;
    // The line hash of the last lookup that found nothing, for the Add that follows it.
    bool m_pendingValid = false;
    uint32_t m_pendingHash = 0;

    bool m_borrowing = false;
    LargeArray<char16_t> m_text;
    LargeArray<EntryRef> m_entries;
    LargeArray<int32_t> m_slotOf; // per entry: its slot while live, else -1 (once materialized)
    // Further live entries holding the same line as a live entry (only after an Add at a slot
    // where a cut-short lookup stopped): entry -> next entry with that line.
    std::unordered_map<int32_t, int32_t> m_dup;

    LargeArray<IndexCell> m_index;
    size_t m_indexUsed = 0;
    // Entries removed since the line index was last used: they leave it before its next use.
    // A pass that only looks up words and removes what it finds (the correction) never pays
    // for taking its removals out of an index it does not use.
    std::vector<int32_t> m_unlinkLater;

    // What prefetch() computed for the lines it was given, in order, so that their lookups
    // need not compute key and hash again.
    struct Prefetched {
        const char16_t *data;
        size_t size;
        std::u16string_view word; // as the key left it
        int32_t key;
        uint32_t hash; // of the word when `ofWord` (the word index exists), else of the line
        bool ofWord;
    };
    static constexpr size_t kPrefetchRing = 32;
    // The entry in the cell of hint `q`, or -1; with `sameHash`, only when the cell holds the
    // hint's hash.
    int32_t hintedEntry(const Prefetched &q, bool sameHash) const;
    Prefetched m_ring[kPrefetchRing] = {};
    size_t m_ringHead = 0; // next to fill
    size_t m_ringTail = 0; // next to use

    struct WordIndex;
    std::unique_ptr<WordIndex> m_words;
};

// Hands every line of `reader` (a LineReader) to `step` in order, hinting each line to the set
// a few lines before its lookup: lookups are bound by cache misses, not by computation. The
// hints must come in the order of the lookups, so the first lines are hinted before the first
// lookup, and no line past the end is hinted (peekLineView gives a view without data there,
// where an empty line of the file has one). Counting the lines first would wait for the whole
// file to be decoded.
template <class Reader, class Step>
void lookUpEachLine(Reader &reader, EntryHashSet &set, Step step) {
    constexpr size_t kAhead = 8;
    for (size_t j = 0; j < kAhead; ++j) {
        const std::u16string_view line = reader.peekLineView(j);
        if (!line.data())
            break;
        set.prefetch(line);
    }
    while (!reader.atEnd()) {
        if (const std::u16string_view ahead = reader.peekLineView(kAhead); ahead.data())
            set.prefetch(ahead);
        step(reader.readLineView());
    }
}

} // namespace lex
