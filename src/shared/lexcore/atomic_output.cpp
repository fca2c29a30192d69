#include "shared/lexcore/atomic_output.h"

#include "shared/lexcore/file_io.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/run_context.h"
#include "shared/lexcore/temporary_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace lex {
namespace fs = std::filesystem;

namespace {

// The names of the temporary files beside outputs.
constexpr const char *kTemporaryPrefix = ".lex~";

// Big writes go out in chunks, so that an interrupt is noticed within one of them.
constexpr size_t kWriteChunk = size_t(4) << 20;

void writeAll(int fd, const fs::path &path, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        checkInterrupt();
        const size_t n = std::min(kWriteChunk, bytes.size() - done);
        ssize_t wrote = ::write(fd, bytes.data() + done, n);
        if (wrote < 0) {
            if (errno == EINTR)
                continue;
            failWrite(path, errno);
        }
        done += size_t(wrote);
    }
}

// The file an output path stands for: symlinks in its last component are followed, so that
// the link stays and its target is replaced. A target that does not exist yet is created.
fs::path followLinks(const fs::path &path) {
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return p;
        std::string target(size_t(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t n = ::readlink(p.c_str(), target.data(), target.size());
        if (n < 0)
            failWrite(path, errno);
        target.resize(size_t(n));
        p = target.starts_with('/') ? fs::path(target) : p.parent_path() / target;
    }
    failWrite(path, ELOOP);
}

// The open descriptor that `path` names: "-" is standard output; /dev/stdout, /dev/stderr,
// /dev/fd/N and /proc/self/fd/N name descriptors of this process. -1 for every other path.
int namedDescriptor(const fs::path &path) {
    const std::string p = path.string();
    if (p == "-" || p == "/dev/stdout")
        return 1;
    if (p == "/dev/stderr")
        return 2;
    return descriptorNamedBy(path);
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

// Where an output goes while it is written: a temporary file beside it, or the device itself.
struct AtomicOutput::Target {
    fs::path path; // as given, for messages
    fs::path target;
    fs::path dir;
    std::optional<TemporaryFile> tmp;
    Fd direct{-1};
    size_t written = 0;
};

AtomicOutput::AtomicOutput(const fs::path &path, RunContext *run) {
    if (path.empty())
        throw LexError("没有指定输出文件", path);
    checkInterrupt();
    m_t = std::make_unique<Target>();
    m_t->path = path;
    // A descriptor this process already has ("-", /dev/stdout, /dev/fd/N) is written where it
    // stands, whatever it leads to: `>> log` appends, and no file is renamed over the one the
    // shell opened.
    if (const int fd = namedDescriptor(path); fd >= 0) {
        m_t->direct.fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (m_t->direct.fd < 0)
            failWrite(path, errno == EBADF ? EBADF : errno);
        if (fd == 1 && run)
            run->noteStandardOutputTaken();
        return;
    }
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        failWrite(path, errno);
    if (exists) {
        if (S_ISDIR(st.st_mode))
            failWrite(path, EISDIR);
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
            // A character device (/dev/null, a terminal) or a pipe is written as it is: there is
            // nothing to replace, and replacing it by a regular file would be wrong (as root,
            // fatal for /dev/null). A FIFO that nobody reads is refused instead of waiting for
            // a reader forever.
            Fd &f = m_t->direct;
            f.fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
            if (f.fd < 0) {
                if (errno == ENXIO)
                    throw LexError("无法写入文件：" + pathText(path) + "（管道没有读取端）", path);
                failWrite(path, errno);
            }
            struct stat opened {};
            if (::fstat(f.fd, &opened) != 0)
                failWrite(path, errno);
            if (!S_ISCHR(opened.st_mode) && !S_ISFIFO(opened.st_mode))
                throw LexError("不能写入特殊文件：" + pathText(path), path);
            ::fcntl(f.fd, F_SETFL, ::fcntl(f.fd, F_GETFL) & ~O_NONBLOCK);
            return;
        }
        if (!S_ISREG(st.st_mode))
            throw LexError("不能写入特殊文件：" + pathText(path), path);
    }
    m_t->target = followLinks(path);
    if (exists && st.st_nlink > 1 && run)
        run->notice("注意：" + pathText(path) +
                    " 还有其它硬链接；它换成了新文件，其它链接仍是原来的内容。");
    m_t->dir = m_t->target.parent_path();
    if (m_t->dir.empty())
        m_t->dir = ".";
    // What a killed run left beside its output goes before this run adds its own.
    removeStaleTemporaries(m_t->dir, kTemporaryPrefix);
    TemporaryFile &tmp =
        m_t->tmp.emplace(TemporaryFile::beside(m_t->target, kTemporaryPrefix, path));
    // The new file takes the place of the old one: same owner and group where the system lets
    // us (root, or a group of our own), same mode.
    if (exists && ::fchown(tmp.fd(), st.st_uid, st.st_gid) != 0 &&
        ::fchown(tmp.fd(), uid_t(-1), st.st_gid) != 0) {
        // Neither: the new file is ours, as any file we create.
    }
    if (::fchmod(tmp.fd(), exists ? st.st_mode & 07777 : newFileMode()) != 0)
        failWrite(path, errno);
}

AtomicOutput::~AtomicOutput() = default;

void AtomicOutput::write(std::string_view bytes) {
    if (!m_t->tmp) {
        writeAll(m_t->direct.fd, m_t->path, bytes);
        return;
    }
    const int fd = m_t->tmp->fd();
    writeAll(fd, m_t->path, bytes);
    // Start writing this part to disk now, while the rest is computed: the flush before the
    // rename then waits only for the last part. (A hint: failures show at that flush.)
    ::sync_file_range(fd, off64_t(m_t->written), off64_t(bytes.size()), SYNC_FILE_RANGE_WRITE);
    m_t->written += bytes.size();
}

void AtomicOutput::sync() {
    if (!m_t->tmp)
        return;
    while (::fsync(m_t->tmp->fd()) != 0)
        if (errno != EINTR)
            failWrite(m_t->path, errno);
}

void AtomicOutput::commit() {
    if (!m_t->tmp) {
        const int fd = std::exchange(m_t->direct.fd, -1);
        if (::close(fd) != 0)
            failWrite(m_t->path, errno);
        return;
    }
    TemporaryFile &tmp = *m_t->tmp;
    // On disk before it replaces anything: after a crash the output is the old or the new file,
    // never an empty one.
    sync();
    tmp.close();
    tmp.renameTo(m_t->target);
    // The rename itself reaches the disk with the folder; it has happened either way, so a
    // folder that cannot be synced is no failure of the write.
    Fd folder{::open(m_t->dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (folder.fd >= 0)
        ::fsync(folder.fd);
}

bool isWrittenInPlace(const fs::path &path) {
    if (namedDescriptor(path) >= 0)
        return true;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

void writeFileAtomically(const fs::path &path, std::string_view bytes, RunContext *run) {
    AtomicOutput out(path, run);
    out.write(bytes);
    out.commit();
}

} // namespace lex
