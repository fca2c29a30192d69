// The temporary files of runs beyond memory: nameless from the start, records that come back as
// written (lines longer than any buffer, lone surrogates, empty lines), partitions that keep
// each line's occurrences together and in order, a merge in key order, and the partition table.
// The entry set's capacity: the window's 2,000,000, another number, or none.

#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/spill.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

using lex::test::TempDir;

// A run in a folder of its own, with `memory` as its bound.
lex::RunContext runWith(const TempDir &dir, uint64_t memory) {
    return lex::RunContext(std::nullopt, {lex::SizeLimits::kUnlimited, memory, dir.path()});
}

std::u16string lineOf(std::mt19937 &rng) {
    std::u16string s(rng() % 12, u'\0');
    for (char16_t &c : s)
        c = char16_t(rng() % 7 == 0 ? 0xD800 + rng() % 0x800 : 0x4E00 + rng() % 64);
    return s;
}

TEST(SpillFile, HasNoNameAndGivesBackWhatWasWritten) {
    TempDir dir;
    lex::SpillFile file(dir.path());
    std::vector<std::pair<uint64_t, std::u16string>> records;
    std::mt19937 rng(3);
    uint64_t key = 0;
    for (int i = 0; i < 5000; ++i) {
        key += rng() % 1000;
        records.emplace_back(key, lineOf(rng));
    }
    records[17].second = std::u16string(200'000, u'长'); // past any buffer
    lex::SpillWriter writer(file, 4096);
    for (size_t i = 0; i < 3000; ++i)
        writer.put(records[i].first, records[i].second);
    const lex::SpillSegment first = writer.endSegment();
    for (size_t i = 3000; i < records.size(); ++i)
        writer.put(records[i].first, records[i].second);
    const lex::SpillSegment second = writer.endSegment();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ(first.records + second.records, int64_t(records.size()));

    size_t i = 0;
    for (const lex::SpillSegment &segment : {first, second}) {
        lex::SpillReader reader(file, segment, 4096);
        uint64_t k;
        std::u16string_view line;
        while (reader.next(k, line)) {
            ASSERT_LT(i, records.size());
            EXPECT_EQ(k, records[i].first);
            EXPECT_TRUE(line == records[i].second) << i;
            ++i;
        }
    }
    EXPECT_EQ(i, records.size());
}

TEST(SpillFile, AFolderThatIsNotThereIsAMessage) {
    TempDir dir;
    try {
        lex::SpillFile file(dir / "gone");
        FAIL();
    } catch (const lex::LexError &e) {
        EXPECT_NE(std::string(e.what()).find("无法在临时文件夹中建立文件"), std::string::npos);
    }
}

// Every occurrence of a line lands in one partition, in position order; the merge of results
// keyed by position gives back the input's order whatever the number of partitions.
TEST(LinePartitions, KeepOccurrencesTogetherAndMergeByPosition) {
    TempDir dir;
    for (uint64_t memory : {uint64_t(1), uint64_t(1) << 16, uint64_t(1) << 30}) {
        const lex::RunContext run = runWith(dir, memory);
        std::mt19937 rng(11);
        std::vector<std::u16string> input;
        for (int i = 0; i < 4000; ++i)
            input.push_back(i > 0 && rng() % 3 == 0 ? input[rng() % input.size()] : lineOf(rng));
        const lex::SpillPlan plan = lex::planSpill(run, 4000 * 60);
        lex::LinePartitions parts(plan);
        for (const auto &line : input)
            parts.add(line);
        parts.finish();
        ASSERT_GE(parts.count(), 2u);
        std::map<std::u16string, size_t> home;
        lex::PartitionResults results(plan);
        lex::NullPump pump;
        lex::workPartitions(parts, pump, [&](size_t k, lex::PartitionTable &table) {
            int64_t last = -1;
            parts.read(k, [&](int64_t position, std::u16string_view line) {
                EXPECT_GT(position, last);
                last = position;
                EXPECT_TRUE(line == input[size_t(position)]);
                const auto [at, first] = home.emplace(std::u16string(line), k);
                EXPECT_EQ(at->second, k);
                results.add(uint64_t(position), line);
                bool added;
                table.insert(line, lex::spillHash(line), position, added);
                EXPECT_EQ(added, first);
                EXPECT_GE(table.find(line, lex::spillHash(line)), 0);
            });
            results.endPartition();
        });
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
        size_t next = 0;
        results.merge(pump, [&](uint64_t key, std::u16string_view line) {
            EXPECT_EQ(key, next);
            EXPECT_TRUE(line == input[next]);
            ++next;
        });
        EXPECT_EQ(next, input.size()) << memory;
    }
}

TEST(PartitionTable, FindsInsertsAndGrows) {
    lex::PartitionTable table;
    for (int i = 0; i < 50'000; ++i) {
        const std::u16string line = u"行" + std::u16string(1, char16_t(0x4E00 + i % 20000));
        bool added;
        const uint32_t at = table.insert(line, lex::spillHash(line), i, added);
        EXPECT_EQ(added, i < 20000);
        EXPECT_EQ(table.position(at), i % 20000);
        if (i == 5)
            table.setState(at, 3);
    }
    EXPECT_EQ(table.size(), 20000u);
    EXPECT_EQ(table.state(5), 3);
    EXPECT_EQ(table.find(u"无", lex::spillHash(u"无")), -1);
    table.clear();
    EXPECT_EQ(table.size(), 0u);
}

// The set's capacity: the window's 2,000,000 by default, the run's own number or no limit as its
// pump's run says; the message names it.
TEST(EntryHashSetCapacity, TheRunDecides) {
    struct Row {
        int64_t capacity;
        int fits; // lines that go in before the next one is refused
    };
    for (const Row row : {Row{3, 3}, Row{1, 1}, Row{lex::SizeLimits::kUnlimited, -1}}) {
        lex::SizeLimits limits;
        limits.capacity = row.capacity;
        lex::NullPump pump;
        pump.setContext(lex::RunContext(std::nullopt, limits));
        lex::EntryHashSet set(lex::KeyVariant::SetOperations);
        set.setPump(&pump);
        int added = 0;
        try {
            for (int i = 0; i < 10; ++i) {
                std::u16string line = u"中国" + std::u16string(1, char16_t(0x4E00 + i));
                if (!set.Contains(line))
                    set.Add(line);
                ++added;
                std::u16string again = line; // present lines are found even when full
                EXPECT_TRUE(set.Contains(again));
            }
        } catch (const lex::LexError &e) {
            EXPECT_EQ(std::string(e.what()), lex::capacityFullMessage(row.capacity));
        }
        EXPECT_EQ(added, row.fits < 0 ? 10 : row.fits);
    }
    EXPECT_EQ(lex::EntryHashSet(lex::KeyVariant::Standard).capacity(), 2'000'000);
}

} // namespace
