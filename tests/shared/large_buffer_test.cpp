#include "shared/lexcore/large_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <numeric>

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
    for (size_t n : {size_t(0), size_t(1), size_t(70000), size_t(3) << 20}) {
        lex::LargeBlock<uint32_t> block(n);
        EXPECT_EQ(block.size(), n);
        if (n > 0)
            std::memset(block.get(), 0xAB, n * sizeof(uint32_t));
        lex::LargeBlock<uint32_t> moved = std::move(block);
        EXPECT_FALSE(block);
        if (n > 0) {
            EXPECT_EQ(moved.get()[n - 1], 0xABABABABu);
#if !defined(__SANITIZE_ADDRESS__)
            // From 64 KiB on: whole huge pages, at a huge page boundary.
            if (n * sizeof(uint32_t) >= (size_t(64) << 10)) {
                EXPECT_EQ(reinterpret_cast<uintptr_t>(moved.get()) % (size_t(2) << 20), 0u);
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

} // namespace
