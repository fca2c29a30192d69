#include "lexsort/reference_sort.h"

#include "lexsort/foreign_sort.h"

#include "shared/formats/foreign_lexicon.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/spill.h"

#include <vector>

namespace lex::lexsort {
namespace {

// Lookups are bound by cache misses: the set starts loading the memory of a line this many
// lines before its lookup.
constexpr size_t kAhead = 8;

bool accepted(std::u16string_view line, WordUnits units) {
    EntryHashSet::EntryKey(KeyVariant::Standard, line, units);
    return line != u";";
}

// The sort for lexicons whose lines do not fit into memory: the base lines (as the key leaves
// them) and the accepted reference lines are partitioned by hash with their positions; each
// partition matches as the set does; the results are merged back, the matched lines first by
// their reference positions, then the others by their base positions.
int64_t sortBeyondMemory(const std::filesystem::path &input, const std::filesystem::path &reference,
                         const std::filesystem::path &output, EventPump &pump) {
    const SpillPlan plan = planSpill(pump.context(), tableBytesFor({input}));
    const WordUnits units = pump.context().wordUnits();
    LinePartitions parts(plan);
    streamLines(input, pump, [&](std::u16string_view line) {
        EntryHashSet::EntryKey(KeyVariant::Standard, line, pump.context());
        parts.add(line);
    });
    const int64_t referenceStart = parts.lines();
    if (fileExists(reference))
        streamLines(reference, pump, [&](std::u16string_view line) {
            if (accepted(line, units))
                parts.add(line);
        });
    parts.finish();
    // Keys: a matched line by its reference position, then every other one after them all.
    constexpr uint64_t kOthers = uint64_t(1) << 62;
    PartitionResults results(plan);
    int64_t count = 0;
    workPartitions(parts, pump, [&](size_t k, PartitionTable &table) {
        parts.read(k, [&](int64_t position, std::u16string_view line) {
            const uint64_t hash = spillHash(line);
            if (position < referenceStart) {
                bool added;
                table.insert(line, hash, position, added);
            } else if (const int64_t i = table.find(line, hash);
                       i >= 0 && table.state(size_t(i)) == 0) {
                table.setState(size_t(i), 1);
                results.add(uint64_t(position), line);
            }
            pump.yield();
        });
        for (size_t i = 0; i < table.size(); ++i)
            if (table.state(i) == 0 && table.line(i).size() > 1)
                results.add(kOthers + uint64_t(table.position(i)), table.line(i));
        count += int64_t(table.size());
        results.endPartition();
    });
    pump.setPhase("合并");
    LineWriter writer(output, pump.context());
    results.merge(pump, [&](uint64_t, std::u16string_view line) { writer.writeLine(line); });
    writer.close();
    return count;
}

} // namespace

SortResult sortByReference(EntryHashSet &set, const std::filesystem::path &input,
                           const std::filesystem::path &reference,
                           const std::filesystem::path &output, EventPump &pump) {
    SortResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    if (const auto format = formats::foreignFormat(input))
        return sortForeignByReference(input, *format, reference, output, pump);
    if (!pump.context().fitsInMemory(tableBytesFor({input, reference}))) {
        result.count = sortBeyondMemory(input, reference, output, pump);
        return result;
    }
    set.setPump(&pump);
    const WordUnits units = pump.context().wordUnits();
    {
        LineReader reader(input);
        const auto total = int64_t(reader.size());
        set.reserve(reader.countLines(), reader.size());
        while (!reader.atEnd()) {
            set.prefetch(reader.peekLineView(kAhead));
            std::u16string_view line = reader.readLineView();
            if (!set.Contains(line))
                set.Add(line);
            pump.setProgress(int64_t(reader.position()), total);
            pump.yield();
        }
    }
    // The matched lines point into the reference's text, which stays read until they are
    // written. A rejected reference line must not be looked up: it would find the placeholder.
    LineReader referenceReader;
    std::vector<std::u16string_view> matched;
    if (fileExists(reference)) {
        referenceReader.open(reference, detectEncoding(reference));
        const auto total = int64_t(referenceReader.size());
        while (!referenceReader.atEnd()) {
            const std::u16string_view ahead = referenceReader.peekLineView(kAhead);
            if (accepted(ahead, units))
                set.prefetch(ahead);
            std::u16string_view line = referenceReader.readLineView();
            if (accepted(line, units) && set.Contains(line)) {
                set.Remove();
                matched.push_back(line);
            }
            pump.setProgress(int64_t(referenceReader.position()), total);
            pump.yield();
        }
    }

    LineWriter writer(output, pump.context());
    for (std::u16string_view line : matched)
        writer.writeLine(line);
    const int32_t n = set.insertedCount();
    for (int32_t k = 0; k < n; ++k) {
        const std::u16string_view entry = set.entry(k);
        if (entry.size() > 1)
            writer.writeLine(entry);
    }
    writer.close();
    result.count = n;
    return result;
}

} // namespace lex::lexsort
