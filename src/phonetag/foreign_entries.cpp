#include "phonetag/foreign_entries.h"

#include "shared/formats/foreign_lexicon.h"
#include "shared/formats/format_reader.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/report.h"
#include "shared/pinyin/annotate_line.h"

namespace lex::phonetag {

using formats::ForeignEntry;
using formats::ForeignLexicon;

namespace {

ForeignResult written(const ForeignLexicon &lexicon, const std::vector<ForeignEntry> &entries,
                      const std::filesystem::path &output, EventPump &pump) {
    const ForeignLexicon::Written w = lexicon.write(output, entries, pump);
    ForeignResult result;
    result.entries = w.lines;
    result.shape = formats::foreignReport(lexicon, w);
    return result;
}

} // namespace

ForeignResult annotateForeign(const std::filesystem::path &input, formats::Format format,
                              const std::filesystem::path &output,
                              const pinyin::CharDictionary &dict, const pinyin::WordTable &table,
                              EventPump &pump) {
    ForeignLexicon lexicon(input, format, pump);
    table.prepare();
    pinyin::PinyinCounters counters;
    std::u16string out, scratch;
    formats::FormatReader reader(formats::Format::Quillo);
    int64_t annotated = 0, unreadable = 0, n = 0;
    for (ForeignEntry &e : lexicon.entries()) {
        if ((++n & 0xFFF) == 0)
            pump.yield();
        if (!e.code.empty())
            continue;
        // The foreign formats are read whole: every character beyond ASCII is one of the word.
        pinyin::annotateLine(e.word, dict, table, counters, out, scratch, WordUnits::of(true));
        const formats::ParsedLine &p = reader.parse(out);
        const bool whole = p.kind == formats::LineKind::Entry && p.entry.word == e.word &&
                           p.entry.syllables.size() == formats::characterCount(e.word) &&
                           std::all_of(p.entry.syllables.begin(), p.entry.syllables.end(),
                                       [](const std::string &s) { return !s.empty(); });
        if (!whole) {
            ++unreadable;
            continue;
        }
        lexicon.setCode(e, p.entry.syllables);
        ++annotated;
    }
    ForeignResult result = written(lexicon, lexicon.entries(), output, pump);
    result.changed = annotated;
    result.unreadable = unreadable;
    return result;
}

ForeignResult clearForeign(const std::filesystem::path &input, formats::Format format,
                           const std::filesystem::path &output, EventPump &pump) {
    if (format != formats::Format::Rime)
        throw LexError(std::string(formats::formatInfo(format).name) +
                           " 词库的词条必须有拼音，不能清除：" + input.string(),
                       input);
    ForeignLexicon lexicon(input, format, pump);
    int64_t cleared = 0;
    for (ForeignEntry &e : lexicon.entries()) {
        if (e.code.empty())
            continue;
        lexicon.setCode(e, {});
        ++cleared;
    }
    ForeignResult result = written(lexicon, lexicon.entries(), output, pump);
    result.changed = cleared;
    return result;
}

ForeignResult dedupForeign(const std::filesystem::path &input, formats::Format format,
                           const std::filesystem::path &output, EventPump &pump) {
    const ForeignLexicon lexicon(input, format, pump);
    int64_t repeated = 0;
    const std::vector<ForeignEntry> kept =
        lexicon.distinct(false, formats::WeightRule::Max, repeated, pump);
    ForeignResult result = written(lexicon, kept, output, pump);
    result.changed = repeated;
    return result;
}

std::string foreignReport(const char *changedLabel, const ForeignResult &result,
                          int startSecondsOfDay) {
    CompletionText text;
    text.line(result.shape.substr(0, result.shape.size() - 2));
    text.count(changedLabel, result.changed);
    if (result.unreadable)
        text.count("无法注音的词条：", result.unreadable);
    text.count("共计词条：", result.entries);
    return text.text(elapsedText(startSecondsOfDay));
}

} // namespace lex::phonetag
