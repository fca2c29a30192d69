#pragma once
// Sort by another lexicon: the distinct lines of the base lexicon that also occur in the
// reference lexicon, in the order of their first occurrence there, then the other distinct
// lines of the base lexicon in their own first-occurrence order. Lines are compared whole and
// exactly, through an entry set with the standard key: lines the key rejects (empty, a
// single-byte first character, fewer than two double-byte characters) all become its
// placeholder ";", which is counted once but never written, and never match.

#include "lexsort/sort_result.h"

#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/event_pump.h"

#include <filesystem>

namespace lex::lexsort {

// The set the sort runs on: `set` must be empty (standard key) and is left filled; its owner
// clears it. A missing reference is skipped: the output is then the base lexicon's distinct
// accepted lines. The count is the set's inserted count. Throws LexError on unreadable input
// or unwritable output; the output is then left as it was.
SortResult sortByReference(EntryHashSet &set, const std::filesystem::path &input,
                           const std::filesystem::path &reference,
                           const std::filesystem::path &output, EventPump &pump);

} // namespace lex::lexsort
