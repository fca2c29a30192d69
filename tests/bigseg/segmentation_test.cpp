// Segmentation: the worked examples through real files, the search's probes, the option's
// length rule, and the engine against the literal model on random word lists and articles,
// stop requests included.

#include "bigseg/segmentation.h"

#include "counting_pump.h"
#include "literal_model.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using lex::bigseg::SegmentLexicon;
using lex::bigseg::SegmentOptions;
using lex::test::gbk;

lex::NullPump g_pump;

struct ArticleCase {
    const char *name;
    std::vector<std::u16string_view> lexicon;
    std::u16string article;
    SegmentOptions options;
    std::u16string fc; // the expected text of "fc.txt"
};

void PrintTo(const ArticleCase &c, std::ostream *os) {
    *os << c.name;
}

class Article : public ::testing::TestWithParam<ArticleCase> {};

// Each row guards one rule of the cut, the walk or the join; rows named A to L are read from
// UTF-16 files.
TEST_P(Article, WritesTheExpectedResult) {
    const ArticleCase &c = GetParam();
    lex::test::TempDir dir;
    const bool utf16 = c.name[0] < 'M';
    lex::test::writeBytes(dir / "a.txt", utf16 ? lex::test::utf16le(c.article) : gbk(c.article));
    lex::bigseg::segmentText(lex::bigseg::readArticle(dir / "a.txt"), dir / "fc.txt",
                             SegmentLexicon(c.lexicon), c.options, g_pump);
    EXPECT_EQ(lex::test::readBytes(dir / "fc.txt"), gbk(c.fc));
}

const std::vector<std::u16string_view> kSix = {u"一", u"中国", u"中国人", u"人民", u"民", u"龟"};

INSTANTIATE_TEST_SUITE_P(
    Examples, Article,
    ::testing::Values(
        // The longest entry wins; a character that is no entry sticks to the line before; a
        // run that begins with a word gives the file a leading empty line.
        ArticleCase{"LongestMatchAndGlue", kSix, u"中国人民好", {}, u"\r\n中国人\r\n民好\r\n"},
        ArticleCase{"LeadingCharacterGlued", kSix, u"好中国人民", {}, u"好\r\n中国人\r\n民\r\n"},
        // Entry 0 is never reached: 中国 is glued like an unknown character.
        ArticleCase{"EntryZeroNeverMatches",
                    {u"中国", u"中国人", u"人民", u"民"},
                    u"人民中国",
                    {},
                    u"\r\n人民中国\r\n"},
        ArticleCase{"AsciiSeparates", kSix, u"我们的ABC世界", {}, u"我们的\r\n世界\r\n"},
        ArticleCase{"FullWidthPunctuationSeparates",
                    kSix,
                    u"中国，人民。好",
                    {},
                    u"中国\r\n人民\r\n好\r\n"},
        // Hanzi below 0xB0A1 (丂 is 0x8140) separate runs too.
        ArticleCase{"CodesBelowB0A1Separate", kSix, u"中国丂人民", {}, u"中国\r\n人民\r\n"},
        // The join's CR LF and the split run's leading CR LF collapse.
        ArticleCase{"ShortThenSplitRunCollapse",
                    kSix,
                    u"人民，中国人民好",
                    {},
                    u"人民\r\n中国人\r\n民好\r\n"},
        ArticleCase{"OneCharacterEntryLast", kSix, u"中国人民", {}, u"\r\n中国人\r\n民\r\n"},
        ArticleCase{"ThreeStayWhole", kSix, u"中国人", {}, u"中国人\r\n"},
        ArticleCase{"NoSplitBelowTenKeepsNine",
                    kSix,
                    u"中国人民中国人民好",
                    {1, 10},
                    u"中国人民中国人民好\r\n"},
        ArticleCase{"NoSplitBelowTenSplitsTen",
                    kSix,
                    u"中国人民中国人民好好",
                    {1, 10},
                    u"\r\n中国人\r\n民\r\n中国人\r\n民好好\r\n"},
        ArticleCase{"DisabledOptionKeepsFour", kSix, u"中国人民", {0, 10}, u"\r\n中国人\r\n民\r\n"},
        ArticleCase{"EmptyListMatchesNothing", {}, u"中国人民", {}, u"中国人民\r\n"},
        // A match with the last entry ends the walk instead of reading past the list.
        ArticleCase{"MatchWithTheLastEntry",
                    {u"一", u"中", u"中国"},
                    u"中国中国",
                    {},
                    u"\r\n中国\r\n中国\r\n"},
        ArticleCase{"NoRunCharacterAtAll", kSix, u"abc 123\r\n", {}, u"\r\n"}),
    [](const auto &info) { return std::string(info.param.name); });

// Guards characters beyond code page 936 taken for gaps: with a UTF-8 output an ideograph that
// code page 936 lacks, or a character beyond the basic plane, is a character of its run (and of
// the words the list has for it); with a code page 936 output it separates runs, as it always did.
TEST(Article, CharactersBeyondGbkJoinRunsOfWideOutputs) {
    // Entry 0 is never reached: 〇 (U+3007) stands before 㐀字.
    const std::vector<std::u16string_view> list = {u"〇", u"㐀字", u"人民", u"野家", u"𠮷野家"};
    const struct {
        std::u16string_view article, wide, narrow; // UTF-8 with LF, code page 936 with CR LF
    } rows[] = {
        {u"去𠮷野家吃", u"去\n𠮷野家吃\n", u"去\r\n野家吃\r\n"},
        {u"㐀字人民好", u"\n㐀字\n人民好\n", u"字\r\n人民好\r\n"},
        {u"笑😀人民好", u"笑😀\n人民好\n", u"笑\r\n人民好\r\n"},
        {u"人民，野家", u"人民\n野家\n", u"人民\r\n野家\r\n"},
    };
    lex::test::TempDir dir;
    for (const auto &row : rows) {
        lex::NullPump wide, narrow;
        wide.setContext(lex::RunContext(lex::LexiconEncoding::Utf8));
        lex::bigseg::segmentText(std::u16string(row.article), dir / "wide.txt",
                                 SegmentLexicon(list), {}, wide);
        EXPECT_EQ(lex::test::readBytes(dir / "wide.txt"), lex::toUtf8(row.wide));
        lex::bigseg::segmentText(std::u16string(row.article), dir / "narrow.txt",
                                 SegmentLexicon(list), {}, narrow);
        EXPECT_EQ(lex::test::readBytes(dir / "narrow.txt"), gbk(row.narrow));
    }
}

// The option dialog's length: 5 and 100 are out, halves go to the even neighbour.
TEST(NoSplitBelow, RoundsAndFallsBackToTen) {
    const std::pair<std::u16string_view, int16_t> cases[] = {
        {u"5", 10},  {u"100", 10},  {u"6", 6},    {u"99.5", 100}, {u"5.5", 6}, {u"6.5", 6},
        {u"7.5", 8}, {u" 12 ", 12}, {u"abc", 10}, {u"", 10},      {u"-7", 10}, {u"12abc", 10}};
    for (auto [text, expected] : cases)
        EXPECT_EQ(lex::bigseg::noSplitBelowFromText(text), expected);
}

// Random word lists and articles over five hanzi: the engine's output and its yields equal the
// literal model's, for ascending lists (the indexed search) and for lists in any order (the
// plain search), with and without stop requests.
class Equivalence : public ::testing::Test {
protected:
    std::mt19937 rng{20240611};

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    std::u16string word(int maxLen) {
        std::u16string w;
        for (int n = 1 + pick(maxLen); n > 0; --n)
            w += u"中国人民好"[pick(5)];
        return w;
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
        std::u16string text;
        while (text.size() < length)
            text += pick(6) == 0 ? std::u16string(1, u"a，\n 。"[pick(5)]) : word(8);
        return text;
    }

    static SegmentLexicon indexed(const lex::test::model::Lexicon &words) {
        return SegmentLexicon(std::vector<std::u16string_view>(words.begin(), words.end()));
    }

    // Engine and model on one case, with a pump that stops at `stopAt` (-1: never).
    void check(const lex::test::model::Lexicon &words, const SegmentLexicon &list,
               const std::u16string &text, SegmentOptions options, int64_t stopAt) {
        lex::test::CountingPump enginePump(stopAt), modelPump(stopAt);
        const std::u16string got = lex::bigseg::segmentToText(text, list, options, enginePump);
        const std::u16string expected = lex::test::model::segment(
            text, words, options.noSplitEnabled == 1, options.noSplitBelow, modelPump);
        ASSERT_EQ(lex::toUtf8(got), lex::toUtf8(expected)) << "stop at " << stopAt;
        // After a stop the engine skips the yields that could only say "stop" again.
        if (stopAt < 0) {
            ASSERT_EQ(enginePump.calls(), modelPump.calls());
        }
    }
};

TEST_F(Equivalence, RandomListsAndArticles) {
    for (int round = 0; round < 2000 && !HasFatalFailure(); ++round) {
        const SegmentOptions options = round % 5 ? SegmentOptions{} : SegmentOptions{1, 7};
        const auto words = lexicon(round % 4 != 0);
        check(words, indexed(words), article(1 + size_t(pick(120))), options, -1);
    }
}

// Short articles stopped at every yield; long ones (the cut yields at every 20000th
// character) at a few.
TEST_F(Equivalence, Stops) {
    for (int round = 0; round < 104 && !HasFatalFailure(); ++round) {
        const auto words = lexicon(round % 3 != 0);
        const SegmentLexicon list = indexed(words);
        const std::u16string text = article(round < 100 ? 60 : 45000);
        lex::test::CountingPump counter;
        lex::test::model::segment(text, words, false, 4, counter);
        const int64_t n = counter.calls();
        for (int64_t stopAt = 1; stopAt <= n + 1 && !HasFatalFailure();
             stopAt += round < 100 ? 1 : std::max<int64_t>(1, n / 3))
            check(words, list, text, {}, stopAt);
    }
}

} // namespace
