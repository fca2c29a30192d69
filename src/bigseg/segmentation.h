#pragma once
// Word segmentation of an article: the text is cut into runs of characters whose code page 936
// code is 0xB0A1 or more (GB2312 hanzi and every higher double-byte code; with a UTF-8 or UTF-16
// output the ideographs beyond code page 936 too: RunUnits); every other character separates
// runs. Each run is split by forward maximum matching against the SegmentLexicon and
// the runs are written to "fc.txt", one per line, each word of a split run on a line of its
// own:
//   - a run shorter than the threshold (4, or the "不分" option's length) is written as it is;
//   - at each position the longest entry that begins there wins, however long it is;
//   - a character that begins no entry and is no entry itself is glued to the line before it;
//   - three line breaks in a row (a split run after an empty run line) become two.
// Output: code page 936, lines joined by CR LF, CR LF at the end.

#include "bigseg/segment_lexicon.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lex::bigseg {

struct SegmentOptions {
    int16_t noSplitEnabled = 0; // 1: runs shorter than noSplitBelow stay whole
    int16_t noSplitBelow = 10;
};

// The binary search of `s2` in `sCK`: `b` becomes -1 when `s2` stands at the returned index,
// else 0. The midpoint of lo and hi is rounded half to even; index 0 and the last index are
// never probed; without a match the result is the smallest probed index whose entry is greater
// than `s2`, or the last index. After every probe that misses the search yields, and ends there
// (with `b` 0, returning the current upper end) once a stop was requested. An empty list gives
// -1.
int32_t Get_CKP(const SegmentLexicon &sCK, std::u16string_view s2, int16_t &b, EventPump &pump);

// Compares a candidate with an entry: -1 candidate smaller and shorter (the entry may still
// begin with it), -2 smaller and not shorter (no entry from here on can), 0 equal, 1 greater.
int32_t StrCompX(std::u16string_view s1, std::u16string_view s2);

// Forward maximum matching of one run; the result holds CR LF before every matched word.
// DispartStr leaves runs of fewer than 4 characters as they are, DispartStrX runs of fewer than
// `iFlag`.
std::u16string DispartStr(std::u16string_view str, const SegmentLexicon &sCK, EventPump &pump);
std::u16string DispartStrX(std::u16string_view str, const SegmentLexicon &sCK, int16_t iFlag,
                           EventPump &pump);
// The matching of DispartStr without its length rule, appended to `out`.
void appendSegmented(std::u16string_view str, const SegmentLexicon &sCK, EventPump &pump,
                     std::u16string &out);

// A run character: a double-byte character with a code of 0xB0A1 or more.
bool isRunCharacter(char16_t ch);

// The units that make runs. With a code page 936 output (narrow words) the run characters above;
// when the output holds every character (wide words) also the characters code page 936 lacks
// that are CJK ideographs (extension A, the unified block's later ones, the compatibility
// ideographs) or lie beyond the basic plane (both units of a surrogate pair), so that 𠮷野家 is
// one run and no gap before 野家.
class RunUnits {
public:
    static RunUnits of(WordUnits units);
    bool operator()(char16_t ch) const { return m_table[ch] != 0; }

private:
    explicit RunUnits(const uint8_t *table) : m_table(table) {}
    const uint8_t *m_table;
};

class Searcher;

// The matching of DispartStr for callers that count the lines of "fc.txt" instead of writing
// them: where in a run the line breaks go. One per thread; it remembers the searches of the
// runs it cut.
class RunCutter {
public:
    // `textSize`: about how much text it will cut, which bounds what is worth remembering.
    RunCutter(const SegmentLexicon &lexicon, size_t textSize);
    ~RunCutter();
    RunCutter(const RunCutter &) = delete;
    RunCutter &operator=(const RunCutter &) = delete;

    // Replaces `breaks` by the positions of `run` (from 0, rising) before which the matching
    // writes CR LF. The lines of the run are the text between them; a break at 0 leaves an
    // empty line before the run's first word.
    void cut(std::u16string_view run, std::vector<uint32_t> &breaks);

private:
    const SegmentLexicon &m_lexicon;
    std::unique_ptr<Searcher> m_search;
    NullPump m_pump;
};

// The text of the article, read with the encoding its first two bytes give; empty when the
// path names no regular file or the file holds no text. Throws LexError on unreadable files.
std::u16string readArticle(const std::filesystem::path &path);

struct SegmentResult {
    int64_t runs = 0;
    bool stopped = false; // a stop was requested: the runs not reached are written as they are
};

// The text of "fc.txt" for `text`, and the number of runs it was cut into.
std::u16string segmentToText(std::u16string_view text, const SegmentLexicon &lexicon,
                             const SegmentOptions &options, EventPump &pump,
                             int64_t *runs = nullptr);

// Segments `text` (not empty) and writes `output`. `options` is read again for every run, so a
// change made while the run yields applies to the runs after it. A stop request cuts the text
// short at the next 20000th character, ends every search after its next miss, and leaves the
// runs after the next 20000th run whole; the output is written all the same.
SegmentResult segmentText(std::u16string_view text, const std::filesystem::path &output,
                          const SegmentLexicon &lexicon, const SegmentOptions &options,
                          EventPump &pump);

// "完成！" or "中断！", CR LF, "耗时：" and the elapsed time.
std::string segmentReport(bool stopped, std::string_view elapsed);

// The option dialog's length: a number greater than 5 and less than 100, rounded half to even;
// anything else (other numbers, text that is no number) gives 10.
int16_t noSplitBelowFromText(std::u16string_view text);

inline constexpr std::string_view kNoArticle = "没有分词材料！";
inline constexpr std::string_view kNoSegmentResult = "没有分词结果！";

} // namespace lex::bigseg
