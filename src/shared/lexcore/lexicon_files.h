#pragma once
// Lexicon files: a lexicon is text with one entry per line: UTF-16LE behind the mark FF FE,
// UTF-8 (behind its mark EF BB BF, or valid UTF-8 holding a multi-byte sequence), or code page
// 936 (everything else). Outputs are code page 936 with CR LF unless the operation's output
// format says otherwise (text_format.h).

#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/text_format.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lex {

// Tells the encoding: FF FE is UTF-16LE, EF BB BF is UTF-8; a file without a mark is UTF-8 when
// all its bytes are valid UTF-8 and some character takes more than one byte, else code page 936
// (a pure ASCII file reads the same either way). A code page 936 file is told after its first
// non-ASCII characters; a UTF-8 one is validated to its end.
LexiconEncoding detectEncoding(const std::filesystem::path &path);
// Code page 936 or UTF-8 only, for inputs that are code page 936 whatever their first bytes
// but may be UTF-8: a UTF-16 mark counts for nothing there.
LexiconEncoding detectUtf8(const std::filesystem::path &path);
// Both for text in memory (articles read whole); `utf16` false as for detectUtf8.
LexiconEncoding detectEncoding(std::string_view bytes, bool utf16 = true);
// Decodes text in memory by the encoding detectEncoding(bytes, utf16) gives, the mark removed.
std::u16string decodeText(std::string_view bytes, bool utf16 = true);

// True when `path` names an existing regular file (the tools' "file exists" test).
bool fileExists(const std::filesystem::path &path);

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

class AtomicOutput;

// Encodes the lines (a few thousand at a time) and streams the bytes, a chunk at a time, into
// the output's temporary file; close() puts it in place of the output (see
// writeFileAtomically). A writer destroyed without close() (an operation that failed) leaves
// any existing file untouched and no temporary file. Only one chunk of the output is ever held
// in memory.
//
// A lexicon output takes the running operation's format (lexiconOutputFormat(), read when it is
// opened); data files are opened with TextFormat::gbk(), other outputs with their own format.
// writeLine() ends every line with the format's line end; write() takes text whose lines end in CR
// LF and turns them into LF where the format asks for it. UTF-16LE outputs begin with the mark FF
// FE. A lexicon output in code page 936 counts its lines with characters that had to become "?" and
// reports them to the operation's scope on close(). Whether a writer in code page 936 reports its
// lossy lines to the running operation.
enum class LossReport { Silent, ToScope };

class LineWriter {
public:
    LineWriter() = default;
    explicit LineWriter(std::filesystem::path path);
    LineWriter(std::filesystem::path path, TextFormat format, LossReport loss = LossReport::Silent);
    ~LineWriter();
    LineWriter(const LineWriter &) = delete;
    LineWriter &operator=(const LineWriter &) = delete;

    void open(std::filesystem::path path);
    void open(std::filesystem::path path, TextFormat format, LossReport loss = LossReport::Silent);
    void writeLine(std::u16string_view text);
    // Text as it is, but that a CR LF in it becomes LF where the line ends are LF.
    void write(std::u16string_view text);
    // What writeLine puts after a line: CR LF, or LF.
    std::u16string_view lineEnd() const { return m_crlf ? u"\r\n" : u"\n"; }
    // Whole lines, each followed by lineEnd(): what writeLine of each would write, in one go.
    void writeLines(std::u16string_view lines);
    // A line given as plain code page 936 bytes (byte_lines.h): copied as it is into a code page
    // 936 output, decoded first for any other.
    void writeLine936(std::string_view bytes);
    // A hint of the output's size; the writer holds one chunk whatever the size.
    void reserve(size_t) {}
    // Puts everything written so far on disk, so that close() after it (with nothing written
    // in between) costs little more than the rename. Lets the wait for the disk overlap other
    // work: called on another thread, while nothing else uses the writer.
    void syncAhead();
    void close();

private:
    static constexpr size_t kChunk = size_t(1) << 20;
    static constexpr size_t kFirstChunk = size_t(64) << 10;
    char *buffer() const { return static_cast<char *>(m_buffer.data()); }
    char *room(size_t units);
    // With `dropCr`, a CR LF in `text` becomes LF (in LF-ended UTF-8 and UTF-16 outputs).
    char *encode(std::u16string_view text, char *dst, bool dropCr);
    void writeText(std::u16string_view text, bool dropCr);
    void noteLossyLines(std::u16string_view text);
    void flush();
    void encodePending();

    std::filesystem::path m_path;
    std::unique_ptr<AtomicOutput> m_out; // opened with the first full chunk
    LargeBuffer m_buffer;                // the encoded chunk not written yet
    size_t m_size = 0;
    // Lines in code page 936 or UTF-8 wait here, line ends and all, to be encoded many at a
    // time: the encoders take a long text several times faster than its lines one by one.
    std::u16string m_pending;
    int64_t m_pendingLines = 0;
    bool m_open = false;
    LexiconEncoding m_encoding = LexiconEncoding::Ansi936;
    bool m_crlf = true;
    bool m_reportLoss = false; // a lexicon output of the running operation
    int64_t m_lines = 0;       // lines written so far
    int64_t m_lossyLines = 0;
    int64_t m_firstLossy = 0;
    std::u16string m_firstLossyText;
};

// An output being written: a temporary file beside it that commit() renames into place, or a
// device written directly (see writeFileAtomically). Destroyed without commit(), it leaves the
// old file and no temporary file.
class AtomicOutput {
public:
    explicit AtomicOutput(const std::filesystem::path &path);
    ~AtomicOutput();
    AtomicOutput(const AtomicOutput &) = delete;
    AtomicOutput &operator=(const AtomicOutput &) = delete;

    void write(std::string_view bytes);
    // Flushes what was written to disk ahead of commit(), which then mostly renames.
    void sync();
    void commit();

private:
    struct Target;
    std::unique_ptr<Target> m_t;
};

// Writes `bytes` to `path` atomically; throws LexError on failure, Interrupted when a batch
// run was interrupted before the rename. A failed or interrupted write leaves the old file as
// it was and no temporary file.
//  - A regular file (or a new one) is replaced: a temporary file with a short name is written
//    in the same folder, flushed to disk and renamed over it. It keeps the owner, group and
//    mode of the old file where the system allows. Other hard links of the old file keep the
//    old text (a notice says so).
//  - A symlink is followed: its target is replaced and the link stays.
//  - A character device (/dev/null, a terminal) or a pipe with a reader is written directly.
//    Folders, FIFOs without a reader and other special files are refused.
void writeFileAtomically(const std::filesystem::path &path, std::string_view bytes);

// The word of an annotated entry: the first character, then every later double-byte
// character.
std::u16string entryWord(std::u16string_view line);
// The same into `word`, whose room is kept from line to line.
void entryWordInto(std::u16string_view line, std::u16string &word);

// Every double-byte character of `s`, in order; single-byte characters are dropped wherever
// they stand (the first character included).
std::u16string TakeOff(std::u16string_view s);

} // namespace lex
