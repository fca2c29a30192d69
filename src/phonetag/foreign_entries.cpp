#include "phonetag/foreign_entries.h"

#include "shared/formats/foreign_lexicon.h"
#include "shared/formats/format_reader.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/report.h"
#include "shared/pinyin/annotate_line.h"

#include <algorithm>
#include <unordered_map>

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
        if (!e.code().empty())
            continue;
        // The foreign formats are read whole: every character beyond ASCII is one of the word.
        pinyin::annotateLine(e.word(), dict, table, counters, out, scratch, WordUnits::of(true));
        const formats::ParsedLine &p = reader.parse(out);
        const bool whole = p.kind == formats::LineKind::Entry && p.entry.word == e.word() &&
                           p.entry.syllables.size() == formats::characterCount(e.word()) &&
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
        if (e.code().empty())
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
    ForeignLexicon lexicon(input, format, pump);
    const int64_t repeated = lexicon.foldRepeats(false, formats::WeightRule::Max, pump);
    ForeignResult result = written(lexicon, lexicon.entries(), output, pump);
    result.changed = repeated;
    return result;
}

ForeignResult extractForeign(const std::filesystem::path &input, formats::Format format,
                             const std::filesystem::path &output, EventPump &pump) {
    const ForeignLexicon lexicon(input, format, pump);
    std::vector<ForeignEntry> kept;
    for (const ForeignEntry &e : lexicon.entries())
        if (!e.code().empty())
            kept.push_back(e);
    ForeignResult result = written(lexicon, kept, output, pump);
    result.changed = int64_t(lexicon.entries().size() - kept.size());
    return result;
}

ForeignResult correctForeign(const std::filesystem::path &list, const std::filesystem::path &input,
                             formats::Format format, const std::filesystem::path &output,
                             EventPump &pump) {
    // The list's readings by word; the first line of a word counts.
    std::unordered_map<std::u16string, pinyin::Syllables> readings;
    {
        formats::FormatReader reader(formats::Format::Quillo);
        LineStream in(list);
        std::u16string_view line;
        while (in.next(line)) {
            const formats::ParsedLine &p = reader.parse(line);
            if (p.kind == formats::LineKind::Entry && !p.entry.syllables.empty() &&
                std::none_of(p.entry.syllables.begin(), p.entry.syllables.end(),
                             [](const std::string &s) { return s.empty(); }))
                readings.emplace(p.entry.word, p.entry.syllables);
        }
    }
    ForeignLexicon lexicon(input, format, pump);
    int64_t corrected = 0;
    for (ForeignEntry &e : lexicon.entries()) {
        const auto it = readings.find(std::u16string(e.word()));
        if (it == readings.end())
            continue;
        const std::u16string_view before = e.code();
        lexicon.setCode(e, it->second);
        corrected += e.code() != before;
    }
    ForeignResult result = written(lexicon, lexicon.entries(), output, pump);
    result.changed = corrected;
    return result;
}

void refuseAdjustingForeign(const std::filesystem::path &input, formats::Format format) {
    throw LexError(std::string("调整赘拼欠拼只用于本套词库格式；") +
                       formats::formatInfo(format).name +
                       " 词库请用自动注音（annotate）或注音修正（correct）：" + input.string(),
                   input);
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
