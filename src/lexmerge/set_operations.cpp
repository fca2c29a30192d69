#include "lexmerge/set_operations.h"

#include "lexmerge/foreign_merge.h"
#include "shared/lexcore/byte_lines.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/run_path.h"
#include "shared/lexcore/spill.h"

#include <future>
#include <vector>

namespace lex::lexmerge {
namespace {

// Adds every line not yet present; a line without double-byte characters arrives as the empty
// entry, rewritten by the key.
void addAll(LineReader &reader, EntryHashSet &set) {
    lookUpEachLine(reader, set, [&](std::u16string_view line) {
        if (!set.Contains(line))
            set.Add(line);
    });
}

// Opens the input with the encoding its first two bytes give.
bool openOptional(LineReader &reader, const PathSource &source) {
    std::filesystem::path path = source();
    if (path.empty())
        return false;
    reader.open(path, detectEncoding(path));
    return true;
}

void writeEntries(EntryHashSet &set, const PathSource &output, bool skipEmpty, EventPump &pump) {
    LineWriter writer(output(), pump.context());
    const int32_t n = set.insertedCount();
    for (int32_t i = 0; i < n; ++i) {
        std::u16string_view e = set.entry(i);
        if (!skipEmpty || !e.empty())
            writer.writeLine(e);
    }
    writer.close();
}

void writeList(const std::vector<std::u16string_view> &lines, const PathSource &output,
               EventPump &pump) {
    LineWriter writer(output(), pump.context());
    for (std::u16string_view line : lines)
        writer.writeLine(line);
    writer.close();
}

// The states of a partition's lines.
enum : uint8_t {
    kLive = 0,    // in the set (union, intersection, deletion: a line of lexicon one)
    kMatched = 1, // found by lexicon two: removed (deletion, difference) or written (intersection)
    kFromTwo = 2, // difference: a line of lexicon two that lexicon one lacks
};

// An operation on lexicons whose lines do not fit into memory. The lines, as the key leaves
// them, are partitioned by hash with their positions (lexicon one's lines first); each
// partition does what the set does with its lines, in their order; and the results are merged
// back by position. Same lines, same order, same counts as through the set, since a line's fate
// depends only on the other occurrences of the same line.
MergeResult runBeyondMemory(SetOperation op, const std::filesystem::path &one,
                            const std::filesystem::path &two, const PathSource &output,
                            EventPump &pump) {
    MergeResult result;
    const SpillPlan plan = planSpill(pump.context(), tableBytesFor({one, two}));
    LinePartitions parts(plan);
    // The difference reads lexicon two first: a lexicon two that cannot be opened is the one
    // reported.
    if (op == SetOperation::Difference && !two.empty())
        LineStream check(two);
    auto addAll = [&](const std::filesystem::path &path) {
        streamLines(path, pump, [&](std::u16string_view line) {
            EntryHashSet::EntryKey(KeyVariant::SetOperations, line, pump.context());
            parts.add(line);
        });
    };
    addAll(one);
    const int64_t twoStart = parts.lines();
    if (!two.empty())
        addAll(two);
    parts.finish();

    PartitionResults results(plan);
    int64_t count = 0;
    workPartitions(parts, pump, [&](size_t k, PartitionTable &table) {
        int64_t removed = 0;
        parts.read(k, [&](int64_t position, std::u16string_view line) {
            const uint64_t hash = spillHash(line);
            bool added;
            if (position < twoStart || op == SetOperation::Union) {
                table.insert(line, hash, position, added);
            } else if (op == SetOperation::Difference) {
                const uint32_t i = table.insert(line, hash, position, added);
                if (added) {
                    table.setState(i, kFromTwo);
                } else if (table.state(i) == kLive && table.position(i) < twoStart) {
                    table.setState(i, kMatched);
                    ++removed;
                }
            } else if (const int64_t i = table.find(line, hash);
                       i >= 0 && table.state(size_t(i)) == kLive) {
                table.setState(size_t(i), kMatched);
                if (op == SetOperation::Intersection)
                    results.add(uint64_t(position), line);
                ++removed;
            }
            pump.yield();
        });
        switch (op) {
        case SetOperation::Union:
            for (size_t i = 0; i < table.size(); ++i)
                results.add(uint64_t(table.position(i)), table.line(i));
            count += int64_t(table.size());
            break;
        case SetOperation::Intersection:
            count += removed;
            break;
        case SetOperation::Difference:
        case SetOperation::Deletion:
            for (size_t i = 0; i < table.size(); ++i)
                if (table.state(i) != kMatched && !table.line(i).empty())
                    results.add(uint64_t(table.position(i)), table.line(i));
            count += int64_t(table.size()) - removed;
            break;
        }
        results.endPartition();
    });
    pump.setPhase("合并");
    LineWriter writer(output(), pump.context());
    results.merge(pump, [&](uint64_t, std::u16string_view line) { writer.writeLine(line); });
    writer.close();
    result.count = count;
    result.stopped = pump.stopRequested();
    return result;
}

// An operation on plain code page 936 lexicons on the command line: their distinct lines held
// as bytes (byte_lines.h) with the states above, as the set holds them. Same lines, order and
// counts as through the set. Throws NotPlainGbk for other files.
MergeResult runPlain(SetOperation op, const std::filesystem::path &one,
                     const std::filesystem::path &two, const PathSource &output, EventPump &pump) {
    MergeResult result;
    ByteLineTable table;
    // Lexicon two adds lines of its own only to a union and a difference.
    if (op == SetOperation::Union || op == SetOperation::Difference)
        table.reserveFor({one, two});
    else
        table.reserveFor({one});
    scanPlainGbk(one, KeyVariant::SetOperations, pump, [&](const ByteLine *lines, size_t n) {
        lookUpEachByteLine(table, lines, n, [&](const ByteLine &line) {
            bool added;
            table.insert(line, added);
        });
    });
    int64_t removed = 0;
    std::vector<ByteLineTable::Ref> matched; // intersection: in lexicon two's order
    if (!two.empty()) {
        scanPlainGbk(two, KeyVariant::SetOperations, pump, [&](const ByteLine *lines, size_t n) {
            lookUpEachByteLine(table, lines, n, [&](const ByteLine &line) {
                bool added;
                switch (op) {
                case SetOperation::Union:
                    table.insert(line, added);
                    break;
                case SetOperation::Difference:
                    if (const auto r = table.insert(line, added); added) {
                        table.setState(r, kFromTwo);
                    } else if (table.state(r) == kLive) {
                        table.setState(r, kMatched);
                        ++removed;
                    }
                    break;
                case SetOperation::Intersection:
                case SetOperation::Deletion:
                    if (const auto r = table.find(line); r != 0 && table.state(r) == kLive) {
                        table.setState(r, kMatched);
                        if (op == SetOperation::Intersection)
                            matched.push_back(r);
                        ++removed;
                    }
                    break;
                }
            });
        });
    }
    pump.setPhase({});
    LineWriter writer(output(), pump.context());
    if (op == SetOperation::Intersection) {
        for (const ByteLineTable::Ref r : matched)
            writer.writeLine936(table.bytes(r));
        result.count = removed;
    } else {
        const bool all = op == SetOperation::Union;
        table.forEach([&](std::string_view line, uint8_t state) {
            if (all || (state != kMatched && !line.empty()))
                writer.writeLine936(line);
        });
        result.count = int64_t(table.size()) - removed;
    }
    writer.close();
    result.stopped = pump.stopRequested();
    return result;
}

} // namespace

EntryHashSet makeMergeSet() {
    return EntryHashSet(KeyVariant::SetOperations, true);
}

MergeResult runSetOperation(SetOperation op, EntryHashSet &set, const MergePaths &paths,
                            EventPump &pump, const ForeignMergeOptions &foreign) {
    set.setPump(&pump);
    pump.resetStop();
    if (const std::filesystem::path one = paths.lexiconOne();
        const auto format = formats::foreignFormat(one))
        return runForeignSetOperation(op, *format, one, paths.lexiconTwo(), paths.output(), foreign,
                                      pump);
    if (paths.readAhead) {
        // Paths that stay as they are can be measured first.
        const std::filesystem::path one = paths.lexiconOne(), two = paths.lexiconTwo();
        if (auto done = runOutsideEntrySet(
                pump, {{one, two}, set.insertedCount() == 0},
                [&] { return runBeyondMemory(op, one, two, paths.output, pump); },
                [&] { return runPlain(op, one, two, paths.output, pump); }))
            return *done;
    }
    MergeResult result;
    // The set keeps views of the lines: the readers live until the output is written, and the
    // set is emptied before they go, whatever happens.
    LineReader one;
    LineReader two;
    struct EmptyOnExit {
        EntryHashSet &set;
        ~EmptyOnExit() { set.Clear(); }
    } emptyOnExit{set};
    set.borrowText();

    // Read ahead: lexicon two is read on a second thread while lexicon one is added (difference
    // collects lexicon two on its own thread below).
    std::future<bool> twoRead;
    if (paths.readAhead && op != SetOperation::Difference)
        twoRead =
            std::async(std::launch::async, [&] { return openOptional(two, paths.lexiconTwo); });
    auto openTwo = [&] {
        return twoRead.valid() ? twoRead.get() : openOptional(two, paths.lexiconTwo);
    };
    auto openOne = [&] {
        std::filesystem::path path = paths.lexiconOne();
        one.open(path, detectEncoding(path));
        // Room for lexicon two's lines too, guessed from lexicon one's: growing the index later
        // would copy it.
        set.reserve(size_t(set.insertedCount()) + one.countLines() * 2);
    };

    switch (op) {
    case SetOperation::Union: {
        openOne();
        addAll(one, set);
        if (openTwo()) {
            set.reserve(size_t(set.insertedCount()) + two.countLines());
            addAll(two, set);
        }
        writeEntries(set, paths.output, false, pump);
        result.count = set.insertedCount();
        break;
    }
    case SetOperation::Intersection: {
        openOne();
        addAll(one, set);
        std::vector<std::u16string_view> matched;
        if (openTwo()) {
            matched.reserve(two.countLines());
            lookUpEachLine(two, set, [&](std::u16string_view line) {
                if (set.Contains(line)) {
                    // A lookup cut short by a stop request counts as a match but removes nothing.
                    set.Remove();
                    matched.push_back(line);
                }
            });
        }
        writeList(matched, paths.output, pump);
        result.count = int64_t(matched.size());
        break;
    }
    case SetOperation::Difference: {
        // The distinct lines of lexicon two in their first order, found through `twoSet`.
        std::vector<std::u16string_view> distinctTwo;
        auto collectTwo = [&](EntryHashSet &twoSet, bool checkInterrupts) {
            if (!openTwo())
                return;
            twoSet.reserve(two.countLines());
            distinctTwo.reserve(two.countLines());
            size_t k = 0;
            lookUpEachLine(two, twoSet, [&](std::u16string_view line) {
                if (checkInterrupts && ++k % 16384 == 0)
                    checkInterrupt();
                if (!twoSet.Contains(line)) {
                    twoSet.Add(line);
                    distinctTwo.push_back(line);
                }
            });
        };
        if (paths.readAhead) {
            // Lexicon two is collected in a set of its own on a second thread while lexicon
            // one goes into this one: the same sets as one after the other, since this set
            // starts empty either way. A failure of lexicon two is the one reported, as it
            // would have come first.
            std::future<void> twoDone = std::async(std::launch::async, [&] {
                EntryHashSet twoSet = makeMergeSet();
                twoSet.sameRunAs(set);
                twoSet.borrowText();
                collectTwo(twoSet, true);
            });
            try {
                openOne();
                addAll(one, set);
            } catch (...) {
                twoDone.get();
                throw;
            }
            twoDone.get();
        } else {
            collectTwo(set, false);
            set.Clear(pump, /*keepMemory=*/true);
            set.borrowText();
            openOne();
            addAll(one, set);
        }
        for (size_t j = 0; j < 8 && j < distinctTwo.size(); ++j)
            set.prefetch(distinctTwo[j]);
        for (size_t i = 0; i < distinctTwo.size(); ++i) {
            std::u16string_view line = distinctTwo[i];
            if (i + 8 < distinctTwo.size())
                set.prefetch(distinctTwo[i + 8]);
            if (set.Contains(line))
                set.Remove();
            else
                set.Add(line);
        }
        writeEntries(set, paths.output, true, pump);
        result.count = int64_t(set.insertedCount()) - set.deletedCount();
        break;
    }
    case SetOperation::Deletion: {
        openOne();
        addAll(one, set);
        if (openTwo()) {
            lookUpEachLine(two, set, [&](std::u16string_view line) {
                if (set.Contains(line))
                    set.Remove();
            });
        }
        writeEntries(set, paths.output, true, pump);
        result.count = int64_t(set.insertedCount()) - set.deletedCount();
        break;
    }
    }
    result.stopped = pump.stopRequested();
    return result;
}

std::string_view countLabel(SetOperation op) {
    switch (op) {
    case SetOperation::Union:
        return "并集词条：";
    case SetOperation::Intersection:
        return "交集词条：";
    case SetOperation::Difference:
        return "差集词条：";
    case SetOperation::Deletion:
        return "剩余词条：";
    }
    return {};
}

std::string reportText(SetOperation op, const MergeResult &result, std::string_view elapsed) {
    if (result.stopped)
        return stoppedText(elapsed);
    return CompletionText().count(countLabel(op), result.count).text(elapsed);
}

} // namespace lex::lexmerge
