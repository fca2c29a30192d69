#pragma once
// Segmenting and counting a corpus in one pass: the counts that the word statistics would write
// to "tj.txt" after a segmentation of the whole corpus, without "fc.txt" in between, on every
// core, and in parts that a merge puts together (a cluster's workers).
//
// The corpus is the text of its files one after another (each file read with the encoding its
// bytes give, as an article is). The statistics count the lines of "fc.txt", and every line of
// it is a piece of one run: the runs (the stretches of characters with a code of 0xB0A1 or more)
// never cross a separator, and the blank lines that the join and the CR LF CR LF rule leave or
// remove are not counted. So the text may be cut anywhere between two characters: the runs
// inside a piece are segmented and counted where they are, and the runs cut at a piece's two
// ends ("open ends") are joined with their neighbours' ends before they are segmented. That
// makes the counts independent of how the text is cut:
//   - a file is cut into chunks of about `chunkSize` bytes, after a line end where there is one
//     within another `chunkSize` bytes, else between two characters (never inside a code page
//     936 pair or a UTF-8 sequence, never at an odd offset of UTF-16);
//   - `threads` workers decode, segment and count the chunks, each into counts of its own;
//   - the open ends are joined in corpus order at the end (also across files: a file without a
//     line end at its end goes on with the next, as in the concatenated text).
//
// Memory: a few chunks per worker and the distinct words, never the corpus (unless the corpus
// is one endless run without a single separator: a run is segmented whole).
//
// Encodings: as an article's (UTF-16LE behind FF FE, UTF-8 behind EF BB BF, UTF-8 when all of
// the file is valid UTF-8 with a multi-byte sequence, else code page 936). A file that begins as
// UTF-8 is counted as UTF-8 while it is read; when a later chunk turns out not to be UTF-8, the
// chunks counted so far are counted once more with the opposite sign and the file is counted
// again as code page 936, so that the result is the article's. (Standard input cannot be read
// twice: there that is an error.)

#include "bigseg/segment_lexicon.h"
#include "shared/lexcore/corpus_input.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/text_format.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lex::bigseg {

struct CountSettings {
    int threads = 1;
    size_t chunkSize = size_t(1) << 20; // a few buffers of it per worker, reused
    int16_t splitBelow = 4; // runs shorter than this stay whole (4, or the option's length)
    // Whether the characters code page 936 lacks join runs (RunUnits): as the output format the
    // user forced says; nullopt: as "fc.txt" of this corpus would be, UTF-8 when the first file
    // holding text is.
    std::optional<bool> wideRuns;
};

// The run characters at the two ends of a part of the corpus, not counted yet.
struct OpenEnds {
    bool whole = true;   // no separator at all: `head` is the whole part
    std::u16string head; // the characters before the first separator
    std::u16string tail; // the characters after the last separator
};

struct CorpusCounts {
    std::vector<std::pair<std::u16string, int64_t>> words; // ascending by word, counts >= 1
    OpenEnds ends;
    bool hasText = false; // any character at all was read
    // Of the first file holding text, and whether the corpus's first line end is CR LF: what
    // "fc.txt" and "tj.txt" follow.
    std::optional<LexiconEncoding> encoding;
    std::optional<bool> crlf;
};

// Counts `files` in order as one text. The open ends stay open (see closeEnds).
CorpusCounts countCorpus(const std::vector<CorpusFile> &files, const SegmentLexicon &lexicon,
                         const CountSettings &settings, EventPump &pump);

// Counts the open ends as the runs they are: the counts are then those of a whole corpus.
void closeEnds(CorpusCounts &counts, const SegmentLexicon &lexicon, int16_t splitBelow);

// What identifies the word list a count used: merged parts must have used the same.
std::string wordListFingerprint(const SegmentLexicon &lexicon);

// Partial counts (partial_counts.h, kind "bigseg") with the open ends, the formats and what the
// merge checks.
void writePartialCounts(const CorpusCounts &counts, const std::filesystem::path &path,
                        int16_t splitBelow, const std::string &fingerprint);

// Merges partial counts of consecutive parts, in corpus order. The ends where two parts meet
// are joined and counted; the word list is asked for only when such a joint holds characters,
// and must have the fingerprint the parts name. Throws LexError when the parts do not belong
// together (other options, another word list) or a file is no partial count of bigseg.
CorpusCounts mergePartialCounts(const std::vector<std::filesystem::path> &paths,
                                const std::function<const SegmentLexicon &()> &lexicon,
                                int16_t &splitBelow, std::string &fingerprint);

// The format "fc.txt" would have for this corpus (the statistics' input): UTF-8 with the
// corpus's line ends for a UTF-8 corpus, else code page 936 with CR LF.
TextFormat segmentFileFormat(const CorpusCounts &counts);

// Writes the lines of "tj.txt": the count zero-padded to six digits (a count of more digits
// keeps them all), TAB, the word; falling counts, within one count falling words. Returns the
// number of lines.
int64_t writeWordStats(const CorpusCounts &counts, const std::filesystem::path &output,
                       RunContext &run);

// "合计词条：" n and the elapsed time.
std::string countReport(int64_t entries, std::string_view elapsed);

} // namespace lex::bigseg
