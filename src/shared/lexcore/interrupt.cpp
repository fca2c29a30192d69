#include "shared/lexcore/interrupt.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace lex {
namespace {

std::atomic<int> g_interrupt{0};

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
    removeTemporaryFiles();
    if (g_interrupt.exchange(sig) != 0) {
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

NoticeSink g_sink = nullptr;
void *g_sinkContext = nullptr;

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
    return g_interrupt.load(std::memory_order_relaxed);
}

void checkInterrupt() {
    if (int sig = pendingInterrupt())
        throw Interrupted(sig);
}

void setPendingInterrupt(int signal) {
    g_interrupt.store(signal);
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

void setNoticeSink(NoticeSink sink, void *context) {
    g_sink = sink;
    g_sinkContext = context;
}

void notice(const std::string &text) {
    // Readers of two inputs may give their notices at once, each on its own thread.
    static std::mutex one;
    const std::lock_guard lock(one);
    if (g_sink)
        g_sink(g_sinkContext, text);
}

} // namespace lex
