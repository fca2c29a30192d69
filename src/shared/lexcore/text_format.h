#pragma once
// The text format of lexicon outputs. An operation's lexicon outputs follow its first lexicon
// input: UTF-8 in (with that input's line ends) gives UTF-8 out; anything else gives code page 936
// with CR LF. A frame (lexcli, a window's operation runner) opens an OutputScope around each
// operation, names that input, and may force an encoding; writers opened meanwhile take the
// scope's format, and report the lines that code page 936 could not hold back to it. Outside a
// scope, and for the tools' data files, outputs are code page 936 with CR LF.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lex {

enum class LexiconEncoding { Utf16Le, Ansi936, Utf8 };

struct TextFormat {
    LexiconEncoding encoding = LexiconEncoding::Ansi936;
    bool crlf = true; // CR LF after every line, else LF

    // Code page 936 with CR LF: the data files and every output outside a scope.
    static TextFormat gbk() { return {}; }
    bool operator==(const TextFormat &) const = default;
};

// The format of an existing text file: its encoding (detectEncoding) and whether its first line
// ends in CR LF (a file without any line end counts as CR LF for code page 936 and UTF-16, LF for
// UTF-8).
TextFormat detectTextFormat(const std::filesystem::path &path);

// "gbk" (or "cp936"), "utf-8" and "utf-16le", in any case and with or without the hyphen;
// nullopt for any other name.
std::optional<LexiconEncoding> parseEncodingName(std::string_view name);

// Lines written in code page 936 that held characters it cannot represent (written as "?").
struct LossyLines {
    int64_t lines = 0;
    int64_t firstLine = 0;      // 1-based line number of the first one in its output
    std::u16string firstText;   // that line
    std::filesystem::path file; // its output
};

class OutputScope {
public:
    // `forced`: an encoding chosen by the user, else the first input decides.
    explicit OutputScope(std::optional<LexiconEncoding> forced = std::nullopt);
    ~OutputScope();
    OutputScope(const OutputScope &) = delete;
    OutputScope &operator=(const OutputScope &) = delete;

    // The operation's first lexicon input; later calls change nothing. Its format is read when
    // the first output is opened.
    void setFirstInput(const std::filesystem::path &path);
    // The first input's format as the operation itself found it (standard input, a compressed
    // file, a corpus); it stands in for any path named before. No effect once format() ran.
    void setFirstInputFormat(const TextFormat &format);
    TextFormat format();
    const LossyLines &lossy() const { return m_lossy; }
    void addLossy(const LossyLines &lossy);

    // The scope of the running operation, or nullptr.
    static OutputScope *current();

private:
    std::optional<LexiconEncoding> m_forced;
    std::filesystem::path m_firstInput;
    bool m_haveInput = false;
    std::optional<TextFormat> m_inputFormat;
    std::optional<TextFormat> m_format;
    LossyLines m_lossy;
    OutputScope *m_outer;
};

// The format a lexicon output opened now takes.
TextFormat lexiconOutputFormat();
// Names the running operation's first lexicon input, when a scope is open.
void setFirstLexiconInput(const std::filesystem::path &path);
// Gives the running operation's first input's format, when a scope is open.
void setFirstLexiconFormat(const TextFormat &format);

// The report line for lossy lines: "无法用 GBK 表示的字符：N 行".
std::string lossyReportLine(int64_t lines);
// `report` (count lines, then "耗费时间：...", joined by CR LF) with that line before the
// elapsed time; unchanged when `lines` is 0.
std::string withLossyLine(const std::string &report, int64_t lines);

} // namespace lex
