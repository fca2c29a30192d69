#pragma once
// The character dictionary of "dz.txt" and the line routines built on it.
//
// "dz.txt": one line per character, the character directly followed by the reading it gets
// when no word decides otherwise (中zhong). A line's first code unit is its key and the whole
// line is its text; the first line of a key wins; empty lines add nothing.

#include "shared/lexcore/cp936.h"

#include <bitset>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lex::pinyin {

inline constexpr const char *kDictionaryFile = "dz.txt";

class CharDictionary {
public:
    CharDictionary() : m_spans(65536) {}
    // Adds a line under its first code unit unless that key has a text; returns whether it did.
    bool add(std::u16string_view line);
    bool contains(char16_t ch) const { return m_present[ch]; }
    // Every text can be read kReadAhead units past its start, whatever its length.
    static constexpr size_t kReadAhead = 8;
    // The text of `ch`, or the empty string when the dictionary has no such key.
    std::u16string_view text(char16_t ch) const {
        const Span &s = m_spans[ch];
        return std::u16string_view(m_text.data() + s.offset, s.length);
    }
    size_t size() const { return m_count; }
    // The length of the longest text.
    size_t longestText() const { return m_longest; }

private:
    // All texts in one buffer, found by code unit: annotation looks up every character of a
    // million-line lexicon.
    struct Span {
        uint32_t offset = 0;
        uint32_t length = 0;
    };
    std::vector<Span> m_spans;
    std::u16string m_text = std::u16string(kReadAhead, u'\0'); // the texts, then kReadAhead zeros
    std::bitset<65536> m_present;
    size_t m_count = 0;
    size_t m_longest = 0;
};

// Reads the dictionary (either encoding). The caller checks that the file exists; an
// unreadable file throws LexError.
CharDictionary loadCharDictionary(const std::filesystem::path &path);

// What FixPinyin did: bare characters that got their dictionary text, and annotated characters
// that lost their letters because the dictionary does not know them.
struct PinyinCounters {
    int64_t supplemented = 0;
    int64_t cleared = 0;
};

// The line with the marker "0" before every double-byte character whose next character has a
// code above 64 (an annotated character); the last character is never marked.
// `units` say which units are characters of the word (cp936.h); the rules below speak of
// code page 936, the narrow words.
std::u16string InsBlank(std::u16string_view line, WordUnits units = WordUnits::narrow());
void InsBlank(std::u16string_view line, std::u16string &out, WordUnits units = WordUnits::narrow());

// Annotation character by character: a bare double-byte character gets its dictionary text, an
// annotated one keeps its letters only when the dictionary knows it; single-byte characters
// before the first double-byte character are dropped. Here the at sign counts as a letter.
// With wide words, a character beyond code page 936 is a character of the word like any other,
// and keeps the letters it was given (the dictionary cannot know it).
std::u16string FixPinyin(std::u16string_view line, const CharDictionary &dict,
                         PinyinCounters &counters, WordUnits units = WordUnits::narrow());
void FixPinyin(std::u16string_view line, const CharDictionary &dict, PinyinCounters &counters,
               std::u16string &out, WordUnits units = WordUnits::narrow());
// FixPinyin of `line` appended to `out`.
void appendFixedPinyin(std::u16string_view line, const CharDictionary &dict,
                       PinyinCounters &counters, std::u16string &out,
                       WordUnits units = WordUnits::narrow());

// True when a character after the first has a code of 64 or more (the line carries pinyin).
bool IsDYC(std::u16string_view line);

} // namespace lex::pinyin
