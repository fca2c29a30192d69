#pragma once
// Word statistics: how often each non-empty line of "fc.txt" occurs, written to "tj.txt" as
// "NNNNNN<TAB>line", most frequent first.
//
// Lines are counted in an entry set with the annotation tool's key (single-byte characters
// skipped wherever they stand, a lone double-byte character keyed by its code, a line without
// any double-byte character counted as ";"). The count is written as its last six decimal
// digits, zero-padded (1,000,000 becomes 000000), and the lines stand in descending ordinal
// order of the whole line: falling counts, and within a count falling words.

#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lex::bigseg {

struct StatsResult {
    bool inputFound = false; // false: nothing was read or written
    int64_t entries = 0;     // distinct lines counted
    bool stopped = false;
};

// The counting alone: every non-empty line of `input` (code page 936) looked up in `set`
// (empty, with the statistics' key), added when new; counts[i] is the count of entry i.
// Returns false when a lookup was cut short by a stop request (counting ended there).
bool countLines(const std::filesystem::path &input, EntryHashSet &set, std::vector<int64_t> &counts,
                EventPump &pump);

// Counts `input` into `output`. A stop request ends the counting at the lookup that sees it
// (the lines counted so far stay), and the building and writing of the lines at their next
// 20000th line; "tj.txt" then holds the part written. Throws LexError on unreadable input or
// unwritable output (the old output stays).
StatsResult countWords(const std::filesystem::path &input, const std::filesystem::path &output,
                       EventPump &pump);

// The count as it stands in "tj.txt": its last six digits, zero-padded.
std::u16string paddedCount(int64_t count);

// "合计词条：" n and the elapsed time; "用户中断！" when stopped.
std::string statsReport(const StatsResult &result, std::string_view elapsed);

inline constexpr std::string_view kNoStatsInput = "没有统计材料！";
inline constexpr std::string_view kNoStatsResult = "没有统计结果！";
inline constexpr std::string_view kStatsStopped = "用户中断！";

} // namespace lex::bigseg
