#pragma once
// Work cut into chunks that share nothing, done on this thread and one helper thread: sort keys
// of disjoint lines, sorts of disjoint buckets. Only this thread touches the pump (the window,
// an interrupt); the helper gets a NullPump. Whatever this thread hands on (the output, written
// in order) never waits for all chunks: each one is handed on as soon as it and those before it
// are done.

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
    // work(c, pump, worker) works chunk c of 0..count-1; worker is 0 on this thread, 1 on the
    // helper, which is started when there are two chunks or more.
    using Work = std::function<void(size_t, EventPump &, int)>;

    ChunkTeam(size_t count, Work work)
        : m_count(count), m_work(std::move(work)), m_worked(count, 0) {
        if (count > 1)
            m_thread = std::thread([this] { helperLoop(); });
    }
    // Stops the helper after its current chunk.
    ~ChunkTeam() { stop(); }
    ChunkTeam(const ChunkTeam &) = delete;
    ChunkTeam &operator=(const ChunkTeam &) = delete;

    // Works the chunks here and on the helper. done(c) runs here in chunk order, once chunks 0..c
    // are all worked, until one call returns false. A failure of the helper stops this thread
    // after its current chunk and is rethrown.
    template <class Done> void finish(EventPump &pump, const Done &done) {
        size_t handed = 0;
        bool handing = true;
        auto handOn = [&] {
            while (handing && handed < m_count && worked(handed))
                handing = done(handed++);
        };
        for (size_t c; !m_stop.load() && (c = m_next.fetch_add(1)) < m_count;) {
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
                return m_finished.load() || (handing && handed < m_count && m_worked[handed]);
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
            for (size_t c; !m_stop.load() && (c = m_next.fetch_add(1)) < m_count;) {
                m_work(c, quiet, 1);
                markWorked(c);
            }
        } catch (...) {
            m_error = std::current_exception();
            m_stop.store(true);
        }
        m_finished.store(true);
        const std::lock_guard lock(m_state);
        m_changed.notify_all();
    }

    void markWorked(size_t c) {
        const std::lock_guard lock(m_state);
        m_worked[c] = 1;
        m_changed.notify_all();
    }
    bool worked(size_t c) {
        const std::lock_guard lock(m_state);
        return m_worked[c];
    }
    void stop() {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }

    const size_t m_count;
    Work m_work;
    std::atomic<size_t> m_next{0}; // the next chunk to claim
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false}; // the helper has left its loop
    std::exception_ptr m_error;          // the helper's failure, read once it has ended
    std::mutex m_state;                  // guards m_worked, and the waits
    std::condition_variable m_changed;
    std::vector<char> m_worked;
    std::thread m_thread; // last: started once everything above exists
};

// Runs work(c, pump, worker) for every chunk c in 0..count-1 on this thread and, when there are
// two chunks or more, the helper; done(c) as for ChunkTeam::finish.
template <class Work, class Done>
void runChunks(size_t count, const Work &work, const Done &done, EventPump &pump) {
    ChunkTeam team(count, std::cref(work));
    team.finish(pump, done);
}

} // namespace lex::lexsort
