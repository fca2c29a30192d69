#include "shared/lexcore/line_writer.h"

#include "shared/lexcore/atomic_output.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/run_context.h"
#include "shared/lexcore/utf8.h"

#include <algorithm>
#include <cstring>

namespace lex {
namespace fs = std::filesystem;

LineWriter::LineWriter(fs::path path, RunContext &run) {
    open(std::move(path), run);
}

LineWriter::LineWriter(fs::path path, TextFormat format, RunContext *run, LossReport loss) {
    open(std::move(path), format, run, loss);
}

LineWriter::~LineWriter() = default;

void LineWriter::open(fs::path path, RunContext &run) {
    open(std::move(path), run.lexiconFormat(), &run, LossReport::ToRun);
}

void LineWriter::open(fs::path path, TextFormat format, RunContext *run, LossReport loss) {
    m_path = std::move(path);
    m_out.reset();
    m_size = 0;
    m_open = true;
    m_encoding = format.encoding;
    m_crlf = format.crlf;
    m_run = run;
    m_reportLoss = run && loss == LossReport::ToRun;
    m_lines = m_lossyLines = m_firstLossy = 0;
    m_firstLossyText.clear();
    m_pending.clear();
    m_pendingLines = 0;
    // A small first chunk: most outputs are small, and every page touched costs. One that
    // outgrows it gets the full chunk at its first flush.
    if (m_buffer.size() < kFirstChunk)
        m_buffer.resize(kFirstChunk);
    if (m_encoding == LexiconEncoding::Utf16Le) {
        buffer()[0] = char(0xFF);
        buffer()[1] = char(0xFE);
        m_size = 2;
    }
}

void LineWriter::flush() {
    try {
        if (!m_out)
            m_out = std::make_unique<AtomicOutput>(m_path, m_run);
        m_out->write(std::string_view(buffer(), m_size));
    } catch (...) {
        // A failed write ends the output here and now: no temporary file outlives the error.
        m_out.reset();
        m_open = false;
        throw;
    }
    m_size = 0;
}

char *LineWriter::room(size_t units) {
    // At most three bytes a unit (UTF-8), and the line end.
    const size_t need = units * 3 + 4;
    if (m_size + need > m_buffer.size()) {
        if (m_size > 0)
            flush();
        if (need > m_buffer.size() || m_buffer.size() < kChunk)
            m_buffer.resize(std::max(need, kChunk));
    }
    return buffer() + m_size;
}

char *LineWriter::encode(std::u16string_view text, char *dst, bool dropCr) {
    switch (m_encoding) {
    case LexiconEncoding::Ansi936: {
        bool lossy = false;
        dst = encode936To(text, dst, lossy);
        if (lossy && m_reportLoss)
            noteLossyLines(text);
        return dst;
    }
    case LexiconEncoding::Utf8:
        return encodeUtf8To(text, dst, dropCr);
    case LexiconEncoding::Utf16Le:
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (c == u'\r' && dropCr && i + 1 < text.size() && text[i + 1] == u'\n')
                continue;
            *dst++ = char(c & 0xFF);
            *dst++ = char(c >> 8);
        }
        return dst;
    }
    return dst;
}

// Counts the lines of `text` (the text of one write, lines ending in LF) that code page 936
// cannot hold, numbered from the lines written before it.
void LineWriter::noteLossyLines(std::u16string_view text) {
    int64_t line = m_lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t lf = text.find(u'\n', start);
        if (lf == std::u16string_view::npos)
            lf = text.size();
        const std::u16string_view part = text.substr(start, lf - start);
        ++line;
        if (std::any_of(part.begin(), part.end(), lossIn936)) {
            if (m_lossyLines++ == 0) {
                m_firstLossy = line;
                m_firstLossyText = part;
                if (!m_firstLossyText.empty() && m_firstLossyText.back() == u'\r')
                    m_firstLossyText.pop_back();
            }
        }
        if (lf == text.size())
            break;
        start = lf + 1;
    }
}

void LineWriter::encodePending() {
    if (m_pending.empty())
        return;
    char *end = encode(m_pending, room(m_pending.size()), !m_crlf);
    m_size = size_t(end - buffer());
    m_lines += m_pendingLines;
    m_pending.clear();
    m_pendingLines = 0;
}

void LineWriter::writeLine(std::u16string_view text) {
    constexpr size_t kPending = size_t(16) << 10;
    // Not waiting: UTF-16 (a copy), very long lines, and a line that ends in a CR of its own
    // where the line ends are LF (the encoder would take the two for a CR LF to turn into LF).
    const bool ownCr = !m_crlf && !text.empty() && text.back() == u'\r';
    if (m_encoding != LexiconEncoding::Utf16Le && text.size() < kPending && !ownCr) {
        if (m_pending.size() + text.size() + 2 > kPending)
            encodePending();
        m_pending += text;
        m_pending += m_crlf ? std::u16string_view(u"\r\n", 2) : std::u16string_view(u"\n", 1);
        ++m_pendingLines;
        return;
    }
    encodePending();
    char *end = encode(text, room(text.size()), !m_crlf);
    if (m_encoding == LexiconEncoding::Utf16Le) {
        if (m_crlf) {
            *end++ = '\r';
            *end++ = '\0';
        }
        *end++ = '\n';
        *end++ = '\0';
    } else {
        if (m_crlf)
            *end++ = '\r';
        *end++ = '\n';
    }
    ++m_lines;
    m_size = size_t(end - buffer());
}

void LineWriter::writeLine936(std::string_view bytes) {
    if (m_encoding != LexiconEncoding::Ansi936) {
        thread_local std::u16string text;
        text.clear();
        decode936(bytes, text);
        writeLine(text);
        return;
    }
    encodePending();
    char *end = room(bytes.size());
    std::memcpy(end, bytes.data(), bytes.size());
    end += bytes.size();
    if (m_crlf)
        *end++ = '\r';
    *end++ = '\n';
    ++m_lines;
    m_size = size_t(end - buffer());
}

void LineWriter::write(std::u16string_view text) {
    writeText(text, !m_crlf);
}

void LineWriter::writeLines(std::u16string_view lines) {
    // A line's own CR before its LF stays: nothing here is a CR LF to turn into LF.
    writeText(lines, false);
}

void LineWriter::writeText(std::u16string_view text, bool dropCr) {
    encodePending();
    const int64_t before = m_lines;
    char *end = encode(text, room(text.size()), dropCr);
    m_size = size_t(end - buffer());
    if (m_reportLoss)
        m_lines = before + int64_t(std::count(text.begin(), text.end(), u'\n'));
}

void LineWriter::syncAhead() {
    if (!m_open)
        return;
    encodePending();
    flush();
    m_out->sync();
}

void LineWriter::close() {
    if (!m_open)
        return;
    encodePending();
    flush();
    m_open = false;
    std::unique_ptr<AtomicOutput> out = std::move(m_out);
    m_buffer.reset();
    out->commit();
    if (m_lossyLines > 0 && m_reportLoss)
        m_run->addLossy({m_lossyLines, m_firstLossy, std::move(m_firstLossyText), m_path});
}

void closeTogether(std::initializer_list<LineWriter *> writers) {
    for (LineWriter *w : writers)
        w->syncAhead();
    for (LineWriter *w : writers)
        w->close();
}

} // namespace lex
