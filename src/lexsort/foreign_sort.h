#pragma once
// The sorts of a lexicon of another program's format (foreign_lexicon.h): its entries are
// ordered, by their words, and written back in its shape; the header and the lines that are no
// entries stay (before the entries). Unlike the sorts of the suite's lexicons, no entry is left
// out, and entries that compare equal keep their order.

#include "lexsort/sort_result.h"
#include "shared/formats/lexicon_format.h"
#include "shared/lexcore/event_pump.h"

#include <filesystem>

namespace lex::lexsort {

enum class ForeignOrder {
    Length, // by the characters of the word, 2 to 30; the others after them
    Stroke, // by the word's UTF-16 code units, as the stroke sort compares lines
    Pinyin, // by the pinyin collation of the word
    Weight, // by falling weight (counts, then Rime shares, then entries without one)
};

SortResult sortForeign(const std::filesystem::path &input, formats::Format format,
                       const std::filesystem::path &output, ForeignOrder order, EventPump &pump);
// Entries whose word `reference` has first, in its order; the others after them, in theirs.
// `reference` may be of any format: its words are what counts.
SortResult sortForeignByReference(const std::filesystem::path &input, formats::Format format,
                                  const std::filesystem::path &reference,
                                  const std::filesystem::path &output, EventPump &pump);

} // namespace lex::lexsort
