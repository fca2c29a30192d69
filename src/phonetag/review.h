#pragma once
// The review list of automatic annotation: every annotated line whose reading rests on a guess
// (shared/pinyin/reading_review.h says when it does), so that a maintainer checks those lines
// and nothing else. The list is ordered by "cp.txt" (dictionary words, most frequent first),
// then by line.
//
// The list has the format of "lw.txt", so that a maintainer fixes the readings in it and gives it
// to the correction as its list: each listed line of the annotated lexicon stands as it was
// written, after a note of its own. A note starts with "#" and holds only ASCII characters (the
// correction takes a line without Chinese characters for ";", which changes nothing): the line
// number, then per guessed character its place in the word, the reading given and the other
// readings, "#12 2:chang/zhang". The correction gives the k-th list line of a word to the k-th
// lexicon line of that word, so the lines of a listed word that are not guesses but stand before
// its last guess are listed too, with a note without readings ("#7").

#include "shared/lexcore/event_pump.h"
#include "shared/pinyin/reading_review.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace lex {
class LineStream;
}

namespace lex::phonetag {

inline constexpr const char *kReviewFile = "待审词条.txt";
inline constexpr const char *kReviewDataMissing =
    "找不到多音字表“dy.txt”或词频表“cp.txt”，无法列出待审词条。";

struct ReviewedResult {
    bool inputFound = false;
    int64_t lines = 0;
    int64_t reviewed = 0; // lines listed for their guesses
};

// autoAnnotate, and the review list of the annotated lines written to `list` (replaced; the
// format of the annotated lexicon). Throws LexError like autoAnnotate; neither output is then
// touched.
ReviewedResult autoAnnotate(const std::filesystem::path &input, const std::filesystem::path &output,
                            const std::filesystem::path &list, const pinyin::CharDictionary &dict,
                            const pinyin::WordTable &table, const pinyin::ReviewData &review,
                            pinyin::PinyinCounters &counters, EventPump &pump,
                            LineStream *opened = nullptr);

// The line lexcli adds after the report: "待审词条：" and the number of lines listed.
std::string reviewCountLine(int64_t reviewed);

} // namespace lex::phonetag
