#pragma once
// The busy state of a working form: idle, busy (an operation or a load of data files runs;
// closing is refused), or a stop requested by the form's stop button, which the running
// operation reads at its next yield point.

namespace lex {

enum class BusyState { Idle = 0, Busy = 1, StopRequested = 2 };

} // namespace lex
