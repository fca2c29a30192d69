#pragma once
// The yield points of long loops. Engines call yield() where the window must get a chance to
// repaint and a stop button a chance to be pressed; yield() returns true once a stop was
// requested. The fast path is a countdown, so a yield point costs nanoseconds: the pump is
// only polled (events processed, Ctrl-C checked) every `interval` calls.
//
// The pump also carries the run context of the operation it serves (run_context.h): the frame
// that owns the pump sets it before the operation, and the engines read it from there.

#include "shared/lexcore/run_context.h"

#include <cstdint>
#include <string>
#include <utility>

namespace lex {

class EventPump {
public:
    explicit EventPump(int interval = 256) : m_interval(interval > 0 ? interval : 1) {}
    virtual ~EventPump() = default;

    bool yield() {
        if (--m_countdown > 0)
            return m_stop;
        m_countdown = m_interval;
        m_stop = poll() || m_stop;
        return m_stop;
    }

    // As `count` calls of yield(); returns how many of them ran before one returned true,
    // or -1 when none did.
    int64_t yieldMany(int64_t count);
    // A yield that polls whatever the countdown says: for loops that wait rather than work,
    // where calls come seldom.
    bool yieldNow() {
        m_countdown = 1;
        return yield();
    }

    bool stopRequested() const { return m_stop; }
    void resetStop() { m_stop = false; }

    // Progress of the running operation, read by the pump when it polls.
    void setProgress(int64_t done, int64_t total) {
        m_done = done;
        m_total = total;
    }
    // The phase of a run that goes through temporary files ("读取", "分区 2/8", "合并"), shown
    // before the progress; empty for none.
    void setPhase(std::string phase) { m_phase = std::move(phase); }
    const std::string &phase() const { return m_phase; }
    int64_t progressDone() const { return m_done; }
    int64_t progressTotal() const { return m_total; }

    // The run context of the operation (the windows' plain one unless the frame set another).
    RunContext &context() { return m_context; }
    const RunContext &context() const { return m_context; }
    void setContext(RunContext context) { m_context = std::move(context); }

protected:
    // Processes pending events; returns true when a stop was requested meanwhile.
    virtual bool poll() { return false; }

private:
    int m_interval;
    int m_countdown = 1;
    bool m_stop = false;
    int64_t m_done = 0;
    int64_t m_total = 0;
    std::string m_phase;
    RunContext m_context;
};

// A pump that never stops and processes nothing (batch runs, tests).
class NullPump : public EventPump {
public:
    NullPump() : EventPump(1 << 30) {}
};

} // namespace lex
