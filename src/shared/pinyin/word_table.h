#pragma once
// The word table of "zn.lxd": one annotated word per line (重chong庆qing), each giving the
// readings of its characters inside that word. A line becomes the pair (entryWord of the line,
// InsBlank of the line); annotation replaces every occurrence of a pair's word by its marked
// form, applying the pairs from the last to the first, each over the whole lexicon.
//
// Done literally that is one pass over the lexicon per pair. Since no word holds a line break,
// the passes can be applied line by line instead, and on a line only the passes whose word
// occurs there change anything: an Aho–Corasick automaton over the words finds, in one scan,
// the latest pair not yet applied whose word occurs on the line; after it is applied the
// changed line is scanned again for the pairs before it. The result is that of the literal
// passes, at a cost that grows with the lexicon plus the table.

#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lex::pinyin {

inline constexpr const char *kWordTableFile = "zn.lxd";

class WordTable {
public:
    WordTable();
    ~WordTable();
    WordTable(WordTable &&) noexcept;
    WordTable &operator=(WordTable &&) noexcept;

    // Appends the pair of one table line.
    void addLine(std::u16string_view line);
    // Room for `lines` table lines of `units` code units in all, added by addLine().
    void reserve(size_t lines, size_t units);
    // Appends a pair as it stands (tests).
    void addPair(std::u16string_view word, std::u16string_view marked);
    size_t size() const { return m_pairs.size(); }
    std::u16string_view word(size_t i) const;
    std::u16string_view marked(size_t i) const;

    // Builds the automaton now rather than at the first apply().
    void prepare() const;
    // Applies every pair, from the last to the first, to one line of InsBlank-marked text:
    // each pair replaces all occurrences of its word, left to right, without overlaps.
    void apply(std::u16string &line, std::u16string &scratch) const;
    // False when apply() leaves InsBlank of `line` (an unmarked lexicon line) as it is: no word
    // occurs in it. InsBlank only inserts markers, so a word without a "0" that occurs in the
    // marked line occurs in the line itself.
    bool mayChange(std::u16string_view line) const;

    // Where the units of a line came from through applyTraced(): per unit, the replacement that
    // put it there (-1: the unit of the line as it was given) and its index (the unit's index
    // in the given line, or the index among the double-byte units of the marked form).
    struct Trace {
        struct Replacement {
            uint32_t pair;
            uint32_t begin, end; // the replaced word's units in the given line
        };
        std::vector<int32_t> from;
        std::vector<uint32_t> index;
        std::vector<Replacement> replacements;
        std::vector<int32_t> fromScratch; // working space
        std::vector<uint32_t> indexScratch;
    };
    // apply(), recording in `trace` where every unit of the result came from.
    void applyTraced(std::u16string &line, Trace &trace, std::u16string &scratch) const;

    // A word of the table met in a text: units [begin, end), and the latest pair of that word.
    struct Occurrence {
        uint32_t begin, end;
        uint32_t pair;
    };
    // Every occurrence of a word that can change a line in `text` (overlapping ones too).
    void occurrences(std::u16string_view text, std::vector<Occurrence> &out) const;
    // The letters that pair `k` gives the `index`-th character of its word; empty when none.
    std::u16string_view readingAt(size_t k, size_t index) const;

private:
    struct Pair {
        uint32_t wordOffset, wordLength;
        uint32_t markedOffset, markedLength;
    };
    struct Automaton;

    // The latest pair before `bound` whose word occurs in `line`, or -1.
    int64_t latestOccurring(std::u16string_view line, int64_t bound) const;

    LargeString m_text;
    LargeVector<Pair> m_pairs;
    // Built on first use after the last addition.
    mutable std::unique_ptr<Automaton> m_automaton;
};

// Reads the table (either encoding), yielding after every line. The caller checks that the
// file exists; an unreadable file throws LexError.
WordTable loadWordTable(const std::filesystem::path &path, EventPump &pump);

} // namespace lex::pinyin
