// Which readings of an annotation count as guesses, and the data the judgement reads.
#include "review_world.h"
#include "shared/lexcore/cp936.h"
#include "shared/pinyin/reading_review.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace lex;
using namespace lex::pinyin;
using lex::test::writeLexicon;

using Review = lex::test::ReviewWorld;

// Guards the definition of a guess, one row per way a reading is decided.
TEST_F(Review, TellsTheGuessesFromTheDecidedReadings) {
    const std::pair<std::u16string_view, std::u16string_view> rows[] = {
        {u"了", u"#1 1:le/liao"},               // polyphonic, no word covers it
        {u"长大", u""},                         // the table decides
        {u"会议", u""},                         // a known word confirms the first reading
        {u"开会计", u"#1 2:kuai/hui"},          // 会计 won, 开会 reads it otherwise
        {u"开会计划", u""},                     // the word that won holds both others
        {u"本行政区域", u""},                   // 本行 disagrees, the known word holds it
        {u"本行", u""},                         // the table decides
        {u"地", u"#1 1:di/de"},                 //
        {u"长zhang了", u"#1 2:le/liao"},        // annotated in the lexicon: no guess
        {u"中国", u""},                         // no polyphonic character
        {u"的长", u"#1 1:de/di 2:chang/zhang"}, // two guesses, in the word's order
        {u"a的0", u"#1 1:de/di"},               // places count Chinese characters only
    };
    for (const auto &[line, note] : rows)
        EXPECT_EQ(toUtf8(noteOf(line)), toUtf8(note)) << toUtf8(line);
}

// Guards the equality of the reviewed annotation with the plain one on lines of every shape:
// markers, letters, zeros, words that overlap and words inside words.
TEST_F(Review, AnnotatesAsThePlainAnnotation) {
    const std::u16string alphabet = u"长大了会开计划本行政区域的地0ag";
    std::mt19937 rng(20260612);
    for (int i = 0; i < 20000; ++i) {
        std::u16string line;
        for (size_t n = rng() % 9; n > 0; --n)
            line += alphabet[rng() % alphabet.size()];
        noteOf(line);
        if (HasFailure())
            FAIL() << toUtf8(line);
    }
}

// Guards the data files of either encoding.
TEST_F(Review, DataOfEitherEncodingLoads) {
    writeLexicon(dir / "dy16.txt", {u"了le", u"了liao"}, /*utf16=*/true);
    writeLexicon(dir / "cp16.txt", {u"了"}, /*utf16=*/true);
    const ReviewData wide = loadReviewData(dir / "dy16.txt", dir / "cp16.txt");
    EXPECT_TRUE(wide.polyphones.contains(u'了'));
    EXPECT_EQ(wide.ranks.rank(u"了"), 0u);
    EXPECT_EQ(wide.ranks.rank(u"长"), UINT32_MAX);
}

// Guards the rank lookup through regrowth, reservation and its filter: every word keeps its
// first rank, and the words the list lacks (its words' prefixes and extensions) have none.
TEST(WordRanks, KeepFirstRanksThroughRegrowth) {
    for (const bool reserved : {false, true}) {
        WordRanks ranks;
        if (reserved)
            ranks.reserve(5000);
        std::vector<std::u16string> words;
        for (uint32_t i = 0; i < 5000; ++i) {
            words.push_back({char16_t(0x4E00 + i % 300), char16_t(0x4E00 + i / 300)});
            ranks.add(words.back(), i);
        }
        ranks.add(words[7], 9999); // a word's later line does not count
        ranks.reserve(20000);      // nor does making room afterwards change anything
        ASSERT_EQ(ranks.size(), 5000u);
        for (uint32_t i = 0; i < 5000; ++i) {
            ASSERT_EQ(ranks.rank(words[i]), i);
            ASSERT_EQ(ranks.rank(words[i].substr(0, 1)), UINT32_MAX);
            ASSERT_EQ(ranks.rank(words[i] + u"了"), UINT32_MAX);
        }
        EXPECT_EQ(ranks.rank(u""), UINT32_MAX);
    }
}
