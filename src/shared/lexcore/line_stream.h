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
    int64_t m_lineNumber = 0;
    uint64_t m_bytesRead = 0, m_size = 0;
};

} // namespace lex
