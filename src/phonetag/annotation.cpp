#include "phonetag/annotation.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lexicon_files.h"
#include "shared/lexcore/report.h"

#include <algorithm>

namespace lex::phonetag {

void annotateLine(std::u16string_view line, const CharDictionary &dict, const WordTable &table,
                  PinyinCounters &counters, std::u16string &out, std::u16string &scratch) {
    InsBlank(line, scratch);
    table.apply(scratch, out);
    std::erase(scratch, u'0');
    FixPinyin(scratch, dict, counters, out);
}

LineCountResult autoAnnotate(const std::filesystem::path &input,
                             const std::filesystem::path &output, const CharDictionary &dict,
                             const WordTable &table, PinyinCounters &counters, EventPump &pump) {
    LineCountResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    table.prepare();
    LineReader reader(input);
    // The writer only buffers and replaces the output at close(): an output equal to the input
    // is safe, and a failed run leaves the old file.
    LineWriter writer(output);
    int64_t total = 0; // known once the input is decoded
    PinyinCounters counted;
    std::u16string out, scratch;
    while (!reader.atEnd()) {
        annotateLine(reader.readLineView(), dict, table, counted, out, scratch);
        writer.writeLine(out);
        ++result.lines;
        if (total == 0)
            total = int64_t(reader.knownSize());
        pump.setProgress(int64_t(reader.position()), total);
        pump.yield();
    }
    reader.close();
    writer.close();
    counters.supplemented += counted.supplemented;
    counters.cleared += counted.cleared;
    return result;
}

LineCountResult clearPinyin(const std::filesystem::path &input, const std::filesystem::path &output,
                            EventPump &pump) {
    LineCountResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    LineReader reader(input);
    LineWriter writer(output);
    int64_t total = 0; // known once the input is decoded
    std::u16string word;
    while (!reader.atEnd()) {
        const std::u16string_view line = reader.readLineView();
        entryWordInto(line, word);
        writer.writeLine(word);
        ++result.lines;
        if (total == 0)
            total = int64_t(reader.knownSize());
        pump.setProgress(int64_t(reader.position()), total);
        pump.yield();
    }
    reader.close();
    writer.close();
    return result;
}

std::string lineCountReport(int64_t lines, int startSecondsOfDay) {
    return CompletionText().count("共计词条：", lines).text(elapsedText(startSecondsOfDay));
}

} // namespace lex::phonetag
