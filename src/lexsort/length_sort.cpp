#include "lexsort/length_sort.h"

#include "lexsort/foreign_sort.h"

#include "shared/formats/foreign_lexicon.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/spill.h"

#include <array>
#include <vector>

namespace lex::lexsort {

int lengthBucket(std::u16string_view line, WordUnits units) {
    if (line.empty())
        return kLengthBuckets - 1;
    // The first character counts whatever its class; counting stops past the longest bucket.
    size_t length = 1;
    for (size_t k = 1; k < line.size() && length <= 30; ++k)
        length += units.isWord(line[k]);
    return length >= 2 && length <= 30 ? int(length) - 2 : kLengthBuckets - 1;
}

namespace {

// The sort of a lexicon that does not fit into memory: each line goes to the temporary file of
// its bucket as it is read, and the buckets are written out one after another.
int64_t sortByLengthBeyondMemory(const std::filesystem::path &input,
                                 const std::filesystem::path &output, EventPump &pump) {
    const SpillPlan plan = planSpill(pump.context(), 0);
    std::vector<SpillFile> files;
    files.reserve(kLengthBuckets);
    std::vector<SpillWriter> writers;
    writers.reserve(kLengthBuckets);
    for (size_t k = 0; k < kLengthBuckets; ++k)
        writers.emplace_back(files.emplace_back(plan.folder), plan.buffer);
    bool header = true;
    int64_t count = 0;
    const WordUnits units = pump.context().wordUnits();
    streamLines(input, pump, [&](std::u16string_view line) {
        if (header && !line.empty() && line[0] == u';')
            return;
        header = false;
        writers[size_t(lengthBucket(line, units))].put(0, line);
        ++count;
    });
    std::vector<SpillSegment> segments;
    for (SpillWriter &w : writers)
        segments.push_back(w.endSegment());
    writers.clear();
    pump.setPhase("合并");
    spillPauseForTest("merge");
    LineWriter writer(output, pump.context());
    int64_t done = 0;
    for (int b = 0; b < kLengthBuckets; ++b) {
        SpillReader reader(files[size_t(b)], segments[size_t(b)], plan.buffer);
        uint64_t key;
        std::u16string_view line;
        while (reader.next(key, line)) {
            writer.writeLine(line);
            if ((++done & 0xFFF) == 0)
                pump.setProgress(done, count);
            pump.yield();
        }
        files[size_t(b)].release();
    }
    writer.close();
    return count;
}

} // namespace

SortResult sortByLength(const std::filesystem::path &input, const std::filesystem::path &output,
                        EventPump &pump) {
    SortResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    if (const auto format = formats::foreignFormat(input))
        return sortForeign(input, *format, output, ForeignOrder::Length, pump);
    // The lines are held as views of the text, with a bucket each: some 30 bytes a line.
    std::error_code ec;
    if (!pump.context().fitsInMemory(std::filesystem::file_size(input, ec) * 4)) {
        result.count = sortByLengthBeyondMemory(input, output, pump);
        return result;
    }
    LineReader reader(input);
    const auto total = int64_t(reader.size());
    while (!reader.atEnd()) {
        std::u16string_view line = reader.peekLineView(0);
        if (line.empty() || line[0] != u';')
            break;
        reader.readLineView();
    }
    // A counting sort: each line's bucket first, then the lines placed bucket by bucket.
    std::vector<std::u16string_view> lines;
    std::vector<uint8_t> buckets;
    lines.reserve(reader.countLines());
    buckets.reserve(reader.countLines());
    std::array<size_t, kLengthBuckets + 1> start{};
    const WordUnits units = pump.context().wordUnits();
    while (!reader.atEnd()) {
        const std::u16string_view line = reader.readLineView();
        const int b = lengthBucket(line, units);
        lines.push_back(line);
        buckets.push_back(uint8_t(b));
        ++start[size_t(b) + 1];
        pump.setProgress(int64_t(reader.position()), total);
        pump.yield();
    }
    for (int b = 0; b < kLengthBuckets; ++b)
        start[size_t(b) + 1] += start[size_t(b)];
    std::vector<std::u16string_view> ordered(lines.size());
    for (size_t k = 0; k < lines.size(); ++k)
        ordered[start[buckets[k]]++] = lines[k];

    LineWriter writer(output, pump.context());
    writer.reserve(reader.size() * 2 + lines.size() * 2);
    for (std::u16string_view line : ordered) {
        writer.writeLine(line);
        pump.yield();
    }
    writer.close();
    result.count = int64_t(ordered.size());
    return result;
}

} // namespace lex::lexsort
