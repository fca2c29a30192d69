#include "phonetag/optimisation.h"

#include "phonetag/foreign_entries.h"
#include "phonetag/line_pass.h"
#include "shared/formats/foreign_lexicon.h"

#include "shared/lexcore/byte_lines.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/run_path.h"
#include "shared/lexcore/spill.h"

namespace lex::phonetag {

using namespace pinyin;
namespace {

// The removal for a lexicon whose lines do not fit into memory: the lines, as the key leaves
// them, are partitioned by hash; each partition keeps its first occurrences, and the partitions
// are merged back by position. The same lines in the same order as the set gives, and the same
// counts.
DedupResult removeRepeatedBeyondMemory(const std::filesystem::path &input,
                                       const std::filesystem::path &output, EventPump &pump) {
    DedupResult result;
    result.inputFound = true;
    const SpillPlan plan = planSpill(pump.context(), tableBytesFor({input}));
    LinePartitions parts(plan);
    streamLines(input, pump, [&](std::u16string_view line) {
        EntryHashSet::EntryKey(KeyVariant::Annotation, line, pump.context());
        parts.add(line);
    });
    parts.finish();
    PartitionResults results(plan);
    workPartitions(parts, pump, [&](size_t k, PartitionTable &table) {
        parts.read(k, [&](int64_t position, std::u16string_view line) {
            bool added;
            table.insert(line, spillHash(line), position, added);
            result.repeated += !added;
            pump.yield();
        });
        for (size_t i = 0; i < table.size(); ++i)
            results.add(uint64_t(table.position(i)), table.line(i));
        results.endPartition();
        result.remaining += int64_t(table.size());
    });
    pump.setPhase("合并");
    LineWriter writer(output, pump.context());
    results.merge(pump, [&](uint64_t, std::u16string_view line) { writer.writeLine(line); });
    writer.close();
    return result;
}

// The removal for a plain code page 936 lexicon on the command line: its distinct lines held as
// bytes (byte_lines.h), written in insertion order. Throws NotPlainGbk for another file.
DedupResult removeRepeatedPlain(const std::filesystem::path &input,
                                const std::filesystem::path &output, EventPump &pump) {
    DedupResult result;
    result.inputFound = true;
    ByteLineTable table;
    table.reserveFor({input});
    scanPlainGbk(input, KeyVariant::Annotation, pump, [&](const ByteLine *lines, size_t n) {
        lookUpEachByteLine(table, lines, n, [&](const ByteLine &line) {
            bool added;
            table.insert(line, added);
            result.repeated += !added;
        });
    });
    pump.setPhase({});
    LineWriter writer(output, pump.context());
    table.forEach([&](std::string_view line, uint8_t) { writer.writeLine936(line); });
    writer.close();
    result.remaining = int64_t(table.size());
    return result;
}

} // namespace

AdjustResult adjustPinyin(const std::filesystem::path &input, const std::filesystem::path &output,
                          const CharDictionary &dict, PinyinCounters &counters, EventPump &pump) {
    AdjustResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    if (const auto format = formats::foreignFormat(input))
        refuseAdjustingForeign(input, *format);
    counters = {};
    std::u16string out;
    RunContext &run = pump.context();
    const WordUnits units = run.wordUnits();
    // Only text that was not code page 936 can hold characters it lacks.
    LexiconEncoding encoding = LexiconEncoding::Ansi936;
    result.lines = passLines(
        input, output, pump,
        [&](std::u16string_view line, LineWriter &writer) {
            FixPinyin(line, dict, result.counters, out, units);
            if (encoding != LexiconEncoding::Ansi936 && !units.isWide() && holdsBeyond936(line) &&
                !holdsBeyond936(out))
                run.noteDropped(line);
            writer.writeLine(out);
        },
        &encoding);
    counters = result.counters;
    return result;
}

DedupResult removeRepeatedEntries(EntryHashSet &set, const std::filesystem::path &input,
                                  const std::filesystem::path &output, EventPump &pump) {
    DedupResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    if (const auto format = formats::foreignFormat(input)) {
        result.foreign = dedupForeign(input, *format, output, pump);
        result.repeated = result.foreign->changed;
        result.remaining = result.foreign->entries;
        return result;
    }
    set.setPump(&pump);
    if (set.insertedCount() != 0)
        set.Clear(pump);
    if (auto done = runOutsideEntrySet(
            pump, {{input}, true}, [&] { return removeRepeatedBeyondMemory(input, output, pump); },
            [&] { return removeRepeatedPlain(input, output, pump); }))
        return *done;
    LineReader reader(input);
    // The set keeps views of the reader's lines, so it is emptied before they go, whatever
    // happens.
    struct EmptyOnExit {
        EntryHashSet &set;
        ~EmptyOnExit() { set.Clear(); }
    } emptyOnExit{set};
    set.borrowText();
    // Entries are never removed here, so each new line is written as it is added: the output
    // is the entry list in insertion order, and ";" (lines without Chinese) is never empty.
    LineWriter writer(output, pump.context());
    bool reserved = false;
    lookUpEachLine(reader, set, [&](std::u16string_view line) {
        if (set.Contains(line)) {
            ++result.repeated;
        } else {
            set.Add(line);
            writer.writeLine(line);
        }
        // Room for the rest once the line count is known.
        if (!reserved && reader.knownSize() != 0) {
            set.reserve(size_t(set.insertedCount()) + reader.countLines());
            reserved = true;
        }
        reportProgress(pump, reader);
        pump.yield();
    });
    writer.close();
    result.remaining = set.insertedCount();
    return result;
}

std::string adjustReport(const PinyinCounters &counters, int startSecondsOfDay) {
    return CompletionText()
        .count("补充欠拼：", counters.supplemented)
        .count("清除赘拼：", counters.cleared)
        .text(elapsedText(startSecondsOfDay));
}

std::string dedupReport(const DedupResult &result, int startSecondsOfDay) {
    return CompletionText()
        .count("删除重复词条：", result.repeated)
        .count("剩余词条：", result.remaining)
        .text(elapsedText(startSecondsOfDay));
}

} // namespace lex::phonetag
