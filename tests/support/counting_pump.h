#pragma once
// A pump for tests: requests the stop at the n-th call of yield() (1-based); counts every call.

#include "shared/lexcore/event_pump.h"

#include <cstdint>

namespace lex::test {

class CountingPump : public EventPump {
public:
    explicit CountingPump(int64_t stopAt = -1) : EventPump(1), m_stopAt(stopAt) {}
    int64_t calls() const { return m_calls; }

protected:
    bool poll() override { return ++m_calls == m_stopAt; }

private:
    int64_t m_stopAt;
    int64_t m_calls = 0;
};

} // namespace lex::test
