#pragma once
// Completion reports: count lines ("label：" + number) joined by CR LF, then "耗费时间：" and
// the elapsed time of day as hh:mm:ss.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lex {

// Seconds since local midnight, the one-second clock of operation start times.
int timeOfDayNow();

// now - start as "hh:mm:ss"; a run that passes midnight adds a day instead of going negative.
std::string elapsedText(int startSecondsOfDay, int nowSecondsOfDay);
std::string elapsedText(int startSecondsOfDay);

class CompletionText {
public:
    CompletionText &count(std::string_view label, int64_t value);
    CompletionText &line(std::string_view text);
    // The report text with CR LF between lines, ending in "耗费时间：" + elapsed.
    std::string text(std::string_view elapsed) const;

private:
    std::vector<std::string> m_lines;
};

// The completion text of a stopped operation: only the elapsed time.
std::string stoppedText(std::string_view elapsed);

} // namespace lex
