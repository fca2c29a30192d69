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
using Words = std::vector<std::u16string>;

lex::NullPump g_pump;

Words words(const SegmentLexicon &list) {
    Words out;
    for (auto w : list.words())
        out.emplace_back(w);
    return out;
}

std::string lines(const Words &list) {
    std::string out;
    for (const auto &w : list)
        out += lex::test::gbk(w) + "\r\n";
    return out;
}

struct SupplementCase {
    const char *name;
    std::u16string text;
    SupplementMode mode;
    Words lexicon; // the word list in memory afterwards; "ciku.lxd" too when a command was given
    Words bc;      // "bc.ini" afterwards
};

void PrintTo(const SupplementCase &c, std::ostream *os) {
    *os << c.name;
}

const Words kCiku = {u"一", u"中国", u"人民"};
const Words kOld = {u"旧"};

class Supplement : public ::testing::TestWithParam<SupplementCase> {};

TEST_P(Supplement, WritesTheFilesAndRebuildsTheList) {
    const SupplementCase &c = GetParam();
    lex::test::TempDir dir;
    lex::test::writeBytes(dir / "ciku.lxd", lines(kCiku));
    lex::test::writeBytes(dir / "bc.ini", lines({u"旧词"}));
    SegmentLexicon list{u"旧"};
    const auto r =
        lex::bigseg::applySupplement(c.text, dir / "bc.ini", dir / "ciku.lxd", list, g_pump);
    EXPECT_EQ(r.mode, c.mode);
    EXPECT_EQ(words(list), c.lexicon);
    EXPECT_EQ(readBytes(dir / "bc.ini"), lines(c.bc));
    const bool command = c.mode != SupplementMode::Keep && c.lexicon != kOld;
    EXPECT_EQ(readBytes(dir / "ciku.lxd"), lines(command ? c.lexicon : kCiku));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Supplement,
    ::testing::Values(
        // "a" last: the words join "ciku.lxd" for good and "bc.ini" is emptied.
        SupplementCase{"Add",
                       u"北京\r\n上海\r\na",
                       SupplementMode::Add,
                       {u"一", u"上海", u"中国", u"人民", u"北京"},
                       {}},
        // "d": a word the list holds leaves it, one it lacks joins it.
        SupplementCase{"Toggle",
                       u"中国\r\n北京\r\nd\r\n",
                       SupplementMode::Toggle,
                       {u"一", u"人民", u"北京"},
                       {}},
        // A command above the last word is a word: "bc.ini" gets both, sorted.
        SupplementCase{"CommandNotLastIsAWord",
                       u"a\r\n北京",
                       SupplementMode::Keep,
                       {u"a", u"一", u"中国", u"人民", u"北京"},
                       {u"a", u"北京"}},
        // Read from the bottom, "d" then "a": the topmost command counts.
        SupplementCase{"TopmostCommandCounts",
                       u"北京\r\na\r\nd",
                       SupplementMode::Add,
                       {u"一", u"中国", u"人民", u"北京"},
                       {}},
        // Repeats and empty lines leave; a word of "ciku.lxd" appears once in the list.
        SupplementCase{"KeepSortsAndDropsRepeats",
                       u"上海\r\n\r\n中国\r\n上海",
                       SupplementMode::Keep,
                       {u"一", u"上海", u"中国", u"人民"},
                       {u"上海", u"中国"}},
        SupplementCase{"LineFeedsAlone",
                       u"北京\n上海\na\n",
                       SupplementMode::Add,
                       {u"一", u"上海", u"中国", u"人民", u"北京"},
                       {}},
        // No word: "bc.ini" is emptied and the list stays as it was until the next start.
        SupplementCase{"EmptyText", u"", SupplementMode::Keep, kOld, {}},
        SupplementCase{"OnlyCommands", u"\r\na\r\n\r\nd\r\n", SupplementMode::Add, kOld, {}}),
    [](const auto &info) { return std::string(info.param.name); });

// Without "ciku.lxd" nothing is rebuilt; the words typed for the supplement list are kept, and
// a command does not empty "bc.ini" for words it cannot apply.
TEST(Supplement, MissingWordListLosesNoSupplementWords) {
    for (const std::u16string text : {u"北京", u"北京\r\na"}) {
        lex::test::TempDir dir;
        lex::test::writeBytes(dir / "bc.ini", lines({u"旧词"}));
        SegmentLexicon list{u"旧"};
        const auto r =
            lex::bigseg::applySupplement(text, dir / "bc.ini", dir / "ciku.lxd", list, g_pump);
        EXPECT_TRUE(r.wordListMissing);
        EXPECT_EQ(words(list), kOld);
        EXPECT_EQ(readBytes(dir / "bc.ini"),
                  lines(text.size() > 2 ? Words{u"旧词"} : Words{u"北京"}));
        EXPECT_FALSE(fs::exists(dir / "ciku.lxd"));
    }
}

// Start-up: "ciku.lxd" is taken as it stands (not sorted); supplement words are sorted, made
// distinct and merged in, a word after every "ciku.lxd" word included; a missing "bc.ini" is
// created, a missing "ciku.lxd" is an error.
TEST(LoadSegmentLexicon, UnitesTheSupplementWords) {
    lex::test::TempDir dir;
    EXPECT_THROW(lex::bigseg::loadSegmentLexicon(dir / "ciku.lxd", dir / "bc.ini", g_pump),
                 lex::LexError);
    writeLexicon(dir / "ciku.lxd", {u"人民", u"中国", u""});
    auto list = lex::bigseg::loadSegmentLexicon(dir / "ciku.lxd", dir / "bc.ini", g_pump);
    EXPECT_EQ(words(list), (Words{u"人民", u"中国", u""}));
    EXPECT_EQ(readBytes(dir / "bc.ini"), "");

    writeLexicon(dir / "ciku.lxd", {u"一", u"中国", u"人民"});
    writeLexicon(dir / "bc.ini", {u"龟", u"", u"上海", u"龟", u"中国"});
    list = lex::bigseg::loadSegmentLexicon(dir / "ciku.lxd", dir / "bc.ini", g_pump);
    EXPECT_EQ(words(list), (Words{u"一", u"上海", u"中国", u"人民", u"龟"}));
}

} // namespace
