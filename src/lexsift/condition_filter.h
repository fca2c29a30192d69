#pragma once
// Filter by conditions: keeps every line of a lexicon whose word (entryWord) passes one test:
// it contains, begins with or ends with a word of a list, its length lies in a range, or it
// holds a character outside GB2312. Lines are written whole, once per line, in input order.

#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lex::lexsift {

enum class ConditionTest { None, Contains, Starts, Ends, Length, NonGb2312 };

struct Conditions {
    ConditionTest test = ConditionTest::None;
    std::vector<std::u16string> words; // Contains, Starts, Ends: an empty list accepts nothing
    // Length: the bounds as typed, converted when the filter runs (both inclusive).
    std::u16string minText = u"2";
    std::u16string maxText = u"10";
};

struct ConditionResult {
    bool inputFound = false; // false: nothing was read or written
    int64_t written = 0;
    // Another program's lexicon, kept in its shape: the report's lines about it.
    std::string shape;
};

// Throws LexError when the input cannot be read, the output cannot be written or a length
// bound is not a number; the output is then left as it was.
ConditionResult filterByConditions(const std::filesystem::path &input,
                                   const std::filesystem::path &output,
                                   const Conditions &conditions, EventPump &pump);

// The word list of the condition dialog: the text split at every CR LF, empty pieces dropped,
// nothing trimmed.
std::vector<std::u16string> splitWordList(std::u16string_view typed);

// The numeric value of a typed length bound (spaces around it allowed, a sign, decimals and an
// exponent), or nothing when the text is not a number.
std::optional<double> lengthBound(std::u16string_view typed);

// Whether a character lies outside GB2312: its code page 936 code, written in hexadecimal,
// has a first or last pair of digits below "A1". Single-byte characters other than 0xFF are
// therefore all outside, and a double-byte one is when its lead or trail byte is below 0xA1.
bool outsideGb2312(char16_t ch);

} // namespace lex::lexsift
