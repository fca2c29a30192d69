#pragma once
// Outputs replaced atomically: written beside the old file and renamed over it, so that a failed
// run never leaves a truncated file where the user's old one was.

#include <filesystem>
#include <memory>
#include <string_view>

namespace lex {

class RunContext;

// An output being written: a temporary file beside it that commit() renames into place, or a
// device written directly (see writeFileAtomically). Destroyed without commit(), it leaves the
// old file and no temporary file.
class AtomicOutput {
public:
    // `run`, if given, gets the notices (another hard link of the old file), and learns when the
    // output is standard output.
    explicit AtomicOutput(const std::filesystem::path &path, RunContext *run = nullptr);
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
//  - A character device (/dev/null, a terminal) or a pipe with a reader is written directly, and
//    so is a descriptor of this process: "-" (standard output), /dev/stdout, /dev/stderr,
//    /dev/fd/N, /proc/self/fd/N, whatever file it leads to (`>> log` appends).
//    Folders, FIFOs without a reader and other special files are refused.
void writeFileAtomically(const std::filesystem::path &path, std::string_view bytes,
                         RunContext *run = nullptr);

// Whether an output at `path` is written in place rather than replaced: a descriptor of this
// process ("-" for standard output, /dev/stdout, /dev/fd/N), a device, a pipe. Such an output has
// no folder for files beside it.
bool isWrittenInPlace(const std::filesystem::path &path);

} // namespace lex
