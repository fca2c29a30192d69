#pragma once
// Sort by entry length: the lines of a lexicon grouped by the length of their word (entryWord:
// annotation letters after the first character do not count), lengths 2 to 30 in ascending
// order, then every line of length 0, 1 or more than 30; each group keeps the input order.
// Comment lines (";" first) at the very start of the file are dropped; later ones are sorted
// like any other line. Nothing is merged.

#include "lexsort/sort_result.h"

#include "shared/lexcore/event_pump.h"

#include <filesystem>
#include <string_view>

namespace lex::lexsort {

inline constexpr int kLengthBuckets = 30;

// The bucket of a line: its word length - 2 for lengths 2 to 30, else the last bucket.
int lengthBucket(std::u16string_view line, WordUnits units = WordUnits::narrow());

// An input with nothing but leading comment lines gives an empty output and the count 0.
// Throws LexError on unreadable input or unwritable output; the output is then left as it was.
SortResult sortByLength(const std::filesystem::path &input, const std::filesystem::path &output,
                        EventPump &pump);

} // namespace lex::lexsort
