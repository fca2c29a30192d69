#include "shared/lexcore/event_pump.h"

namespace lex {

int64_t EventPump::yieldMany(int64_t count) {
    int64_t done = 0;
    while (done < count) {
        if (m_stop)
            return done;
        // Skip the calls that would only count down.
        int64_t skip = m_countdown - 1;
        if (skip > count - done - 1)
            skip = count - done - 1;
        if (skip > 0) {
            m_countdown -= int(skip);
            done += skip;
        }
        if (yield())
            return done;
        ++done;
    }
    return -1;
}

} // namespace lex
