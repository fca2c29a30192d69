#pragma once
// Runs a program as a child process, as a user or a script would: standard output and error
// into files, optional limits (file size, memory), another user, signals at chosen moments,
// and a bound on the time it may take.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <time.h>
#include <vector>

namespace lex::test {

struct ChildOptions {
    std::vector<std::string> env;      // extra NAME=value entries
    std::filesystem::path stdoutPath;  // default: a file of the child's own
    std::filesystem::path stdinPath;   // default: /dev/null
    std::optional<long> fileSizeLimit; // RLIMIT_FSIZE in bytes
    std::optional<long> addressLimit;  // RLIMIT_AS in bytes
    std::optional<uid_t> user;         // setgid/setuid before exec (needs root)
    bool defaultFileSizeSignal = true; // SIGXFSZ at its default action, as a shell leaves it
    std::filesystem::path workDir;     // default: the caller's
};

struct ChildResult {
    bool timedOut = false;
    int exitCode = -1;  // when it exited
    int termSignal = 0; // when a signal ended it
    std::string out, err;
};

class ChildProcess {
public:
    ChildProcess(const std::filesystem::path &program, const std::vector<std::string> &args,
                 const ChildOptions &options = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    pid_t pid() const { return m_pid; }
    // True once the child catches `signal` (its handler is installed), false after `timeout`.
    bool waitUntilCatching(int signal, std::chrono::milliseconds timeout) const;
    void signal(int signal) const;
    // Waits at most `timeout`; a child still running then is killed and reported as timed out.
    ChildResult wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));
    bool running();

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_status = 0;
    std::filesystem::path m_dir;
    std::filesystem::path m_outPath, m_errPath;
};

// Runs to the end (or the timeout) at once.
ChildResult runChild(const std::filesystem::path &program, const std::vector<std::string> &args,
                     const ChildOptions &options = {},
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));

// Polls `done` every millisecond; false when `timeout` passed first.
template <class Done> bool pollUntil(Done done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        struct timespec ms {
            0, 1000000
        };
        ::nanosleep(&ms, nullptr);
    }
    return true;
}

} // namespace lex::test
