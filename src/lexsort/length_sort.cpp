#include "lexsort/length_sort.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lexicon_files.h"

#include <array>
#include <vector>

namespace lex::lexsort {

int lengthBucket(std::u16string_view line) {
    if (line.empty())
        return kLengthBuckets - 1;
    // The first character counts whatever its class; counting stops past the longest bucket.
    size_t length = 1;
    for (size_t k = 1; k < line.size() && length <= 30; ++k)
        length += isDoubleByte(line[k]);
    return length >= 2 && length <= 30 ? int(length) - 2 : kLengthBuckets - 1;
}

SortResult sortByLength(const std::filesystem::path &input, const std::filesystem::path &output,
                        EventPump &pump) {
    SortResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
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
    while (!reader.atEnd()) {
        const std::u16string_view line = reader.readLineView();
        const int b = lengthBucket(line);
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

    LineWriter writer(output);
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
