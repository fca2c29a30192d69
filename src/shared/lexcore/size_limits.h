#pragma once
// How big a run may grow. The windows hold a run in memory and keep the entry set's 2,000,000
// slots. lexcli gives each operation's run context (run_context.h) its own limits: no capacity
// limit unless --capacity N brings one back, and a memory bound (--memory) past which an
// operation partitions its inputs through temporary files in --temp-dir and merges the
// partitions' results (spill.h).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lex {

struct SizeLimits {
    static constexpr int64_t kUnlimited = -1;
    static constexpr int64_t kWindowCapacity = 2'000'000;

    // Adds the entry set takes between two Clears (kUnlimited: as many as memory holds).
    int64_t capacity = kWindowCapacity;
    // Bytes a run may hold before it partitions; 0: everything stays in memory.
    uint64_t memory = 0;
    // Where partitions and sorted runs go; empty: $TMPDIR, else /tmp.
    std::filesystem::path tempDir;
};

// A size as typed: a whole number of bytes, or with K, M, G or T (powers of 1024, with or
// without a trailing "B" or "iB", any case): "512M", "2G", "64k". nullopt for anything else,
// zero and sizes past 2^63.
std::optional<uint64_t> parseSize(std::string_view text);
// A quarter of physical memory, at least 256 MiB.
uint64_t defaultMemory();
// The message of a full entry set of `capacity` slots, the count grouped by thousands.
std::string capacityFullMessage(int64_t capacity);
// 1234567 as "1,234,567".
std::string groupedNumber(int64_t value);

} // namespace lex
