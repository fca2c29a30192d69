#pragma once
// The one chooser of how an operation that keeps the distinct lines of its lexicons runs
// (duplicate removal, the set operations, the update, ...), for every engine:
//  - through partitions in temporary files (spill.h) when holding its lines would pass its
//    run's memory bound;
//  - as the bytes of plain code page 936 lines (byte_lines.h) when the engine has that path, no
//    capacity is set (the windows keep the entry set, whose capacity and stop requests they
//    show) and every input that exists reads as code page 936;
//  - else in memory through the entry set, as the windows run it.
// The outputs are the same bytes on every path; only memory and time differ.

#include "shared/lexcore/byte_lines.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/run_context.h"
#include "shared/lexcore/spill.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <type_traits>
#include <vector>

namespace lex {

enum class RunPath { Partitions, PlainGbk, EntrySet };

// What an engine tells the chooser about a run.
struct DistinctRun {
    // The lexicons it reads; empty paths and missing files count for nothing.
    std::vector<std::filesystem::path> inputs;
    // Whether the engine has the plain code page 936 path for this run.
    bool plainGbk = false;
};

RunPath choosePath(const RunContext &context, const DistinctRun &run);

// No plain code page 936 path: runDistinct's `plain` for the engines without one.
struct NoPlainPath {};

// Runs partitions() or plain() when choosePath() says so, and returns its result; nullopt when the
// run goes through the entry set, the caller's own code after this call. A plain run that meets a
// line that is not plain code page 936 (NotPlainGbk) gives nullopt too, the pump's phase reset:
// the entry set's path reads and reports such files as it always has.
template <class Partitions, class Plain>
auto runOutsideEntrySet(EventPump &pump, const DistinctRun &run, Partitions partitions, Plain plain)
    -> std::optional<decltype(partitions())> {
    DistinctRun asked = run;
    asked.plainGbk = run.plainGbk && !std::is_same_v<Plain, NoPlainPath>;
    switch (choosePath(pump.context(), asked)) {
    case RunPath::Partitions:
        return partitions();
    case RunPath::PlainGbk:
        if constexpr (!std::is_same_v<Plain, NoPlainPath>) {
            try {
                return plain();
            } catch (const NotPlainGbk &) {
                pump.setPhase({});
            }
        }
        break;
    case RunPath::EntrySet:
        break;
    }
    return std::nullopt;
}

// The same with the entry set's path as entrySet().
template <class Partitions, class Plain, class EntrySet>
auto runDistinct(EventPump &pump, const DistinctRun &run, Partitions partitions, Plain plain,
                 EntrySet entrySet) -> decltype(entrySet()) {
    if (auto done = runOutsideEntrySet(pump, run, partitions, plain))
        return std::move(*done);
    return entrySet();
}

} // namespace lex
