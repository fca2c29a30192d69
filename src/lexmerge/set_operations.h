#pragma once
// The four set operations of lexmerge over two lexicons: union, intersection, difference and
// word deletion. Lines are compared whole; the set's key only chooses where a line is probed.
// Results keep first-occurrence order and are written as code page 936 with CR LF.

#include "shared/formats/foreign_lexicon.h"
#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace lex::lexmerge {

enum class SetOperation { Union, Intersection, Difference, Deletion };

// A path is asked for at the moment its file is opened: the window's path boxes stay
// editable while an operation runs, and lexicon two is opened only after lexicon one was read.
using PathSource = std::function<std::filesystem::path()>;

struct MergePaths {
    PathSource lexiconOne;
    PathSource lexiconTwo; // an empty path is an empty lexicon
    PathSource output;
    // The paths stay as they are for the whole run (the command line): lexicon two is then read
    // on a second thread while lexicon one is processed.
    bool readAhead = false;
};

struct MergeResult {
    int64_t count = 0;    // the number the report shows
    bool stopped = false; // a stop was requested while the operation ran
    // Lexicon one of another program's format, kept in its shape: the report's lines about it.
    std::string shape;
};

// How the operations treat a lexicon one of another program's format (foreign_merge.h).
struct ForeignMergeOptions {
    formats::WeightRule weights = formats::WeightRule::Max;
    bool byWord = false;
};

// The set operations' entry set: empty placeholder, and a lookup cut short by a stop request
// reports the line as present.
EntryHashSet makeMergeSet();

// Runs one operation on `set` (empty on entry) and writes the output. The set holds views of
// the inputs while it runs and is empty again when it returns (the window still empties it
// after its report, yielding as it does). A stop request does not end the operation: the
// lookups it cuts short count as matches, and the output is still written. Unreadable inputs,
// an unwritable output and a full set throw LexError before anything is written.
// A lexicon one of another program's format goes to runForeignSetOperation with `foreign`.
MergeResult runSetOperation(SetOperation op, EntryHashSet &set, const MergePaths &paths,
                            EventPump &pump, const ForeignMergeOptions &foreign = {});

// The report: "<label>N" and the elapsed time, or only the elapsed time when stopped.
std::string reportText(SetOperation op, const MergeResult &result, std::string_view elapsed);
std::string_view countLabel(SetOperation op);

} // namespace lex::lexmerge
