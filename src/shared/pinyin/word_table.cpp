#include "shared/pinyin/word_table.h"

#include "shared/pinyin/char_dictionary.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/lexicon_rules.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/word_automaton.h"

#include <algorithm>

namespace lex::pinyin {

// The automaton over the words that can change a line, and for each of its word nodes the
// pairs whose word ends there, latest first.
struct WordTable::Automaton {
    WordAutomaton words;
    LargeVector<uint32_t> pairsBegin; // per node: its pairs in pairIds, to pairsBegin[node + 1]
    LargeVector<uint32_t> pairIds;
    // Per node: the latest pair of its word, which occurrences() reports in one load rather
    // than two that wait on each other.
    LargeVector<uint32_t> latestPair;
    bool zeroWords = false; // some word holds a "0", which InsBlank's markers can complete
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
    // Tables run to tens of thousands of lines: both forms go through buffers kept between calls.
    thread_local std::u16string word, marked;
    entryWordInto(line, word);
    InsBlank(line, marked);
    addPair(word, marked);
}

void WordTable::reserve(size_t lines, size_t units) {
    // A line's word is at most the line, its marked form at most twice it: one marker per unit.
    // Reserved once, the text never moves, and the pages of the room left unused are never
    // touched.
    m_text.reserve(m_text.size() + units * 3);
    m_pairs.reserve(m_pairs.size() + lines);
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
    LargeVector<std::u16string_view> words;
    LargeVector<uint32_t> pairOf;
    words.reserve(m_pairs.size());
    pairOf.reserve(m_pairs.size());
    for (size_t i = 0; i < m_pairs.size(); ++i) {
        const std::u16string_view w = word(i);
        if (!activeWord(w, marked(i)))
            continue;
        words.push_back(w);
        pairOf.push_back(uint32_t(i));
        a->zeroWords |= w.find(u'0') != std::u16string_view::npos;
    }
    const auto nodes = a->words.build(words, {.pairFilter = true});
    // Pairs grouped by node, each group latest first.
    a->pairsBegin.assign(a->words.nodeCount() + 1, 0);
    for (uint32_t n : nodes)
        ++a->pairsBegin[n + 1];
    for (size_t n = 1; n < a->pairsBegin.size(); ++n)
        a->pairsBegin[n] += a->pairsBegin[n - 1];
    a->pairIds.resize(nodes.size());
    LargeVector<uint32_t> fill(a->pairsBegin.begin(), a->pairsBegin.end() - 1);
    for (size_t k = nodes.size(); k-- > 0;)
        a->pairIds[fill[nodes[k]]++] = pairOf[k];
    a->latestPair.assign(a->words.nodeCount(), 0);
    for (size_t n = 0; n < a->words.nodeCount(); ++n)
        if (a->pairsBegin[n] < a->pairsBegin[n + 1])
            a->latestPair[n] = a->pairIds[a->pairsBegin[n]];
    m_automaton = std::move(a);
}

bool WordTable::mayChange(std::u16string_view line) const {
    prepare();
    const WordAutomaton &words = m_automaton->words;
    return m_automaton->zeroWords || words.containsAny(line);
}

int64_t WordTable::latestOccurring(std::u16string_view line, int64_t bound) const {
    const Automaton &a = *m_automaton;
    int64_t best = -1;
    uint32_t s = 0;
    for (char16_t c : line) {
        s = a.words.step(s, c);
        for (uint32_t n = a.words.wordAt(s); n != WordAutomaton::kNoNode; n = a.words.nextWord(n)) {
            const uint32_t *first = a.pairIds.data() + a.pairsBegin[n];
            const uint32_t *last = a.pairIds.data() + a.pairsBegin[n + 1];
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
    if (!m_automaton->zeroWords && !m_automaton->words.mayHoldWord(line))
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

void WordTable::applyTraced(std::u16string &line, Trace &trace, std::u16string &scratch) const {
    prepare();
    trace.from.assign(line.size(), -1);
    trace.index.resize(line.size());
    for (size_t i = 0; i < line.size(); ++i)
        trace.index[i] = uint32_t(i);
    trace.replacements.clear();
    if (!m_automaton->zeroWords && !m_automaton->words.mayHoldWord(line))
        return;
    std::vector<int32_t> &from = trace.fromScratch;
    std::vector<uint32_t> &index = trace.indexScratch;
    int64_t bound = int64_t(m_pairs.size());
    for (;;) {
        const int64_t k = latestOccurring(line, bound);
        if (k < 0)
            return;
        // replaceAll(), unit by unit with the trace.
        const std::u16string_view w = word(size_t(k)), m = marked(size_t(k));
        scratch.clear();
        from.clear();
        index.clear();
        size_t at = 0;
        for (size_t pos = line.find(w); pos != std::u16string::npos; pos = line.find(w, at)) {
            for (; at < pos; ++at) {
                scratch.push_back(line[at]);
                from.push_back(trace.from[at]);
                index.push_back(trace.index[at]);
            }
            Trace::Replacement r{uint32_t(k), trace.index[pos],
                                 trace.index[pos + w.size() - 1] + 1};
            const auto id = int32_t(trace.replacements.size());
            trace.replacements.push_back(r);
            uint32_t wordIndex = 0;
            for (char16_t c : m) {
                scratch.push_back(c);
                from.push_back(id);
                index.push_back(isDoubleByte(c) ? wordIndex++ : wordIndex);
            }
            at = pos + w.size();
        }
        for (; at < line.size(); ++at) {
            scratch.push_back(line[at]);
            from.push_back(trace.from[at]);
            index.push_back(trace.index[at]);
        }
        line.swap(scratch);
        trace.from.swap(from);
        trace.index.swap(index);
        bound = k;
    }
}

void WordTable::occurrences(std::u16string_view text, std::vector<Occurrence> &out) const {
    prepare();
    out.clear();
    const Automaton &a = *m_automaton;
    a.words.forEachMatch(text, [&](size_t end, uint32_t node) {
        // A word's length is its node's depth: no look at the pair's own record.
        out.push_back({uint32_t(end - a.words.depth(node)), uint32_t(end), a.latestPair[node]});
    });
}

std::u16string_view WordTable::readingAt(size_t k, size_t index) const {
    // The marked form is InsBlank of the table line: the word's characters in order, each
    // followed by its letters.
    const std::u16string_view w = word(k), m = marked(k);
    size_t j = 0;
    for (size_t i = 0; i < m.size(); ++i) {
        if (j >= w.size() || m[i] != w[j] || (j > 0 && !isDoubleByte(m[i])))
            continue;
        size_t end = i + 1;
        while (end < m.size() && !isDoubleByte(m[end]) && ansiCode(m[end]) > 64)
            ++end;
        if (j == index)
            return m.substr(i + 1, end - i - 1);
        ++j;
        i = end - 1;
    }
    return {};
}

WordTable loadWordTable(const std::filesystem::path &path, EventPump &pump) {
    WordTable table;
    LineReader reader(path);
    table.reserve(reader.countLines(), reader.size());
    while (!reader.atEnd()) {
        table.addLine(reader.readLineView());
        pump.yield();
    }
    reader.close();
    table.prepare();
    return table;
}

} // namespace lex::pinyin
