#pragma once
// The counting of the corpus counts: words and their counts, the lines one run gives in "fc.txt",
// and the joining of the runs cut at the ends of consecutive parts of the corpus.

#include "bigseg/corpus_count.h"
#include "bigseg/segmentation.h"
#include "shared/lexcore/cp936.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lex::bigseg {

// Words and their counts, by an open-addressing table over the words' text. Counts may go
// below zero for a while (a chunk counted again with the opposite sign on another thread).
class WordCounts {
public:
    WordCounts() : m_cells(size_t(1) << 12), m_mask(m_cells.size() - 1) {}

    void add(std::u16string_view w, int64_t delta) {
        const uint64_t h = hash(w);
        const auto tag = uint32_t(h >> 32);
        for (size_t i = size_t(h) & m_mask;; i = (i + 1) & m_mask) {
            Cell &c = m_cells[i];
            if (c.len == 0) {
                c = {tag, uint32_t(w.size()), m_text.size(), delta};
                m_text.append(w);
                if (++m_used * 2 > m_cells.size())
                    grow();
                return;
            }
            if (c.tag == tag && c.len == w.size() &&
                std::memcmp(m_text.data() + c.off, w.data(), w.size() * 2) == 0) {
                c.count += delta;
                return;
            }
        }
    }

    template <class F> void forEach(F f) const {
        for (const Cell &c : m_cells)
            if (c.len)
                f(std::u16string_view(m_text.data() + c.off, c.len), c.count);
    }

    void addAll(const WordCounts &other) {
        other.forEach([&](std::u16string_view w, int64_t n) { add(w, n); });
    }

    // The words whose count is not zero, ascending.
    std::vector<std::pair<std::u16string, int64_t>> sorted() const {
        std::vector<std::pair<std::u16string_view, int64_t>> views;
        views.reserve(m_used);
        forEach([&](std::u16string_view w, int64_t n) {
            if (n != 0)
                views.emplace_back(w, n);
        });
        std::sort(views.begin(), views.end());
        std::vector<std::pair<std::u16string, int64_t>> out;
        out.reserve(views.size());
        for (const auto &[w, n] : views)
            out.emplace_back(std::u16string(w), n);
        return out;
    }

private:
    struct Cell {
        uint32_t tag = 0;
        uint32_t len = 0; // 0: free (a word is never empty)
        size_t off = 0;
        int64_t count = 0;
    };

    static uint64_t hash(std::u16string_view w) {
        uint64_t h = 0x9E3779B97F4A7C15ull ^ w.size();
        for (char16_t c : w)
            h = (h ^ c) * 0x100000001B3ull;
        h ^= h >> 29;
        h *= 0xBF58476D1CE4E5B9ull;
        return h ^ (h >> 32);
    }

    void grow() {
        std::vector<Cell> old(m_cells.size() * 2);
        old.swap(m_cells);
        m_mask = m_cells.size() - 1;
        for (const Cell &c : old) {
            if (!c.len)
                continue;
            const uint64_t h = hash({m_text.data() + c.off, c.len});
            size_t i = size_t(h) & m_mask;
            while (m_cells[i].len)
                i = (i + 1) & m_mask;
            m_cells[i] = c;
        }
    }

    std::vector<Cell> m_cells;
    size_t m_mask;
    size_t m_used = 0;
    std::u16string m_text;
};

// Counts the lines that the segmentation of one run gives, as the statistics count "fc.txt".
class RunCounter {
public:
    RunCounter(const SegmentLexicon &lexicon, size_t textSize, int16_t splitBelow)
        : m_cutter(lexicon, textSize), m_splitBelow(splitBelow) {}

    void count(std::u16string_view run, WordCounts &counts, int64_t sign) {
        if (run.empty())
            return;
        if (int64_t(run.size()) < m_splitBelow) {
            counts.add(run, sign);
            return;
        }
        m_cutter.cut(run, m_breaks);
        size_t from = 0;
        for (uint32_t b : m_breaks) {
            if (b > from)
                counts.add(run.substr(from, b - from), sign);
            from = b;
        }
        if (run.size() > from)
            counts.add(run.substr(from), sign);
    }

private:
    RunCutter m_cutter;
    int16_t m_splitBelow;
    std::vector<uint32_t> m_breaks;
};

// The open ends of a sequence of parts, the runs that close between them handed to `run`.
struct EndsView {
    bool whole;
    std::u16string_view head, tail;
};

template <class Run> OpenEnds joinEnds(const std::vector<EndsView> &parts, Run run) {
    OpenEnds out;
    std::u16string open;
    for (const EndsView &p : parts) {
        open += p.head;
        if (p.whole)
            continue;
        if (out.whole) {
            out.whole = false;
            out.head = open;
        } else {
            run(std::u16string_view(open));
        }
        open = p.tail;
    }
    (out.whole ? out.head : out.tail) = open;
    return out;
}

} // namespace lex::bigseg
