#pragma once
// A keyword automaton (Aho–Corasick) over a list of words: one pass over a text finds which of
// the words occur in it, and where, whatever their number. The filter by article, the word-list
// conditions, the frequency statistics and the word table of automatic annotation all run on it.
//
// The trie is built level by level, each level radix-sorted by (parent, character), so its nodes
// come out numbered breadth first with the children of a node contiguous and ordered by
// character: a child is found by binary search in a small array, failure links are computed in
// one ascending sweep, and building reads the words in their own order.
//
// Options:
//  - folding: words and text compared exactly, code unit by code unit, or after Unicode simple
//    case folding of both, one code unit for one (foldCase below);
//  - reversed: the words are entered read backwards, for endsWithAny;
//  - pairFilter: small tables of the code unit pairs and triples that begin a word, for
//    mayHoldWord, which lets most short texts skip the scan.
// The automaton's alphabet is the set of code units its words use: any other unit sends a scan
// back to the root in one test.
//
// What a match reports is a word node: equal words (after folding) share one, and build() tells
// each word its node, so that callers map nodes to their own rows, lines or table pairs.
// forEachMatch() reports every occurrence with its end; markOccurrences() marks the distinct
// words met (and can list each the first time it is met); the predicates answer yes or no.

#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lex {

// Unicode simple case folding (ICU's u_foldCase with the default options) of one code unit;
// surrogates stay themselves. Folding never changes a length.
char16_t foldCase(char16_t c);
// Folds every code unit of `text` in place.
void foldCase(std::u16string &text);

struct AutomatonOptions {
    bool folding = false;
    bool reversed = false;
    bool pairFilter = false;
};

class WordAutomaton {
public:
    // The node of a word that is not in the automaton (the empty word), and the root.
    static constexpr uint32_t kNoNode = 0;
    // A scan calls its yield function every this many steps unless told otherwise.
    static constexpr size_t kYieldEvery = size_t(1) << 16;

    // Builds the automaton over `words` (duplicates and empty words allowed) and returns, for
    // each word, its node: equal words share one, an empty word gets kNoNode. The views must
    // stay valid during the call only. The pump, if any, is given a yield every kYieldEvery
    // steps of work; when one returns true (a stop), building ends early and returns an empty
    // list.
    LargeVector<uint32_t> build(std::span<const std::u16string_view> words,
                                AutomatonOptions options = {}, EventPump *pump = nullptr);

    size_t nodeCount() const { return m_char.size(); }
    size_t longestWord() const { return m_longest; }
    // The length of the word that ends at `node` (its depth in the trie).
    size_t depth(uint32_t node) const {
        return size_t(std::upper_bound(m_levels.begin(), m_levels.end(), node) - m_levels.begin()) -
               1;
    }
    bool inAlphabet(char16_t ch) const {
        ch = fold(ch);
        return m_alphabet[ch >> 6] >> (ch & 63) & 1;
    }

    // The state after reading `ch` in `state` (0, the root, to begin with), following failure
    // links.
    uint32_t step(uint32_t state, char16_t ch) const {
        ch = fold(ch);
        if (!(m_alphabet[ch >> 6] >> (ch & 63) & 1))
            return 0;
        for (;;) {
            if (uint32_t next = child(state, ch))
                return next;
            if (state == 0)
                return 0;
            state = m_nodes[state].fail;
        }
    }
    // The word node of `state`: itself when a word ends there, else the nearest node on its
    // failure chain that ends a word; kNoNode when there is none.
    uint32_t wordAt(uint32_t state) const { return m_nodes[state].word; }
    // The next word node on the failure chain of word node `node` (a shorter word ending at the
    // same place), or kNoNode.
    uint32_t nextWord(uint32_t node) const { return m_nodes[m_nodes[node].fail].word; }

    // Calls f(end, node) for every occurrence of a word in `text`: `end` is the index after its
    // last code unit; at one end, longer words come first. A text the pair filter turns away is
    // not scanned.
    template <class F> void forEachMatch(std::u16string_view text, F &&f) const {
        if (!mayHoldWord(text))
            return;
        uint32_t s = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            s = step(s, text[i]);
            for (uint32_t w = wordAt(s); w != kNoNode; w = nextWord(w))
                f(i + 1, w);
        }
    }

    // Marks the node of every word that occurs in `text` (see occurred()); the marks add up
    // over calls until clearMarks(). `yield()` is called every `yieldEvery` steps; when it
    // returns true the scan stops and markOccurrences() returns false. `newlyMarked`, if
    // given, receives each node the first time it is marked. A long text is cut into
    // overlapping pieces scanned side by side: the scan waits on memory, and independent pieces
    // overlap the waits.
    template <class Yield>
    bool markOccurrences(std::u16string_view text, Yield &&yield, size_t yieldEvery = kYieldEvery,
                         std::vector<uint32_t> *newlyMarked = nullptr);
    bool markOccurrences(std::u16string_view text, EventPump *pump = nullptr) {
        return markOccurrences(text, [pump] { return pump && pump->yield(); });
    }
    // Whether the word of `node` was met by markOccurrences() since the last clearMarks().
    bool occurred(uint32_t node) const { return node != kNoNode && m_nodes[node].mark == m_epoch; }
    void clearMarks();

    // Whether some word occurs in `text` (asking the pair filter first), begins it, or (for a
    // reversed automaton) ends it.
    bool containsAny(std::u16string_view text) const;
    bool startsWithAny(std::u16string_view text) const;
    bool endsWithAny(std::u16string_view text) const;
    // False only when no word can occur in `text` (a built pair filter; true without one):
    // every word of two units is a pair the filter holds, every longer word begins with a pair
    // and a triple it holds, every word of one unit is in a table of its own.
    bool mayHoldWord(std::u16string_view text) const;

private:
    // One cache line holds four nodes: a scan step reads one node for its children and its
    // failure link, and the node it reaches for its word.
    struct Node {
        uint32_t first; // the first child; the next node's `first` ends the range
        uint32_t fail;  // the longest proper suffix that is a node
        uint32_t word;  // the nearest word node on the failure chain, itself included
        uint32_t mark;  // the marking epoch in which markOccurrences() last met it
    };

    char16_t fold(char16_t ch) const { return m_folding ? m_fold[ch] : ch; }

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

    void mark(uint32_t state, std::vector<uint32_t> *newlyMarked) {
        // A node marked in this epoch has its whole chain marked already.
        for (uint32_t w = m_nodes[state].word; w != kNoNode && m_nodes[w].mark != m_epoch;
             w = m_nodes[m_nodes[w].fail].word) {
            m_nodes[w].mark = m_epoch;
            if (newlyMarked)
                newlyMarked->push_back(w);
        }
    }

    size_t pairBit(char16_t a, char16_t b) const {
        return size_t(((uint32_t(a) << 16 | b) * 0x9E3779B1u) >> m_filterShift);
    }
    size_t tripleBit(char16_t a, char16_t b, char16_t c) const {
        return size_t((((uint32_t(a) << 16 | b) * 0x9E3779B1u ^ c) * 0x85EBCA77u) >> m_filterShift);
    }

    // Per node, breadth first; m_nodes has one extra entry that closes the last child range.
    LargeArray<char16_t> m_char; // the character of the node's incoming edge
    LargeArray<Node> m_nodes;
    LargeVector<uint32_t> m_rootChild; // 65,536 entries: the root's child by character
    std::vector<uint64_t> m_alphabet;  // one bit per character that occurs in some word
    std::vector<uint32_t> m_levels;    // the first node of each depth
    // The pair filter, empty without one: two bits per hash of a unit pair, for the words of two
    // units (1) and the longer words (2) it begins. A longer word also needs its first three
    // units in m_triples, which turns away most texts that hold a common pair.
    std::vector<uint64_t> m_pairs;
    std::vector<uint64_t> m_triples;
    unsigned m_filterShift = 13;     // 32 minus the bits of a filter's hash
    std::vector<uint64_t> m_singles; // the one-unit words of the pair filter
    bool m_hasSingles = false;
    const char16_t *m_fold = nullptr; // the folding table, when folding
    bool m_folding = false;
    size_t m_longest = 0; // the length of the longest word
    uint32_t m_epoch = 1;
};

template <class Yield>
bool WordAutomaton::markOccurrences(std::u16string_view text, Yield &&yield, size_t yieldEvery,
                                    std::vector<uint32_t> *newlyMarked) {
    // Pieces overlap by the longest word less one character, so that every occurrence lies
    // whole in some piece: it ends in exactly one piece, and starts no earlier than its overlap.
    constexpr size_t kPieces = 8;
    const size_t overlap = m_longest > 0 ? m_longest - 1 : 0;
    const size_t pieces = text.size() >= kPieces * 64 * (overlap + 1) ? kPieces : 1;
    const size_t length = (text.size() + pieces - 1) / pieces;
    const char16_t *at[kPieces], *end[kPieces];
    uint32_t state[kPieces] = {};
    for (size_t k = 0; k < pieces; ++k) {
        const size_t begin = std::min(text.size(), k * length);
        at[k] = text.data() + begin - std::min(begin, overlap);
        end[k] = text.data() + std::min(text.size(), begin + length);
    }
    size_t left = yieldEvery;
    auto tick = [&](size_t steps) {
        if (left > steps) {
            left -= steps;
            return false;
        }
        left = yieldEvery;
        return bool(yield());
    };
    if (pieces == kPieces) {
        // Every piece but the first is as long as the last: run them in step while all last.
        size_t common = SIZE_MAX;
        for (size_t k = 0; k < pieces; ++k)
            common = std::min(common, size_t(end[k] - at[k]));
        for (size_t j = 0; j < common; ++j) {
            for (size_t k = 0; k < kPieces; ++k) {
                state[k] = step(state[k], at[k][j]);
                mark(state[k], newlyMarked);
            }
            if (tick(kPieces))
                return false;
        }
        for (size_t k = 0; k < pieces; ++k)
            at[k] += common;
    }
    for (size_t k = 0; k < pieces; ++k) {
        for (; at[k] < end[k]; ++at[k]) {
            state[k] = step(state[k], *at[k]);
            mark(state[k], newlyMarked);
            if (tick(1))
                return false;
        }
    }
    return true;
}

} // namespace lex
