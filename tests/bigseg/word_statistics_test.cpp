// Word statistics through real files: counts, padding, order, the ";" fold, empty lines, the
// report, and stop requests at the counting and at the writing.

#include "bigseg/word_statistics.h"

#include "counting_pump.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lex_error.h"
#include "test_support.h"

#include "shared/lexcore/lexicon_files.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using lex::test::gbk;
using lex::test::gbkLines;
using lex::test::readBytes;

lex::NullPump g_pump;

struct StatsCase {
    const char *name;
    std::vector<std::u16string> fc;
    std::string tj;
    int64_t entries;
};

void PrintTo(const StatsCase &c, std::ostream *os) {
    *os << c.name;
}

class Stats : public ::testing::TestWithParam<StatsCase> {};

TEST_P(Stats, CountsAndOrders) {
    const StatsCase &c = GetParam();
    lex::test::TempDir dir;
    std::string bytes;
    for (const auto &line : c.fc)
        bytes += gbk(line) + "\r\n";
    lex::test::writeBytes(dir / "fc.txt", bytes);
    const auto r = lex::bigseg::countWords(dir / "fc.txt", dir / "tj.txt", g_pump);
    EXPECT_TRUE(r.inputFound);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.entries, c.entries);
    EXPECT_EQ(readBytes(dir / "tj.txt"), c.tj);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Stats,
    ::testing::Values(
        // Empty lines are skipped, repeats counted, the most frequent first.
        StatsCase{"Counts",
                  {u"中国", u"人民", u"中国", u"", u"中国"},
                  gbkLines({u"000003\t中国", u"000001\t人民"}),
                  2},
        // Equal counts: falling ordinal order of the words (人 U+4EBA > 中 U+4E2D).
        StatsCase{"TiesFallByWord",
                  {u"中国", u"人民", u"一"},
                  gbkLines({u"000001\t人民", u"000001\t中国", u"000001\t一"}),
                  3},
        // Lines without a double-byte character all count as ";".
        StatsCase{"AsciiFoldsToSemicolon",
                  {u"abc", u"中国", u"xyz"},
                  gbkLines({u"000002\t;", u"000001\t中国"}),
                  2},
        // The key skips letters, but lines are compared whole.
        StatsCase{"AnnotatedLinesStayApart",
                  {u"中a国", u"中国", u"a中国", u"中国"},
                  gbkLines({u"000002\t中国", u"000001\t中a国", u"000001\ta中国"}),
                  3},
        // A segmented article begins with an empty line, which is not counted.
        StatsCase{"LeadingEmptyLine",
                  {u"", u"中国人", u"民好"},
                  gbkLines({u"000001\t民好", u"000001\t中国人"}),
                  2},
        StatsCase{"NoLineAtAll", {u"", u""}, "", 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Stats, CountsKeepTheirLastSixDigits) {
    const std::pair<int64_t, std::u16string_view> cases[] = {
        {1, u"000001"}, {999999, u"999999"}, {1000000, u"000000"}, {1234567, u"234567"}};
    for (auto [count, text] : cases)
        EXPECT_EQ(lex::bigseg::paddedCount(count), text) << count;
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
    EXPECT_EQ(readBytes(dir / "tj.txt"), gbkLines({u"000001\t人民", u"000000\t中国"}));
}

TEST(Stats, MissingInputWritesNothing) {
    lex::test::TempDir dir;
    const auto r = lex::bigseg::countWords(dir / "fc.txt", dir / "tj.txt", g_pump);
    EXPECT_FALSE(r.inputFound);
    EXPECT_FALSE(std::filesystem::exists(dir / "tj.txt"));
}

TEST(Stats, ReportText) {
    lex::bigseg::StatsResult r{true, 2, false};
    EXPECT_EQ(lex::bigseg::statsReport(r, "00:00:01"), "合计词条：2\r\n耗费时间：00:00:01");
    r.stopped = true;
    EXPECT_EQ(lex::bigseg::statsReport(r, "00:00:01"), "用户中断！");
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

// The writing yields after the lines of index 40000, 20000 and 0 (from the top): a stop there
// leaves the lines written so far, the greatest first.
TEST(Stats, StopWhileWritingKeepsTheLinesWritten) {
    lex::test::TempDir dir;
    std::string bytes;
    std::vector<std::u16string> words;
    const std::u16string hanzi = u"中国人民好大小上下";
    for (char16_t a : hanzi)
        for (char16_t b : hanzi)
            for (int n = 0; n < 500 && words.size() < 40001; ++n)
                words.push_back(std::u16string{a, b} + lex::fromUtf8(std::to_string(n)));
    for (const auto &w : words)
        bytes += gbk(w) + "\r\n";
    lex::test::writeBytes(dir / "fc.txt", bytes);
    lex::test::CountingPump counter;
    lex::bigseg::countWords(dir / "fc.txt", dir / "tj.txt", counter);
    const std::string all = readBytes(dir / "tj.txt");
    for (int64_t back : {2, 1}) {
        lex::test::CountingPump pump(counter.calls() - back);
        const auto r = lex::bigseg::countWords(dir / "fc.txt", dir / "tj2.txt", pump);
        EXPECT_TRUE(r.stopped);
        const std::string part = readBytes(dir / "tj2.txt");
        const size_t lines = size_t(std::count(part.begin(), part.end(), '\n'));
        EXPECT_EQ(lines, back == 2 ? 1u : 20001u);
        EXPECT_EQ(all.substr(0, part.size()), part);
    }
}

// The counting as defined: every non-empty line read, looked up and added through the set.
bool literalCount(const std::filesystem::path &input, lex::EntryHashSet &set,
                  std::vector<int64_t> &counts, lex::EventPump &pump) {
    set.setPump(&pump);
    lex::LineReader reader(input, lex::LexiconEncoding::Ansi936);
    while (!reader.atEnd()) {
        std::u16string_view line = reader.readLineView();
        if (line.empty())
            continue;
        if (set.Contains(line)) {
            ++counts[size_t(set.matchedIndex())];
        } else {
            if (set.lastLookupCut())
                return false;
            set.Add(line);
            counts.push_back(1);
        }
    }
    return true;
}

// Random files of repeated lines: words whose keys lie just before a yield point (朝 and 肙
// alone before 460,000 and 1,000,000 - 10, 碍碍碍碍碍爱 before the wrap to slot 0), so that
// first and repeated lookups yield; lines without hanzi; invalid bytes; CR LF, LF and a stray
// CR; a last line without terminator. Entries, counts and every yield agree with the literal
// counting, with and without a stop.
TEST(Stats, CountingAgreesWithTheLiteralLookups) {
    std::mt19937 rng(7);
    auto pick = [&](size_t n) {
        return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(rng));
    };
    const std::string heads[] = {"\xB3\xAF",
                                 "\xC3\x4F",
                                 "\xB0\xAD\xB0\xAD\xB0\xAD\xB0\xAD\xB0\xAD\xB0\xAE",
                                 "\xD6\xD0\xB9\xFA",
                                 "abc",
                                 "\x81",
                                 ""};
    const std::string ends[] = {"\r\n", "\n", "\r\r\n"};
    lex::test::TempDir dir;
    for (int round = 0; round < 24; ++round) {
        // Fourteen lines on each of the keys before a yield point fill the ten slots before it.
        std::vector<std::string> pool;
        for (size_t h = 0; h < std::size(heads); ++h) {
            for (int i = 0; i < (h < 3 ? 14 : 4); ++i) {
                std::string line = heads[h];
                for (size_t k = pick(3); k > 0; --k)
                    line += char('a' + pick(8));
                pool.push_back(line + char('a' + i));
            }
        }
        std::string bytes;
        for (int i = 0; i < 400; ++i)
            bytes += pool[pick(pool.size())] + ends[pick(i % 50 == 0 ? 3 : 2)];
        if (round % 2)
            bytes += pool[pick(pool.size())];
        lex::test::writeBytes(dir / "fc.txt", bytes);

        auto run = [&](bool literal, int64_t stopAt, std::vector<std::u16string> &entries,
                       std::vector<int64_t> &counts) {
            lex::EntryHashSet set(lex::KeyVariant::Annotation, false);
            lex::test::CountingPump pump(stopAt);
            const bool whole = literal ? literalCount(dir / "fc.txt", set, counts, pump)
                                       : lex::bigseg::countLines(dir / "fc.txt", set, counts, pump);
            for (int32_t i = 0; i < set.insertedCount(); ++i)
                entries.emplace_back(set.entry(i));
            return std::make_pair(whole, pump.calls());
        };
        std::vector<std::u16string> e1, e2;
        std::vector<int64_t> c1, c2;
        const auto full = run(true, -1, e1, c1);
        ASSERT_EQ(run(false, -1, e2, c2), full) << round;
        ASSERT_EQ(e1, e2) << round;
        ASSERT_EQ(c1, c2) << round;
        // A set costs its 16 MB: a few stops per file, the first and the last yield among them.
        for (int64_t stopAt : {int64_t(1), int64_t(1 + pick(size_t(full.second))),
                               int64_t(1 + pick(size_t(full.second))), full.second}) {
            e1.clear(), e2.clear(), c1.clear(), c2.clear();
            const auto literal = run(true, stopAt, e1, c1);
            ASSERT_FALSE(literal.first);
            ASSERT_EQ(run(false, stopAt, e2, c2), literal) << round << " stop " << stopAt;
            ASSERT_EQ(e1, e2);
            ASSERT_EQ(c1, c2);
        }
    }
}

// A NUL byte is no text: refused like any reader refuses it, and nothing is written.
TEST(Stats, BinaryInputIsRefused) {
    lex::test::TempDir dir;
    lex::test::writeBytes(dir / "fc.txt", std::string("\xD6\xD0\r\n\0\r\n", 6));
    EXPECT_THROW(lex::bigseg::countWords(dir / "fc.txt", dir / "tj.txt", g_pump), lex::LexError);
    EXPECT_FALSE(std::filesystem::exists(dir / "tj.txt"));
}

} // namespace
