#pragma once
// Writing a lexicon's lines, encoded in the output's text format, into an atomic output.

#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/text_format.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace lex {

class AtomicOutput;

// Encodes the lines (a few thousand at a time) and streams the bytes, a chunk at a time, into
// the output's temporary file; close() puts it in place of the output (see
// writeFileAtomically). A writer destroyed without close() (an operation that failed) leaves
// any existing file untouched and no temporary file. Only one chunk of the output is ever held
// in memory.
//
// A lexicon output takes its run's format (RunContext::lexiconFormat(), read when it is opened),
// and a lexicon output in code page 936 counts its lines with characters that had to become "?"
// and reports them to its run on close(); data files are opened with TextFormat::gbk(), other
// outputs with their own format. writeLine() ends every line with the format's line end; write()
// takes text whose lines end in CR LF and turns them into LF where the format asks for it.
// UTF-16LE outputs begin with the mark FF FE.
class RunContext;

// Whether an output of its own format reports its lossy lines to its run (as lexicon outputs do).
enum class LossReport { Silent, ToRun };

class LineWriter {
public:
    LineWriter() = default;
    // A lexicon output of `run`.
    LineWriter(std::filesystem::path path, RunContext &run);
    // An output of its own format; `run`, if given, gets its notices, and its lossy lines when
    // `loss` says so.
    LineWriter(std::filesystem::path path, TextFormat format, RunContext *run = nullptr,
               LossReport loss = LossReport::Silent);
    ~LineWriter();
    LineWriter(const LineWriter &) = delete;
    LineWriter &operator=(const LineWriter &) = delete;

    void open(std::filesystem::path path, RunContext &run);
    void open(std::filesystem::path path, TextFormat format, RunContext *run = nullptr,
              LossReport loss = LossReport::Silent);
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
    RunContext *m_run = nullptr; // the run its notices go to
    bool m_reportLoss = false;   // and its lossy lines
    int64_t m_lines = 0;         // lines written so far
    int64_t m_lossyLines = 0;
    int64_t m_firstLossy = 0;
    std::u16string m_firstLossyText;
};

// Closes outputs that belong together (a lexicon and its rejects, log or review list) all or
// none: each is written out and checked first (syncAhead), so that an output that cannot be
// written fails the run before any of them replaces its old file; then each is put in place.
void closeTogether(std::initializer_list<LineWriter *> writers);

} // namespace lex
