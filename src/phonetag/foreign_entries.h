#pragma once
// Annotation, clearing and duplicate removal on a lexicon of another program's format
// (foreign_lexicon.h): the code column of its entries is what they work on, its header and the
// lines that are no entries stay as they were, and the output is in its format.
//  - annotate: an entry without a code gets the readings of the annotation (syllables as the
//    format writes them); entries with a code keep theirs;
//  - clear: every entry loses its code (Rime only: the other formats need one);
//  - dedup: an entry of the same word and code as an earlier one is dropped, the larger weight
//    kept.

#include "shared/formats/lexicon_format.h"
#include "shared/lexcore/event_pump.h"
#include "shared/pinyin/char_dictionary.h"
#include "shared/pinyin/word_table.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace lex::phonetag {

struct ForeignResult {
    int64_t entries = 0;    // entries written
    int64_t changed = 0;    // annotated, cleared, or dropped as repeated
    int64_t unreadable = 0; // annotate: entries no reading was found for, left without a code
    std::string shape;      // the report's lines about the lexicon's shape
};

ForeignResult annotateForeign(const std::filesystem::path &input, formats::Format format,
                              const std::filesystem::path &output,
                              const pinyin::CharDictionary &dict, const pinyin::WordTable &table,
                              EventPump &pump);
// Throws LexError for a format whose entries need their code.
ForeignResult clearForeign(const std::filesystem::path &input, formats::Format format,
                           const std::filesystem::path &output, EventPump &pump);
ForeignResult dedupForeign(const std::filesystem::path &input, formats::Format format,
                           const std::filesystem::path &output, EventPump &pump);

// The report: the shape, what was done, the entries.
std::string foreignReport(const char *changedLabel, const ForeignResult &result,
                          int startSecondsOfDay);

} // namespace lex::phonetag
