#include "phonetag/word_table.h"

#include "phonetag/char_dictionary.h"

#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/lexicon_files.h"

#include <algorithm>
#include <bitset>
#include <unordered_map>

namespace lex::phonetag {

// Nodes are trie states; node 0 is the root. The root's moves are an array indexed by code
// unit, the other nodes' moves one open-addressing table keyed by (node, code unit).
struct WordTable::Automaton {
    struct Node {
        int32_t fail = 0;
        int32_t out = -1;        // this node or the nearest on its fail chain that ends words
        uint32_t pairsBegin = 0; // the pairs whose word ends here, latest first
        uint32_t pairsEnd = 0;
    };
    // A move is one word: (node << 16 | code unit) << 24 | child; 0 is a free cell. Eight bytes
    // a move keep the table of a shipped word table within the second-level cache.
    static constexpr int32_t kMaxNodes = 1 << 24;

    std::vector<Node> nodes;
    std::vector<uint32_t> pairIds;
    // A line can hold a word only where two of its neighbouring code units begin a word, or one
    // code unit is a whole word: a small filter of those lets most lines skip the scan.
    static constexpr size_t kStartBits = size_t(1) << 19;
    std::bitset<65536> wholeWords;
    std::vector<uint64_t> starts = std::vector<uint64_t>(kStartBits / 64, 0);
    std::vector<int32_t> rootNext = std::vector<int32_t>(65536, 0);
    std::bitset<65536> alphabet; // the code units that occur in some word
    std::vector<uint64_t> edges;
    uint64_t mask = 0;

    static uint64_t edgeKey(int32_t node, char16_t c) { return uint64_t(node) << 16 | c; }
    static size_t slotOf(uint64_t key) { return size_t((key * 0x9E3779B97F4A7C15ull) >> 20); }

    int32_t child(int32_t node, char16_t c) const {
        const uint64_t key = edgeKey(node, c);
        for (size_t i = slotOf(key) & mask;; i = (i + 1) & mask) {
            const uint64_t e = edges[i];
            if (e >> 24 == key)
                return int32_t(e & (kMaxNodes - 1));
            if (e == 0)
                return -1;
        }
    }

    static size_t startBit(char16_t a, char16_t b) {
        return size_t(((uint32_t(a) << 16 | b) * 0x9E3779B1u) >> 13);
    }
    void addStart(std::u16string_view word) {
        if (word.size() == 1) {
            wholeWords[word[0]] = true;
        } else {
            const size_t bit = startBit(word[0], word[1]);
            starts[bit / 64] |= uint64_t(1) << (bit % 64);
        }
    }
    // False when no word can occur in `line`.
    bool mayHoldWord(std::u16string_view line) const {
        const size_t n = line.size();
        for (size_t i = 0; i < n; ++i) {
            if (wholeWords[line[i]])
                return true;
            if (i + 1 < n) {
                const size_t bit = startBit(line[i], line[i + 1]);
                if (starts[bit / 64] >> (bit % 64) & 1)
                    return true;
            }
        }
        return false;
    }

    // The state after reading `c` in state `s`.
    int32_t step(int32_t s, char16_t c) const {
        if (!alphabet[c])
            return 0;
        for (;;) {
            if (s == 0)
                return rootNext[c];
            const int32_t g = child(s, c);
            if (g >= 0)
                return g;
            s = nodes[size_t(s)].fail;
        }
    }
};

namespace {

// Words that cannot change a line: the empty word, and a pair whose marked form is its word
// (a table line without pinyin). A word that is a lone CR would match the line breaks
// themselves rather than text; such a line is not a word of the table.
bool activeWord(std::u16string_view word, std::u16string_view marked) {
    return !word.empty() && word != marked && word != u"\r";
}

void replaceAll(std::u16string &line, std::u16string_view word, std::u16string_view marked,
                std::u16string &scratch) {
    size_t pos = line.find(word);
    if (pos == std::u16string::npos)
        return;
    scratch.clear();
    size_t from = 0;
    while (pos != std::u16string::npos) {
        scratch.append(line, from, pos - from);
        scratch.append(marked);
        from = pos + word.size();
        pos = line.find(word, from);
    }
    scratch.append(line, from, std::u16string::npos);
    line.swap(scratch);
}

} // namespace

WordTable::WordTable() = default;
WordTable::~WordTable() = default;
WordTable::WordTable(WordTable &&) noexcept = default;
WordTable &WordTable::operator=(WordTable &&) noexcept = default;

void WordTable::addLine(std::u16string_view line) {
    addPair(entryWord(line), InsBlank(line));
}

void WordTable::addPair(std::u16string_view word, std::u16string_view marked) {
    Pair p;
    p.wordOffset = uint32_t(m_text.size());
    p.wordLength = uint32_t(word.size());
    m_text += word;
    p.markedOffset = uint32_t(m_text.size());
    p.markedLength = uint32_t(marked.size());
    m_text += marked;
    m_pairs.push_back(p);
    m_automaton.reset();
}

std::u16string_view WordTable::word(size_t i) const {
    const Pair &p = m_pairs[i];
    return std::u16string_view(m_text).substr(p.wordOffset, p.wordLength);
}

std::u16string_view WordTable::marked(size_t i) const {
    const Pair &p = m_pairs[i];
    return std::u16string_view(m_text).substr(p.markedOffset, p.markedLength);
}

void WordTable::prepare() const {
    if (m_automaton)
        return;
    auto a = std::make_unique<Automaton>();
    struct Built {
        int32_t parent;
        char16_t c;
        uint32_t depth;
    };
    std::vector<Built> built{{0, 0, 0}};
    std::unordered_map<uint64_t, int32_t> moves;
    std::vector<std::pair<int32_t, uint32_t>> ends; // (node, pair)
    for (size_t i = 0; i < m_pairs.size(); ++i) {
        const std::u16string_view w = word(i);
        if (!activeWord(w, marked(i)))
            continue;
        int32_t node = 0;
        for (char16_t c : w) {
            a->alphabet[c] = true;
            auto [it, added] =
                moves.try_emplace(Automaton::edgeKey(node, c), int32_t(built.size()));
            if (added)
                built.push_back({node, c, built[size_t(node)].depth + 1});
            node = it->second;
        }
        ends.emplace_back(node, uint32_t(i));
        a->addStart(w);
        if (built.size() >= size_t(Automaton::kMaxNodes))
            throw LexError("词表太大：“zn.lxd”的词超出了自动注音能容纳的数量。");
    }

    a->nodes.resize(built.size());
    std::sort(ends.begin(), ends.end(), [](const auto &x, const auto &y) {
        return x.first != y.first ? x.first < y.first : x.second > y.second;
    });
    a->pairIds.reserve(ends.size());
    for (size_t j = 0; j < ends.size();) {
        Automaton::Node &n = a->nodes[size_t(ends[j].first)];
        n.pairsBegin = uint32_t(a->pairIds.size());
        const int32_t node = ends[j].first;
        for (; j < ends.size() && ends[j].first == node; ++j)
            a->pairIds.push_back(ends[j].second);
        n.pairsEnd = uint32_t(a->pairIds.size());
    }

    size_t cells = 16;
    while (cells < moves.size() * 2)
        cells <<= 1;
    a->edges.assign(cells, 0);
    a->mask = cells - 1;
    for (const auto &[key, child] : moves) {
        if ((key >> 16) == 0) {
            a->rootNext[key & 0xFFFF] = child;
            continue;
        }
        size_t i = Automaton::slotOf(key) & a->mask;
        while (a->edges[i] != 0)
            i = (i + 1) & a->mask;
        a->edges[i] = key << 24 | uint64_t(child);
    }

    // Fail links in order of depth, so that a node's parent and every shorter suffix are done.
    std::vector<int32_t> order(built.size());
    for (size_t v = 0; v < order.size(); ++v)
        order[v] = int32_t(v);
    std::stable_sort(order.begin(), order.end(), [&](int32_t x, int32_t y) {
        return built[size_t(x)].depth < built[size_t(y)].depth;
    });
    for (int32_t v : order) {
        if (v == 0)
            continue;
        const Built &b = built[size_t(v)];
        Automaton::Node &n = a->nodes[size_t(v)];
        n.fail = b.parent == 0 ? 0 : a->step(a->nodes[size_t(b.parent)].fail, b.c);
        n.out = n.pairsEnd > n.pairsBegin ? v : a->nodes[size_t(n.fail)].out;
    }
    m_automaton = std::move(a);
}

int64_t WordTable::latestOccurring(std::u16string_view line, int64_t bound) const {
    const Automaton &a = *m_automaton;
    int64_t best = -1;
    int32_t s = 0;
    for (char16_t c : line) {
        s = a.step(s, c);
        for (int32_t t = a.nodes[size_t(s)].out; t >= 0;
             t = a.nodes[size_t(a.nodes[size_t(t)].fail)].out) {
            const Automaton::Node &n = a.nodes[size_t(t)];
            const uint32_t *first = a.pairIds.data() + n.pairsBegin;
            const uint32_t *last = a.pairIds.data() + n.pairsEnd;
            const uint32_t *below = std::partition_point(
                first, last, [&](uint32_t id) { return int64_t(id) >= bound; });
            if (below != last && int64_t(*below) > best) {
                best = *below;
                if (best == bound - 1)
                    return best;
            }
        }
    }
    return best;
}

void WordTable::apply(std::u16string &line, std::u16string &scratch) const {
    prepare();
    if (!m_automaton->mayHoldWord(line))
        return;
    int64_t bound = int64_t(m_pairs.size());
    for (;;) {
        const int64_t k = latestOccurring(line, bound);
        if (k < 0)
            return;
        replaceAll(line, word(size_t(k)), marked(size_t(k)), scratch);
        bound = k;
    }
}

WordTable loadWordTable(const std::filesystem::path &path, EventPump &pump) {
    WordTable table;
    LineReader reader(path);
    while (!reader.atEnd()) {
        table.addLine(reader.readLineView());
        pump.yield();
    }
    reader.close();
    table.prepare();
    return table;
}

} // namespace lex::phonetag
