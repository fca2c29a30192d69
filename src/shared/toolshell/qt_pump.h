#pragma once
// The event pump of a window. A yield point in a tight loop is a countdown; every few calls the
// pump looks at a coarse clock and, when 15 ms have passed, moves the progress bar and processes
// pending events (repaints, the stop button). It reports a stop once the form's busy state asks
// for one.

#include "shared/lexcore/event_pump.h"
#include "shared/toolshell/busy_state.h"

#include <QtGlobal>

class QProgressBar;

namespace lex {

class QtPump : public EventPump {
public:
    explicit QtPump(const BusyState *busy = nullptr) : EventPump(16), m_busy(busy) {}

    // A bar (range 0..1000) that follows setProgress(); nullptr for none.
    void setProgressBar(QProgressBar *bar) { m_bar = bar; }

protected:
    bool poll() override;

private:
    const BusyState *m_busy;
    QProgressBar *m_bar = nullptr;
    qint64 m_lastEvents = 0;
};

} // namespace lex
