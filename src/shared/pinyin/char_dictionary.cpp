#include "shared/pinyin/char_dictionary.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/line_reader.h"

#include <algorithm>
#include <cstring>

namespace lex::pinyin {

bool CharDictionary::add(std::u16string_view line) {
    if (line.empty() || m_present[line[0]])
        return false;
    m_present[line[0]] = true;
    const size_t at = m_text.size() - kReadAhead;
    m_spans[line[0]] = Span{uint32_t(at), uint32_t(line.size())};
    m_text.resize(at);
    m_text += line;
    m_text.append(kReadAhead, u'\0');
    m_longest = std::max(m_longest, line.size());
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

void InsBlank(std::u16string_view line, std::u16string &out, WordUnits units) {
    out.clear();
    const int16_t *code = units.table();
    const size_t n = line.size();
    for (size_t i = 0; i < n; ++i) {
        if (i + 1 < n && code[line[i]] < 0 && code[line[i + 1]] > 64) {
            // A wide word's character beyond the basic plane is marked before its first unit.
            if (units.isWide() && i > 0 && line[i] >= 0xDC00 && line[i] <= 0xDFFF &&
                line[i - 1] >= 0xD800 && line[i - 1] <= 0xDBFF)
                out.insert(out.size() - 1, 1, u'0');
            else
                out.push_back(u'0');
        }
        out.push_back(line[i]);
    }
}

std::u16string InsBlank(std::u16string_view line, WordUnits units) {
    std::u16string out;
    InsBlank(line, out, units);
    return out;
}

namespace {

// The rule of FixPinyin, writing through `put(text)` and `put(unit)`; returns the counts.
template <class Put>
PinyinCounters fixPinyinInto(std::u16string_view line, const CharDictionary &dict, WordUnits units,
                             Put &&put) {
    const size_t n = line.size();
    const int16_t *code = units.table();
    bool keep = false;
    PinyinCounters counted;
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = line[i];
        const bool wordChar = code[c] < 0;
        if (!wordChar) {
            if (keep)
                put(c);
            continue;
        }
        // A text is never empty: an empty one is a character the dictionary lacks.
        const std::u16string_view text = dict.text(c);
        if (i + 1 == n) {
            if (!text.empty()) {
                put(text);
                ++counted.supplemented;
            } else {
                put(c);
            }
            break;
        }
        keep = true;
        if (code[line[i + 1]] >= 64) {
            // Annotated: the letters stay only behind a character the dictionary knows. A wide
            // word's character beyond code page 936, which no dictionary of it can know, keeps
            // the letters it was given.
            put(c);
            if (text.empty() && !(units.isWide() && ansiCode(c) >= 0)) {
                keep = false;
                ++counted.cleared;
            }
        } else if (!text.empty()) {
            put(text);
            ++counted.supplemented;
        } else {
            put(c);
        }
    }
    return counted;
}

struct Counting {
    size_t units = 0;
    void operator()(std::u16string_view text) { units += text.size(); }
    void operator()(char16_t) { ++units; }
};

// Texts are the dictionary's, which can be read CharDictionary::kReadAhead units on: a short one
// is copied as a block of that size, over room that the caller leaves behind the result.
struct Writing {
    char16_t *dst;
    void operator()(std::u16string_view text) {
        if (text.size() <= CharDictionary::kReadAhead) {
            std::memcpy(dst, text.data(), CharDictionary::kReadAhead * sizeof(char16_t));
            dst += text.size();
        } else {
            dst = std::copy(text.begin(), text.end(), dst);
        }
    }
    void operator()(char16_t c) { *dst++ = c; }
};

} // namespace

void FixPinyin(std::u16string_view line, const CharDictionary &dict, PinyinCounters &counters,
               std::u16string &out, WordUnits units) {
    out.clear();
    appendFixedPinyin(line, dict, counters, out, units);
}

void appendFixedPinyin(std::u16string_view line, const CharDictionary &dict,
                       PinyinCounters &counters, std::u16string &out, WordUnits units) {
    // Written through a pointer into room for the whole result: a million lines pass here,
    // and per-character appends cost more than the rule itself. The room is the line's length
    // times the longest text, or, where that would be large, what a counting pass finds.
    size_t room = line.size() * std::max<size_t>(dict.longestText(), 1);
    if (room > (size_t(1) << 16)) {
        Counting count;
        fixPinyinInto(line, dict, units, count);
        room = count.units;
    }
    const size_t start = out.size();
    out.resize(start + room + CharDictionary::kReadAhead);
    Writing write{out.data() + start};
    const PinyinCounters counted = fixPinyinInto(line, dict, units, write);
    out.resize(size_t(write.dst - out.data()));
    counters.supplemented += counted.supplemented;
    counters.cleared += counted.cleared;
}

std::u16string FixPinyin(std::u16string_view line, const CharDictionary &dict,
                         PinyinCounters &counters, WordUnits units) {
    std::u16string out;
    FixPinyin(line, dict, counters, out, units);
    return out;
}

bool IsDYC(std::u16string_view line) {
    for (size_t i = 1; i < line.size(); ++i)
        if (ansiCode(line[i]) >= 64)
            return true;
    return false;
}

} // namespace lex::pinyin
