#include "shared/lexcore/interrupt.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <unistd.h>

namespace lex {
namespace {

// One word for the whole state, so that a handler on any thread and the commit point agree
// without locks: 0 nothing came, a positive value the pending signal, kHeld from the commit
// point on, and kHeld - S once signal S came after it.
constexpr int kHeld = -1;
std::atomic<int> g_interrupt{0};

bool isHeld(int state) {
    return state <= kHeld;
}

enum class Raised { First, Again, Held };

// Notes `sig` as the handler does, without its side effects.
Raised raiseInterrupt(int sig) {
    int state = g_interrupt.load();
    for (;;) {
        if (isHeld(state)) {
            // The first signal after the commit point is the one kept.
            if (state != kHeld || g_interrupt.compare_exchange_weak(state, kHeld - sig))
                return Raised::Held;
            continue;
        }
        if (state > 0) {
            g_interrupt.store(sig);
            return Raised::Again;
        }
        if (g_interrupt.compare_exchange_weak(state, sig))
            return Raised::First;
    }
}

// Slots for the temporary files: a state word and a fixed buffer each, because a signal
// handler may neither allocate nor take locks. A writer fills the path before it publishes
// the slot, and the handler reads only published slots.
constexpr int kSlots = 8;
constexpr size_t kPathMax = 4096;
enum SlotState : int { kFree, kFilling, kUsed };
std::atomic<int> g_state[kSlots];
char g_paths[kSlots][kPathMax];

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs lock-free atomics");

void onInterrupt(int sig) {
    const int saved = errno;
    const Raised raised = raiseInterrupt(sig);
    // Once the output is in place, the files being written are those of a run that is done.
    if (raised != Raised::Held)
        removeTemporaryFiles();
    if (raised == Raised::Again) {
        // The second signal: the run did not stop in time (or the user insists).
        static const char text[] = "中断！\n";
        [[maybe_unused]] ssize_t n = ::write(2, text, sizeof text - 1);
        ::_exit(128 + sig);
    }
    errno = saved;
}

void onTerminate(int sig) {
    removeTemporaryFiles();
    // SA_RESETHAND restored the default action: the signal ends the program once we return.
    ::raise(sig);
}

void install(void (*handler)(int), int flags) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sa.sa_flags = flags;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&sa.sa_mask, sig);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    ::signal(SIGXFSZ, SIG_IGN);
}

} // namespace

void removeTemporaryFiles() {
    for (int i = 0; i < kSlots; ++i)
        if (g_state[i].load(std::memory_order_acquire) == kUsed)
            ::unlink(g_paths[i]);
}

void installInterruptHandlers() {
    install(onInterrupt, 0);
}

void installTemporaryFileCleanup() {
    install(onTerminate, SA_RESETHAND);
}

int pendingInterrupt() {
    return std::max(g_interrupt.load(std::memory_order_relaxed), 0);
}

void checkInterrupt() {
    if (int sig = pendingInterrupt())
        throw Interrupted(sig);
}

void setPendingInterrupt(int signal) {
    if (signal == 0)
        g_interrupt.store(0);
    else
        raiseInterrupt(signal);
}

bool interruptsHeld() {
    return isHeld(g_interrupt.load());
}

int heldInterrupt() {
    const int state = g_interrupt.load();
    return state < kHeld ? kHeld - state : 0;
}

void releaseHeldInterrupts() {
    int state = g_interrupt.load();
    while (isHeld(state) && !g_interrupt.compare_exchange_weak(state, 0)) {
    }
}

void pauseAtTestPoint(const char *variable, const char *point) {
    const char *const dir = std::getenv(variable);
    if (!dir || !*dir)
        return;
    const std::string marker = std::string(dir) + "/" + point;
    const int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    ::close(fd);
    for (int ms = 0; ms < 30'000 && ::access(marker.c_str(), F_OK) == 0; ++ms) {
        struct timespec wait {
            0, 1'000'000
        };
        ::nanosleep(&wait, nullptr);
    }
}

namespace {

// Tests stop a run just before and just after its commit point, to signal it there: with
// LEXCORE_TEST_COMMIT_PAUSE naming a folder, the run creates "before" (signals still reach it)
// and "after" (the commit done, signals still blocked) in it.
void pauseForTest(const char *point) {
    pauseAtTestPoint("LEXCORE_TEST_COMMIT_PAUSE", point);
}

} // namespace

void commitPoint(const std::function<void()> &commit) {
    pauseForTest("before");
    InterruptBlock block;
    // From here on a signal, on whatever thread it lands, is held; one that came first stops
    // the commit.
    int state = 0;
    if (!g_interrupt.compare_exchange_strong(state, kHeld) && !isHeld(state))
        throw Interrupted(state);
    const bool heldBefore = isHeld(state);
    try {
        commit();
    } catch (...) {
        if (!heldBefore) {
            // Nothing is in place after all: a signal that came meanwhile is pending again.
            int now = g_interrupt.load();
            while (!g_interrupt.compare_exchange_weak(now, now == kHeld ? 0 : kHeld - now)) {
            }
        }
        throw;
    }
    pauseForTest("after");
}

int commitRename(const char *from, const char *to) {
    struct RenameFailed {};
    int err = 0;
    try {
        commitPoint([&] {
            if (::rename(from, to) != 0) {
                err = errno;
                throw RenameFailed{};
            }
        });
    } catch (const RenameFailed &) {
        return err;
    }
    return 0;
}

int registerTemporaryFile(const std::string &path) {
    if (path.size() >= kPathMax)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (g_state[i].compare_exchange_strong(expected, kFilling)) {
            std::memcpy(g_paths[i], path.c_str(), path.size() + 1);
            g_state[i].store(kUsed, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void unregisterTemporaryFile(int slot) {
    if (slot >= 0 && slot < kSlots)
        g_state[slot].store(kFree, std::memory_order_release);
}

InterruptBlock::InterruptBlock() {
    sigset_t block;
    sigemptyset(&block);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&block, sig);
    ::pthread_sigmask(SIG_BLOCK, &block, &m_old);
}

InterruptBlock::~InterruptBlock() {
    ::pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
}

} // namespace lex
