#include "shared/lexcore/temporary_file.h"

#include "shared/lexcore/file_io.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace lex {
namespace fs = std::filesystem;

namespace {

fs::path folderOf(const fs::path &path) {
    fs::path dir = path.parent_path();
    return dir.empty() ? fs::path(".") : dir;
}

bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

void failTemporary(const fs::path &folder, int err) {
    if (err == ENOSPC || err == EDQUOT)
        throw LexError("临时文件夹空间不足：" + folder.string() +
                           "（磁盘已满）。可以用 --temp-dir 换一个空间更大的文件夹，"
                           "或用 --memory 让更多的词条留在内存里。",
                       folder);
    throw LexError("无法写入临时文件：" + folder.string() + "（" + systemErrorText(err) + "）",
                   folder);
}

TemporaryFile TemporaryFile::beside(const fs::path &target, const std::string &prefix,
                                    const fs::path &messagePath) {
    TemporaryFile t;
    t.m_messagePath = messagePath;
    const std::string pattern = (folderOf(target) / (prefix + "XXXXXX")).string();
    // A new file, registered and locked before its name is ours for good: a cleaner that took it
    // in the moment between its creation and its lock has it locked or removed, and we take
    // another one.
    for (int attempt = 0;; ++attempt) {
        std::string name = pattern;
        {
            InterruptBlock block; // no handler may run between the creation and the registration
            t.m_fd = ::mkostemp(name.data(), O_CLOEXEC);
            if (t.m_fd < 0)
                failWrite(messagePath, errno);
            t.m_slot = registerTemporaryFile(name);
        }
        // The lock belongs to the open file, which a second descriptor keeps open until the file
        // is renamed or removed, after its own descriptor is closed. (A file system without locks
        // leaves the file unlocked, as it leaves everyone's.)
        t.m_lockFd = ::fcntl(t.m_fd, F_DUPFD_CLOEXEC, 0);
        const bool taken =
            t.m_lockFd >= 0 && ::flock(t.m_lockFd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        struct stat mine {};
        struct stat named {};
        if (!taken && ::fstat(t.m_fd, &mine) == 0 && ::lstat(name.c_str(), &named) == 0 &&
            sameFile(mine, named)) {
            t.m_path = std::move(name);
            return t;
        }
        unregisterTemporaryFile(std::exchange(t.m_slot, -1));
        t.reset();
        if (attempt == 10)
            failWrite(messagePath, EAGAIN);
    }
}

TemporaryFile TemporaryFile::nameless(const fs::path &folder) {
    TemporaryFile t;
    t.m_messagePath = folder;
    t.m_fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (t.m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // No nameless files here: a named one, gone before any handler could see it.
        std::string name = (folder / ".lex-spill-XXXXXX").string();
        InterruptBlock block;
        t.m_fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (t.m_fd >= 0)
            ::unlink(name.c_str());
    }
    if (t.m_fd < 0) {
        const int err = errno;
        if (err == ENOSPC || err == EDQUOT)
            failTemporary(folder, err);
        throw LexError("无法在临时文件夹中建立文件：" + folder.string() + "（" +
                           systemErrorText(err) + "）",
                       folder);
    }
    return t;
}

TemporaryFile::TemporaryFile(TemporaryFile &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_lockFd(std::exchange(other.m_lockFd, -1)),
      m_slot(std::exchange(other.m_slot, -1)), m_path(std::exchange(other.m_path, {})),
      m_messagePath(std::move(other.m_messagePath)) {}

TemporaryFile &TemporaryFile::operator=(TemporaryFile &&other) noexcept {
    if (this != &other) {
        reset();
        m_fd = std::exchange(other.m_fd, -1);
        m_lockFd = std::exchange(other.m_lockFd, -1);
        m_slot = std::exchange(other.m_slot, -1);
        m_path = std::exchange(other.m_path, {});
        m_messagePath = std::move(other.m_messagePath);
    }
    return *this;
}

TemporaryFile::~TemporaryFile() {
    reset();
}

void TemporaryFile::reset() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_path.empty())
        ::unlink(m_path.c_str());
    m_path.clear();
    unregisterTemporaryFile(std::exchange(m_slot, -1));
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
}

void TemporaryFile::close() {
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0)
        failWrite(m_messagePath, errno);
}

void TemporaryFile::renameTo(const fs::path &target) {
    if (const int err = commitRename(m_path.c_str(), target.c_str()))
        failWrite(m_messagePath, err);
    release();
}

void TemporaryFile::release() {
    m_path.clear();
    unregisterTemporaryFile(std::exchange(m_slot, -1));
}

void removeStaleTemporaries(const fs::path &folder, const std::string &prefix) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path &path = it->path();
        const std::string name = path.filename().string();
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat held {};
        struct stat named {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
            S_ISREG(held.st_mode) && ::lstat(path.c_str(), &named) == 0 && sameFile(held, named))
            ::unlink(path.c_str());
        ::close(fd);
    }
}

} // namespace lex
