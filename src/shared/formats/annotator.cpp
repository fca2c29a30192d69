#include "shared/formats/annotator.h"

#include "shared/formats/format_reader.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_reader.h"
#include "shared/pinyin/annotate_line.h"

namespace lex::formats {

Annotator::Annotator(std::filesystem::path dictionary, std::filesystem::path wordTable,
                     EventPump &pump)
    : m_pump(pump) {
    m_files.dictionary = std::move(dictionary);
    m_files.wordTable = std::move(wordTable);
    if (!m_files.dictionary.empty())
        m_files.polyphones = m_files.dictionary.parent_path() / pinyin::kPolyphoneFile;
}

Annotator::Annotator(const std::filesystem::path &folder, EventPump &pump)
    : m_files(pinyin::AnnotationFiles::in(folder)), m_pump(pump) {}

Annotator::~Annotator() = default;

void Annotator::load() {
    const pinyin::AnnotationLoader loader(m_files, {pinyin::Need::Yes, pinyin::Need::Yes});
    if (loader.missing() == pinyin::AnnotationPart::Dictionary)
        throw LexError("找不到单字表文件“dz.txt”，无法注音：" + m_files.dictionary.string(),
                       m_files.dictionary);
    if (loader.missing() == pinyin::AnnotationPart::WordTable)
        throw LexError("找不到词表文件“zn.lxd”，无法注音：" + m_files.wordTable.string(),
                       m_files.wordTable);
    m_data = loader.load(m_pump);
    if (!m_files.polyphones.empty() && fileExists(m_files.polyphones)) {
        LineReader reader(m_files.polyphones);
        m_polyphones.emplace();
        while (!reader.atEnd())
            m_polyphones->add(reader.readLineView());
    }
    m_loaded = true;
}

// A run of double-byte characters as one annotated line of the suite, and back.
std::optional<Syllables> Annotator::annotateRun(std::u16string_view run, const Syllables &known) {
    m_line.clear();
    for (size_t i = 0; i < run.size(); ++i) {
        m_line += run[i];
        for (char c : pinyin::spell(known[i], pinyin::UeSpelling::Ue))
            m_line += char16_t(c);
    }
    pinyin::PinyinCounters counters;
    pinyin::annotateLine(m_line, *m_data.dictionary, *m_data.wordTable, counters, m_out, m_scratch);
    FormatReader reader(Format::Quillo);
    const ParsedLine &p = reader.parse(m_out);
    if (p.kind != LineKind::Entry || p.entry.word != run || p.entry.syllables.size() != run.size())
        return std::nullopt;
    for (const auto &s : p.entry.syllables)
        if (s.empty())
            return std::nullopt;
    return p.entry.syllables;
}

std::optional<Syllables> Annotator::annotate(std::u16string_view word, const Syllables &known) {
    const size_t n = characterCount(word);
    Syllables have = known.empty() ? Syllables(n) : known;
    if (have.size() != n)
        return std::nullopt;
    if (!m_loaded)
        load();
    // The engine reads words of double-byte characters: each run of them is annotated in one
    // piece; any other character must have its reading already.
    Syllables out(n);
    size_t c = 0;
    for (size_t i = 0; i < word.size();) {
        if (!isDoubleByte(word[i])) {
            const size_t len =
                word[i] >= 0xD800 && word[i] <= 0xDBFF && i + 1 < word.size() ? 2 : 1;
            if (have[c].empty())
                return std::nullopt;
            out[c] = have[c];
            i += len;
            ++c;
            continue;
        }
        size_t j = i;
        while (j < word.size() && isDoubleByte(word[j]))
            ++j;
        const Syllables part(have.begin() + long(c), have.begin() + long(c + (j - i)));
        const auto got = annotateRun(word.substr(i, j - i), part);
        if (!got)
            return std::nullopt;
        std::copy(got->begin(), got->end(), out.begin() + long(c));
        c += j - i;
        i = j;
    }
    return out;
}

} // namespace lex::formats

namespace lex::formats {

std::vector<Syllables> Annotator::readings(std::u16string_view word, size_t limit) {
    const auto first = annotate(word, {});
    if (!first)
        return {};
    std::vector<Syllables> out{*first};
    if (!m_polyphones)
        return out;
    // The combinations in the order of the characters' readings, the annotation's one skipped.
    std::vector<std::vector<std::string>> choices;
    size_t c = 0;
    for (size_t i = 0; i < word.size(); ++c) {
        const size_t len = word[i] >= 0xD800 && word[i] <= 0xDBFF && i + 1 < word.size() ? 2 : 1;
        std::vector<std::string> &mine = choices.emplace_back(1, (*first)[c]);
        if (len == 1)
            for (std::u16string_view reading : m_polyphones->readings(word[i])) {
                const std::string s = toUtf8(reading);
                if (std::find(mine.begin(), mine.end(), s) == mine.end())
                    mine.push_back(s);
            }
        i += len;
    }
    std::vector<Syllables> all{Syllables()};
    for (const auto &mine : choices) {
        std::vector<Syllables> next;
        for (const Syllables &head : all)
            for (const std::string &reading : mine) {
                next.push_back(head);
                next.back().push_back(reading);
            }
        all = std::move(next);
        if (all.size() > limit * 4)
            all.resize(limit * 4);
    }
    for (Syllables &reading : all)
        if (out.size() < limit && reading != *first)
            out.push_back(std::move(reading));
    return out;
}

} // namespace lex::formats
