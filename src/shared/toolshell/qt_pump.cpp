#include "shared/toolshell/qt_pump.h"

#include <QCoreApplication>
#include <QProgressBar>

#include <ctime>

namespace lex {
namespace {

// Milliseconds of the coarse monotonic clock: a read costs a few nanoseconds.
qint64 coarseMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

bool QtPump::poll() {
    const qint64 now = coarseMilliseconds();
    if (now - m_lastEvents >= 15) {
        m_lastEvents = now;
        if (m_bar && progressTotal() > 0)
            m_bar->setValue(int(progressDone() * 1000 / progressTotal()));
        QCoreApplication::processEvents();
    }
    return m_busy && *m_busy == BusyState::StopRequested;
}

} // namespace lex
