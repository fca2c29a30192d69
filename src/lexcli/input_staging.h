#pragma once
// Inputs that the engines cannot read where they are. An engine reads a lexicon by its path, more
// than once at times (its encoding first, then its lines), so a stream (standard input "-", a
// pipe such as /dev/stdin or <(...), a FIFO, a device) is read whole into a temporary file first.
// With --input-encoding every input is staged too, as UTF-8 behind its mark (or with the mark of
// UTF-16), so that it reads in the encoding the user named whatever its bytes suggest. The
// temporary files go when the operation ends, or with a signal.

#include "shared/lexcore/run_context.h"
#include "shared/lexcore/temporary_file.h"
#include "shared/lexcore/text_format.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lex::cli {

class InputStaging {
public:
    InputStaging(std::optional<LexiconEncoding> forced, std::filesystem::path folder)
        : m_forced(forced), m_folder(std::move(folder)) {}

    // The path the engines read for the argument `arg`: `arg` itself, or its staged copy.
    // `first` marks the operation's first lexicon input: its encoding, as forced, decides the
    // encoding of the outputs (run_context.h). Throws LexError when a stream cannot be read.
    std::string stage(const std::string &arg, RunContext &run, bool first);
    // `text` with the path of every staged copy replaced by the argument it stands for.
    std::string named(std::string text) const;
    std::optional<LexiconEncoding> forced() const { return m_forced; }

    // Every input given to stage(): the path the engines read, and the argument it stands for.
    struct Input {
        std::string path, arg;
    };
    const std::vector<Input> &inputs() const { return m_inputs; }

private:
    struct Staged {
        TemporaryFile file;
        std::string arg; // as messages name it ("标准输入" for "-")
    };
    std::optional<LexiconEncoding> m_forced;
    std::filesystem::path m_folder;
    std::vector<Staged> m_staged;
    std::vector<Input> m_inputs;
};

} // namespace lex::cli
