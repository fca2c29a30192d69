#include "shared/lexcore/run_context.h"

#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"

#include <cstdlib>
#include <mutex>

namespace lex {
namespace fs = std::filesystem;

void RunContext::setFirstInput(const fs::path &path) {
    if (m_haveInput)
        return;
    m_haveInput = true;
    m_firstInput = path;
}

void RunContext::setFirstInputFormat(const TextFormat &format) {
    m_haveInput = true;
    m_inputFormat = format;
}

TextFormat RunContext::lexiconFormat() const {
    if (m_format)
        return *m_format;
    std::optional<TextFormat> input = m_inputFormat;
    if (!input && m_haveInput && fileExists(m_firstInput)) {
        try {
            input = detectTextFormat(m_firstInput);
        } catch (const LexError &) {
            // Unreadable: the operation's own reader says so.
        }
    }
    TextFormat f;
    if (m_forced)
        f.encoding = *m_forced;
    else if (input && input->encoding == LexiconEncoding::Utf8)
        f.encoding = LexiconEncoding::Utf8;
    // Code page 936 always ends lines in CR LF; UTF-8 and UTF-16 keep the input's line ends.
    if (f.encoding == LexiconEncoding::Ansi936)
        f.crlf = true;
    else if (input)
        f.crlf = input->crlf;
    else
        f.crlf = f.encoding == LexiconEncoding::Utf16Le;
    m_format = f;
    return f;
}

fs::path RunContext::temporaryFolder() const {
    if (!m_limits.tempDir.empty())
        return m_limits.tempDir;
    if (const char *tmp = std::getenv("TMPDIR"); tmp && *tmp)
        return tmp;
    return "/tmp";
}

void RunContext::notice(const std::string &text) const {
    // Writers of two outputs may give their notices at once, each on its own thread.
    static std::mutex one;
    const std::lock_guard lock(one);
    if (m_sink)
        m_sink(text);
}

void RunContext::noteDropped(std::u16string_view line, int64_t lines) {
    if (lines <= 0)
        return;
    if (m_dropped.lines == 0)
        m_dropped.firstText.assign(line);
    m_dropped.lines += lines;
}

void RunContext::addLossy(const LossyLines &lossy) {
    if (lossy.lines == 0)
        return;
    if (m_lossy.lines == 0) {
        m_lossy = lossy;
        return;
    }
    m_lossy.lines += lossy.lines;
}

} // namespace lex
