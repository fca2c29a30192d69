#pragma once
// Interrupts and the writer's temporary files.
//
// A batch run (lexcli) turns SIGINT, SIGTERM and SIGHUP into a process-wide interrupt flag
// that the run checks where it can stop cheaply: at yield points, between the reader's and the
// writer's chunks, and at the commit point, where a finished output is renamed into place
// (commitRename). An interrupt that comes before the commit point stops the run and leaves the
// old output; from the commit point on the run is done: later interrupts are held (noted, but
// they neither stop the run nor remove files) until the run ends, so that its exit status
// agrees with the files it leaves. Before the commit point a second signal ends the process at
// once. Windowed programs keep their stop buttons; for them a terminating signal keeps its
// default action. Either way the handler removes the temporary files being written first.
//
// SIGXFSZ is ignored in both, so that a file-size limit makes write() fail with EFBIG and the
// run report "文件太大" instead of the process dying silently.

#include <csignal>
#include <exception>
#include <functional>
#include <string>

namespace lex {

// Thrown where a batch run notices an interrupt; what() is "中断！".
class Interrupted : public std::exception {
public:
    explicit Interrupted(int signal) : m_signal(signal) {}
    int signal() const { return m_signal; }
    const char *what() const noexcept override { return "中断！"; }

private:
    int m_signal;
};

// lexcli: SIGINT, SIGTERM and SIGHUP raise the interrupt flag; a second one removes the
// temporary files, prints "中断！" and exits with 128 + the signal.
void installInterruptHandlers();
// The windows: those signals end the program as before, but remove the temporary files first.
void installTemporaryFileCleanup();

// The signal of a pending interrupt, or 0 (also while interrupts are held).
int pendingInterrupt();
// Throws Interrupted when an interrupt is pending.
void checkInterrupt();
// Raises the flag as the handler does (tests, and callers that stop a run themselves; once an
// output is committed the interrupt is held instead), or clears everything with 0: no pending
// interrupt, none held, and interrupts abort again.
void setPendingInterrupt(int signal);

// The commit point of a run: renames the finished output `from` over `to` with the interrupt
// signals blocked, unless an interrupt came first (then it throws Interrupted and nothing is
// renamed). Once the rename has happened, interrupts are held for the rest of the run. Returns
// 0, or the errno of a rename that failed (then nothing is held that was not held before, and
// an interrupt that came meanwhile is pending again).
int commitRename(const char *from, const char *to);
// The same commit point for a run whose last step is not a rename (a database transaction):
// runs commit() with the interrupt signals blocked, unless an interrupt came first (then it
// throws Interrupted and commit() does not run). Once commit() has returned, interrupts are
// held for the rest of the run; when it throws, nothing is held that was not held before.
void commitPoint(const std::function<void()> &commit);
// A test hook: with the environment variable `variable` naming a folder, creates the file
// `point` in it and waits until the test has removed it (half a minute at most); nothing
// otherwise.
void pauseAtTestPoint(const char *variable, const char *point);

// True from a run's first commit on.
bool interruptsHeld();
// The first signal that came while interrupts were held, or 0.
int heldInterrupt();
// A new run of the same process commits afresh: interrupts abort again and a held one is
// forgotten; a pending one stays pending.
void releaseHeldInterrupts();

// The temporary files being written, so that a signal handler can remove them. Registration
// holds a copy of the path; slots are few, and a path that finds none is simply not removed
// by a handler.
int registerTemporaryFile(const std::string &path);
void unregisterTemporaryFile(int slot);
// Removes every registered temporary file (async-signal-safe: for handlers and for a program
// that is about to end abnormally).
void removeTemporaryFiles();

// Blocks SIGINT, SIGTERM and SIGHUP for its lifetime: no handler runs in between.
class InterruptBlock {
public:
    InterruptBlock();
    ~InterruptBlock();
    InterruptBlock(const InterruptBlock &) = delete;
    InterruptBlock &operator=(const InterruptBlock &) = delete;

private:
    sigset_t m_old;
};

} // namespace lex
