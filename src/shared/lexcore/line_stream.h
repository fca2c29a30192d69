#pragma once
// Reading a lexicon file of any size in bounded memory, a chunk at a time.

#include "shared/lexcore/text_format.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

namespace lex {

// Reads a file of any size in bounded memory: a chunk is read and decoded at a time, and lines
// are handed out of it (the same lines as LineReader gives). Memory is a few chunks and the
// longest line. A big file is read and decoded on a second thread, a few chunks ahead of the
// lines handed out. Files are refused as LineReader refuses them (not a regular file, NUL
// characters: at the chunk that holds one, after the lines before it).
class LineStream {
public:
    explicit LineStream(const std::filesystem::path &path); // the encoding detectEncoding gives
    LineStream(const std::filesystem::path &path, LexiconEncoding encoding);
    ~LineStream();
    LineStream(const LineStream &) = delete;
    LineStream &operator=(const LineStream &) = delete;

    // The next line, valid until the next call; false at the end of the file.
    bool next(std::u16string_view &line) {
        if (m_nextEnd < m_endCount) { // a whole line of the chunk at hand
            const size_t lf = m_ends[m_nextEnd++];
            const size_t end = lf > m_pos && m_text[lf - 1] == u'\r' ? lf - 1 : lf;
            line = std::u16string_view(m_text + m_pos, end - m_pos);
            m_pos = lf + 1;
            ++m_lineNumber;
            return true;
        }
        return nextChunk(line);
    }
    LexiconEncoding encoding() const { return m_encoding; }
    // 1-based number of the line next() gave last.
    int64_t lineNumber() const { return m_lineNumber; }
    // Progress: bytes read of the file's size.
    uint64_t bytesRead() const { return m_bytesRead; }
    uint64_t size() const { return m_size; }
    // Whether the text read so far (the lines handed out, and the rest of their chunk) holds
    // U+FFFD: as written, or where the bytes were no text of the encoding.
    bool replacementSeen() const { return m_replaced; }

private:
    struct Chunk;
    struct Decoder;
    bool fill(); // takes the next decoded chunk; false at the end of the file
    bool nextChunk(std::u16string_view &line); // next() past the chunk's last LF

    std::unique_ptr<Decoder> m_decoder;
    LexiconEncoding m_encoding;
    const Chunk *m_chunk = nullptr;   // the lines being handed out
    const char16_t *m_text = nullptr; // its text
    const uint32_t *m_ends = nullptr; // its LFs
    size_t m_endCount = 0;
    size_t m_pos = 0;     // where the next line starts in it
    size_t m_nextEnd = 0; // its next LF
    bool m_eof = false;
    bool m_replaced = false;
    int64_t m_lineNumber = 0;
    uint64_t m_bytesRead = 0, m_size = 0;
};

// Whether the lines of `path` end in a lone CR (old Mac text): its first 64 KiB hold a CR and no
// LF. Read as usual, such a file is one line; CrLines splits it.
bool endsLinesInCr(const std::filesystem::path &path);

// The lines of a source (a LineStream) whose lines end in a lone CR: each line it gives split at
// its CRs, numbered anew.
template <class Source> class CrLines {
public:
    explicit CrLines(Source &in) : m_in(in) {}
    bool next(std::u16string_view &line) {
        if (!m_have) {
            if (!m_in.next(m_rest))
                return false;
            m_have = true;
        }
        const size_t cr = m_rest.find(u'\r');
        ++m_number;
        if (cr == std::u16string_view::npos) {
            line = m_rest;
            m_have = false;
            return true;
        }
        line = m_rest.substr(0, cr);
        m_rest.remove_prefix(cr + 1);
        m_have = !m_rest.empty();
        return true;
    }
    int64_t lineNumber() const { return m_number; }
    uint64_t bytesRead() const { return m_in.bytesRead(); }
    uint64_t size() const { return m_in.size(); }
    uint64_t sizeHint() const { return m_in.sizeHint(); }

private:
    Source &m_in;
    std::u16string_view m_rest;
    bool m_have = false;
    int64_t m_number = 0;
};

} // namespace lex
