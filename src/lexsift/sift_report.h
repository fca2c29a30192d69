#pragma once
// What both filters of lexsift show: the failure texts and the completion report, which puts an
// empty line between the count and "耗时：".

#include <cstdint>
#include <string>

namespace lex::lexsift {

inline constexpr const char *kOpenFileFailed = "打开文件失败！";    // the article filter
inline constexpr const char *kOpenLexiconFailed = "打开词库失败！"; // the condition filter

// "本次筛出词条：" + written, CR LF, CR LF, "耗时：" + the elapsed time since the start.
std::string siftReport(int64_t written, int startSecondsOfDay);

} // namespace lex::lexsift
