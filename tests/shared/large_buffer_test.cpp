#include "shared/lexcore/large_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

namespace {

// Grown from small to huge pages and on, and shrunk: the content stays, new room reads as zero,
// and the room reported is at least what was asked.
TEST(LargeBuffer, KeepsItsContentAcrossEveryGrowth) {
    lex::LargeBuffer b;
    size_t filled = 0;
    for (size_t bytes : {size_t(100), size_t(64) << 10, size_t(300) << 10, size_t(5) << 20,
                         size_t(9) << 20, size_t(1) << 20}) {
        b.resize(bytes);
        ASSERT_GE(b.size(), bytes);
        auto *p = static_cast<uint8_t *>(b.data());
        const size_t kept = std::min(filled, bytes);
        for (size_t i = 0; i < kept; i += 4093)
            ASSERT_EQ(p[i], uint8_t(i * 7)) << bytes << " " << i;
        for (size_t i = kept; i < bytes; i += 4093)
            ASSERT_EQ(p[i], 0) << bytes << " " << i;
        for (size_t i = 0; i < bytes; i += 4093)
            p[i] = uint8_t(i * 7);
        filled = bytes;
    }
    b.reset();
    EXPECT_EQ(b.size(), 0u);
}

// Blocks and containers on the large allocator, small and big, moved and freed.
TEST(LargeBuffer, BlocksAndVectorsOfAnySize) {
    for (size_t n : {size_t(0), size_t(1), size_t(20000), size_t(70000), size_t(3) << 20}) {
        lex::LargeBlock<uint32_t> block(n);
        EXPECT_EQ(block.size(), n);
        if (n > 0)
            std::memset(block.get(), 0xAB, n * sizeof(uint32_t));
        lex::LargeBlock<uint32_t> moved = std::move(block);
        EXPECT_FALSE(block);
        if (n > 0) {
            EXPECT_EQ(moved.get()[n - 1], 0xABABABABu);
#if !defined(__SANITIZE_ADDRESS__)
            // From 64 KiB to 1 MiB: a power of two within a huge page, aligned to its size;
            // above: whole huge pages, at a huge page boundary.
            const size_t bytes = n * sizeof(uint32_t);
            if (bytes > (size_t(1) << 20)) {
                EXPECT_EQ(reinterpret_cast<uintptr_t>(moved.get()) % (size_t(2) << 20), 0u);
            } else if (bytes >= (size_t(64) << 10)) {
                EXPECT_EQ(reinterpret_cast<uintptr_t>(moved.get()) % std::bit_ceil(bytes), 0u);
            }
#endif
        }
        moved.reset(n / 2 + 1);
        EXPECT_EQ(moved.size(), n / 2 + 1);
    }
    lex::LineEnds ends;
    for (uint32_t i = 0; i < 1000000; ++i)
        ends.push_back(i);
    EXPECT_EQ(std::accumulate(ends.begin(), ends.end(), uint64_t(0)), 499999500000u);
    lex::LargeString text(u"中");
    for (int i = 0; i < 20; ++i)
        text += text;
    EXPECT_EQ(text.size(), size_t(1) << 20);
    EXPECT_EQ(std::u16string_view(text).substr(12345, 1), u"中");
}

// Blocks under 1 MiB share huge pages and are handed out again once freed: blocks alive together
// never overlap, whatever the order of freeing, and a block used again holds what is written.
TEST(LargeBuffer, SharedPageBlocksNeverOverlap) {
    std::mt19937 rng(11);
    std::vector<lex::LargeBlock<uint8_t>> blocks(60);
    std::vector<uint8_t> marks(blocks.size());
    for (int round = 0; round < 400; ++round) {
        const size_t k = rng() % blocks.size();
        const size_t bytes = (size_t(64) << 10) + rng() % (size_t(1) << 20) - (rng() % 2) * 4096;
        blocks[k].reset(std::min(bytes, size_t(1) << 20));
        marks[k] = uint8_t(round);
        std::memset(blocks[k].get(), marks[k], blocks[k].size());
        if (round % 50 == 49)
            for (size_t j = 0; j < blocks.size(); ++j) {
                if (!blocks[j])
                    continue;
                const uint8_t *p = blocks[j].get();
                const size_t n = blocks[j].size();
                ASSERT_EQ(p[0], marks[j]);
                ASSERT_EQ(p[n / 2], marks[j]);
                ASSERT_EQ(p[n - 1], marks[j]) << "block " << j << " overwritten";
            }
    }
}

} // namespace
