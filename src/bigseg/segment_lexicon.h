#pragma once
// The segmentation word list: the strings of "ciku.lxd" (and the supplement words of "bc.ini")
// in one buffer, indexed 0..lastIndex(), in the order they were given. Every search assumes
// ascending ordinal order (UTF-16 code units, a proper prefix first) but never checks it; a list
// that is not in that order is searched all the same, with the results such a search gives.
//
// A list that is strictly ascending (the shipped one, and every list the supplement editor
// builds from one) also gets an index by first and by second character, so that the place of a
// one- or two-character string is found without comparing strings.

#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lex::bigseg {

class SegmentLexicon {
public:
    SegmentLexicon() { finish(); }
    explicit SegmentLexicon(const std::vector<std::u16string_view> &words);
    explicit SegmentLexicon(std::initializer_list<std::u16string_view> words)
        : SegmentLexicon(std::vector<std::u16string_view>(words)) {}

    int32_t lastIndex() const { return int32_t(m_starts.size()) - 2; }
    int32_t size() const { return int32_t(m_starts.size()) - 1; }
    bool empty() const { return size() == 0; }
    std::u16string_view operator[](int32_t i) const {
        return {m_text.data() + m_starts[size_t(i)], m_starts[size_t(i) + 1] - m_starts[size_t(i)]};
    }
    std::vector<std::u16string_view> words() const;
    size_t textUnits() const { return m_text.size(); }

    // True when every entry is greater than the one before it.
    bool strictlyAscending() const { return m_ascending; }
    // Strictly ascending lists only: the first index whose entry is not less than `s`
    // (size() when there is none).
    int32_t lowerBound(std::u16string_view s) const;
    // Strictly ascending lists only: the first index after `from` whose entry is not less than
    // `s`, where the entry at `from` is less than `s`.
    int32_t lowerBoundAfter(int32_t from, std::u16string_view s) const;

    // Building: append the entries in order, then finish().
    void reserve(size_t entries, size_t units);
    void append(std::u16string_view word);
    void finish();

private:
    std::u16string m_text;
    std::vector<uint32_t> m_starts{0}; // entry i is [m_starts[i], m_starts[i + 1])
    bool m_ascending = true;
    // For an ascending list: m_first[c] = the number of entries less than the string "c";
    // m_pairStart[c]..m_pairStart[c + 1] the second characters of the entries that begin with
    // c, each with the index of the first entry that begins with those two characters.
    struct Pair {
        char16_t second;
        uint32_t index;
    };
    std::vector<uint32_t> m_first;
    std::vector<uint32_t> m_pairStart;
    std::vector<Pair> m_pairs;
};

// The sorted-list operations of the loader and the supplement editor, all ordinal.
// Sorts ascending; yields now and then while it sorts but never stops early.
void sortAscending(std::vector<std::u16string> &list, EventPump &pump);
// Of a sorted list keeps the distinct non-empty strings.
void removeDuplicates(std::vector<std::u16string> &list);
// The merge walk of `a` and `b`: elements of both, equal elements once (union), or equal
// elements dropped (symmetric difference); what is left of `a`, then of `b`, goes last.
SegmentLexicon unionOf(const SegmentLexicon &a, const std::vector<std::u16string> &b);
SegmentLexicon symmetricDifference(const SegmentLexicon &a, const std::vector<std::u16string> &b);

// Reads every line of a word file as code page 936, whatever its first bytes (but as UTF-8 when
// it is UTF-8: detectUtf8), in file order.
// Yields after every 20000th line (0 included) when `pump` is given.
SegmentLexicon readWordList(const std::filesystem::path &path, EventPump *pump = nullptr);

// The word list the tool starts with: "ciku.lxd" alone when "bc.ini" holds no line, else
// "ciku.lxd" united with the sorted distinct supplement words. "bc.ini" is created empty when
// it does not exist (a failure to create it counts as an empty file). Throws LexError when
// "ciku.lxd" is missing or unreadable.
SegmentLexicon loadSegmentLexicon(const std::filesystem::path &ciku,
                                  const std::filesystem::path &bcIni, EventPump &pump);

// The message shown before the tool ends for want of its word list.
std::string missingWordListText(const std::filesystem::path &ciku);

} // namespace lex::bigseg
