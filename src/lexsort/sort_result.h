#pragma once
// What every sort of lexsort returns and reports: the lines it handled, or that its base
// lexicon was missing (nothing read, nothing written).

#include <cstdint>
#include <string>
#include <string_view>

namespace lex::lexsort {

struct SortResult {
    bool inputFound = false;
    int64_t count = 0; // "处理词条："
    // A lexicon of another program's format, kept in its shape: the report's lines about it.
    std::string shape;
};

// The messages for a missing base lexicon: the length, stroke and pinyin sorts use the first,
// the sort by another lexicon the second.
inline constexpr std::string_view kOpenFileFailed = "打开原始文件失败！";
inline constexpr std::string_view kOpenLexiconFailed = "打开原始词库失败！";

// "处理词条：" + count, then "耗费时间：" + elapsed.
std::string reportText(int64_t count, std::string_view elapsed);

} // namespace lex::lexsort
