#include "phonetag/optimisation.h"

#include "shared/lexcore/lexicon_files.h"
#include "shared/lexcore/report.h"

namespace lex::phonetag {

AdjustResult adjustPinyin(const std::filesystem::path &input, const std::filesystem::path &output,
                          const CharDictionary &dict, PinyinCounters &counters, EventPump &pump) {
    AdjustResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    counters = {};
    LineReader reader(input);
    LineWriter writer(output);
    writer.reserve(reader.size() * 4 + 16);
    const auto total = int64_t(reader.size());
    std::u16string out;
    while (!reader.atEnd()) {
        FixPinyin(reader.readLineView(), dict, result.counters, out);
        writer.writeLine(out);
        ++result.lines;
        pump.setProgress(int64_t(reader.position()), total);
        pump.yield();
    }
    reader.close();
    writer.close();
    counters = result.counters;
    return result;
}

DedupResult removeRepeatedEntries(EntryHashSet &set, const std::filesystem::path &input,
                                  const std::filesystem::path &output, EventPump &pump) {
    DedupResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    set.setPump(&pump);
    if (set.insertedCount() != 0)
        set.Clear(pump);
    LineReader reader(input);
    set.reserve(reader.countLines(), reader.size());
    const auto total = int64_t(reader.size());
    // The set starts loading a line's memory a few lines before its lookup.
    constexpr size_t kAhead = 8;
    const size_t lines = reader.countLines();
    for (size_t j = 0; j < kAhead && j < lines; ++j)
        set.prefetch(reader.peekLineView(j));
    for (size_t i = 0; i < lines; ++i) {
        if (i + kAhead < lines)
            set.prefetch(reader.peekLineView(kAhead));
        std::u16string_view line = reader.readLineView();
        if (set.Contains(line))
            ++result.repeated;
        else
            set.Add(line);
        pump.setProgress(int64_t(reader.position()), total);
        pump.yield();
    }
    // The entries are copies held by the set; the input buffer can go.
    reader.close();
    LineWriter writer(output);
    writer.reserve(size_t(total) * 2 + 16);
    const int32_t n = set.insertedCount();
    for (int32_t i = 0; i < n; ++i) {
        const std::u16string_view e = set.entry(i);
        if (!e.empty())
            writer.writeLine(e);
    }
    writer.close();
    result.remaining = n;
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
