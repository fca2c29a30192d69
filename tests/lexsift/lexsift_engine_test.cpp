// The article and condition filters through real files in a temporary folder, byte for byte,
// and their automaton against the literal searches it replaces.
#include "lexsift/article_filter.h"
#include "lexsift/condition_filter.h"

#include "counting_pump.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/lexicon_rules.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace lex;
using namespace lex::lexsift;
using lex::test::gbk;
using lex::test::gbkLines;
using lex::test::readBytes;
using lex::test::TempDir;
using lex::test::writeBytes;
using lex::test::writeLexicon;
namespace fs = std::filesystem;
using Lines = std::initializer_list<std::u16string_view>;

namespace {

struct ArticleCase {
    const char *name;
    Lines source;
    std::u16string article;
    Lines expected;
};

class ArticleFilter : public ::testing::TestWithParam<ArticleCase> {};

TEST_P(ArticleFilter, WritesTheLinesWhoseWordOccurs) {
    TempDir dir;
    writeLexicon(dir / "src.txt", GetParam().source);
    writeBytes(dir / "art.txt", gbk(GetParam().article));
    NullPump pump;
    auto r = filterByArticle(dir / "src.txt", dir / "art.txt", dir / "out.txt", pump);
    EXPECT_TRUE(r.sourceFound && r.articleFound && !r.stopped);
    EXPECT_EQ(r.written, int64_t(GetParam().expected.size()));
    EXPECT_EQ(readBytes(dir / "out.txt"), gbkLines(GetParam().expected));
}

const ArticleCase kArticleCases[] = {
    // Duplicates are kept once per occurrence, in source order.
    {"duplicates", {u"中国", u"中国", u"人民"}, u"我爱中国。", {u"中国", u"中国"}},
    // The word decides; the whole line, letters included, is written.
    {"annotated", {u"中zhong国guo", u"人ren民min"}, u"中国人", {u"中zhong国guo"}},
    {"emptyArticle", {u"中国", u""}, u"", {}},
    // A word split by a line break does not occur: CR LF lies between its characters.
    {"lineBreak", {u"中国", u"国人"}, u"中\r\n国人", {u"国人"}},
    // The first character counts whatever it is; comparison is case-sensitive.
    {"leadingLetter", {u"a中", u"A中", u"", u"b"}, u"xa中y", {u"a中"}},
    // Words that are prefixes and suffixes of each other, and one longer than the article.
    {"nested",
     {u"中华人民", u"华人", u"人民", u"中华", u"民", u"中华人民共和国万岁"},
     u"中华人民共和国",
     {u"中华人民", u"华人", u"人民", u"中华", u"民"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ArticleFilter, ::testing::ValuesIn(kArticleCases),
                         [](const auto &info) { return std::string(info.param.name); });

// A missing input reports itself and creates no target; UTF-16 inputs are read as such.
TEST(ArticleFilterFiles, MissingInputsCreateNoTargetAndUtf16IsRead) {
    TempDir dir;
    writeLexicon(dir / "src.txt", {u"人民", u"中国"}, /*utf16=*/true);
    writeLexicon(dir / "art.txt", {u"人民日报"}, /*utf16=*/true);
    NullPump pump;
    EXPECT_FALSE(filterByArticle(dir / "no", dir / "art.txt", dir / "out.txt", pump).sourceFound);
    auto r = filterByArticle(dir / "src.txt", dir / "no", dir / "out.txt", pump);
    EXPECT_TRUE(r.sourceFound && !r.articleFound);
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
    filterByArticle(dir / "src.txt", dir / "art.txt", dir / "out.txt", pump);
    EXPECT_EQ(readBytes(dir / "out.txt"), gbkLines({u"人民"}));
}

// The stop takes effect at the yield points of the literal loops (every 20,000 rows, reading
// then writing), and the target holds exactly the lines written until then.
TEST(ArticleFilterFiles, StopEndsAtTheNextMultipleOf20000Rows) {
    TempDir dir;
    std::string source;
    for (int i = 0; i < 41000; ++i)
        source += i % 2 ? "x\r\n" : gbk(u"中国\r\n");
    writeBytes(dir / "src.txt", source);
    writeLexicon(dir / "art.txt", {u"中国"});
    // {the yield call that sees the stop (reading yields 3 times), lines written}
    for (auto [stopAt, written] : {std::pair{1, 1}, {3, 1}, {4, 1}, {5, 10001}, {7, 20500}}) {
        lex::test::CountingPump pump(stopAt);
        auto r = filterByArticle(dir / "src.txt", dir / "art.txt", dir / "out.txt", pump);
        EXPECT_EQ(r.written, written) << stopAt;
        EXPECT_EQ(r.stopped, stopAt < 7) << stopAt;
        std::string expected;
        for (int i = 0; i < written; ++i)
            expected += gbk(u"中国\r\n");
        EXPECT_EQ(readBytes(dir / "out.txt"), expected) << stopAt;
    }
}

// Random text over a small alphabet, so that words share prefixes and suffixes and often
// occur (three hanzi and a letter, and in articles CR LF), or over a wide one, so that nodes
// have many children.
std::u16string randomText(std::mt19937 &rng, size_t maxLength, bool wide, bool article = false) {
    static const std::u16string alphabet =
        u"中国人a的一是不了在有和这为上个我以要他时来用们生到作地";
    std::u16string s;
    for (size_t n = rng() % (maxLength + 1), i = 0; i < n; ++i) {
        const size_t k = rng() % (wide ? alphabet.size() : article ? 5 : 4);
        s += k == 4 && !wide ? u"\r\n" : alphabet.substr(k, 1);
    }
    return s;
}

// Both filters against the literal searches: each line searched in the whole article, each
// word of the list compared with each line's word.
TEST(Automaton, FiltersMatchTheLiteralSearches) {
    std::mt19937 rng(20240601);
    TempDir dir;
    const ConditionTest listTests[] = {ConditionTest::Contains, ConditionTest::Starts,
                                       ConditionTest::Ends};
    for (int round = 0; round < 300; ++round) {
        // Some rounds are large: the root's run is sorted by counting and yields are reached.
        const bool large = round % 100 == 0, wide = round % 4 == 1;
        std::vector<std::u16string> lines(large ? 20000 : rng() % (wide ? 600 : 60));
        std::u16string source;
        for (auto &line : lines)
            source += (line = randomText(rng, large ? 9 : wide ? 3 : 6, wide)) + u"\r\n";
        const std::u16string article = randomText(rng, large || wide ? 3000 : 80, wide, true);
        Conditions list{listTests[round % 3], std::vector<std::u16string>(rng() % 5)};
        for (auto &w : list.words)
            w = randomText(rng, 3, wide);
        std::erase(list.words, u"");
        std::string byArticle, byList;
        for (const auto &line : lines) {
            const std::u16string w = entryWord(line);
            bool pass = false;
            for (const auto &c : list.words)
                pass |= list.test == ConditionTest::Contains ? w.find(c) != w.npos
                        : list.test == ConditionTest::Starts ? w.starts_with(c)
                                                             : w.ends_with(c);
            if (!w.empty() && article.find(w) != article.npos)
                byArticle += gbk(line) + "\r\n";
            if (!w.empty() && pass)
                byList += gbk(line) + "\r\n";
        }
        writeBytes(dir / "src.txt", gbk(source));
        writeBytes(dir / "art.txt", gbk(article));
        NullPump pump;
        filterByArticle(dir / "src.txt", dir / "art.txt", dir / "out.txt", pump);
        ASSERT_EQ(readBytes(dir / "out.txt"), byArticle) << "round " << round;
        filterByConditions(dir / "src.txt", dir / "out.txt", list, pump);
        ASSERT_EQ(readBytes(dir / "out.txt"), byList) << "round " << round;
    }
}

struct ConditionCase {
    const char *name;
    Conditions conditions;
    Lines expected;
};

class ConditionFilter : public ::testing::TestWithParam<ConditionCase> {};

TEST_P(ConditionFilter, WritesTheLinesThatPass) {
    TempDir dir;
    writeLexicon(dir / "in.txt", {u"中国zhongguo", u"人中", u"中华人民", u"中国zhongguo", u"",
                                  u"a中", u"丂丄", u"国"});
    NullPump pump;
    auto r = filterByConditions(dir / "in.txt", dir / "out.txt", GetParam().conditions, pump);
    EXPECT_EQ(r.written, int64_t(GetParam().expected.size()));
    EXPECT_EQ(readBytes(dir / "out.txt"), gbkLines(GetParam().expected));
}

using enum ConditionTest;
const ConditionCase kConditionCases[] = {
    // 中 at the start keeps 中国zhongguo (twice: duplicates stay) but not 人中.
    {"starts", {Starts, {u"中"}}, {u"中国zhongguo", u"中华人民", u"中国zhongguo"}},
    {"ends", {Ends, {u"中", u"民"}}, {u"人中", u"中华人民", u"a中"}},
    {"contains",
     {Contains, {u"华人", u"国"}},
     {u"中国zhongguo", u"中华人民", u"中国zhongguo", u"国"}},
    // Letters of the annotation are not part of the word.
    {"containsLetters", {Contains, {u"zhong"}}, {}},
    {"emptyList", {Contains, {}}, {}},
    {"noTest", {None, {u"中"}}, {}},
    // Length counts the word's characters: 2 to 2 keeps 中国zhongguo, drops 中华人民.
    {"length",
     {Length, {}, u"2", u" 2 "},
     {u"中国zhongguo", u"人中", u"中国zhongguo", u"a中", u"丂丄"}},
    {"lengthFraction", {Length, {}, u"2.5", u"4"}, {u"中华人民"}},
    // A leading letter is outside GB2312, so are GBK-only characters; pinyin letters are not.
    {"nonGb2312", {NonGb2312}, {u"a中", u"丂丄"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ConditionFilter, ::testing::ValuesIn(kConditionCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The word-list box and the bounds as typed; the hexadecimal GB2312 rule.
TEST(ConditionParts, WordListBoundsAndGb2312) {
    EXPECT_EQ(splitWordList(u"中\r\n\r\n 国 \r\n人"),
              (std::vector<std::u16string>{u"中", u" 国 ", u"人"}));
    EXPECT_TRUE(splitWordList(u"").empty());
    const std::u16string_view numbers[] = {u"2", u" 10 ", u"+3", u"-1", u"1e1", u"2.5"};
    const double values[] = {2, 10, 3, -1, 10, 2.5};
    for (size_t i = 0; i < std::size(numbers); ++i)
        EXPECT_EQ(lengthBound(numbers[i]), values[i]) << toUtf8(numbers[i]);
    for (std::u16string_view typed : {u"", u"abc", u"inf", u"2a", u"+-1", u"２"})
        EXPECT_EQ(lengthBound(typed), std::nullopt) << toUtf8(typed);
    // Outside when a pair of digits is below "A1" (Ѐ has no code: "?"); 0xFF gives "FF".
    for (char16_t c : u"a?€Ѐ丂" + decode936("\xAA\x40"))
        EXPECT_TRUE(outsideGb2312(c)) << int(c);
    for (char16_t c : u"中　齄" + decode936("\xFF"))
        EXPECT_FALSE(outsideGb2312(c)) << int(c);
}

} // namespace
