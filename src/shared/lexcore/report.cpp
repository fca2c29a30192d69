#include "shared/lexcore/report.h"

#include <cstdio>
#include <ctime>

namespace lex {

int timeOfDayNow() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

std::string elapsedText(int start, int now) {
    int d = now - start;
    if (d < 0)
        d += 24 * 3600;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", d / 3600, d / 60 % 60, d % 60);
    return buf;
}

std::string elapsedText(int start) {
    return elapsedText(start, timeOfDayNow());
}

CompletionText &CompletionText::count(std::string_view label, int64_t value) {
    m_lines.push_back(std::string(label) + std::to_string(value));
    return *this;
}

CompletionText &CompletionText::line(std::string_view text) {
    m_lines.emplace_back(text);
    return *this;
}

std::string CompletionText::text(std::string_view elapsed) const {
    std::string out;
    for (const auto &l : m_lines)
        out += l + "\r\n";
    out += "耗费时间：";
    out += elapsed;
    return out;
}

std::string stoppedText(std::string_view elapsed) {
    return "耗费时间：" + std::string(elapsed);
}

} // namespace lex
