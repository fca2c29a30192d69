#include "lexsort/reference_sort.h"

#include "shared/lexcore/lexicon_files.h"

#include <vector>

namespace lex::lexsort {
namespace {

// Lookups are bound by cache misses: the set starts loading the memory of a line this many
// lines before its lookup.
constexpr size_t kAhead = 8;

bool accepted(std::u16string_view line) {
    EntryHashSet::EntryKey(KeyVariant::Standard, line);
    return line != u";";
}

} // namespace

SortResult sortByReference(EntryHashSet &set, const std::filesystem::path &input,
                           const std::filesystem::path &reference,
                           const std::filesystem::path &output, EventPump &pump) {
    SortResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    set.setPump(&pump);
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
            if (accepted(ahead))
                set.prefetch(ahead);
            std::u16string_view line = referenceReader.readLineView();
            if (accepted(line) && set.Contains(line)) {
                set.Remove();
                matched.push_back(line);
            }
            pump.setProgress(int64_t(referenceReader.position()), total);
            pump.yield();
        }
    }

    LineWriter writer(output);
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
