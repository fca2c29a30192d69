#include "shared/lexcore/size_limits.h"

#include <cctype>
#include <cstdlib>
#include <limits>
#include <unistd.h>

namespace lex {
std::optional<uint64_t> parseSize(std::string_view text) {
    size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])))
        ++digits;
    if (digits == 0 || digits > 19)
        return std::nullopt;
    uint64_t value = 0;
    for (size_t i = 0; i < digits; ++i)
        value = value * 10 + uint64_t(text[i] - '0');
    std::string unit;
    for (char c : text.substr(digits))
        unit += char(std::toupper(static_cast<unsigned char>(c)));
    if (unit.ends_with("IB"))
        unit.resize(unit.size() - 2);
    else if (unit.size() > 1 && unit.ends_with("B"))
        unit.resize(unit.size() - 1);
    int shift;
    if (unit.empty() || unit == "B")
        shift = 0;
    else if (unit == "K")
        shift = 10;
    else if (unit == "M")
        shift = 20;
    else if (unit == "G")
        shift = 30;
    else if (unit == "T")
        shift = 40;
    else
        return std::nullopt;
    constexpr uint64_t kMax = uint64_t(std::numeric_limits<int64_t>::max());
    if (value == 0 || value > (kMax >> shift))
        return std::nullopt;
    return value << shift;
}

uint64_t defaultMemory() {
    constexpr uint64_t kFloor = uint64_t(256) << 20;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return kFloor;
    const uint64_t quarter = uint64_t(pages) * uint64_t(pageSize) / 4;
    return quarter < kFloor ? kFloor : quarter;
}

std::string groupedNumber(int64_t value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return value < 0 ? "-" + out : out;
}

std::string capacityFullMessage(int64_t capacity) {
    return "词条太多：超出了词条表 " + groupedNumber(capacity) +
           " 个位置的容量，没有写入任何文件。";
}

} // namespace lex
