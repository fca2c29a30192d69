#pragma once
// A keyword automaton (Aho–Corasick) over a list of words: one pass over a text finds which of
// the words occur in it, whatever their number. The trie is built level by level, each level
// sorted by (parent, character), so its nodes come out numbered breadth first with the children
// of a node contiguous and ordered by character: a child is found by binary search in a small
// array, failure links are computed in one ascending sweep, and building never touches a hash
// table. Comparison is exact, code unit by code unit.

#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace lex::lexsift {

class WordAutomaton {
public:
    // The node of a word that is not in the automaton (the empty word), and the root.
    static constexpr uint32_t kNoNode = 0;

    // Builds the automaton over `words` (duplicates and empty words allowed) and returns, for
    // each word, its node: equal words share one, an empty word gets kNoNode. The views must
    // stay valid during the call only. `reversed` builds over the words read backwards (for
    // endsWithAny). The pump, if any, is given a yield every 65,536 steps of work; when one
    // returns true (a stop), building ends early and returns an empty list.
    std::vector<uint32_t> build(std::span<const std::u16string_view> words, bool reversed = false,
                                EventPump *pump = nullptr);

    size_t nodeCount() const { return m_char.size(); }

    // Marks in `seen` (one byte per node, zero-filled by the caller) the node of every word
    // that occurs in `text`. Yields like build(); returns false when a stop ended the scan.
    bool markOccurrences(std::u16string_view text, std::vector<uint8_t> &seen,
                         EventPump *pump = nullptr) const;

    // Whether some word occurs in `text`, begins it, or (for a reversed automaton) ends it.
    bool containsAny(std::u16string_view text) const;
    bool startsWithAny(std::u16string_view text) const;
    bool endsWithAny(std::u16string_view text) const;

private:
    uint32_t child(uint32_t node, char16_t ch) const {
        if (node == 0)
            return m_rootChild[ch];
        const char16_t *lo = m_char.data() + m_first[node];
        const char16_t *hi = m_char.data() + m_first[node + 1];
        while (hi - lo > 8) {
            const char16_t *mid = lo + (hi - lo) / 2;
            if (*mid < ch)
                lo = mid + 1;
            else
                hi = mid;
        }
        for (; lo < hi; ++lo)
            if (*lo >= ch)
                return *lo == ch ? uint32_t(lo - m_char.data()) : 0;
        return 0;
    }
    // The node reached from `node` by `ch`, following failure links (the root when none).
    uint32_t step(uint32_t node, char16_t ch) const {
        if (!(m_alphabet[ch >> 6] >> (ch & 63) & 1))
            return 0;
        for (;;) {
            if (uint32_t next = child(node, ch))
                return next;
            if (node == 0)
                return 0;
            node = m_fail[node];
        }
    }
    void linkFailures();

    // Per node, breadth-first: the character of its incoming edge, the index of its first
    // child (one extra entry closes the last node's range), its failure link, and the nearest
    // word node on its chain of failure links, itself included (kNoNode when none).
    LargeArray<char16_t> m_char;
    LargeArray<uint32_t> m_first;
    LargeArray<uint32_t> m_fail;
    LargeArray<uint32_t> m_word;
    std::vector<uint32_t> m_rootChild; // 65,536 entries: the root's child by character
    std::vector<uint64_t> m_alphabet;  // one bit per character that occurs in some word
};

} // namespace lex::lexsift
