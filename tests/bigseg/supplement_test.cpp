// The supplement editor's three modes and the start-up's word list, through real files: what
// "bc.ini" and "ciku.lxd" hold afterwards and what the word list in memory holds at once.

#include "bigseg/segment_lexicon.h"
#include "bigseg/supplement.h"

#include "shared/lexcore/lex_error.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using lex::bigseg::SegmentLexicon;
using lex::bigseg::SupplementMode;
using lex::test::gbkLines;
using lex::test::readBytes;
using lex::test::writeLexicon;

lex::NullPump g_pump;

std::vector<std::u16string> words(const SegmentLexicon &list) {
    std::vector<std::u16string> out;
    for (auto w : list.words())
        out.emplace_back(w);
    return out;
}

struct SupplementCase {
    const char *name;
    std::u16string text;
    std::vector<std::u16string> lexicon; // the word list in memory afterwards
    std::string bc;                      // "bc.ini" afterwards
    std::string ciku;                    // "ciku.lxd" afterwards
    SupplementMode mode;
};

void PrintTo(const SupplementCase &c, std::ostream *os) {
    *os << c.name;
}

const std::string kCiku = gbkLines({u"一", u"中国", u"人民"});
const std::string kOldBc = gbkLines({u"旧词"});

class Supplement : public ::testing::TestWithParam<SupplementCase> {};

TEST_P(Supplement, WritesTheFilesAndRebuildsTheList) {
    const SupplementCase &c = GetParam();
    lex::test::TempDir dir;
    lex::test::writeBytes(dir / "ciku.lxd", kCiku);
    lex::test::writeBytes(dir / "bc.ini", kOldBc);
    SegmentLexicon list{u"旧"};
    const auto r =
        lex::bigseg::applySupplement(c.text, dir / "bc.ini", dir / "ciku.lxd", list, g_pump);
    EXPECT_EQ(r.mode, c.mode);
    EXPECT_FALSE(r.wordListMissing);
    EXPECT_EQ(words(list), c.lexicon);
    EXPECT_EQ(readBytes(dir / "bc.ini"), c.bc);
    EXPECT_EQ(readBytes(dir / "ciku.lxd"), c.ciku);
}

std::vector<SupplementCase> supplementCases() {
    const std::vector<std::u16string> old = {u"旧"};
    return {
        // "a" on the last line: the words join "ciku.lxd" for good and "bc.ini" is emptied.
        {"AddJoinsTheWordList",
         u"北京\r\n上海\r\na",
         {u"一", u"上海", u"中国", u"人民", u"北京"},
         "",
         gbkLines({u"一", u"上海", u"中国", u"人民", u"北京"}),
         SupplementMode::Add},
        // "d": a word the list holds leaves it, one it lacks joins it.
        {"ToggleRemovesAndAdds",
         u"中国\r\n北京\r\nd\r\n",
         {u"一", u"人民", u"北京"},
         "",
         gbkLines({u"一", u"人民", u"北京"}),
         SupplementMode::Toggle},
        // A command above the last word is a word: sorted into "bc.ini", "ciku.lxd" untouched.
        {"CommandNotLastIsAWord",
         u"a\r\n北京",
         {u"a", u"一", u"中国", u"人民", u"北京"},
         gbkLines({u"a", u"北京"}),
         kCiku,
         SupplementMode::Keep},
        // Read from the bottom, "d" then "a": the topmost command counts.
        {"TopmostCommandCounts",
         u"北京\r\na\r\nd",
         {u"一", u"中国", u"人民", u"北京"},
         "",
         gbkLines({u"一", u"中国", u"人民", u"北京"}),
         SupplementMode::Add},
        // Repeats and empty lines leave; "ciku.lxd" words appear once in the list.
        {"KeepSortsAndDropsRepeats",
         u"上海\r\n\r\n中国\r\n上海",
         {u"一", u"上海", u"中国", u"人民"},
         gbkLines({u"上海", u"中国"}),
         kCiku,
         SupplementMode::Keep},
        // The box's lines may end in LF alone.
        {"LineFeedsAlone",
         u"北京\n上海\na\n",
         {u"一", u"上海", u"中国", u"人民", u"北京"},
         "",
         gbkLines({u"一", u"上海", u"中国", u"人民", u"北京"}),
         SupplementMode::Add},
        // No word: "bc.ini" is emptied and the list stays as it was until the next start.
        {"EmptyTextEmptiesTheSupplement", u"", old, "", kCiku, SupplementMode::Keep},
        {"OnlyCommands", u"\r\na\r\n\r\nd\r\n", old, "", kCiku, SupplementMode::Add},
    };
}

INSTANTIATE_TEST_SUITE_P(Examples, Supplement, ::testing::ValuesIn(supplementCases()),
                         [](const auto &info) { return std::string(info.param.name); });

// Without "ciku.lxd" nothing is rebuilt; the words typed for the supplement list are kept, and
// a command does not empty "bc.ini" for words it cannot apply.
TEST(Supplement, MissingWordListLosesNoSupplementWords) {
    for (const std::u16string text : {u"北京", u"北京\r\na"}) {
        lex::test::TempDir dir;
        lex::test::writeBytes(dir / "bc.ini", kOldBc);
        SegmentLexicon list{u"旧"};
        const auto r =
            lex::bigseg::applySupplement(text, dir / "bc.ini", dir / "ciku.lxd", list, g_pump);
        EXPECT_TRUE(r.wordListMissing);
        EXPECT_EQ(words(list), std::vector<std::u16string>{u"旧"});
        EXPECT_EQ(readBytes(dir / "bc.ini"),
                  r.mode == SupplementMode::Keep ? gbkLines({u"北京"}) : kOldBc);
        EXPECT_FALSE(fs::exists(dir / "ciku.lxd"));
    }
}

TEST(SplitLines, AnyLineBreak) {
    using V = std::vector<std::u16string>;
    EXPECT_EQ(lex::bigseg::splitLines(u""), V{});
    EXPECT_EQ(lex::bigseg::splitLines(u"a\r\nb\nc\rd"), (V{u"a", u"b", u"c", u"d"}));
    EXPECT_EQ(lex::bigseg::splitLines(u"a\r\n"), (V{u"a", u""}));
}

// Start-up: "ciku.lxd" is taken as it stands (not sorted); supplement words are sorted, made
// distinct and merged in, a word after every "ciku.lxd" word included.
TEST(LoadSegmentLexicon, UnitesTheSupplementWords) {
    lex::test::TempDir dir;
    writeLexicon(dir / "ciku.lxd", {u"人民", u"中国", u""});
    auto list = lex::bigseg::loadSegmentLexicon(dir / "ciku.lxd", dir / "bc.ini", g_pump);
    EXPECT_EQ(words(list), (std::vector<std::u16string>{u"人民", u"中国", u""}));
    EXPECT_TRUE(fs::exists(dir / "bc.ini")) << "bc.ini is created empty";
    EXPECT_EQ(readBytes(dir / "bc.ini"), "");

    writeLexicon(dir / "ciku.lxd", {u"一", u"中国", u"人民"});
    writeLexicon(dir / "bc.ini", {u"龟", u"", u"上海", u"龟", u"中国"});
    list = lex::bigseg::loadSegmentLexicon(dir / "ciku.lxd", dir / "bc.ini", g_pump);
    EXPECT_EQ(words(list), (std::vector<std::u16string>{u"一", u"上海", u"中国", u"人民", u"龟"}));
    EXPECT_TRUE(list.strictlyAscending());
}

TEST(LoadSegmentLexicon, MissingWordListIsAnError) {
    lex::test::TempDir dir;
    try {
        lex::bigseg::loadSegmentLexicon(dir / "ciku.lxd", dir / "bc.ini", g_pump);
        FAIL() << "no error";
    } catch (const lex::LexError &e) {
        EXPECT_NE(e.message().find("ciku.lxd"), std::string::npos) << e.message();
    }
}

// The sorted-list walks: A's rest then B's rest; equal elements once or not at all.
TEST(MergeWalk, UnionAndSymmetricDifference) {
    const SegmentLexicon a{u"b", u"d", u"f"};
    const std::vector<std::u16string> b = {u"a", u"d", u"g"};
    EXPECT_EQ(words(lex::bigseg::unionOf(a, b)),
              (std::vector<std::u16string>{u"a", u"b", u"d", u"f", u"g"}));
    EXPECT_EQ(words(lex::bigseg::symmetricDifference(a, b)),
              (std::vector<std::u16string>{u"a", u"b", u"f", u"g"}));
    std::vector<std::u16string> list = {u"c", u"", u"a", u"c", u"b", u""};
    lex::bigseg::sortAscending(list, g_pump);
    lex::bigseg::removeDuplicates(list);
    EXPECT_EQ(list, (std::vector<std::u16string>{u"a", u"b", u"c"}));
}

} // namespace
