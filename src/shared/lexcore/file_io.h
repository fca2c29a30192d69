#pragma once
// The file access the readers and writers share: the "file exists" test, opening a regular file
// for reading (anything else refused before a byte is read), reading a chunk, and the messages of
// failed opens and writes, which name the file and the reason.

#include "shared/lexcore/lex_error.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <utility>

#include <unistd.h>

namespace lex {

// True when `path` names an existing regular file (the tools' "file exists" test).
bool fileExists(const std::filesystem::path &path);

// A path as messages give it.
std::string pathText(const std::filesystem::path &p);

[[noreturn]] void failOpen(const std::filesystem::path &path, int err);
[[noreturn]] void failWrite(const std::filesystem::path &path, int err);

// An open file descriptor that closes itself.
struct Fd {
    int fd;
    Fd(int f) : fd(f) {}
    Fd(Fd &&other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Fd &operator=(Fd &&) = delete;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

// Opens a regular file for reading and returns its descriptor and size. Anything else (a
// FIFO, a device, a socket, a folder) is refused before it is read: opening without blocking,
// a FIFO without a writer cannot hang the open, and /dev/zero never ends.
Fd openForReading(const std::filesystem::path &path, size_t &size);

// The descriptor N that /dev/fd/N or /proc/self/fd/N names, else -1.
int descriptorNamedBy(const std::filesystem::path &path);

// Reads the next chunk; returns the bytes read (0 at the end).
size_t readChunk(const Fd &f, const std::filesystem::path &path, char *buf, size_t n);

} // namespace lex
