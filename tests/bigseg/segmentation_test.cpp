// Segmentation: the worked examples through real files, the search's probes, the option's
// length rule, and the engine against the literal model on random word lists and articles,
// stop requests included.

#include "bigseg/segmentation.h"

#include "counting_pump.h"
#include "literal_model.h"
#include "shared/lexcore/cp936.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace {

namespace fs = std::filesystem;
using lex::bigseg::SegmentLexicon;
using lex::bigseg::SegmentOptions;
using lex::test::gbk;
using lex::test::readBytes;

lex::NullPump g_pump;

const std::initializer_list<std::u16string_view> kSix = {u"一",   u"中国", u"中国人",
                                                         u"人民", u"民",   u"龟"};

struct ArticleCase {
    const char *name;
    std::vector<std::u16string_view> lexicon;
    std::u16string article;
    SegmentOptions options;
    std::u16string fc; // the expected text of "fc.txt"
    bool utf16 = false;
};

void PrintTo(const ArticleCase &c, std::ostream *os) {
    *os << c.name;
}

class Article : public ::testing::TestWithParam<ArticleCase> {};

// Each row guards one rule of the cut, the walk or the join.
TEST_P(Article, WritesTheExpectedResult) {
    const ArticleCase &c = GetParam();
    lex::test::TempDir dir;
    lex::test::writeBytes(dir / "a.txt", c.utf16 ? lex::test::utf16le(c.article) : gbk(c.article));
    const std::u16string text = lex::bigseg::readArticle(dir / "a.txt");
    const SegmentLexicon lexicon(c.lexicon);
    lex::bigseg::segmentText(text, dir / "fc.txt", lexicon, c.options, g_pump);
    EXPECT_EQ(readBytes(dir / "fc.txt"), gbk(c.fc));
}

std::vector<ArticleCase> articleCases() {
    const std::vector<std::u16string_view> six(kSix);
    return {
        // The longest entry at a position wins; a character that is no entry sticks to the word
        // before it; a run that begins with a word gives the file a leading empty line.
        {"LongestMatchAndGlue", six, u"中国人民好", {}, u"\r\n中国人\r\n民好\r\n"},
        {"LeadingCharacterStaysOnTheLineBefore", six, u"好中国人民", {}, u"好\r\n中国人\r\n民\r\n"},
        // Entry 0 is never reached: 中国 is glued like any unknown character.
        {"EntryZeroNeverMatches",
         {u"中国", u"中国人", u"人民", u"民"},
         u"人民中国",
         {},
         u"\r\n人民中国\r\n"},
        {"AsciiLettersSeparateRuns", six, u"我们的ABC世界", {}, u"我们的\r\n世界\r\n"},
        {"FullWidthPunctuationSeparatesRuns",
         six,
         u"中国，人民。好",
         {},
         u"中国\r\n人民\r\n好\r\n"},
        {"ShortRunThenSplitRunCollapse",
         six,
         u"人民，中国人民好",
         {},
         u"人民\r\n中国人\r\n民好\r\n"},
        {"OneCharacterEntryAtTheEnd", six, u"中国人民", {}, u"\r\n中国人\r\n民\r\n"},
        {"ThreeCharactersStayWhole", six, u"中国人", {}, u"中国人\r\n"},
        {"NoSplitBelowTenKeepsNine",
         six,
         u"中国人民中国人民好",
         {1, 10},
         u"中国人民中国人民好\r\n"},
        {"NoSplitBelowTenSplitsTen",
         six,
         u"中国人民中国人民好好",
         {1, 10},
         u"\r\n中国人\r\n民\r\n中国人\r\n民好好\r\n"},
        {"DisabledOptionKeepsTheDefaultFour", six, u"中国人民", {0, 10}, u"\r\n中国人\r\n民\r\n"},
        {"EmptyListMatchesNothing", {}, u"中国人民", {}, u"中国人民\r\n"},
        // A match with the last entry ends the walk there instead of reading past the list.
        {"MatchWithTheLastEntry",
         {u"一", u"中", u"中国"},
         u"中国中国",
         {},
         u"\r\n中国\r\n中国\r\n"},
        {"NoRunCharacterAtAll", six, u"abc 123\r\n", {}, u"\r\n"},
        // Hanzi below 0xB0A1 (the extension block) separate runs like punctuation.
        {"CodesBelowB0A1Separate", six, u"中国\u4E02人民", {}, u"中国\r\n人民\r\n"},
        {"Utf16Article", six, u"中国人民好\r\n人民", {}, u"\r\n中国人\r\n民好\r\n人民\r\n", true},
    };
}

INSTANTIATE_TEST_SUITE_P(Examples, Article, ::testing::ValuesIn(articleCases()),
                         [](const auto &info) { return std::string(info.param.name); });

// The run functions themselves, where the file's join would hide the leading CR LF.
TEST(DispartStr, ResultsCarryTheirLineBreaks) {
    const SegmentLexicon six(kSix);
    EXPECT_EQ(lex::bigseg::DispartStr(u"中国人民好", six, g_pump), u"\r\n中国人\r\n民好");
    EXPECT_EQ(lex::bigseg::DispartStr(u"人民", six, g_pump), u"人民");
    EXPECT_EQ(lex::bigseg::DispartStrX(u"中国人民好", six, 6, g_pump), u"中国人民好");
    EXPECT_EQ(lex::bigseg::DispartStrX(u"中国人民好", six, 5, g_pump), u"\r\n中国人\r\n民好");
}

struct SearchCase {
    const char *s2;
    int32_t index;
    int16_t b;
    int64_t yields; // probes that missed
};

// The probe order: midpoints rounded half to even, ends never probed, the upper end returned
// without a match, one yield per miss.
TEST(Get_CKP, ProbesAsSpecified) {
    const SegmentLexicon list{u"b", u"d", u"f", u"h", u"j", u"l"};
    const SearchCase cases[] = {
        {"f", 2, -1, 0}, // (0 + 5) / 2 = 2.5 -> 2
        {"b", 1, 0, 2},  // index 0 never probed
        {"l", 5, 0, 2},  // (2 + 5) / 2 = 3.5 -> 4, then the last index, unprobed
        {"e", 2, 0, 2},  {"a", 1, 0, 2},  {"z", 5, 0, 2},
        {"d", 1, -1, 1}, {"j", 4, -1, 1}, {"h", 3, -1, 2}, // 2, 4, then (2 + 4) / 2
    };
    for (const auto &c : cases) {
        lex::test::CountingPump pump;
        int16_t b = 7;
        std::u16string s2(c.s2, c.s2 + std::strlen(c.s2));
        EXPECT_EQ(lex::bigseg::Get_CKP(list, s2, b, pump), c.index) << c.s2;
        EXPECT_EQ(b, c.b) << c.s2;
        EXPECT_EQ(pump.calls(), c.yields) << c.s2;
    }
    int16_t b = 7;
    EXPECT_EQ(lex::bigseg::Get_CKP(SegmentLexicon{}, u"a", b, g_pump), -1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(lex::bigseg::Get_CKP(SegmentLexicon{u"a"}, u"a", b, g_pump), 0);
    EXPECT_EQ(b, 0);
    // A stop seen at the first miss ends the search there, with the upper end of that moment.
    lex::test::CountingPump stop(1);
    EXPECT_EQ(lex::bigseg::Get_CKP(list, u"b", b, stop), 2);
    EXPECT_EQ(b, 0);
}

TEST(StrCompX, TellsWhetherAnEntryMayStillBeginWithTheCandidate) {
    using lex::bigseg::StrCompX;
    EXPECT_EQ(StrCompX(u"中", u"中国"), -1);
    EXPECT_EQ(StrCompX(u"中国", u"人"), -2); // smaller, but not shorter
    EXPECT_EQ(StrCompX(u"中国", u"中国"), 0);
    EXPECT_EQ(StrCompX(u"中国人", u"中国"), 1);
    EXPECT_EQ(StrCompX(u"a", u"b"), -2);
}

// The option dialog's length: 5 and 100 are out, halves go to the even neighbour.
TEST(NoSplitBelow, RoundsAndFallsBackToTen) {
    const std::pair<std::u16string_view, int16_t> cases[] = {
        {u"5", 10},  {u"100", 10}, {u"6", 6},      {u"99.5", 100}, {u"5.5", 6},
        {u"6.5", 6}, {u"7.5", 8},  {u"99", 99},    {u" 12 ", 12},  {u"abc", 10},
        {u"", 10},   {u"-7", 10},  {u"12abc", 10}, {u"+20", 20},   {u"１２", 10}};
    for (auto [text, expected] : cases)
        EXPECT_EQ(lex::bigseg::noSplitBelowFromText(text), expected) << lex::toUtf8(text);
}

// Random word lists and articles over a few characters: the engine's output and its yields
// equal the literal model's, for ascending lists (the indexed search) and for lists in any
// order (the plain search), with and without stop requests.
class Equivalence : public ::testing::Test {
protected:
    std::mt19937 rng{20240611};
    const std::u16string alphabet = u"中国人民好";

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    std::u16string word(int maxLen) {
        std::u16string w;
        for (int n = 1 + pick(maxLen); n > 0; --n)
            w += alphabet[size_t(pick(int(alphabet.size())))];
        return w;
    }

    static SegmentLexicon indexed(const lex::test::model::Lexicon &words) {
        return SegmentLexicon(std::vector<std::u16string_view>(words.begin(), words.end()));
    }

    lex::test::model::Lexicon lexicon(bool ascending) {
        lex::test::model::Lexicon list;
        for (int n = pick(40); n > 0; --n)
            list.push_back(word(5));
        if (pick(8) == 0)
            list.push_back(u""); // an empty line of the word file
        if (ascending) {
            std::sort(list.begin(), list.end());
            list.erase(std::unique(list.begin(), list.end()), list.end());
        }
        return list;
    }

    std::u16string article(size_t length) {
        const std::u16string separators = u"a，\n 。";
        std::u16string text;
        while (text.size() < length)
            text += pick(6) == 0 ? std::u16string(1, separators[size_t(pick(5))]) : word(8);
        return text;
    }

    // Engine and model on one case, with a pump that stops at `stopAt` (-1: never).
    void check(const lex::test::model::Lexicon &words, const SegmentLexicon &list,
               const std::u16string &text, SegmentOptions options, int64_t stopAt) {
        lex::test::CountingPump enginePump(stopAt), modelPump(stopAt);
        const std::u16string got = lex::bigseg::segmentToText(text, list, options, enginePump);
        const std::u16string expected = lex::test::model::segment(
            text, words, options.noSplitEnabled == 1, options.noSplitBelow, modelPump);
        ASSERT_EQ(lex::toUtf8(got), lex::toUtf8(expected))
            << "list of " << words.size() << ", article " << lex::toUtf8(text) << ", stop at "
            << stopAt;
        // After a stop the engine skips the yields that could only say "stop" again.
        if (stopAt < 0) {
            ASSERT_EQ(enginePump.calls(), modelPump.calls());
        }
    }
};

TEST_F(Equivalence, RandomListsAndArticles) {
    for (int round = 0; round < 3000; ++round) {
        const bool ascending = round % 4 != 0;
        const auto words = lexicon(ascending);
        SegmentOptions options;
        if (round % 5 == 0)
            options = {1, int16_t(6 + pick(4))};
        check(words, indexed(words), article(1 + size_t(pick(120))), options, -1);
        if (HasFatalFailure())
            return;
    }
}

TEST_F(Equivalence, StopsAtEveryYield) {
    for (int round = 0; round < 200; ++round) {
        const auto words = lexicon(round % 3 != 0);
        const SegmentLexicon list = indexed(words);
        const std::u16string text = article(60);
        lex::test::CountingPump counter;
        lex::test::model::segment(text, words, false, 4, counter);
        for (int64_t stopAt = 1; stopAt <= counter.calls() + 1; ++stopAt) {
            check(words, list, text, {}, stopAt);
            if (HasFatalFailure())
                return;
        }
    }
}

// Articles long enough for the cut's yields at every 20000th character.
TEST_F(Equivalence, StopsWhileCuttingLongArticles) {
    for (int round = 0; round < 4; ++round) {
        const auto words = lexicon(round != 3);
        const SegmentLexicon list = indexed(words);
        const std::u16string text = article(45000);
        lex::test::CountingPump counter;
        lex::test::model::segment(text, words, false, 4, counter);
        const int64_t calls = counter.calls();
        for (int64_t stopAt : {int64_t(1), int64_t(2), calls / 2, calls, calls + 1}) {
            check(words, list, text, {}, stopAt);
            if (HasFatalFailure())
                return;
        }
    }
}

} // namespace
