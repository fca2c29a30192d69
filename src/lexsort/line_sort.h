#pragma once
// Sort by stroke and by pinyin: every line of a lexicon, empty lines and repeats included,
// ordered by the one quicksort of quick_sort.h with one of two comparisons of whole lines:
//  - stroke, sortSA: UTF-16 code unit by code unit, a proper prefix first, so Chinese
//    characters follow the ideograph blocks (by radical, then by the strokes left);
//  - pinyin, sortSB: ICU's Chinese collation with case and width ignored (pinyin_collator.h).
// Lines that compare equal keep the order the quicksort's steps give them.

#include "lexsort/quick_sort.h"
#include "lexsort/sort_result.h"

#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace lex::lexsort {

// Form4's intF.
enum class SortMode : int16_t { Stroke = 1, Pinyin = 2 };

// Sorts sA[lLeft..lRight] in place.
void sortSA(std::vector<std::u16string_view> &sA, int64_t lLeft, int64_t lRight, EventPump &pump,
            SortProgress progress = {});
void sortSB(std::vector<std::u16string_view> &sA, int64_t lLeft, int64_t lRight, EventPump &pump,
            SortProgress progress = {});

// The order of `texts` by the comparison of sortSB: their positions, the same text at several
// places in their order.
std::vector<uint32_t> pinyinOrder(const std::vector<std::u16string_view> &texts, EventPump &pump);

// Reads every line of `input`, sorts them and writes them to `output` (code page 936, CR LF).
// An empty input gives an empty output. Throws LexError on unreadable input or unwritable
// output; the output is then left as it was.
SortResult sortLines(const std::filesystem::path &input, const std::filesystem::path &output,
                     SortMode mode, EventPump &pump);

} // namespace lex::lexsort
