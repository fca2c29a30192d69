#include "lexcli/input_staging.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lex::cli {
namespace fs = std::filesystem;

namespace {

constexpr const char *kStagedPrefix = ".lex-in~";

// A stream: standard input ("-", /dev/stdin) or a descriptor of this process that is not a
// regular file (/dev/fd/N, /proc/self/fd/N: what process substitution gives). A named FIFO or a
// device given by its own path is not one: it stays the engine's to refuse, as a file that has no
// end or may never get a writer.
bool isStream(const std::string &arg) {
    if (arg == "-")
        return true;
    const bool descriptor = arg == "/dev/stdin" || descriptorNamedBy(arg) >= 0;
    struct stat st {};
    return descriptor && ::stat(arg.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
           !S_ISDIR(st.st_mode);
}

std::string readAll(const std::string &arg) {
    const int fd =
        arg == "-" ? ::fcntl(0, F_DUPFD_CLOEXEC, 3) : ::open(arg.c_str(), O_RDONLY | O_CLOEXEC);
    const std::string name = arg == "-" ? std::string("标准输入") : arg;
    if (fd < 0)
        failOpen(name, errno);
    Fd f(fd);
    std::string bytes;
    char buf[1 << 16];
    for (size_t n; (n = readChunk(f, name, buf, sizeof buf)) > 0;)
        bytes.append(buf, n);
    return bytes;
}

// The bytes of `bytes` read as `encoding`, with a mark that no reader can mistake.
std::string marked(const std::string &bytes, LexiconEncoding encoding) {
    switch (encoding) {
    case LexiconEncoding::Utf8:
        return bytes.starts_with("\xEF\xBB\xBF") ? bytes : "\xEF\xBB\xBF" + bytes;
    case LexiconEncoding::Utf16Le:
        return bytes.starts_with("\xFF\xFE") ? bytes : "\xFF\xFE" + bytes;
    case LexiconEncoding::Ansi936:
        break;
    }
    return "\xEF\xBB\xBF" + toUtf8(decode936(bytes));
}

} // namespace

std::string InputStaging::stage(const std::string &arg, RunContext &run, bool first) {
    const bool stream = isStream(arg);
    if (!stream && (!m_forced || !fileExists(arg))) {
        // As it is; a missing input is the engine's to report.
        if (first)
            run.setFirstInput(arg);
        m_inputs.push_back({arg, arg});
        return arg;
    }
    std::string bytes = readAll(arg);
    if (m_forced) {
        bytes = marked(bytes, *m_forced);
        // Staged as UTF-8, an input named code page 936 or UTF-16 still gives the outputs of
        // those (code page 936 with CR LF).
        if (first && *m_forced != LexiconEncoding::Utf8)
            run.setFirstInputFormat(TextFormat::gbk());
    }
    if (m_staged.empty())
        removeStaleTemporaries(m_folder, kStagedPrefix);
    TemporaryFile file = TemporaryFile::beside(m_folder / "input", kStagedPrefix, arg);
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(file.fd(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failTemporary(m_folder, errno);
        done += size_t(n);
    }
    const std::string path = file.path();
    if (first)
        run.setFirstInput(path);
    const std::string name = arg == "-" ? std::string("标准输入") : arg;
    m_staged.push_back({std::move(file), name});
    m_inputs.push_back({path, name});
    return path;
}

std::string InputStaging::named(std::string text) const {
    for (const Staged &s : m_staged) {
        const std::string &path = s.file.path();
        const std::string &arg = s.arg;
        for (size_t at = text.find(path); at != std::string::npos;
             at = text.find(path, at + arg.size()))
            text.replace(at, path.size(), arg);
    }
    return text;
}

} // namespace lex::cli
