#pragma once
// Work cut into chunks that share nothing, done on this thread and one helper thread: sort keys
// of disjoint lines, sorts of disjoint buckets. Only this thread touches the pump (the window,
// an interrupt); the helper gets a NullPump. The helper may start on the first chunks while
// the rest are still being read; whatever this thread hands on (the output, written in order)
// never waits for all chunks: each one is handed on as soon as it and those before it are done.

#include "shared/lexcore/event_pump.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lex::lexsort {

class ChunkTeam {
public:
    // work(c, pump, worker) works chunk c; worker is 0 on this thread, 1 on the helper.
    using Work = std::function<void(size_t, EventPump &, int)>;

    // With `helper` false no thread is started and finish() does all the work.
    ChunkTeam(Work work, bool helper) : m_work(std::move(work)) {
        if (helper)
            m_thread = std::thread([this] { helperLoop(); });
    }
    // Stops the helper after its current chunk.
    ~ChunkTeam() { stop(); }
    ChunkTeam(const ChunkTeam &) = delete;
    ChunkTeam &operator=(const ChunkTeam &) = delete;

    // Chunks 0..ready-1 may be worked now.
    void publish(size_t ready) {
        m_ready.store(ready);
        // Both sides use sequentially consistent order: either the helper sees the new count
        // before it sleeps, or this sees it asleep and wakes it.
        if (m_waiting.load())
            wake();
    }

    // Held by the helper while it works a chunk: whoever moves the chunks' data takes it.
    std::mutex &workLock() { return m_workLock; }

    // The chunks are 0..count-1: works those left here and on the helper. done(c) runs here in
    // chunk order, once chunks 0..c are all worked, until one call returns false. A failure of
    // the helper stops this thread after its current chunk and is rethrown.
    template <class Done> void finish(size_t count, EventPump &pump, const Done &done) {
        {
            const std::lock_guard lock(m_state);
            m_count = count;
            m_ended = true;
            m_changed.notify_all();
        }
        size_t handed = 0;
        bool handing = true;
        auto handOn = [&] {
            while (handing && handed < count && worked(handed))
                handing = done(handed++);
        };
        for (size_t c; !m_stop.load() && (c = m_next.fetch_add(1)) < count;) {
            m_work(c, pump, 0);
            markWorked(c);
            handOn();
        }
        // Every chunk is claimed; the helper finishes its last ones while the window keeps its
        // events.
        while (m_thread.joinable() && !m_finished.load()) {
            handOn();
            pump.yield();
            std::unique_lock lock(m_state);
            m_changed.wait_for(lock, std::chrono::milliseconds(1), [&] {
                return m_finished.load() ||
                       (handing && handed < m_worked.size() && m_worked[handed]);
            });
        }
        stop();
        if (m_error)
            std::rethrow_exception(m_error);
        handOn();
    }

private:
    void helperLoop() {
        NullPump quiet;
        try {
            for (;;) {
                const size_t c = m_next.fetch_add(1);
                {
                    std::unique_lock lock(m_state);
                    m_waiting.store(true);
                    m_changed.wait(lock,
                                   [&] { return m_stop.load() || m_ended || m_ready.load() > c; });
                    m_waiting.store(false);
                    if (m_stop.load() || (m_ended && c >= m_count))
                        break;
                }
                {
                    const std::lock_guard work(m_workLock);
                    m_work(c, quiet, 1);
                }
                markWorked(c);
            }
        } catch (...) {
            m_error = std::current_exception();
            m_stop.store(true);
        }
        m_finished.store(true);
        wake();
    }

    void wake() {
        const std::lock_guard lock(m_state);
        m_changed.notify_all();
    }
    void markWorked(size_t c) {
        const std::lock_guard lock(m_state);
        if (m_worked.size() <= c)
            m_worked.resize(c + 1, 0);
        m_worked[c] = 1;
        m_changed.notify_all();
    }
    bool worked(size_t c) {
        const std::lock_guard lock(m_state);
        return c < m_worked.size() && m_worked[c];
    }
    void stop() {
        m_stop.store(true);
        wake();
        if (m_thread.joinable())
            m_thread.join();
    }

    Work m_work;
    std::atomic<size_t> m_next{0};  // the next chunk to claim
    std::atomic<size_t> m_ready{0}; // chunks published
    std::atomic<bool> m_waiting{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false}; // the helper has left its loop
    std::exception_ptr m_error;
    std::mutex m_workLock;
    std::mutex m_state; // guards what follows, and the waits
    std::condition_variable m_changed;
    bool m_ended = false;
    size_t m_count = 0;
    std::vector<char> m_worked;
    std::thread m_thread; // last: started once everything above exists
};

// Runs work(c, pump, worker) for every chunk c in 0..count-1 on this thread and, when `helper`
// is set and there are two chunks or more, the helper; done(c) as for ChunkTeam::finish.
template <class Work, class Done>
void runChunks(size_t count, bool helper, const Work &work, const Done &done, EventPump &pump) {
    ChunkTeam team(std::cref(work), helper && count > 1);
    team.publish(count);
    team.finish(count, pump, done);
}

} // namespace lex::lexsort
