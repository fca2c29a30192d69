#pragma once
// Text formats: an encoding and a line end. Which one an operation's lexicon outputs take is
// decided by its run context (run_context.h); the tools' data files are code page 936 with CR LF.

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

    // Code page 936 with CR LF: the data files, and the windows' lexicon outputs by default.
    static TextFormat gbk() { return {}; }
    bool operator==(const TextFormat &) const = default;
};

// The format of an existing text file: its encoding (detectEncoding) and whether its first line
// ends in CR LF (a file without any line end counts as CR LF for code page 936 and UTF-16, LF for
// UTF-8).
TextFormat detectTextFormat(const std::filesystem::path &path);
// The same of a file whose encoding is known (a format that has only one).
TextFormat detectTextFormat(const std::filesystem::path &path, LexiconEncoding encoding);

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

// Input lines whose characters that code page 936 lacks a code page 936 output could not carry at
// all: rules of the word that leave such characters out (a line that becomes a placeholder, a
// word without them), where no "?" stands for them.
struct DroppedLines {
    int64_t lines = 0;
    std::u16string firstText; // the first such line as it was read
};

// The report line for lossy lines: "无法用 GBK 表示的字符：N 行".
std::string lossyReportLine(int64_t lines);
// `report` (count lines, then "耗费时间：...", joined by CR LF) with that line before the
// elapsed time; unchanged when `lines` is 0.
std::string withLossyLine(const std::string &report, int64_t lines);
// `report` with `line` before its elapsed time (at its end when it has none).
std::string withReportLine(const std::string &report, const std::string &line);

} // namespace lex
