#pragma once
// Reading a whole lexicon file into memory and handing out its lines.

#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/text_format.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace lex {

// Reads and decodes a whole file and hands out lines from that text. Lines end at LF or
// CR LF; the terminator is not part of the line; a last line without terminator is still a
// line; a file ending in a terminator has no extra empty line. A lone CR is text. A file
// holding NUL characters is not a text file and is refused with a LexError, and so is anything
// that is not a regular file (a FIFO, a device), before a byte of it is read.
//
// A big code page 936 file is decoded on a second thread while its first lines are already
// handed out: reading waits only for lines not decoded yet. Its errors (not text, cannot be
// read, an interrupt) surface at the next call that waits, at the latest at the end of the
// file, so an operation never sees an incomplete file as a whole one. Calls that need the
// whole file (countLines, size, readAll) wait for the end.
class LineReader {
public:
    LineReader();
    LineReader(const std::filesystem::path &path, LexiconEncoding encoding);
    // Reads `path` with the encoding its first two bytes give.
    explicit LineReader(const std::filesystem::path &path);
    ~LineReader();
    LineReader(LineReader &&) noexcept;
    LineReader &operator=(LineReader &&) noexcept;

    void open(const std::filesystem::path &path, LexiconEncoding encoding);
    bool atEnd() const;
    std::u16string readLine() { return std::u16string(readLineView()); }
    // The next line as a view into the reader's buffer, valid until close() or destruction.
    std::u16string_view readLineView();
    std::u16string readAll();
    // The line `ahead` lines after the next one (0: the next line) without consuming anything,
    // or an empty view without data (nullptr) past the end. For prefetching.
    std::u16string_view peekLineView(size_t ahead) const;
    void close();

    LexiconEncoding encoding() const { return m_encoding; }
    // Progress: code units consumed and in total.
    size_t position() const { return m_pos; }
    size_t size() const;
    // The lines left (for progress bars and capacity checks).
    size_t countLines() const;
    // size() once the whole file is decoded, else 0 without waiting.
    size_t knownSize() const { return m_decoding ? decodingSize() : m_size; }

private:
    struct Decoding;
    // Until line `line` is decoded or the file is; rethrows a failure of the decoding.
    void waitFor(size_t line) const;
    // Waits for the whole file (rethrowing its failure) and takes its text over.
    void finish() const;
    size_t readyLines() const;
    size_t decodingSize() const; // knownSize() while a second thread may still decode
    std::u16string_view lineAt(size_t line, size_t start) const;

    // The decoded text, allocated without initialisation so that untouched pages cost nothing.
    LargeBuffer m_buffer;
    char16_t *m_text = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
    // Where each line's LF is (or the end of the text for a last line without one).
    LineEnds m_lineEnds;
    size_t m_line = 0;
    LexiconEncoding m_encoding = LexiconEncoding::Ansi936;
    // While a second thread decodes: its state (which owns the line ends meanwhile).
    mutable std::unique_ptr<Decoding> m_decoding;
    mutable size_t m_ready = 0; // lines published by the second thread, as last seen
};

// Sets the pump's progress to how far `reader` has read, out of its size once the whole file is
// decoded: loops start on the first lines while the rest is still being decoded, and the bar
// waits for the total rather than the loop.
inline void reportProgress(EventPump &pump, const LineReader &reader) {
    pump.setProgress(int64_t(reader.position()), int64_t(reader.knownSize()));
}

// Reads a whole text file as lines (convenience for small data files and tests).
std::u16string readWholeText(const std::filesystem::path &path, LexiconEncoding encoding);

} // namespace lex
