#include "lexsift/word_automaton.h"

#include <algorithm>

namespace lex::lexsift {
namespace {

constexpr uint32_t kYieldEvery = 1u << 16;

// Calls the pump's yield every kYieldEvery steps; true once a stop was requested.
struct Ticker {
    EventPump *pump;
    uint32_t left = kYieldEvery;
    bool tick(uint32_t steps = 1) {
        if (left > steps) {
            left -= steps;
            return false;
        }
        left = kYieldEvery;
        return pump && pump->yield();
    }
};

} // namespace

std::vector<uint32_t> WordAutomaton::build(std::span<const std::u16string_view> words,
                                           bool reversed, EventPump *pump) {
    m_char.clear();
    m_first.clear();
    m_rootChild.assign(1u << 16, 0);
    m_alphabet.assign((1u << 16) / 64, 0);
    m_char.push_back(0); // the root

    // node[i]: the node word i has reached so far; at the end, its own node.
    std::vector<uint32_t> node(words.size(), kNoNode);
    std::vector<uint32_t> items; // the words still longer than the level, ordered by node
    items.reserve(words.size());
    for (uint32_t i = 0; i < words.size(); ++i)
        if (!words[i].empty())
            items.push_back(i);
    auto charAt = [&](uint32_t i, size_t depth) {
        const std::u16string_view w = words[i];
        return reversed ? w[w.size() - 1 - depth] : w[depth];
    };

    Ticker ticker{pump};
    std::vector<uint64_t> keyed;
    std::vector<uint32_t> counts;
    uint32_t levelBegin = 0, levelEnd = 1;
    for (size_t depth = 0; !items.empty(); ++depth) {
        // Items are ordered by their node; order each run of one node by the next character.
        for (size_t run = 0; run < items.size();) {
            size_t end = run + 1;
            while (end < items.size() && node[items[end]] == node[items[run]])
                ++end;
            const size_t n = end - run;
            if (n > (1u << 14)) {
                // A counting sort for the big runs (the root's, at the first level).
                counts.assign((1u << 16) + 1, 0);
                for (size_t k = run; k < end; ++k)
                    ++counts[size_t(charAt(items[k], depth)) + 1];
                for (size_t c = 1; c < counts.size(); ++c)
                    counts[c] += counts[c - 1];
                keyed.resize(n);
                for (size_t k = run; k < end; ++k)
                    keyed[counts[charAt(items[k], depth)]++] = items[k];
                for (size_t k = 0; k < n; ++k)
                    items[run + k] = uint32_t(keyed[k]);
            } else if (n > 1) {
                keyed.clear();
                for (size_t k = run; k < end; ++k)
                    keyed.push_back(uint64_t(charAt(items[k], depth)) << 32 | items[k]);
                std::sort(keyed.begin(), keyed.end());
                for (size_t k = 0; k < n; ++k)
                    items[run + k] = uint32_t(keyed[k]);
            }
            run = end;
        }
        // Each distinct (node, character) becomes the next node.
        uint32_t parent = levelBegin; // the next node whose first child is not yet known
        uint32_t lastNode = UINT32_MAX;
        char16_t lastChar = 0;
        for (uint32_t i : items) {
            const uint32_t p = node[i];
            const char16_t c = charAt(i, depth);
            if (p != lastNode || c != lastChar) {
                const auto id = uint32_t(m_char.size());
                for (; parent <= p; ++parent)
                    m_first.push_back(id);
                m_char.push_back(c);
                if (p == 0)
                    m_rootChild[c] = id;
                m_alphabet[c >> 6] |= uint64_t(1) << (c & 63);
                lastNode = p;
                lastChar = c;
            }
            node[i] = uint32_t(m_char.size() - 1);
            if (ticker.tick())
                return {};
        }
        for (; parent < levelEnd; ++parent)
            m_first.push_back(uint32_t(m_char.size()));
        levelBegin = levelEnd;
        levelEnd = uint32_t(m_char.size());
        std::erase_if(items, [&](uint32_t i) { return words[i].size() <= depth + 1; });
    }
    const auto total = uint32_t(m_char.size());
    while (m_first.size() <= total)
        m_first.push_back(total);

    m_word.assign(total, kNoNode);
    for (uint32_t n : node)
        if (n != kNoNode)
            m_word[n] = n;
    m_fail.assign(total, 0);
    // Failure links in breadth-first order: a node's link is shallower, so it is already known.
    for (uint32_t p = 0; p < total; ++p) {
        for (uint32_t v = m_first[p]; v < m_first[p + 1]; ++v) {
            uint32_t f = 0;
            if (p != 0) {
                for (f = m_fail[p];;) {
                    if (uint32_t next = child(f, m_char[v])) {
                        f = next;
                        break;
                    }
                    if (f == 0)
                        break;
                    f = m_fail[f];
                }
            }
            m_fail[v] = f;
            if (m_word[v] != v)
                m_word[v] = m_word[f];
        }
        if (ticker.tick())
            return {};
    }
    return node;
}

bool WordAutomaton::markOccurrences(std::u16string_view text, std::vector<uint8_t> &seen,
                                    EventPump *pump) const {
    Ticker ticker{pump};
    uint32_t s = 0;
    for (char16_t ch : text) {
        s = step(s, ch);
        // A marked node has its whole chain marked already.
        for (uint32_t w = m_word[s]; w != kNoNode && !seen[w]; w = m_word[m_fail[w]])
            seen[w] = 1;
        if (ticker.tick())
            return false;
    }
    return true;
}

bool WordAutomaton::containsAny(std::u16string_view text) const {
    uint32_t s = 0;
    for (char16_t ch : text) {
        s = step(s, ch);
        if (m_word[s] != kNoNode)
            return true;
    }
    return false;
}

bool WordAutomaton::startsWithAny(std::u16string_view text) const {
    uint32_t s = 0;
    for (char16_t ch : text) {
        s = child(s, ch);
        if (s == 0)
            return false;
        if (m_word[s] == s)
            return true;
    }
    return false;
}

bool WordAutomaton::endsWithAny(std::u16string_view text) const {
    uint32_t s = 0;
    for (size_t i = text.size(); i-- > 0;) {
        s = child(s, text[i]);
        if (s == 0)
            return false;
        if (m_word[s] == s)
            return true;
    }
    return false;
}

} // namespace lex::lexsift
