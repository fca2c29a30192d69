#include "shared/lexcore/text_format.h"

#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <unistd.h>

namespace lex {
namespace fs = std::filesystem;

namespace {

// Whether the first line end of `path` is CR LF; nullopt when the file has none (or cannot be
// read: the reader reports that).
std::optional<bool> firstLineEndIsCrLf(const fs::path &path, LexiconEncoding encoding) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    std::optional<bool> crlf;
    char buf[1 << 16];
    char last = 0;
    bool odd = false; // UTF-16: the next byte is a high byte
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n && !crlf; ++i) {
            if (encoding == LexiconEncoding::Utf16Le) {
                // LF is 0A 00; CR before it is 0D 00. Only low bytes are looked at.
                const bool low = !odd;
                odd = !odd;
                if (!low)
                    continue;
            }
            if (buf[i] == '\n')
                crlf = last == '\r';
            last = buf[i];
        }
        if (crlf)
            break;
    }
    ::close(fd);
    return crlf;
}

} // namespace

TextFormat detectTextFormat(const fs::path &path) {
    return detectTextFormat(path, detectEncoding(path));
}

TextFormat detectTextFormat(const fs::path &path, LexiconEncoding encoding) {
    TextFormat f;
    f.encoding = encoding;
    const auto crlf = firstLineEndIsCrLf(path, f.encoding);
    f.crlf = crlf ? *crlf : f.encoding != LexiconEncoding::Utf8;
    return f;
}

std::optional<LexiconEncoding> parseEncodingName(std::string_view name) {
    std::string n;
    for (char c : name)
        if (c != '-' && c != '_')
            n += char(std::tolower(static_cast<unsigned char>(c)));
    if (n == "gbk" || n == "cp936")
        return LexiconEncoding::Ansi936;
    if (n == "utf8")
        return LexiconEncoding::Utf8;
    if (n == "utf16le")
        return LexiconEncoding::Utf16Le;
    return std::nullopt;
}

std::string lossyReportLine(int64_t lines) {
    return "无法用 GBK 表示的字符：" + std::to_string(lines) + " 行";
}

std::string withLossyLine(const std::string &report, int64_t lines) {
    return lines == 0 ? report : withReportLine(report, lossyReportLine(lines));
}

std::string withReportLine(const std::string &report, const std::string &line) {
    const size_t elapsed = report.rfind("耗费时间：");
    if (elapsed == std::string::npos)
        return report.empty() ? line : report + "\r\n" + line;
    std::string out = report;
    out.insert(elapsed, line + "\r\n");
    return out;
}

} // namespace lex
