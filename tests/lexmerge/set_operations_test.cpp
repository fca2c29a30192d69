// The four set operations through real files: byte-exact code page 936 outputs with CR LF,
// first-occurrence order, the empty entry, counts, encodings, stop requests and bad inputs.

#include "lexmerge/set_operations.h"

#include "counting_pump.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/lex_error.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace {

using lex::lexmerge::SetOperation;
using lex::test::gbkLines;
using lex::test::readBytes;
using lex::test::writeLexicon;
namespace fs = std::filesystem;

struct Outcome {
    std::string bytes;
    int64_t count;
    bool stopped;
};

class SetOperationsTest : public ::testing::Test {
protected:
    Outcome run(SetOperation op, const fs::path &one, const fs::path &two,
                lex::EventPump *pump = nullptr, bool readAhead = false) {
        lex::EntryHashSet set = lex::lexmerge::makeMergeSet();
        lex::NullPump none;
        lex::lexmerge::MergePaths paths{[&] { return one; }, [&] { return two; },
                                        [&] { return out(); }, readAhead};
        auto r = lex::lexmerge::runSetOperation(op, set, paths, pump ? *pump : none);
        return {readBytes(out()), r.count, r.stopped};
    }
    fs::path out() const { return dir / "out.txt"; }
    fs::path a() const { return dir / "a.txt"; }
    fs::path b() const { return dir / "b.txt"; }

    lex::test::TempDir dir;
};

// A character whose lone key u1 * 10 = 459,990 lies ten slots before the yield point 460,000.
const std::u16string X = lex::decode936("\xB3\xAF");

// ---- order, duplicates, exact comparison -------------------------------------------------

TEST_F(SetOperationsTest, UnionKeepsFirstOccurrenceOfOneThenNewLinesOfTwo) {
    writeLexicon(a(), {u"中国", u"人民", u"中国", u"中华人民"});
    writeLexicon(b(), {u"北京", u"人民", u"北京", u"上海"});
    auto r = run(SetOperation::Union, a(), b());
    EXPECT_EQ(r.bytes, gbkLines({u"中国", u"人民", u"中华人民", u"北京", u"上海"}));
    EXPECT_EQ(r.count, 5);
}

TEST_F(SetOperationsTest, IntersectionFollowsLexiconTwoOrderOncePerLine) {
    writeLexicon(a(), {u"中国", u"人民", u"北京", u"人民"});
    writeLexicon(b(), {u"北京", u"上海", u"人民", u"北京", u"人民"});
    auto r = run(SetOperation::Intersection, a(), b());
    EXPECT_EQ(r.bytes, gbkLines({u"北京", u"人民"}));
    EXPECT_EQ(r.count, 2);
}

TEST_F(SetOperationsTest, DifferenceIsOneOnlyThenTwoOnly) {
    writeLexicon(a(), {u"中国", u"人民", u"中国", u"北京"});
    writeLexicon(b(), {u"上海", u"人民", u"天津", u"上海"});
    auto r = run(SetOperation::Difference, a(), b());
    EXPECT_EQ(r.bytes, gbkLines({u"中国", u"北京", u"上海", u"天津"}));
    EXPECT_EQ(r.count, 4);
}

TEST_F(SetOperationsTest, DeletionKeepsDistinctLinesOfOneNotInTwo) {
    writeLexicon(a(), {u"中国", u"人民", u"中国", u"北京"});
    writeLexicon(b(), {u"人民", u"人民", u"上海"});
    auto r = run(SetOperation::Deletion, a(), b());
    EXPECT_EQ(r.bytes, gbkLines({u"中国", u"北京"}));
    EXPECT_EQ(r.count, 2);
}

TEST_F(SetOperationsTest, TrailingBlankAndCaseMakeDifferentLines) {
    writeLexicon(a(), {u"中国zhong", u"中国 ", u"中国"});
    writeLexicon(b(), {u"中国Zhong", u"中国", u"中国zhong"});
    EXPECT_EQ(run(SetOperation::Union, a(), b()).bytes,
              gbkLines({u"中国zhong", u"中国 ", u"中国", u"中国Zhong"}));
    EXPECT_EQ(run(SetOperation::Intersection, a(), b()).bytes, gbkLines({u"中国", u"中国zhong"}));
}

TEST_F(SetOperationsTest, LinesWithOneKeyStayTwoEntries) {
    // 中 is D6 D0: both lines have the key 54,992 * 10 and must not be taken for each other.
    std::u16string_view zhong = u"中", azhong = u"a中";
    EXPECT_EQ(lex::EntryHashSet::EntryKey(lex::KeyVariant::SetOperations, zhong), 549'920);
    EXPECT_EQ(lex::EntryHashSet::EntryKey(lex::KeyVariant::SetOperations, azhong), 549'920);
    writeLexicon(a(), {u"中", u"a中"});
    writeLexicon(b(), {u"a中"});
    EXPECT_EQ(run(SetOperation::Union, a(), b()).bytes, gbkLines({u"中", u"a中"}));
    auto del = run(SetOperation::Deletion, a(), b());
    EXPECT_EQ(del.bytes, gbkLines({u"中"}));
    EXPECT_EQ(del.count, 1);
}

// ---- the empty entry ---------------------------------------------------------------------

TEST_F(SetOperationsTest, UnionWritesTheEmptyEntryOnceWhereTheFirstSuchLineWas) {
    writeLexicon(a(), {u"中国", u"abc", u"人民", u"", u"xyz 1"});
    writeLexicon(b(), {u"", u"北京"});
    auto r = run(SetOperation::Union, a(), b());
    EXPECT_EQ(r.bytes, gbkLines({u"中国", u"", u"人民", u"北京"}));
    EXPECT_EQ(r.count, 4);
}

TEST_F(SetOperationsTest, IntersectionWritesTheEmptyEntryWhenBothHaveSuchLines) {
    writeLexicon(a(), {u"abc", u"中国"});
    writeLexicon(b(), {u"中国", u"", u"123"});
    auto r = run(SetOperation::Intersection, a(), b());
    EXPECT_EQ(r.bytes, gbkLines({u"中国", u""}));
    EXPECT_EQ(r.count, 2);
}

TEST_F(SetOperationsTest, DeletionAndDifferenceNeverWriteTheEmptyEntryButCountIt) {
    writeLexicon(a(), {u"abc", u"中国"});
    writeLexicon(b(), {u"人民"});
    auto del = run(SetOperation::Deletion, a(), b());
    EXPECT_EQ(del.bytes, gbkLines({u"中国"}));
    EXPECT_EQ(del.count, 2);
    auto diff = run(SetOperation::Difference, a(), b());
    EXPECT_EQ(diff.bytes, gbkLines({u"中国", u"人民"}));
    EXPECT_EQ(diff.count, 3);

    // Deleted by a Latin-only line of lexicon two, it is no longer counted.
    writeLexicon(b(), {u"人民", u"xyz"});
    EXPECT_EQ(run(SetOperation::Deletion, a(), b()).count, 1);
    EXPECT_EQ(run(SetOperation::Difference, a(), b()).count, 2);
}

// ---- lexicon two absent, encodings, paths -----------------------------------------------

TEST_F(SetOperationsTest, EmptyLexiconTwoPathIsAnEmptyLexicon) {
    writeLexicon(a(), {u"中国", u"人民", u"中国"});
    const std::string distinct = gbkLines({u"中国", u"人民"});
    auto u = run(SetOperation::Union, a(), {});
    EXPECT_EQ(u.bytes, distinct);
    EXPECT_EQ(u.count, 2);
    auto i = run(SetOperation::Intersection, a(), {});
    EXPECT_EQ(i.bytes, "");
    EXPECT_TRUE(fs::exists(out()));
    EXPECT_EQ(i.count, 0);
    auto d = run(SetOperation::Difference, a(), {});
    EXPECT_EQ(d.bytes, distinct);
    EXPECT_EQ(d.count, 2);
    auto w = run(SetOperation::Deletion, a(), {});
    EXPECT_EQ(w.bytes, distinct);
    EXPECT_EQ(w.count, 2);
}

TEST_F(SetOperationsTest, Utf16LexiconOneMatchesAnsiLexiconTwo) {
    writeLexicon(a(), {u"中国", u"人民zhong", u"北京"}, /*utf16=*/true);
    writeLexicon(b(), {u"人民zhong", u"中国"});
    auto r = run(SetOperation::Intersection, a(), b());
    EXPECT_EQ(r.bytes, gbkLines({u"人民zhong", u"中国"}));
    EXPECT_EQ(run(SetOperation::Union, a(), b()).bytes, gbkLines({u"中国", u"人民zhong", u"北京"}));
}

TEST_F(SetOperationsTest, OutputMayReplaceLexiconOne) {
    writeLexicon(a(), {u"中国", u"人民", u"中国"});
    writeLexicon(b(), {u"北京"});
    lex::EntryHashSet set = lex::lexmerge::makeMergeSet();
    lex::NullPump pump;
    const fs::path one = a(), two = b();
    auto r = lex::lexmerge::runSetOperation(
        SetOperation::Union, set, {[&] { return one; }, [&] { return two; }, [&] { return one; }},
        pump);
    EXPECT_EQ(readBytes(a()), gbkLines({u"中国", u"人民", u"北京"}));
    EXPECT_EQ(r.count, 3);
}

TEST_F(SetOperationsTest, DifferenceOfALexiconWithItselfIsEmpty) {
    writeLexicon(a(), {u"中国", u"abc", u"人民", u"中国", u""});
    auto r = run(SetOperation::Difference, a(), a());
    EXPECT_EQ(r.bytes, "");
    EXPECT_EQ(r.count, 0);
}

// Guards against the command line's read-ahead (lexicon two read or collected on a second
// thread) giving other bytes, counts or failures than the windows' one-after-the-other run.
TEST_F(SetOperationsTest, ReadAheadGivesTheSameResults) {
    std::mt19937 rng(11);
    const std::u16string pool[] = {u"中国", u"人民", u"abc",      u"",    u"中国 ",
                                   u"北京", u"Abc",  u"中华人民", u"x中", u"京"};
    auto lexicon = [&](size_t n) {
        std::string bytes;
        for (size_t k = 0; k < n; ++k)
            bytes += lex::test::gbk(pool[rng() % std::size(pool)] + pool[rng() % std::size(pool)]) +
                     "\r\n";
        return bytes;
    };
    for (int round = 0; round < 40; ++round) {
        lex::test::writeBytes(a(), lexicon(rng() % 60));
        lex::test::writeBytes(b(), lexicon(rng() % 60));
        for (SetOperation op : {SetOperation::Union, SetOperation::Intersection,
                                SetOperation::Difference, SetOperation::Deletion}) {
            const fs::path two = round % 10 == 0 ? fs::path() : b();
            const Outcome plain = run(op, a(), two), ahead = run(op, a(), two, nullptr, true);
            ASSERT_EQ(ahead.bytes, plain.bytes) << "round " << round << ", op " << int(op);
            ASSERT_EQ(ahead.count, plain.count) << "round " << round << ", op " << int(op);
        }
    }
    // A missing lexicon fails either way, lexicon two's failure first.
    lex::test::writeBytes(out(), "old");
    for (SetOperation op : {SetOperation::Union, SetOperation::Difference})
        for (bool readAhead : {false, true}) {
            try {
                run(op, dir / "none-1.txt", dir / "none-2.txt", nullptr, readAhead);
                ADD_FAILURE() << "no failure";
            } catch (const lex::LexError &e) {
                const bool twoNamed = std::string(e.what()).find("none-2") != std::string::npos;
                EXPECT_EQ(twoNamed, op == SetOperation::Difference) << e.what();
            }
        }
    EXPECT_EQ(readBytes(out()), "old");
}

// ---- bad input ---------------------------------------------------------------------------

TEST_F(SetOperationsTest, MissingInputThrowsAndWritesNothing) {
    // Paths typed by hand are not checked before opening; the old output must survive.
    lex::test::writeBytes(out(), "old");
    writeLexicon(a(), {u"中国"});
    EXPECT_THROW(run(SetOperation::Union, dir / "none.txt", b()), lex::LexError);
    EXPECT_THROW(run(SetOperation::Deletion, a(), dir / "none.txt"), lex::LexError);
    EXPECT_THROW(run(SetOperation::Difference, a(), dir / "none.txt"), lex::LexError);
    EXPECT_EQ(readBytes(out()), "old");
}

TEST_F(SetOperationsTest, OverflowingTheSetThrowsInsteadOfProbingForever) {
    // 2,000,001 distinct lines cannot all have a slot.
    {
        std::ofstream f(a(), std::ios::binary);
        const std::string zhong = "\xD6\xD0";
        for (int i = 0; i <= lex::EntryHashSet::kSlots; ++i)
            f << zhong << i << "\r\n";
    }
    lex::test::writeBytes(out(), "old");
    EXPECT_THROW(run(SetOperation::Union, a(), {}), lex::LexError);
    EXPECT_EQ(readBytes(out()), "old");
}

// ---- stop requests -----------------------------------------------------------------------

// X + one letter per line: the 11th line's probe run is the first to reach slot 460,000.
std::u16string xLine(int i) {
    return i == 0 ? X : X + char16_t(u'a' + i - 1);
}

void writeXLines(const fs::path &path, int from, int to) {
    std::string bytes;
    for (int i = from; i < to; ++i)
        bytes += lex::test::gbk(xLine(i)) + "\r\n";
    lex::test::writeBytes(path, bytes);
}

TEST_F(SetOperationsTest, StoppedUnionLeavesOutLinesWhoseProbeReachesAYieldPoint) {
    writeXLines(a(), 0, 16);
    writeLexicon(b(), {u"中国"});
    // Every lookup yields once until a stop is seen: the thirteenth, line 12, meets the stop, and
    // from then on a probe that reaches a yield point is cut short.
    lex::test::CountingPump pump(13);
    auto r = run(SetOperation::Union, a(), b(), &pump);
    std::string expected;
    for (int i = 0; i < 12; ++i)
        expected += lex::test::gbk(xLine(i)) + "\r\n";
    expected += gbkLines({u"中国"}); // a probe that yields nowhere is not affected
    EXPECT_EQ(r.bytes, expected);
    EXPECT_EQ(r.count, 13);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(lex::lexmerge::reportText(SetOperation::Union, {13, true}, "00:00:07"),
              "耗费时间：00:00:07");
}

TEST_F(SetOperationsTest, StoppedIntersectionTakesACutLookupAsAMatch) {
    writeXLines(a(), 0, 12);
    writeLexicon(b(), {X + u"z", u"中国"});
    lex::test::CountingPump pump(13); // the first line of lexicon two meets the stop
    auto r = run(SetOperation::Intersection, a(), b(), &pump);
    EXPECT_EQ(r.bytes, gbkLines({X + u"z"}));
    EXPECT_EQ(r.count, 1);
}

TEST_F(SetOperationsTest, StoppedDeletionRemovesNothingAfterACutLookup) {
    writeXLines(a(), 0, 12);
    lex::test::writeBytes(b(),
                          lex::test::gbk(xLine(11)) + "\r\n" + lex::test::gbk(xLine(3)) + "\r\n");
    lex::test::CountingPump pump(13); // the first line of lexicon two meets the stop
    auto r = run(SetOperation::Deletion, a(), b(), &pump);
    std::string expected;
    for (int i = 0; i < 12; ++i)
        if (i != 3)
            expected += lex::test::gbk(xLine(i)) + "\r\n";
    EXPECT_EQ(r.bytes, expected);
    EXPECT_EQ(r.count, 11);
}

TEST(SetOperationsReport, LabelsAndCounts) {
    using lex::lexmerge::reportText;
    EXPECT_EQ(reportText(SetOperation::Union, {5, false}, "00:00:00"),
              "并集词条：5\r\n耗费时间：00:00:00");
    EXPECT_EQ(reportText(SetOperation::Intersection, {0, false}, "00:00:00"),
              "交集词条：0\r\n耗费时间：00:00:00");
    EXPECT_EQ(reportText(SetOperation::Difference, {2, false}, "00:01:02"),
              "差集词条：2\r\n耗费时间：00:01:02");
    EXPECT_EQ(reportText(SetOperation::Deletion, {3, false}, "00:00:00"),
              "剩余词条：3\r\n耗费时间：00:00:00");
}

} // namespace
