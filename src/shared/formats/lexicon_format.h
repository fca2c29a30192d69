#pragma once
// The lexicon formats the converter reads and writes, one entry per line each:
//
//   quillo       中zhong国guo               the suite's standard lexicon (pinyin after each
//                                          character, any of them may lack it); an optional
//                                          weight after a TAB
//   fixedtop     zhongguo=中国              code=word, the code pinyin without separators
//   words        中国                       one word per line
//   rime         中国<TAB>zhong guo<TAB>100 Rime *.dict.yaml: a YAML header up to "...", then
//                                          TAB-separated columns (text, code, weight unless the
//                                          header's "columns" says otherwise); "#" lines are
//                                          comments until the line "# no comment"
//   rime-custom  中国<TAB>zhongguo<TAB>1    Rime custom_phrase.txt: the code as typed
//   rime-userdb  zhong guo <TAB>中国<TAB>c=3 d=… t=…   Rime user dictionary snapshot, or the
//                                          export "中国<TAB>zhong guo<TAB>3"; read only,
//                                          entries with c < 0 were deleted by the user
//   fcitx5       中国 zhong'guo -1.5        libime text: whitespace-separated word, pinyin,
//                                          cost; a field in "" may hold blanks (\\ \" \n)
//   libpinyin    中国 zhong'guo 3           ibus-libpinyin phrases: tone digits allowed, the
//                                          count optional
//   sogou        'zhong'guo 中国            code page 936
//   qq           zhong'guo 中国 1           UTF-16LE
//   baidu        中国<TAB>zhong'guo'<TAB>1  UTF-16LE
//
// A reader turns each line into an Entry (or a skip, a deletion, a rejection with its reason);
// a writer turns entries back into lines of its format.

#include "shared/lexcore/text_format.h"
#include "shared/pinyin/syllables.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lex::formats {

using pinyin::Syllables;
using pinyin::UeSpelling;

enum class Format {
    Quillo,
    FixedTop,
    Words,
    Rime,
    RimeCustom,
    RimeUserdb,
    Fcitx5,
    Libpinyin,
    Sogou,
    Qq,
    Baidu
};

// What a weight means in a format.
enum class WeightKind { None, Count, Cost };

struct FormatInfo {
    Format format;
    const char *name;    // the name lexcli takes ("rime")
    const char *caption; // the window's list entry
    bool writable;
    bool needsCode; // every character needs its pinyin in a line of this format
    WeightKind weight;
    UeSpelling ue; // lüe and nüe as the format's program spells them
    // The encoding written: the operation's (std::nullopt: the suite's formats follow the first
    // input) or the format's own.
    std::optional<TextFormat> output;
};

std::span<const FormatInfo> allFormats();
const FormatInfo &formatInfo(Format format);
// A format by its name, in any case of its letters.
std::optional<Format> formatByName(std::string_view name);

// Characters of a word, a surrogate pair counting once.
size_t characterCount(std::u16string_view word);

struct Entry {
    std::u16string word;
    // One syllable per character, "" for a character without; empty when the line has no pinyin.
    Syllables syllables;
    // Other readings of the code when it splits more than one way (xian / xi'an is told by the
    // character count, fangan is not): the converter picks the annotated one.
    std::vector<Syllables> alternatives;
    // The code as written when it is not (or not only) pinyin: a conversion into the same format
    // keeps it.
    std::u16string rawCode;
    std::optional<double> weight;
    std::u16string weightText; // as written, for a conversion into the same format
    std::u16string stem;       // Rime's stem column, as written
    // Rime's "N%": a share among the readings of one text, no count; `weight` holds N.
    bool percent = false;
};

enum class LineKind { Entry, Skip, Deleted, Reject };

struct ParsedLine {
    LineKind kind = LineKind::Skip;
    Entry entry;
    const char *reason = nullptr; // for a rejection
    // Codes are kept as written (Entry::rawCode) and not split into syllables, nor checked: a
    // reader told so (FormatReader::keepCodesAsWritten) for a tool that only compares them.
    bool rawCodes = false;
};

// A weight as the formats write numbers: an integer without a point, otherwise the shortest
// text that reads back as the same double.
std::u16string weightText(double weight);

} // namespace lex::formats
