#pragma once
// Finds which of many words occur in a text, in one pass over the text: an Aho–Corasick
// automaton over the case-folded words.
//
// Case-insensitive means Unicode simple case folding (ICU's u_foldCase with the default
// options), one UTF-16 code unit for one: a word occurs in a text when some stretch of the text
// equals the word after both are folded unit by unit. Articles and words both come from code
// page 936, where the letters that fold are ASCII, full-width Latin, Greek, Cyrillic and the
// Roman numerals; width is not folded (Ａ and A differ), and folding never changes a length.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lex::freqtune {

// The folded form of one code unit.
char16_t foldCase(char16_t c);
// Folds every code unit of `text` in place.
void foldCase(std::u16string &text);

class WordAutomaton {
public:
    WordAutomaton();
    ~WordAutomaton();
    WordAutomaton(const WordAutomaton &) = delete;
    WordAutomaton &operator=(const WordAutomaton &) = delete;

    // Adds a word (folded here) and returns its id: words equal after folding share one id,
    // ids count from 0 in the order of their first addition.
    int32_t add(std::u16string_view word);
    // Ends the additions; computes the failure links. Call once, before the first scan.
    void finish();

    int32_t wordCount() const { return int32_t(m_wordNode.size()); }

    // The ids of the words that occur in `folded` (already folded), each once, in no particular
    // order. `yieldEvery` code units, `onYield` is called (for a responsive window on huge
    // texts); it may throw.
    template <typename OnYield>
    void scan(std::u16string_view folded, std::vector<int32_t> &found, size_t yieldEvery,
              OnYield &&onYield);
    void scan(std::u16string_view folded, std::vector<int32_t> &found) {
        scan(folded, found, size_t(-1), [] {});
    }

private:
    friend class WordScanner;
    int32_t child(int32_t node, char16_t c) const;
    int32_t addChild(int32_t node, char16_t c);
    void growTable();
    void report(int32_t node, std::vector<int32_t> &found);

    // Transitions below the root, by (node, unit) in an open-addressing table; the root's
    // transitions in a direct table, since most steps start again there.
    struct Cell {
        uint64_t key; // node << 16 | unit, plus one so that 0 marks a free cell
        int32_t child;
    };
    std::vector<Cell> m_table;
    size_t m_used = 0;
    std::unique_ptr<int32_t[]> m_root; // 65,536 entries, 0: no transition

    std::vector<int32_t> m_fail;     // per node: the longest proper suffix that is a node
    std::vector<int32_t> m_word;     // per node: the word ending here, or -1
    std::vector<int32_t> m_output;   // per node: the next node on its failure chain with a word
    std::vector<uint32_t> m_seen;    // per node: the scan that last reported it
    std::vector<int32_t> m_firstKid; // per node: first child (for the breadth-first pass)
    std::vector<int32_t> m_sibling;  // per node: next child of the same parent
    std::vector<char16_t> m_unit;    // per node: the unit on the edge into it
    std::vector<int32_t> m_wordNode; // per word: its node
    uint32_t m_scan = 0;
    bool m_finished = false;
};

// One scan of a text handed over in pieces, with marks of its own, so that several threads can
// scan with one finished automaton.
class WordScanner {
public:
    explicit WordScanner(const WordAutomaton &words);

    // Starts a new text; found() is emptied.
    void begin();
    // The next piece of the (folded) text.
    void feed(std::u16string_view folded);
    // The ids of the words that occurred in the text so far, each once.
    const std::vector<int32_t> &found() const { return m_found; }

private:
    const WordAutomaton &m_words;
    int32_t m_state = 0;
    uint32_t m_scan = 0;
    std::vector<uint32_t> m_seen; // per node: the scan that last reported it
    std::vector<int32_t> m_found;
};

inline int32_t WordAutomaton::child(int32_t node, char16_t c) const {
    if (node == 0)
        return m_root[c];
    const uint64_t key = (uint64_t(node) << 16 | c) + 1;
    const size_t mask = m_table.size() - 1;
    size_t i = size_t((key * 0x9E3779B97F4A7C15ull) >> 20) & mask;
    for (;;) {
        const Cell &cell = m_table[i];
        if (cell.key == key)
            return cell.child;
        if (cell.key == 0)
            return 0;
        i = (i + 1) & mask;
    }
}

inline void WordAutomaton::report(int32_t node, std::vector<int32_t> &found) {
    // A node reported in this scan has had its whole output chain reported too.
    for (int32_t n = m_word[node] >= 0 ? node : m_output[node]; n > 0 && m_seen[n] != m_scan;
         n = m_output[n]) {
        m_seen[n] = m_scan;
        found.push_back(m_word[n]);
    }
}

template <typename OnYield>
void WordAutomaton::scan(std::u16string_view folded, std::vector<int32_t> &found, size_t yieldEvery,
                         OnYield &&onYield) {
    if (++m_scan == 0) { // wrapped: forget the old marks
        std::fill(m_seen.begin(), m_seen.end(), 0u);
        m_scan = 1;
    }
    if (m_word[0] >= 0) // the empty word occurs in every text
        found.push_back(m_word[0]);
    const int32_t *root = m_root.get();
    int32_t state = 0;
    size_t nextYield = yieldEvery;
    for (size_t i = 0; i < folded.size(); ++i) {
        if (i == nextYield) {
            onYield();
            nextYield += yieldEvery;
        }
        const char16_t c = folded[i];
        int32_t next;
        for (;;) {
            if (state == 0) {
                next = root[c];
                break;
            }
            next = child(state, c);
            if (next != 0)
                break;
            state = m_fail[state];
        }
        state = next;
        if (state != 0 && (m_word[state] >= 0 || m_output[state] > 0))
            report(state, found);
    }
}

} // namespace lex::freqtune
