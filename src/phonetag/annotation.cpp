#include "phonetag/annotation.h"

#include "phonetag/line_batches.h"
#include "phonetag/line_pass.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lexicon_files.h"
#include "shared/lexcore/report.h"

#include <algorithm>
#include <optional>

namespace lex::phonetag {

void annotateLine(std::u16string_view line, const CharDictionary &dict, const WordTable &table,
                  PinyinCounters &counters, std::u16string &out, std::u16string &scratch) {
    thread_local std::u16string work;
    out.clear();
    appendAnnotatedLine(line, dict, table, counters, out, scratch, work);
}

void appendAnnotatedLine(std::u16string_view line, const CharDictionary &dict,
                         const WordTable &table, PinyinCounters &counters, std::u16string &out,
                         std::u16string &scratch, std::u16string &work) {
    if (!table.mayChange(line)) {
        // No word occurs: the markers InsBlank would insert are deleted again with every other
        // "0", and FixPinyin sees the line without its zeros.
        if (line.find(u'0') == std::u16string_view::npos) {
            appendFixedPinyin(line, dict, counters, out);
            return;
        }
        scratch.assign(line);
        std::erase(scratch, u'0');
        appendFixedPinyin(scratch, dict, counters, out);
        return;
    }
    InsBlank(line, scratch);
    table.apply(scratch, work);
    std::erase(scratch, u'0');
    appendFixedPinyin(scratch, dict, counters, out);
}

LineCountResult autoAnnotate(const std::filesystem::path &input,
                             const std::filesystem::path &output, const CharDictionary &dict,
                             const WordTable &table, PinyinCounters &counters, EventPump &pump,
                             LineStream *opened) {
    LineCountResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    // The lexicon starts decoding on a second thread meanwhile the automaton is built.
    std::optional<LineStream> own;
    if (!opened)
        own.emplace(input);
    LineStream &in = opened ? *opened : *own;
    table.prepare();
    LineWriter writer(output);
    // A batch's lines are annotated straight into its text, each with its line end, and the
    // text is written at once.
    const std::u16string_view lineEnd = writer.lineEnd();
    struct State {
        PinyinCounters counted;
        std::u16string scratch, work;
    } states[2];
    result.lines = passLineBatches(
        in, pump, states,
        [&](std::u16string_view line, State &st, LineBatch &batch) {
            appendAnnotatedLine(line, dict, table, st.counted, batch.texts, st.scratch, st.work);
            batch.texts += lineEnd;
        },
        [&](const LineBatch &batch, size_t i) {
            if (i == 0)
                writer.writeLines(batch.texts);
            pump.yield();
        });
    writer.close();
    for (const State &st : states) {
        counters.supplemented += st.counted.supplemented;
        counters.cleared += st.counted.cleared;
    }
    return result;
}

LineCountResult clearPinyin(const std::filesystem::path &input, const std::filesystem::path &output,
                            EventPump &pump) {
    LineCountResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    std::u16string word;
    result.lines =
        passLines(input, output, pump, [&](std::u16string_view line, LineWriter &writer) {
            entryWordInto(line, word);
            writer.writeLine(word);
        });
    return result;
}

std::string lineCountReport(int64_t lines, int startSecondsOfDay) {
    return CompletionText().count("共计词条：", lines).text(elapsedText(startSecondsOfDay));
}

} // namespace lex::phonetag
