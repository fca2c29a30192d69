#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace lex::test {
namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path &path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Everything the child needs is prepared before fork(): after it only async-signal-safe calls.
[[noreturn]] void execChild(const char *program, char **argv, char **envp, int in, int out, int err,
                            const ChildOptions &o) {
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        ::signal(sig, SIG_DFL);
    if (o.defaultFileSizeSignal)
        ::signal(SIGXFSZ, SIG_DFL);
    if (o.fileSizeLimit) {
        struct rlimit r {
            rlim_t(*o.fileSizeLimit), rlim_t(*o.fileSizeLimit)
        };
        ::setrlimit(RLIMIT_FSIZE, &r);
    }
    if (o.addressLimit) {
        struct rlimit r {
            rlim_t(*o.addressLimit), rlim_t(*o.addressLimit)
        };
        ::setrlimit(RLIMIT_AS, &r);
    }
    if (!o.workDir.empty() && ::chdir(o.workDir.c_str()) != 0)
        ::_exit(126);
    if (o.user && (::setgid(gid_t(*o.user)) != 0 || ::setuid(*o.user) != 0))
        ::_exit(126);
    ::execve(program, argv, envp);
    ::_exit(127);
}

} // namespace

ChildProcess::ChildProcess(const fs::path &program, const std::vector<std::string> &args,
                           const ChildOptions &options) {
    std::string tmpl = (fs::temp_directory_path() / "lexchild.XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    m_dir = tmpl;
    m_outPath = options.stdoutPath.empty() ? m_dir / "out" : options.stdoutPath;
    m_errPath = m_dir / "err";

    std::vector<std::string> argStore{program.string()};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // The caller's environment, an entry of `options.env` replacing one of the same name.
    std::vector<std::string> envStore;
    auto name = [](const std::string &e) { return e.substr(0, e.find('=') + 1); };
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const auto &extra : options.env)
            replaced = replaced || name(extra) == name(entry);
        if (!replaced)
            envStore.push_back(entry);
    }
    envStore.insert(envStore.end(), options.env.begin(), options.env.end());
    std::vector<char *> envp;
    for (auto &e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const fs::path inPath = options.stdinPath.empty() ? fs::path("/dev/null") : options.stdinPath;
    int in = ::open(inPath.c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open(m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int err = ::open(m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || out < 0 || err < 0)
        throw std::runtime_error("cannot open the child's standard files");
    if (options.user) {
        ::fchown(out, *options.user, gid_t(*options.user));
        ::fchown(err, *options.user, gid_t(*options.user));
    }
    m_pid = ::fork();
    if (m_pid == 0)
        execChild(argStore[0].c_str(), argv.data(), envp.data(), in, out, err, options);
    ::close(in);
    ::close(out);
    ::close(err);
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &m_status, 0);
    }
    std::error_code ec;
    fs::remove_all(m_dir, ec);
}

bool ChildProcess::running() {
    if (m_reaped)
        return false;
    pid_t r = ::waitpid(m_pid, &m_status, WNOHANG);
    if (r == m_pid)
        m_reaped = true;
    return !m_reaped;
}

bool ChildProcess::waitUntilCatching(int signal, std::chrono::milliseconds timeout) const {
    const std::string status = "/proc/" + std::to_string(m_pid) + "/status";
    return pollUntil(
        [&] {
            std::ifstream f(status);
            std::string line;
            while (std::getline(f, line)) {
                if (line.rfind("SigCgt:", 0) == 0) {
                    unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
                    return (mask >> (signal - 1) & 1) != 0;
                }
            }
            return false;
        },
        timeout);
}

void ChildProcess::signal(int signal) const {
    ::kill(m_pid, signal);
}

ChildResult ChildProcess::wait(std::chrono::milliseconds timeout) {
    ChildResult r;
    if (!pollUntil([&] { return !running(); }, timeout)) {
        r.timedOut = true;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &m_status, 0);
        m_reaped = true;
    }
    if (WIFEXITED(m_status))
        r.exitCode = WEXITSTATUS(m_status);
    else if (WIFSIGNALED(m_status))
        r.termSignal = WTERMSIG(m_status);
    if (m_outPath.parent_path() == m_dir)
        r.out = slurp(m_outPath);
    r.err = slurp(m_errPath);
    return r;
}

ChildResult runChild(const fs::path &program, const std::vector<std::string> &args,
                     const ChildOptions &options, std::chrono::milliseconds timeout) {
    ChildProcess child(program, args, options);
    return child.wait(timeout);
}

} // namespace lex::test
