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
    int64_t total = 0; // known once the input is decoded
    std::u16string out;
    while (!reader.atEnd()) {
        FixPinyin(reader.readLineView(), dict, result.counters, out);
        writer.writeLine(out);
        ++result.lines;
        if (total == 0)
            total = int64_t(reader.knownSize());
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
    // The set keeps views of the reader's lines, so it is emptied before they go, whatever
    // happens.
    struct EmptyOnExit {
        EntryHashSet &set;
        ~EmptyOnExit() { set.Clear(); }
    } emptyOnExit{set};
    set.borrowText();
    // Entries are never removed here, so each new line is written as it is added: the output
    // is the entry list in insertion order, and ";" (lines without Chinese) is never empty.
    LineWriter writer(output);
    int64_t total = 0; // known once the input is decoded
    lookUpEachLine(reader, set, [&](std::u16string_view line) {
        if (set.Contains(line)) {
            ++result.repeated;
        } else {
            set.Add(line);
            writer.writeLine(line);
        }
        if (total == 0 && (total = int64_t(reader.knownSize())) != 0)
            set.reserve(size_t(set.insertedCount()) + reader.countLines());
        pump.setProgress(int64_t(reader.position()), total);
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
