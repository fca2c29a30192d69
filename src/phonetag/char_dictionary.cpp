#include "phonetag/char_dictionary.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lexicon_files.h"

namespace lex::phonetag {

bool CharDictionary::add(std::u16string_view line) {
    if (line.empty() || m_present[line[0]])
        return false;
    m_present[line[0]] = true;
    m_spans[line[0]] = Span{uint32_t(m_text.size()), uint32_t(line.size())};
    m_text += line;
    ++m_count;
    return true;
}

CharDictionary loadCharDictionary(const std::filesystem::path &path) {
    CharDictionary dict;
    LineReader reader(path);
    while (!reader.atEnd())
        dict.add(reader.readLineView());
    reader.close();
    return dict;
}

void InsBlank(std::u16string_view line, std::u16string &out) {
    out.clear();
    const size_t n = line.size();
    for (size_t i = 0; i < n; ++i) {
        if (i + 1 < n && isDoubleByte(line[i]) && ansiCode(line[i + 1]) > 64)
            out.push_back(u'0');
        out.push_back(line[i]);
    }
}

std::u16string InsBlank(std::u16string_view line) {
    std::u16string out;
    InsBlank(line, out);
    return out;
}

void FixPinyin(std::u16string_view line, const CharDictionary &dict, PinyinCounters &counters,
               std::u16string &out) {
    out.clear();
    const size_t n = line.size();
    bool keep = false;
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = line[i];
        const bool wordChar = isDoubleByte(c);
        if (i + 1 == n) {
            if (wordChar && dict.contains(c)) {
                out += dict.text(c);
                ++counters.supplemented;
            } else if (wordChar || keep) {
                out.push_back(c);
            }
            break;
        }
        if (!wordChar) {
            if (keep)
                out.push_back(c);
            continue;
        }
        keep = true;
        if (ansiCode(line[i + 1]) >= 64) {
            // Annotated: the letters stay only behind a character the dictionary knows.
            out.push_back(c);
            if (!dict.contains(c)) {
                keep = false;
                ++counters.cleared;
            }
        } else if (dict.contains(c)) {
            out += dict.text(c);
            ++counters.supplemented;
        } else {
            out.push_back(c);
        }
    }
}

std::u16string FixPinyin(std::u16string_view line, const CharDictionary &dict,
                         PinyinCounters &counters) {
    std::u16string out;
    FixPinyin(line, dict, counters, out);
    return out;
}

bool IsDYC(std::u16string_view line) {
    for (size_t i = 1; i < line.size(); ++i)
        if (ansiCode(line[i]) >= 64)
            return true;
    return false;
}

} // namespace lex::phonetag
