#pragma once
// What the frame that runs an operation (a window, lexcli) decides for it, handed to the engines
// with the operation's pump (EventPump::context()), never through a global:
//  - the text format of its lexicon outputs: the format the user forced, else that of the
//    operation's first lexicon input (UTF-8 in, with that input's line ends, gives UTF-8 out;
//    anything else code page 936 with CR LF), decided when the first output is opened;
//  - how big the run may grow (size_limits.h);
//  - where notices for the user go (lexcli: standard error; the windows show none, so that their
//    message boxes stay exactly the ones their forms define);
//  - the tally of output lines that code page 936 could not hold, for the report.
// A context made by default is the windows' plain one: code page 936 with CR LF, the entry set's
// capacity, everything in memory, no notices.

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/size_limits.h"
#include "shared/lexcore/text_format.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace lex {

class RunContext {
public:
    RunContext() = default;
    explicit RunContext(std::optional<LexiconEncoding> forced, SizeLimits limits = {})
        : m_forced(forced), m_limits(std::move(limits)) {}

    // The operation's first lexicon input; later calls change nothing. Its format is read when
    // the first output is opened.
    void setFirstInput(const std::filesystem::path &path);
    const std::filesystem::path &firstInput() const { return m_firstInput; }
    // The first input's format as the operation itself found it (standard input, a compressed
    // file, a corpus); it stands in for any path named before. No effect once the format is known.
    void setFirstInputFormat(const TextFormat &format);
    // The encoding the user forced on the lexicon outputs, if any.
    std::optional<LexiconEncoding> forcedEncoding() const { return m_forced; }
    // The format a lexicon output opened now takes.
    TextFormat lexiconFormat() const;

    // Which units are characters of a word: code page 936's double-byte ones for a code page 936
    // output, every unit outside ASCII when the outputs hold every character (cp936.h).
    WordUnits wordUnits() const {
        return WordUnits::of(lexiconFormat().encoding != LexiconEncoding::Ansi936);
    }

    const SizeLimits &limits() const { return m_limits; }
    // Whether a run that needs `bytes` may keep them in memory.
    bool fitsInMemory(uint64_t bytes) const {
        return m_limits.memory == 0 || bytes <= m_limits.memory;
    }
    // The folder temporary files go to: --temp-dir, else $TMPDIR, else /tmp.
    std::filesystem::path temporaryFolder() const;

    using NoticeSink = std::function<void(const std::string &text)>;
    void setNoticeSink(NoticeSink sink) { m_sink = std::move(sink); }
    // A notice for the user that is no failure (a file written in a way the user may not expect).
    void notice(const std::string &text) const;

    const LossyLines &lossy() const { return m_lossy; }
    void addLossy(const LossyLines &lossy);
    // With narrow words: `line`, read, lost characters that code page 936 lacks without a trace
    // in the output (DroppedLines); nothing when it holds none. `lines` more such lines, the first
    // of them `line`.
    void noteDropped(std::u16string_view line, int64_t lines = 1);
    const DroppedLines &dropped() const { return m_dropped; }

    // An output went to standard output: the frame's report goes to standard error then.
    void noteStandardOutputTaken() { m_standardOutputTaken = true; }
    bool standardOutputTaken() const { return m_standardOutputTaken; }
    // Lines that lost characters in all: written with "?", or dropped.
    int64_t lostLines() const { return m_lossy.lines + m_dropped.lines; }

private:
    std::optional<LexiconEncoding> m_forced;
    SizeLimits m_limits;
    std::filesystem::path m_firstInput;
    bool m_haveInput = false;
    std::optional<TextFormat> m_inputFormat;
    mutable std::optional<TextFormat> m_format; // decided at the first lexiconFormat()
    LossyLines m_lossy;
    DroppedLines m_dropped;
    bool m_standardOutputTaken = false;
    NoticeSink m_sink;
};

} // namespace lex
