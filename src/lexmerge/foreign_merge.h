#pragma once
// The set operations on a lexicon of another program's format (foreign_lexicon.h): entries are
// compared by word and code (by the word alone with `byWord`, or when either lexicon has no
// codes), the weights of an entry found twice merge by a rule, and the result is written in the
// first lexicon's shape (its header, its other lines, its format).
//
//   union       the entries of both, each once, in first-occurrence order
//   intersect   the entries of lexicon one that lexicon two has, in lexicon one's order
//   difference  the entries of one that two lacks, then those of two that one lacks
//   delete      the entries of one that two lacks
//
// The weight rule holds for repeats within a lexicon too (first: the earlier, second: the later).
// The second lexicon may be of any format; its entries, written in the first one's format, keep
// their weights only when the two formats' weights mean the same (counts, or costs).

#include "lexmerge/set_operations.h"
#include "shared/formats/foreign_lexicon.h"

namespace lex::lexmerge {

// Lexicon one of `format`; an empty `two` is an empty lexicon. Throws LexError as the other
// operations do.
MergeResult runForeignSetOperation(SetOperation op, formats::Format format,
                                   const std::filesystem::path &one,
                                   const std::filesystem::path &two,
                                   const std::filesystem::path &output,
                                   const ForeignMergeOptions &options, EventPump &pump);

} // namespace lex::lexmerge
