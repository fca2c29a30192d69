#include "phonetag/annotation.h"

#include "phonetag/foreign_entries.h"

#include "phonetag/line_batches.h"
#include "phonetag/line_pass.h"

#include "shared/formats/foreign_lexicon.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lexicon_rules.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/report.h"
#include "shared/pinyin/annotate_line.h"

#include <algorithm>
#include <optional>

namespace lex::phonetag {

using namespace pinyin;

LineCountResult autoAnnotate(const std::filesystem::path &input,
                             const std::filesystem::path &output, const CharDictionary &dict,
                             const WordTable &table, PinyinCounters &counters, EventPump &pump,
                             LineStream *opened) {
    LineCountResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    if (const auto format = formats::foreignFormat(input)) {
        result.foreign = annotateForeign(input, *format, output, dict, table, pump);
        result.lines = result.foreign->entries;
        return result;
    }
    // The lexicon starts decoding on a second thread meanwhile the automaton is built.
    std::optional<LineStream> own;
    if (!opened)
        own.emplace(input);
    LineStream &in = opened ? *opened : *own;
    table.prepare();
    LineWriter writer(output, pump.context());
    const WordUnits units = pump.context().wordUnits();
    // Only text that was not code page 936 can hold characters it lacks.
    const bool noteDropped = !units.isWide() && in.encoding() != LexiconEncoding::Ansi936;
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
            const size_t from = batch.texts.size();
            appendAnnotatedLine(line, dict, table, st.counted, batch.texts, st.scratch, st.work,
                                units);
            if (noteDropped)
                batch.noteDropped(line, std::u16string_view(batch.texts).substr(from));
            batch.texts += lineEnd;
        },
        [&](const LineBatch &batch, size_t i) {
            if (i == 0) {
                writer.writeLines(batch.texts);
                pump.context().noteDropped(batch.dropped.firstText, batch.dropped.lines);
            }
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
    if (const auto format = formats::foreignFormat(input)) {
        result.foreign = clearForeign(input, *format, output, pump);
        result.lines = result.foreign->entries;
        return result;
    }
    std::u16string word;
    RunContext &run = pump.context();
    const WordUnits units = run.wordUnits();
    // Only text that was not code page 936 can hold characters it lacks.
    LexiconEncoding encoding = LexiconEncoding::Ansi936;
    result.lines = passLines(
        input, output, pump,
        [&](std::u16string_view line, LineWriter &writer) {
            entryWordInto(line, word, units);
            if (encoding != LexiconEncoding::Ansi936 && !units.isWide() && holdsBeyond936(line) &&
                !holdsBeyond936(word))
                run.noteDropped(line);
            writer.writeLine(word);
        },
        &encoding);
    return result;
}

std::string lineCountReport(int64_t lines, int startSecondsOfDay) {
    return CompletionText().count("共计词条：", lines).text(elapsedText(startSecondsOfDay));
}

} // namespace lex::phonetag
