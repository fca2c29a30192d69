// Word statistics through real files: counts, padding, order, the ";" fold, empty lines, the
// report, a stop request at a lookup, and the counting against the literal lookups.

#include "bigseg/word_statistics.h"

#include "counting_pump.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/text_format.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using lex::test::gbk;
using lex::test::readBytes;

lex::NullPump g_pump;

struct StatsCase {
    const char *name;
    std::u16string fc, tj; // the lines of "fc.txt" and of "tj.txt", each ending in CR LF
    int64_t entries;
};

void PrintTo(const StatsCase &c, std::ostream *os) {
    *os << c.name;
}

class Stats : public ::testing::TestWithParam<StatsCase> {};

TEST_P(Stats, CountsAndOrders) {
    const StatsCase &c = GetParam();
    lex::test::TempDir dir;
    lex::test::writeBytes(dir / "fc.txt", gbk(c.fc));
    const auto r = lex::bigseg::countWords(dir / "fc.txt", dir / "tj.txt", g_pump);
    EXPECT_EQ(r.entries, c.entries);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(readBytes(dir / "tj.txt"), gbk(c.tj));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Stats,
    ::testing::Values(
        // Empty lines are skipped, repeats counted, the most frequent first.
        StatsCase{"Counts", u"中国\r\n人民\r\n中国\r\n\r\n中国\r\n",
                  u"000003\t中国\r\n000001\t人民\r\n", 2},
        // Equal counts: falling ordinal order of the words (人 U+4EBA > 中 U+4E2D).
        StatsCase{"TiesFallByWord", u"中国\r\n人民\r\n一\r\n",
                  u"000001\t人民\r\n000001\t中国\r\n000001\t一\r\n", 3},
        // Lines without a double-byte character all count as ";".
        StatsCase{"AsciiFoldsToSemicolon", u"abc\r\n中国\r\nxyz\r\n",
                  u"000002\t;\r\n000001\t中国\r\n", 2},
        // The key skips letters, but lines are compared whole.
        StatsCase{"AnnotatedLinesStayApart", u"中a国\r\n中国\r\na中国\r\n中国\r\n",
                  u"000002\t中国\r\n000001\t中a国\r\n000001\ta中国\r\n", 3},
        // A segmented article begins with an empty line, which is not counted.
        StatsCase{"LeadingEmptyLine", u"\r\n中国人\r\n民好", u"000001\t民好\r\n000001\t中国人\r\n",
                  2},
        StatsCase{"NoLineAtAll", u"\r\n\r\n", u"", 0}),
    [](const auto &info) { return std::string(info.param.name); });

// Counts keep their last six digits; the report names the distinct lines or the stop.
TEST(Stats, PaddingAndReport) {
    const std::pair<int64_t, std::u16string_view> cases[] = {
        {1, u"000001"}, {999999, u"999999"}, {1000000, u"000000"}, {1234567, u"234567"}};
    for (auto [count, text] : cases)
        EXPECT_EQ(lex::bigseg::paddedCount(count), text) << count;
    lex::bigseg::StatsResult r{true, 2, false};
    EXPECT_EQ(lex::bigseg::statsReport(r, "00:00:01"), "合计词条：2\r\n耗费时间：00:00:01");
    r.stopped = true;
    EXPECT_EQ(lex::bigseg::statsReport(r, "00:00:01"), "用户中断！");
}

// A count of a million writes 000000 and sorts below every smaller six-digit count.
TEST(Stats, AMillionSortsBelowOne) {
    lex::test::TempDir dir;
    std::string bytes = gbk(u"人民\r\n");
    const std::string line = gbk(u"中国\r\n");
    bytes.reserve(bytes.size() + line.size() * 1000000);
    for (int i = 0; i < 1000000; ++i)
        bytes += line;
    lex::test::writeBytes(dir / "fc.txt", bytes);
    lex::bigseg::countWords(dir / "fc.txt", dir / "tj.txt", g_pump);
    EXPECT_EQ(readBytes(dir / "tj.txt"), gbk(u"000001\t人民\r\n000000\t中国\r\n"));
}

// The lone character 0xB3AF has the key 459,990: the eleventh distinct line made of it and a
// letter probes across slot 460,000, where the lookup yields. A stop seen there ends the
// counting: the ten lines before stay counted and nothing is stored over them.
TEST(Stats, StopAtALookupEndsTheCounting) {
    const std::u16string x = lex::decode936("\xB3\xAF");
    lex::test::TempDir dir;
    std::string bytes;
    for (char16_t c = u'a'; c <= u'k'; ++c)
        bytes += gbk(x + c) + "\r\n";
    lex::test::writeBytes(dir / "fc.txt", bytes);
    // The clear yields ten times first; the eleventh yield is the lookup's.
    lex::test::CountingPump pump(11);
    const auto r = lex::bigseg::countWords(dir / "fc.txt", dir / "tj.txt", pump);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.entries, 10);
    // Building the lines stops after the first: only it is written.
    EXPECT_EQ(readBytes(dir / "tj.txt"), gbk(u"000001\t" + x + u"a\r\n"));
}

// The counting as defined, every non-empty line looked up and added through the set, or the
// engine's; what either leaves.
struct Counted {
    bool whole;
    int64_t yields;
    std::vector<std::u16string> entries;
    std::vector<int64_t> counts;
    bool operator==(const Counted &) const = default;
};

Counted count(bool literal, const std::filesystem::path &input, int64_t stopAt) {
    lex::EntryHashSet set(lex::KeyVariant::Annotation, false);
    lex::test::CountingPump pump(stopAt);
    Counted c{true, 0, {}, {}};
    if (literal) {
        set.setPump(&pump);
        lex::LineReader reader(input, lex::LexiconEncoding::Ansi936);
        while (!reader.atEnd() && c.whole) {
            std::u16string_view line = reader.readLineView();
            if (line.empty())
                continue;
            if (set.Contains(line))
                ++c.counts[size_t(set.matchedIndex())];
            else if (!(c.whole = !set.lastLookupCut()))
                break;
            else
                set.Add(line), c.counts.push_back(1);
        }
    } else {
        c.whole = lex::bigseg::countLines(input, set, c.counts, pump);
    }
    c.yields = pump.calls();
    for (int32_t i = 0; i < set.insertedCount(); ++i)
        c.entries.emplace_back(set.entry(i));
    return c;
}

// Random files of repeated lines: words whose keys lie just before a yield point (朝 and 肙
// alone: 459,990 and 499,990; 碍碍碍碍碍爱: 1,999,990, before the wrap to slot 0), fourteen
// of each, so that first and repeated lookups yield; lines without hanzi; invalid bytes; CR LF,
// LF and a stray CR; a last line without terminator. Entries, counts and every yield agree
// with the literal counting, with and without a stop.
TEST(Stats, CountingAgreesWithTheLiteralLookups) {
    std::mt19937 rng(7);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    const std::string heads[] = {"\xB3\xAF",
                                 "\xC3\x4F",
                                 "\xB0\xAD\xB0\xAD\xB0\xAD\xB0\xAD\xB0\xAD\xB0\xAE",
                                 "\xD6\xD0\xB9\xFA",
                                 "abc",
                                 "\x81",
                                 ""};
    const std::string ends[] = {"\r\n", "\n", "\r\r\n"};
    lex::test::TempDir dir;
    for (int round = 0; round < 24 && !testing::Test::HasFatalFailure(); ++round) {
        std::vector<std::string> pool;
        for (size_t h = 0; h < std::size(heads); ++h)
            for (int i = 0; i < (h < 3 ? 14 : 4); ++i)
                pool.push_back(heads[h] + std::string(pick(3), char('a' + pick(8))) +
                               char('a' + i));
        std::string bytes;
        for (int i = 0; i < 400; ++i)
            bytes += pool[pick(pool.size())] + ends[pick(i % 50 == 0 ? 3 : 2)];
        lex::test::writeBytes(dir / "fc.txt", bytes + (round % 2 ? pool[0] : ""));
        const Counted full = count(true, dir / "fc.txt", -1);
        ASSERT_TRUE(count(false, dir / "fc.txt", -1) == full) << round;
        // A set costs its 16 MB: a few stops per file, the first and the last yield among them.
        for (int64_t stopAt : {int64_t(1), int64_t(1 + pick(size_t(full.yields))), full.yields})
            ASSERT_TRUE(count(false, dir / "fc.txt", stopAt) == count(true, dir / "fc.txt", stopAt))
                << round << " stop at " << stopAt;
    }
}

// A missing input writes nothing; a NUL byte is no text and is refused like any reader
// refuses it.
TEST(Stats, MissingOrBinaryInputWritesNothing) {
    lex::test::TempDir dir;
    EXPECT_FALSE(lex::bigseg::countWords(dir / "fc.txt", dir / "tj.txt", g_pump).inputFound);
    lex::test::writeBytes(dir / "fc.txt", std::string("\xD6\xD0\r\n\0\r\n", 6));
    EXPECT_THROW(lex::bigseg::countWords(dir / "fc.txt", dir / "tj.txt", g_pump), lex::LexError);
    EXPECT_FALSE(std::filesystem::exists(dir / "tj.txt"));
}

} // namespace
