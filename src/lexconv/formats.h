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

#include "lexconv/pinyin.h"

#include "shared/lexcore/lexicon_files.h"
#include "shared/lexcore/text_format.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lex::lexconv {

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
};

enum class LineKind { Entry, Skip, Deleted, Reject };

struct ParsedLine {
    LineKind kind = LineKind::Skip;
    Entry entry;
    const char *reason = nullptr; // for a rejection
};

// Reads the lines of one file of a format, in order (Rime's header and its "# no comment" make
// it stateful).
class FormatReader {
public:
    explicit FormatReader(Format format) : m_format(format) {}
    // The line read; the reader keeps it (and its room) until the next call.
    ParsedLine &parse(std::u16string_view line);

    Format format() const { return m_format; }
    // A Rime source's header, lines as read up to and including "...", and its columns (empty:
    // the default text, code, weight).
    const std::vector<std::u16string> &header() const { return m_header; }
    const std::vector<std::u16string> &columns() const { return m_columns; }
    // The spelling of lüe / nüe the source used, once it used one.
    std::optional<UeSpelling> ueSeen() const { return m_ue; }
    // Whether parsing `line` may change how the lines after it are read (Rime's header, "# no
    // comment"). Lines for which it is false can be parsed by copies of this reader in any order.
    bool mayChangeState(std::u16string_view line) const;

private:
    void parseRimeBody(std::u16string_view line);
    void noteSpelling(std::u16string_view code);

    Format m_format;
    ParsedLine m_line;
    enum class Rime { Start, Header, Body } m_rime = Rime::Start;
    bool m_comments = true; // "#" lines are comments (Rime and custom phrases)
    std::vector<std::u16string> m_header;
    int m_textColumn = 0, m_codeColumn = 1, m_weightColumn = 2;
    bool m_inColumns = false;
    std::vector<std::u16string> m_columns;
    std::optional<UeSpelling> m_ue;
};

// The format of a file judged from its name and first lines (for --from auto); nullopt when no
// format reads them.
// `encoding`: the file's, when the caller has told it already (telling it reads the whole of a
// UTF-8 file).
std::optional<Format> detectFormat(const std::filesystem::path &path,
                                   std::optional<LexiconEncoding> encoding = std::nullopt);
// A Rime dictionary for sure: its name ends in ".dict.yaml", or it opens with a header that
// ends in "...".
bool isRimeDictionary(const std::filesystem::path &path);

// Turns entries into lines of one format. An entry is written as the format allows: the
// converter has already given it every syllable when the format needs them.
class FormatWriter {
public:
    struct Options {
        UeSpelling ue = UeSpelling::Ue;
        bool quilloWeights = false; // quillo: write weights after a TAB
        // A Rime target: the source's header, kept as it is; else one is made for `rimeName`.
        std::vector<std::u16string> rimeHeader;
        std::vector<std::u16string> rimeColumns;
        std::u16string rimeName;
        bool sameFormat = false; // the source was of this format: raw codes and weights stay
    };
    FormatWriter(Format format, Options options);

    // Why `entry` cannot be a line of the format, or nullptr.
    const char *refusal(const Entry &entry) const;
    // The lines before the first entry.
    void begin(LineWriter &out);
    // The line of `entry` without its weight, and the weight field (with its separator) apart:
    // duplicates are told by the first, and the larger weight wins. `asWritten` is the weight's
    // text to keep (a conversion into the same format), `codeWritten` whether the line's code
    // field holds a code (codeWritten(entry)).
    // Both are views of the writer's own room, valid until the next call of the same.
    std::u16string_view body(const Entry &entry);
    bool codeWritten(const Entry &entry) const;
    std::u16string_view weightField(std::optional<double> weight, std::u16string_view asWritten,
                                    bool codeWritten);
    // Writes a line made of a body and a weight field; `body` starting with "#" may first need
    // Rime's "# no comment".
    void writeLine(LineWriter &out, std::u16string_view body, std::u16string_view weight);

private:
    std::u16string weightFieldText(std::optional<double> weight, std::u16string_view asWritten,
                                   bool codeWritten) const;
    std::u16string m_body, m_weight, m_line;

    Format m_format;
    Options m_options;
    int m_textColumn = 0, m_codeColumn = 1, m_weightColumn = 2;
    bool m_commentsOn = true; // what a Rime reader of our output would think of "#" lines
};

// A weight as the formats write numbers: an integer without a point, otherwise the shortest
// text that reads back as the same double.
std::u16string weightText(double weight);

} // namespace lex::lexconv
