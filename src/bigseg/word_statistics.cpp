#include "bigseg/word_statistics.h"

#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/lexicon_files.h"
#include "shared/lexcore/report.h"

#include <algorithm>
#include <vector>

namespace lex::bigseg {
namespace {

constexpr int kYieldEvery = 20000;

} // namespace

std::u16string paddedCount(int64_t count) {
    std::u16string s = u"00000";
    for (char c : std::to_string(count))
        s += char16_t(c);
    return s.substr(s.size() - 6);
}

StatsResult countWords(const std::filesystem::path &input, const std::filesystem::path &output,
                       EventPump &pump) {
    StatsResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;

    EntryHashSet set(KeyVariant::Annotation, /*cancelledResult=*/false);
    set.setPump(&pump);
    set.Clear(pump);
    LineReader reader(input, LexiconEncoding::Ansi936);
    set.reserve(std::min<size_t>(reader.countLines(), EntryHashSet::kSlots), reader.size());
    std::vector<int64_t> counts;

    // Lookups wait on memory, not on computation: the set is told of each non-empty line a few
    // lines before its lookup, in the same order as the lookups.
    constexpr size_t kAhead = 8;
    for (size_t j = 0; j < kAhead; ++j) {
        const std::u16string_view next = reader.peekLineView(j);
        if (!next.empty())
            set.prefetch(next);
    }
    while (!reader.atEnd()) {
        const std::u16string_view next = reader.peekLineView(kAhead);
        if (!next.empty())
            set.prefetch(next);
        std::u16string_view text = reader.readLineView();
        if (text.empty())
            continue;
        if (set.Contains(text)) {
            ++counts[size_t(set.matchedIndex())];
        } else {
            // A lookup that a stop request cut short stopped at a slot that may hold another
            // line: counting ends here, so that every line counted so far stays found.
            if (set.lastLookupCut())
                break;
            set.Add(text);
            counts.push_back(1);
        }
    }
    reader.close();

    const int32_t n = set.insertedCount();
    result.entries = n;
    // The output lines, as (padded count, entry): ordering these pairs orders the lines
    // "NNNNNN<TAB>entry", whose first seven characters are digits and a TAB.
    struct Item {
        int32_t padded;
        int32_t entry;
    };
    std::vector<Item> items;
    items.reserve(size_t(n));
    for (int32_t i = 0; i < n; ++i) {
        items.push_back({int32_t(counts[size_t(i)] % 1000000), i});
        if (i % kYieldEvery == 0 && pump.yield())
            break;
    }
    uint32_t countdown = 4096;
    std::sort(items.begin(), items.end(), [&](const Item &a, const Item &b) {
        if (--countdown == 0) {
            countdown = 4096;
            pump.yield();
        }
        if (a.padded != b.padded)
            return a.padded < b.padded;
        return set.entry(a.entry) < set.entry(b.entry);
    });

    LineWriter writer(output);
    std::u16string text;
    for (size_t i = items.size(); i-- > 0;) {
        text = paddedCount(items[i].padded);
        text += u'\t';
        text += set.entry(items[i].entry);
        writer.writeLine(text);
        if (i % kYieldEvery == 0 && pump.yield())
            break;
    }
    writer.close();
    result.stopped = pump.stopRequested();
    return result;
}

std::string statsReport(const StatsResult &result, std::string_view elapsed) {
    if (result.stopped)
        return std::string(kStatsStopped);
    return CompletionText().count("合计词条：", result.entries).text(elapsed);
}

} // namespace lex::bigseg
