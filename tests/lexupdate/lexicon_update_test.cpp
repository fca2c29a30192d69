// The lexicon update through real files: byte-exact outputs, the placeholder counting of
// rejected lines, the report, and when the waste lexicon may be deleted.

#include "lexupdate/lexicon_update.h"

#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/lex_error.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using lex::lexupdate::UpdatePaths;
using lex::lexupdate::UpdateResult;
using lex::test::gbkLines;
using lex::test::readBytes;
using lex::test::writeLexicon;
namespace fs = std::filesystem;

class LexiconUpdateTest : public ::testing::Test {
protected:
    UpdateResult run(UpdatePaths p) {
        lex::EntryHashSet set(lex::KeyVariant::Standard);
        lex::NullPump pump;
        if (p.output.empty())
            p.output = out();
        return lex::lexupdate::runUpdate(set, p, pump);
    }
    UpdatePaths paths() const { return {base(), waste(), user(), priv(), out()}; }
    fs::path base() const { return dir / "base.txt"; }
    fs::path waste() const { return dir / "waste.txt"; }
    fs::path user() const { return dir / "user.txt"; }
    fs::path priv() const { return dir / "private.txt"; }
    fs::path out() const { return dir / "new.txt"; }

    lex::test::TempDir dir;
};

void expectCounts(const UpdateResult &r, int64_t base, int64_t added, int64_t deleted,
                  int64_t fresh) {
    EXPECT_EQ(r.baseCount, base);
    EXPECT_EQ(r.added, added);
    EXPECT_EQ(r.deleted, deleted);
    EXPECT_EQ(r.newCount, fresh);
}

TEST_F(LexiconUpdateTest, BaseAloneLosesDuplicatesAndRejectedLines) {
    writeLexicon(base(), {u"中国", u"人民", u"中国", u"北京"});
    auto r = run({base(), {}, {}, {}, out()});
    EXPECT_EQ(readBytes(out()), gbkLines({u"中国", u"人民", u"北京"}));
    expectCounts(r, 3, 0, 0, 3);
}

TEST_F(LexiconUpdateTest, RejectedLinesCountAsOnePlaceholderButAreNeverWritten) {
    // A comment, an empty line, a single character and a Latin-led line all become ";".
    writeLexicon(base(), {u";注释", u"中国", u"", u"中", u"a中国"});
    auto r = run({base(), {}, {}, {}, out()});
    EXPECT_EQ(readBytes(out()), gbkLines({u"中国"}));
    expectCounts(r, 2, 0, 0, 2);

    // Among the additions when only the user lexicon has one.
    writeLexicon(base(), {u"中国"});
    writeLexicon(user(), {u"人民", u"abc"});
    r = run({base(), {}, user(), {}, out()});
    EXPECT_EQ(readBytes(out()), gbkLines({u"中国", u"人民"}));
    expectCounts(r, 1, 2, 0, 3);

    // A rejected waste line removes the placeholder and counts as a deletion; the additions
    // still count the user's placeholder.
    writeLexicon(waste(), {u"xyz"});
    r = run({base(), waste(), user(), {}, out()});
    EXPECT_EQ(readBytes(out()), gbkLines({u"中国", u"人民"}));
    expectCounts(r, 1, 2, 1, 2);
}

TEST_F(LexiconUpdateTest, UserLinesAlreadyInBaseAreIgnoredNewOnesAppendedInUserOrder) {
    writeLexicon(base(), {u"中国", u"人民"});
    writeLexicon(user(), {u"上海", u"中国", u"北京", u"上海"});
    auto r = run({base(), {}, user(), {}, out()});
    EXPECT_EQ(readBytes(out()), gbkLines({u"中国", u"人民", u"上海", u"北京"}));
    expectCounts(r, 2, 2, 0, 4);
}

TEST_F(LexiconUpdateTest, WasteRemovesFromBaseAndUserPrivateReducesAdditions) {
    writeLexicon(base(), {u"中国", u"人民", u"北京"});
    writeLexicon(user(), {u"上海", u"天津", u"广州"});
    writeLexicon(waste(), {u"人民", u"上海", u"人民", u"西安"});
    writeLexicon(priv(), {u"天津", u"北京"});
    auto r = run(paths());
    EXPECT_EQ(readBytes(out()), gbkLines({u"中国", u"广州"}));
    // Additions: the user's three new lines minus the two the private lexicon removed.
    expectCounts(r, 3, 1, 2, 2);
}

TEST_F(LexiconUpdateTest, LinesAreComparedWhole) {
    writeLexicon(base(), {u"中国", u"中zhong国guo", u"中国 "});
    writeLexicon(waste(), {u"中国"});
    auto r = run({base(), waste(), {}, {}, out()});
    EXPECT_EQ(readBytes(out()), gbkLines({u"中zhong国guo", u"中国 "}));
    expectCounts(r, 3, 0, 1, 2);
}

TEST_F(LexiconUpdateTest, MissingOptionalLexiconsAreSkippedMissingBaseStopsEverything) {
    writeLexicon(base(), {u"中国"});
    auto r = run(paths()); // waste, user and private do not exist
    EXPECT_EQ(readBytes(out()), gbkLines({u"中国"}));
    expectCounts(r, 1, 0, 0, 1);

    fs::remove(out());
    writeLexicon(waste(), {u"中国"});
    UpdatePaths p = paths();
    p.base = dir / "none.txt";
    p.deleteWaste = true;
    r = run(p);
    EXPECT_TRUE(r.baseMissing);
    EXPECT_FALSE(fs::exists(out()));
    EXPECT_TRUE(fs::exists(waste()));
}

TEST_F(LexiconUpdateTest, Utf16InputsAndOutputOverTheBase) {
    writeLexicon(base(), {u"中国", u"人民"}, /*utf16=*/true);
    writeLexicon(user(), {u"北京"}, /*utf16=*/true);
    auto r = run({base(), {}, user(), {}, base()});
    EXPECT_EQ(readBytes(base()), gbkLines({u"中国", u"人民", u"北京"}));
    expectCounts(r, 2, 1, 0, 3);
}

// ---- deleting the waste lexicon ------------------------------------------------------------

TEST_F(LexiconUpdateTest, DeleteOptionRemovesWasteOnlyAfterSuccess) {
    writeLexicon(base(), {u"中国", u"人民"});
    writeLexicon(waste(), {u"人民"});
    UpdatePaths p = paths();
    run(p);
    EXPECT_TRUE(fs::exists(waste())); // option cleared

    p.deleteWaste = true;
    auto r = run(p);
    EXPECT_EQ(readBytes(out()), gbkLines({u"中国"}));
    EXPECT_TRUE(r.wasteDeleted);
    EXPECT_FALSE(fs::exists(waste()));
}

TEST_F(LexiconUpdateTest, FailedWriteKeepsTheWasteLexicon) {
    // Deleting the waste list before the write would lose it when the write fails.
    writeLexicon(base(), {u"中国", u"人民"});
    writeLexicon(waste(), {u"人民"});
    UpdatePaths p = paths();
    p.deleteWaste = true;
    p.output = dir / "no-such-folder" / "new.txt";
    EXPECT_THROW(run(p), lex::LexError);
    EXPECT_TRUE(fs::exists(waste()));
}

// Deleting a waste lexicon that is also an input or the output (the same path, a hard link)
// would lose that lexicon: the run is refused before anything is read, written or deleted.
TEST_F(LexiconUpdateTest, DeleteOptionRefusesAWasteThatIsAnotherLexicon) {
    writeLexicon(base(), {u"中国", u"人民"});
    writeLexicon(user(), {u"北京"});
    fs::create_hard_link(user(), dir / "alias.txt");
    const fs::path cases[][2] = {
        {base(), out()}, {dir / "alias.txt", out()}, {out(), out()}, {waste(), waste()}};
    writeLexicon(waste(), {u"人民"});
    writeLexicon(out(), {u"旧"});
    for (const auto &c : cases) {
        UpdatePaths p = paths();
        p.deleteWaste = true;
        p.waste = c[0];
        p.output = c[1];
        EXPECT_THROW(run(p), lex::LexError) << c[0];
        EXPECT_EQ(readBytes(base()), gbkLines({u"中国", u"人民"}));
        EXPECT_EQ(readBytes(user()), gbkLines({u"北京"}));
        EXPECT_EQ(readBytes(waste()), gbkLines({u"人民"}));
        EXPECT_EQ(readBytes(out()), gbkLines({u"旧"}));
    }
}

TEST(LexiconUpdateReport, SixLinesWithAnEmptyLineBeforeTheTime) {
    UpdateResult r;
    r.baseCount = 3;
    r.added = 1;
    r.deleted = 2;
    r.newCount = 2;
    EXPECT_EQ(lex::lexupdate::reportText(r, "00:00:00"),
              "原始词库词条：3\r\n增加词条：1\r\n删除词条：2\r\n新词库词条：2\r\n\r\n"
              "耗费时间：00:00:00");
}

} // namespace
