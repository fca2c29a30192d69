#include "lexconv/annotator.h"

#include "lexconv/formats.h"
#include "phonetag/annotation.h"
#include "phonetag/char_dictionary.h"
#include "phonetag/word_table.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lexicon_files.h"

namespace lex::lexconv {

Annotator::Annotator(std::filesystem::path dictionary, std::filesystem::path wordTable,
                     EventPump &pump)
    : m_dictionaryFile(std::move(dictionary)), m_wordTableFile(std::move(wordTable)), m_pump(pump) {
}

Annotator::~Annotator() = default;

void Annotator::load() {
    if (!fileExists(m_dictionaryFile))
        throw LexError("找不到单字表文件“dz.txt”，无法注音：" + m_dictionaryFile.string(),
                       m_dictionaryFile);
    if (!fileExists(m_wordTableFile))
        throw LexError("找不到词表文件“zn.lxd”，无法注音：" + m_wordTableFile.string(),
                       m_wordTableFile);
    m_dictionary =
        std::make_unique<phonetag::CharDictionary>(phonetag::loadCharDictionary(m_dictionaryFile));
    m_table =
        std::make_unique<phonetag::WordTable>(phonetag::loadWordTable(m_wordTableFile, m_pump));
}

// A run of double-byte characters as one annotated line of the suite, and back.
std::optional<Syllables> Annotator::annotateRun(std::u16string_view run, const Syllables &known) {
    m_line.clear();
    for (size_t i = 0; i < run.size(); ++i) {
        m_line += run[i];
        for (char c : spell(known[i], UeSpelling::Ue))
            m_line += char16_t(c);
    }
    phonetag::PinyinCounters counters;
    phonetag::annotateLine(m_line, *m_dictionary, *m_table, counters, m_out, m_scratch);
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
    if (!m_dictionary)
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

} // namespace lex::lexconv
