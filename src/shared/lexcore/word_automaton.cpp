#include "shared/lexcore/word_automaton.h"

#include <unicode/uchar.h>

#include <array>
#include <bit>
#include <utility>

namespace lex {
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

// Calls the pump's yield every kYieldEvery steps; true once a stop was requested.
struct Ticker {
    EventPump *pump;
    uint32_t left = WordAutomaton::kYieldEvery;
    bool tick(uint32_t steps = 1) {
        if (left > steps) {
            left -= steps;
            return false;
        }
        left = WordAutomaton::kYieldEvery;
        return pump && pump->yield();
    }
};

// A word at one level: its parent's rank in the level and the character, and the word.
struct Entry {
    uint64_t key;
    uint32_t word;
};

// Least-significant-digit radix sort on the low `bits` bits of the keys, 11 bits a pass;
// passes whose digit is the same for every entry are skipped.
void radixSort(LargeVector<Entry> &entries, LargeVector<Entry> &scratch, int bits) {
    if (entries.size() < 256) {
        std::sort(entries.begin(), entries.end(),
                  [](const Entry &a, const Entry &b) { return a.key < b.key; });
        return;
    }
    constexpr int kDigit = 11;
    const int passes = (bits + kDigit - 1) / kDigit;
    std::vector<uint32_t> counts(size_t(passes) << kDigit, 0);
    for (const Entry &e : entries)
        for (int p = 0; p < passes; ++p)
            ++counts[(size_t(p) << kDigit) + (e.key >> (p * kDigit) & ((1u << kDigit) - 1))];
    scratch.resize(entries.size());
    for (int p = 0; p < passes; ++p) {
        uint32_t *count = counts.data() + (size_t(p) << kDigit);
        if (std::find(count, count + (1u << kDigit), entries.size()) != count + (1u << kDigit))
            continue;
        uint32_t sum = 0;
        for (size_t d = 0; d < (1u << kDigit); ++d)
            sum += std::exchange(count[d], sum);
        for (const Entry &e : entries)
            scratch[count[e.key >> (p * kDigit) & ((1u << kDigit) - 1)]++] = e;
        entries.swap(scratch);
    }
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

LargeVector<uint32_t> WordAutomaton::build(std::span<const std::u16string_view> words,
                                           AutomatonOptions options, EventPump *pump) {
    m_folding = options.folding;
    m_fold = m_folding ? foldTable().data() : nullptr;
    m_char.clear();
    m_nodes.clear();
    m_levels.assign(1, 0);
    m_rootChild.assign(1u << 16, 0);
    m_alphabet.assign((1u << 16) / 64, 0);
    m_pairs.clear();
    m_singles.clear();
    m_triples.clear();
    m_hasSingles = false;
    m_epoch = 1;
    m_char.push_back(0); // the root

    const bool reversed = options.reversed;
    auto unit = [&](std::u16string_view w, size_t depth) {
        return fold(reversed ? w[w.size() - 1 - depth] : w[depth]);
    };
    // node[i]: the node word i has reached so far; at the end, its own node.
    LargeVector<uint32_t> node(words.size(), kNoNode);
    LargeVector<uint32_t> active; // the words longer than the level, in their own order
    for (uint32_t i = 0; i < words.size(); ++i)
        if (!words[i].empty())
            active.push_back(i);
    LargeVector<Entry> entries, scratch;
    Ticker ticker{pump};
    uint32_t levelBegin = 0, levelEnd = 1;
    for (size_t depth = 0; !active.empty(); ++depth) {
        entries.resize(active.size());
        for (size_t k = 0; k < active.size(); ++k)
            entries[k] = {uint64_t(node[active[k]] - levelBegin) << 16 |
                              unit(words[active[k]], depth),
                          active[k]};
        radixSort(entries, scratch, 16 + std::bit_width(levelEnd - levelBegin - 1));
        // Each distinct (node, character) becomes the next node.
        uint32_t parent = levelBegin; // the next node whose first child is not yet known
        uint64_t lastKey = UINT64_MAX;
        for (const Entry &e : entries) {
            if (e.key != lastKey) {
                const auto id = uint32_t(m_char.size());
                const auto p = uint32_t(e.key >> 16) + levelBegin;
                const auto c = char16_t(e.key);
                for (; parent <= p; ++parent)
                    m_nodes.push_back({id, 0, kNoNode, 0});
                m_char.push_back(c);
                if (p == 0)
                    m_rootChild[c] = id;
                m_alphabet[c >> 6] |= uint64_t(1) << (c & 63);
                lastKey = e.key;
            }
            node[e.word] = uint32_t(m_char.size() - 1);
            if (ticker.tick())
                return {};
        }
        for (; parent < levelEnd; ++parent)
            m_nodes.push_back({uint32_t(m_char.size()), 0, kNoNode, 0});
        levelBegin = levelEnd;
        levelEnd = uint32_t(m_char.size());
        m_levels.push_back(levelBegin);
        std::erase_if(active, [&](uint32_t i) { return words[i].size() <= depth + 1; });
    }
    m_longest = 0;
    for (std::u16string_view w : words)
        m_longest = std::max(m_longest, w.size());
    const auto total = uint32_t(m_char.size());
    while (m_nodes.size() <= total)
        m_nodes.push_back({total, 0, kNoNode, 0});

    for (uint32_t n : node)
        m_nodes[n].word = n;
    m_nodes[0].word = kNoNode;
    // Failure links in breadth-first order: a node's link is shallower, so it is already known.
    for (uint32_t p = 0; p < total; ++p) {
        for (uint32_t v = m_nodes[p].first; v < m_nodes[p + 1].first; ++v) {
            uint32_t f = 0;
            if (p != 0) {
                for (f = m_nodes[p].fail;;) {
                    if (uint32_t next = child(f, m_char[v])) {
                        f = next;
                        break;
                    }
                    if (f == 0)
                        break;
                    f = m_nodes[f].fail;
                }
            }
            m_nodes[v].fail = f;
            if (m_nodes[v].word != v)
                m_nodes[v].word = m_nodes[f].word;
        }
        if (ticker.tick())
            return {};
    }

    if (options.pairFilter) {
        // Entries for some 16 per word, from 2^19: small enough to stay in cache for tables
        // of a few ten thousand words, few enough false hits for bigger ones.
        unsigned bits = 19;
        while (bits < 23 && (size_t(1) << bits) < words.size() * 16)
            ++bits;
        m_filterShift = 32 - bits;
        m_pairs.assign((size_t(1) << bits) / 32, 0);
        m_singles.assign((1u << 16) / 64, 0);
        m_triples.assign((size_t(1) << bits) / 64, 0);
        for (std::u16string_view w : words) {
            if (w.size() == 1) {
                const char16_t c = fold(w[0]);
                m_singles[c >> 6] |= uint64_t(1) << (c & 63);
                m_hasSingles = true;
            } else if (w.size() == 2) {
                const size_t bit = pairBit(unit(w, 0), unit(w, 1));
                m_pairs[bit / 32] |= uint64_t(1) << (bit % 32 * 2);
            } else if (w.size() > 2) {
                const size_t pbit = pairBit(unit(w, 0), unit(w, 1));
                m_pairs[pbit / 32] |= uint64_t(2) << (pbit % 32 * 2);
                const size_t bit = tripleBit(unit(w, 0), unit(w, 1), unit(w, 2));
                m_triples[bit / 64] |= uint64_t(1) << (bit % 64);
            }
        }
    }
    return node;
}

void WordAutomaton::clearMarks() {
    if (++m_epoch == 0) { // wrapped: forget the old marks
        for (size_t n = 0; n < m_nodes.size(); ++n)
            m_nodes[n].mark = 0;
        m_epoch = 1;
    }
}

bool WordAutomaton::containsAny(std::u16string_view text) const {
    if (!mayHoldWord(text))
        return false;
    uint32_t s = 0;
    for (char16_t ch : text) {
        s = step(s, ch);
        if (m_nodes[s].word != kNoNode)
            return true;
    }
    return false;
}

bool WordAutomaton::startsWithAny(std::u16string_view text) const {
    uint32_t s = 0;
    for (char16_t ch : text) {
        s = child(s, fold(ch));
        if (s == 0)
            return false;
        if (m_nodes[s].word == s)
            return true;
    }
    return false;
}

bool WordAutomaton::endsWithAny(std::u16string_view text) const {
    uint32_t s = 0;
    for (size_t i = text.size(); i-- > 0;) {
        s = child(s, fold(text[i]));
        if (s == 0)
            return false;
        if (m_nodes[s].word == s)
            return true;
    }
    return false;
}

bool WordAutomaton::mayHoldWord(std::u16string_view text) const {
    if (m_pairs.empty())
        return true;
    const size_t n = text.size();
    if (n == 0)
        return false;
    char16_t a = fold(text[0]);
    for (size_t i = 0; i + 1 < n; ++i) {
        const char16_t b = fold(text[i + 1]);
        if (m_hasSingles && (m_singles[a >> 6] >> (a & 63) & 1))
            return true;
        const size_t bit = pairBit(a, b);
        const unsigned starts = unsigned(m_pairs[bit / 32] >> (bit % 32 * 2)) & 3;
        if (starts & 1)
            return true;
        if ((starts & 2) && i + 2 < n) {
            const size_t t = tripleBit(a, b, fold(text[i + 2]));
            if (m_triples[t / 64] >> (t % 64) & 1)
                return true;
        }
        a = b;
    }
    return m_hasSingles && (m_singles[a >> 6] >> (a & 63) & 1);
}

} // namespace lex
