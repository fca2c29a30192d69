#pragma once
// Which readings of an automatic annotation rest on a guess: the judgement behind the review
// list of the annotation and the reading checks.
//
// A character's reading is a guess when it is polyphonic and read by its dictionary reading
// with no word of the table covering it, or when table words that cover it disagree about it
// (开会 kai hui and 会计 kuai ji in 开会计) and the word that won does not hold the others. The
// table only holds the words that read otherwise than their characters, so a dictionary word of
// known reading ("cp.txt") that covers the character and agrees with it makes it no guess
// (会议 hui yi), and one that disagrees makes it one.
// Polyphonic characters and their readings come from "dy.txt" (the format of "dz.lxd": one line
// per character and reading, the most common reading first); "cp.txt" holds dictionary words,
// most frequent first.

#include "shared/pinyin/char_dictionary.h"
#include "shared/pinyin/word_table.h"

#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"

#include <bitset>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lex::pinyin {

inline constexpr const char *kPolyphoneFile = "dy.txt";
inline constexpr const char *kRankFile = "cp.txt";

// The readings of the polyphonic characters, most common first.
class Polyphones {
public:
    void add(std::u16string_view line);
    bool contains(char16_t ch) const { return m_present[ch]; }
    // The readings of `ch` (none when it is not polyphonic).
    std::span<const std::u16string> readings(char16_t ch) const {
        if (!m_present[ch])
            return {};
        return m_lists[m_list[ch]];
    }

private:
    std::bitset<65536> m_present;
    LargeVector<uint32_t> m_list = LargeVector<uint32_t>(65536, 0); // per unit, into m_lists
    std::vector<std::vector<std::u16string>> m_lists = std::vector<std::vector<std::u16string>>(1);
};

// Words by rank: the line number of each word of "cp.txt" (the first line of a word counts),
// which is also the word's pair in ReviewData::known. Looked up for most lines of a lexicon, so
// an open-addressing table over one buffer of words rather than a map of strings.
class WordRanks {
public:
    // A word and its rank; the first rank of a word counts.
    void add(std::u16string_view word, uint32_t rank);
    // The rank of `word`; words the list lacks come after every listed one.
    uint32_t rank(std::u16string_view word) const;
    size_t size() const { return m_count; }
    // Room for `words` words without regrowing.
    void reserve(size_t words);

private:
    struct Cell {
        uint32_t hash = 0;
        uint32_t offset = 0, length = 0;
        uint32_t rank = UINT32_MAX; // UINT32_MAX: a free cell
    };
    static uint32_t hashOf(std::u16string_view word);
    const Cell *find(std::u16string_view word, uint32_t hash) const;
    void grow();
    void rehash(size_t cells);

    // One bit per word's hash, in few enough bytes to stay in cache: most lines looked up are
    // not words of the list, and the filter turns them away without touching the table.
    static constexpr uint32_t kFilterBits = uint32_t(1) << 20;
    static uint32_t filterBit(uint32_t hash) { return (hash * 0x9E3779B1u) >> 12; }

    LargeString m_words;
    LargeVector<Cell> m_cells = LargeVector<Cell>(64);
    std::vector<uint64_t> m_filter = std::vector<uint64_t>(kFilterBits / 64);
    size_t m_count = 0;
};

// "cp.txt": dictionary words that hold a polyphonic character, most frequent first, each
// annotated when its reading is known (会hui议yi). A word of it that covers a character confirms
// the reading the character was given, or tells another one.
struct ReviewData {
    Polyphones polyphones;
    WordRanks ranks;
    WordTable known;
};

// Reads "dy.txt" and "cp.txt" (either encoding). Throws LexError on an unreadable file.
ReviewData loadReviewData(const std::filesystem::path &polyphones,
                          const std::filesystem::path &ranks);

// One guessed character of an annotated line: its place among the line's Chinese characters
// (from 1), the reading it was given and the other readings it may have.
struct Guess {
    uint32_t place = 0;
    std::u16string given;
    std::vector<std::u16string> others;
};

// Working space of annotateLineReviewed, kept from line to line.
struct ReviewScratch {
    // A word met in the line that covers a character, and the reading it gives it.
    struct Evidence {
        uint32_t begin, end;
        std::u16string_view reading;
    };
    std::u16string marked, text;
    WordTable::Trace trace;
    std::vector<WordTable::Occurrence> found, known;
    std::vector<Evidence> evidence;
    Guess pending;
    std::u16string wordScratch; // reviewWord's
};

// annotateLine, which it equals in `out` and `counters`, and the guesses of the line.
void annotateLineReviewed(std::u16string_view line, const CharDictionary &dict,
                          const WordTable &table, const ReviewData &review,
                          PinyinCounters &counters, std::u16string &out, std::u16string &scratch,
                          std::vector<Guess> &guesses, ReviewScratch &work,
                          WordUnits units = WordUnits::narrow());

// The annotation of one bare word, character by character, and which of its readings are
// guesses: the one judgement of "uncertain reading" behind the review list and the reading check.
struct WordReview {
    std::vector<std::u16string> readings; // per character of the word ("" where it has none)
    std::vector<Guess> guesses;           // places count characters, from 1

    // Whether `reading` for the character at `index` (from 0) agrees with the annotation, or is
    // a reading its guess leaves open; characters without a reading accept anything.
    bool accepts(size_t index, std::u16string_view reading) const;
    // The guess at `index` (from 0), or nullptr when the annotation is sure of it.
    const Guess *guessAt(size_t index) const;
};

// Annotates `word` (characters only, no pinyin) as annotateLineReviewed does and splits the
// result into the readings of its characters. `line` and `work` are working space.
void reviewWord(std::u16string_view word, const CharDictionary &dict, const WordTable &table,
                const ReviewData &review, WordReview &out, std::u16string &line,
                ReviewScratch &work, WordUnits units = WordUnits::wide());

// The note of a listed line: "#12 2:chang/zhang 3:le/liao", only ASCII.
std::u16string reviewNote(int64_t lineNumber, const std::vector<Guess> &guesses);
// The part of the note after the line number (" 2:chang/zhang 3:le/liao"), appended to `note`.
void appendGuessNotes(const std::vector<Guess> &guesses, std::u16string &note);

} // namespace lex::pinyin
