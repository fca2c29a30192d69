#pragma once
// A keyword automaton (Aho–Corasick) over a list of words: one pass over a text finds which of
// the words occur in it, whatever their number. The trie is built level by level, each level
// radix-sorted by (parent, character), so its nodes come out numbered breadth first with the
// children of a node contiguous and ordered by character: a child is found by binary search in
// a small array, failure links are computed in one ascending sweep, and building reads the
// words in their own order. Comparison is exact, code unit by code unit.

#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"

#include <algorithm>
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

    // Marks the node of every word that occurs in `text` (see occurred()). Yields like build();
    // returns false when a stop ended the scan. A long text is cut into overlapping pieces
    // scanned side by side: the scan waits on memory, and independent pieces overlap the waits.
    bool markOccurrences(std::u16string_view text, EventPump *pump = nullptr);
    // Whether the word of `node` was met by markOccurrences() since the automaton was built.
    bool occurred(uint32_t node) const { return node != kNoNode && m_nodes[node].marked; }

    // Whether some word occurs in `text`, begins it, or (for a reversed automaton) ends it.
    bool containsAny(std::u16string_view text) const;
    bool startsWithAny(std::u16string_view text) const;
    bool endsWithAny(std::u16string_view text) const;

private:
    // One cache line holds four nodes: a scan step reads one node for its children and its
    // failure link, and the node it reaches for its word.
    struct Node {
        uint32_t first;  // the first child; the next node's `first` ends the range
        uint32_t fail;   // the longest proper suffix that is a node
        uint32_t word;   // the nearest word node on the failure chain, itself included
        uint32_t marked; // met by markOccurrences()
    };

    uint32_t child(uint32_t node, char16_t ch) const {
        if (node == 0)
            return m_rootChild[ch];
        // A branch-free search for the last child not above `ch`: the text decides each
        // comparison at random, which a branch would mispredict.
        const char16_t *base = m_char.data() + m_nodes[node].first;
        size_t n = m_nodes[node + 1].first - m_nodes[node].first;
        if (n == 0)
            return 0;
        while (n > 1) {
            const size_t half = n / 2;
            base = base[half] <= ch ? base + half : base;
            n -= half;
        }
        return *base == ch ? uint32_t(base - m_char.data()) : 0;
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
            node = m_nodes[node].fail;
        }
    }

    void mark(uint32_t node) {
        // A marked node has its whole chain marked already.
        for (uint32_t w = m_nodes[node].word; w != kNoNode && !m_nodes[w].marked;
             w = m_nodes[m_nodes[w].fail].word)
            m_nodes[w].marked = 1;
    }

    // Per node, breadth first; m_nodes has one extra entry that closes the last child range.
    LargeArray<char16_t> m_char; // the character of the node's incoming edge
    LargeArray<Node> m_nodes;
    std::vector<uint32_t> m_rootChild; // 65,536 entries: the root's child by character
    std::vector<uint64_t> m_alphabet;  // one bit per character that occurs in some word
    size_t m_longest = 0;              // the length of the longest word
};

} // namespace lex::lexsift
