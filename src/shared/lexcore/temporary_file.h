#pragma once
// Temporary files, made in one way for the whole suite.
//
// A file beside a target (beside()) has a short hidden name in the target's folder, the prefix
// and six random characters, so that an output name of any legal length leaves room for it. It is
// registered with the interrupt handlers from its first moment, so that a signal removes it, and
// it is locked for as long as it lives, so that removeStaleTemporaries() tells the file of a
// killed run (unlocked) from one being written. It ends renamed into place (the commit point),
// handed on to the caller, or removed.
//
// A nameless file (nameless()) is made with O_TMPFILE, or created and unlinked at once with the
// interrupt signals blocked where the file system cannot do that: whatever ends the process
// (a failure, a signal, SIGKILL), the system frees its space and no folder ever shows it.

#include <filesystem>
#include <string>

namespace lex {

class TemporaryFile {
public:
    // A new file beside `target` named `prefix` and six characters; `messagePath` is the file
    // that failures name (the output being written). Throws LexError.
    static TemporaryFile beside(const std::filesystem::path &target, const std::string &prefix,
                                const std::filesystem::path &messagePath);
    // A nameless file in `folder`; failures name the folder (a full disk says so).
    static TemporaryFile nameless(const std::filesystem::path &folder);

    TemporaryFile() = default;
    TemporaryFile(TemporaryFile &&other) noexcept;
    TemporaryFile &operator=(TemporaryFile &&other) noexcept;
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    ~TemporaryFile();

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // The file's name; empty for a nameless file.
    const std::string &path() const { return m_path; }
    // Closes the descriptor; a failure (a write that could not be completed) throws LexError.
    // A file beside a target stays locked until it is renamed, handed on or removed.
    void close();
    // The commit point: either an interrupt came before and nothing is replaced, or the file is in
    // place of `target` and the run is done. Throws LexError when the rename fails.
    void renameTo(const std::filesystem::path &target);
    // The file is the caller's now (the caller renamed it itself): it is no longer removed, by
    // this object or by a signal; its descriptors still close with it.
    void release();

private:
    void reset();

    int m_fd = -1;
    int m_lockFd = -1; // holds the lock of a file beside a target
    int m_slot = -1;   // its registration with the interrupt handlers
    std::string m_path;
    std::filesystem::path m_messagePath;
};

// Removes the files `prefix` + six characters in `folder` that their creator left behind: those
// that nobody holds locked. A file being written is locked; one just created and not locked yet
// is noticed by its creator, which makes another. Only the file held locked here is removed, not
// one that took its name meanwhile.
void removeStaleTemporaries(const std::filesystem::path &folder, const std::string &prefix);

// The failure of a temporary file in `folder`: a full disk says what to do about it.
[[noreturn]] void failTemporary(const std::filesystem::path &folder, int err);

} // namespace lex
