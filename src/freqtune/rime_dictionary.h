#pragma once
// A Rime dictionary (*.dict.yaml) in the frequency database. Its entries are rows of WordLib like
// any lexicon's lines, but whole: a single character is a row, the word keeps every character
// (letters and characters beyond code page 936 too), and its length counts a surrogate pair once.
// Beside WordLib the import keeps what a Rime export needs to give the dictionary back:
//     RimeHeader(LineNo, Text)        the header as read, up to and including "..."
//     RimeEntry(SeqNo, Line, Weight, Share)
//                                     each entry's line as written, its weight as a number (NULL:
//                                     none, or a share), and 1 when the weight is a share "N%";
//                                     SeqNo is the WordLib row's
// The export writes the header again (but for `name:`, which follows the output file), each
// entry's own columns (text, code, stem as written), and the counts in the weight column, alone
// or blended into the weights the dictionary had. A share is the part of a character's weight
// that one of its readings takes (一 yi1 98%, yi2 1%): no count can say it, so it stays.

#include "freqtune/frequency_database.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lex::freqtune {

// The rows of the Rime dictionary `lexicon` into the database `handle` is building: WordLib
// through `insert` (its five columns), the header and the lines in the two tables, which it
// creates. Throws LexError naming the file when its header never ends.
void importRimeRows(sqlite3 *handle, const std::filesystem::path &database,
                    const std::filesystem::path &lexicon, Statement &insert, ImportResult &result,
                    EventPump &pump);

// Whether the database holds a Rime dictionary's header (the last import was one).
bool holdsRimeDictionary(FrequencyDatabase &db);

// The weight an entry gets from its count: the count itself, or with `blend` F
//     round((1 - F) * weight + F * count * scale)
// where scale = the largest weight / the largest count (1 when either is not positive), so that
// the most counted entry weighs as much as the heaviest one did. No weight is 0.
struct RimeWeights {
    std::optional<double> blend;
    double scale = 1;
    double weight(int64_t count, std::optional<double> original) const;
};

// The rows by falling Freq, filtered by `options`, as the dictionary they came from, with the
// weights of `options.blend` (exportForInputMethod calls it for a Rime export).
ImExportResult exportRimeDictionary(FrequencyDatabase &db, const std::filesystem::path &out,
                                    const ExportOptions &options, formats::Annotator &annotator,
                                    EventPump &pump);

} // namespace lex::freqtune
