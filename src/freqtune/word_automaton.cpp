#include "freqtune/word_automaton.h"

#include "shared/lexcore/lex_error.h"

#include <unicode/uchar.h>

#include <array>

namespace lex::freqtune {
namespace {

const std::array<char16_t, 65536> &foldTable() {
    static const std::array<char16_t, 65536> table = [] {
        std::array<char16_t, 65536> t{};
        for (uint32_t c = 0; c < 65536; ++c) {
            const UChar32 f = u_foldCase(UChar32(c), U_FOLD_CASE_DEFAULT);
            // Surrogates stay themselves; a fold that would leave the BMP does not happen there.
            t[c] = (c >= 0xD800 && c < 0xE000) || f > 0xFFFF ? char16_t(c) : char16_t(f);
        }
        return t;
    }();
    return table;
}

} // namespace

char16_t foldCase(char16_t c) {
    return foldTable()[c];
}

void foldCase(std::u16string &text) {
    const auto &t = foldTable();
    for (char16_t &c : text)
        c = t[c];
}

WordAutomaton::WordAutomaton() : m_root(new int32_t[65536]()) {
    m_table.resize(1024);
    // Node 0 is the root.
    m_fail.push_back(0);
    m_word.push_back(-1);
    m_output.push_back(0);
    m_firstKid.push_back(-1);
    m_sibling.push_back(-1);
    m_unit.push_back(0);
}

WordAutomaton::~WordAutomaton() = default;

void WordAutomaton::growTable() {
    std::vector<Cell> old(m_table.size() * 2);
    old.swap(m_table);
    const size_t mask = m_table.size() - 1;
    for (const Cell &cell : old) {
        if (cell.key == 0)
            continue;
        size_t i = size_t((cell.key * 0x9E3779B97F4A7C15ull) >> 20) & mask;
        while (m_table[i].key != 0)
            i = (i + 1) & mask;
        m_table[i] = cell;
    }
}

int32_t WordAutomaton::addChild(int32_t node, char16_t c) {
    const int32_t id = int32_t(m_fail.size());
    if (id == INT32_MAX)
        throw LexError("词条太多。");
    m_fail.push_back(0);
    m_word.push_back(-1);
    m_output.push_back(0);
    m_firstKid.push_back(-1);
    m_sibling.push_back(m_firstKid[node]);
    m_unit.push_back(c);
    m_firstKid[node] = id;
    if (node == 0) {
        m_root[c] = id;
        return id;
    }
    if ((m_used + 1) * 2 > m_table.size())
        growTable();
    const uint64_t key = (uint64_t(node) << 16 | c) + 1;
    const size_t mask = m_table.size() - 1;
    size_t i = size_t((key * 0x9E3779B97F4A7C15ull) >> 20) & mask;
    while (m_table[i].key != 0)
        i = (i + 1) & mask;
    m_table[i] = {key, id};
    ++m_used;
    return id;
}

int32_t WordAutomaton::add(std::u16string_view word) {
    int32_t node = 0;
    for (char16_t raw : word) {
        const char16_t c = foldCase(raw);
        int32_t next = child(node, c);
        node = next != 0 ? next : addChild(node, c);
    }
    if (m_word[node] < 0) {
        m_word[node] = int32_t(m_wordNode.size());
        m_wordNode.push_back(node);
    }
    return m_word[node];
}

void WordAutomaton::finish() {
    if (m_finished)
        return;
    m_finished = true;
    // Breadth first, so that every failure target is done before the nodes that use it.
    std::vector<int32_t> queue;
    queue.reserve(m_fail.size());
    for (int32_t k = m_firstKid[0]; k >= 0; k = m_sibling[k])
        queue.push_back(k); // failure 0, output 0
    for (size_t head = 0; head < queue.size(); ++head) {
        const int32_t node = queue[head];
        for (int32_t k = m_firstKid[node]; k >= 0; k = m_sibling[k]) {
            const char16_t c = m_unit[k];
            int32_t f = m_fail[node];
            int32_t target;
            for (;;) {
                target = child(f, c);
                if (target != 0 || f == 0)
                    break;
                f = m_fail[f];
            }
            m_fail[k] = target;
            m_output[k] = m_word[target] >= 0 && target != 0 ? target : m_output[target];
            queue.push_back(k);
        }
    }
    m_seen.assign(m_fail.size(), 0u);
    // The links are all the scan needs from here on.
    std::vector<int32_t>().swap(m_firstKid);
    std::vector<int32_t>().swap(m_sibling);
    std::vector<char16_t>().swap(m_unit);
}

WordScanner::WordScanner(const WordAutomaton &words)
    : m_words(words), m_seen(words.m_fail.size(), 0u) {}

void WordScanner::begin() {
    if (++m_scan == 0) { // wrapped: forget the old marks
        std::fill(m_seen.begin(), m_seen.end(), 0u);
        m_scan = 1;
    }
    m_state = 0;
    m_found.clear();
    if (m_words.m_word[0] >= 0) // the empty word occurs in every text
        m_found.push_back(m_words.m_word[0]);
}

void WordScanner::feed(std::u16string_view folded) {
    const WordAutomaton &a = m_words;
    const int32_t *root = a.m_root.get();
    int32_t state = m_state;
    for (const char16_t c : folded) {
        int32_t next;
        for (;;) {
            if (state == 0) {
                next = root[c];
                break;
            }
            next = a.child(state, c);
            if (next != 0)
                break;
            state = a.m_fail[state];
        }
        state = next;
        if (state == 0 || (a.m_word[state] < 0 && a.m_output[state] == 0))
            continue;
        for (int32_t n = a.m_word[state] >= 0 ? state : a.m_output[state];
             n > 0 && m_seen[n] != m_scan; n = a.m_output[n]) {
            m_seen[n] = m_scan;
            m_found.push_back(a.m_word[n]);
        }
    }
    m_state = state;
}

} // namespace lex::freqtune
