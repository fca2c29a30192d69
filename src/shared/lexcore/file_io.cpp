#include "shared/lexcore/file_io.h"

#include "shared/lexcore/interrupt.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace lex {
namespace fs = std::filesystem;

std::string pathText(const fs::path &p) {
    return p.string();
}

[[noreturn]] void failOpen(const fs::path &path, int err) {
    if (err == ENOENT)
        throw LexError("文件不存在：" + pathText(path), path);
    if (err == EISDIR)
        throw LexError("不是文件：" + pathText(path), path);
    throw LexError("无法打开文件：" + pathText(path) + "（" + systemErrorText(err) + "）", path);
}

[[noreturn]] void failWrite(const fs::path &path, int err) {
    throw LexError("无法写入文件：" + pathText(path) + "（" + systemErrorText(err) + "）", path);
}

// Opens a regular file for reading and returns its descriptor and size. Anything else (a
// FIFO, a device, a socket, a folder) is refused before it is read: opening without blocking,
// a FIFO without a writer cannot hang the open, and /dev/zero never ends.
Fd openForReading(const fs::path &path, size_t &size) {
    Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    if (f.fd < 0)
        failOpen(path, errno);
    struct stat st {};
    if (::fstat(f.fd, &st) != 0)
        failOpen(path, errno);
    if (S_ISDIR(st.st_mode))
        failOpen(path, EISDIR);
    if (!S_ISREG(st.st_mode))
        throw LexError("不是普通文件：" + pathText(path), path);
    ::fcntl(f.fd, F_SETFL, ::fcntl(f.fd, F_GETFL) & ~O_NONBLOCK);
    size = size_t(st.st_size);
    return f;
}

int descriptorNamedBy(const fs::path &path) {
    const std::string p = path.string();
    for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (!p.starts_with(prefix) || p.size() == prefix.size() || p.size() > prefix.size() + 9 ||
            p.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
            continue;
        return std::stoi(p.substr(prefix.size()));
    }
    return -1;
}

// Reads the next chunk; returns the bytes read (0 at the end).
size_t readChunk(const Fd &f, const fs::path &path, char *buf, size_t n) {
    for (;;) {
        ssize_t got = ::read(f.fd, buf, n);
        if (got >= 0)
            return size_t(got);
        if (errno != EINTR)
            throw LexError("无法读取文件：" + pathText(path) + "（" + systemErrorText(errno) + "）",
                           path);
        checkInterrupt();
    }
}

bool fileExists(const fs::path &path) {
    if (path.empty())
        return false;
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

} // namespace lex
