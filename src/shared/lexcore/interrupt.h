#pragma once
// Interrupts and the writer's temporary files.
//
// A batch run (lexcli) turns SIGINT, SIGTERM and SIGHUP into a process-wide interrupt flag
// that the run checks where it can stop cheaply: at yield points, between the reader's and the
// writer's chunks, and right before the writer renames its temporary file over the output
// (the check and the rename happen with the signals blocked, so an interrupt either comes in
// time and nothing is replaced, or comes too late to matter). A second signal ends the process
// at once. Windowed programs keep their stop buttons; for them a terminating signal keeps its
// default action. Either way the handler removes the temporary file being written first.
//
// SIGXFSZ is ignored in both, so that a file-size limit makes write() fail with EFBIG and the
// run report "文件太大" instead of the process dying silently.

#include <csignal>
#include <exception>
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

// The signal of a pending interrupt, or 0.
int pendingInterrupt();
// Throws Interrupted when an interrupt is pending.
void checkInterrupt();
// Raises the flag as the handler does (tests, and callers that stop a run themselves), or
// clears it with 0.
void setPendingInterrupt(int signal);

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

// Notices for the user that are no failures (a file read in a way the user may not expect):
// lexcli prints them on standard error; the windows install no sink and show nothing, so that
// their message boxes stay exactly the ones their forms define.
using NoticeSink = void (*)(void *context, const std::string &text);
void setNoticeSink(NoticeSink sink, void *context);
void notice(const std::string &text);

} // namespace lex
