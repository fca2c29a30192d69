#include "shared/lexcore/run_path.h"

#include "shared/lexcore/spill.h"

namespace lex {

RunPath choosePath(const RunContext &context, const DistinctRun &run) {
    if (!context.fitsInMemory(tableBytesFor(run.inputs)))
        return RunPath::Partitions;
    if (run.plainGbk && plainGbkRun(context, run.inputs))
        return RunPath::PlainGbk;
    return RunPath::EntrySet;
}

} // namespace lex
