#include "phonetag/optimisation.h"

#include "phonetag/line_pass.h"

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
    std::u16string out;
    result.lines =
        passLines(input, output, pump, [&](std::u16string_view line, LineWriter &writer) {
            FixPinyin(line, dict, result.counters, out);
            writer.writeLine(out);
        });
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
