#include "pintop/pinyin_to_code.h"

namespace lex::pintop {
namespace {

bool isVowel(char16_t c) {
    switch (c) {
    case u'a':
    case u'o':
    case u'e':
    case u'i':
    case u'u':
    case u'v':
    case u'A':
    case u'O':
    case u'E':
    case u'I':
    case u'U':
    case u'V':
        return true;
    default:
        return false;
    }
}

} // namespace

SyllableCode pinyinToCodeParts(std::u16string_view py, const ReplacementTable &table) {
    auto own = [&](size_t from, size_t to) {
        return CodePiece{nullptr, uint32_t(from), uint32_t(to - from)};
    };
    auto value = [](const std::u16string *v) { return CodePiece{v, 0, 0}; };
    const size_t n = py.size();
    size_t i = 0;
    while (i < n && !isVowel(py[i]))
        ++i;
    if (i == n || i > 2)
        return {own(0, n), {}};
    if (i == 0) {
        std::u16string key = u"0";
        key += py;
        const std::u16string *v = table.find(key);
        return {v ? value(v) : own(0, n), {}};
    }
    if (i == 1) {
        const std::u16string *v = table.find(py.substr(1));
        return v ? SyllableCode{own(0, 1), value(v)} : SyllableCode{own(0, n), {}};
    }
    const std::u16string *initial = table.find(py.substr(0, 2));
    const std::u16string *final = table.find(py.substr(2));
    return {initial ? value(initial) : own(0, 2), final ? value(final) : own(2, n)};
}

std::u16string pinyinToCode(std::u16string_view py, const ReplacementTable &table) {
    std::u16string out;
    pinyinToCodeParts(py, table).appendTo(out, py);
    return out;
}

void ReplacementTable::addLine(std::u16string_view line) {
    size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos || eq == 0)
        return;
    m_map.try_emplace(std::u16string(line.substr(0, eq)), line.substr(eq + 1));
    m_memo.clear();
}

const std::u16string *ReplacementTable::find(std::u16string_view key) const {
    auto it = m_map.find(key);
    return it == m_map.end() ? nullptr : &it->second;
}

void ReplacementTable::appendCode(std::u16string &out, std::u16string_view py) const {
    // Up to seven ASCII letters pack into one key: 7 bits each, the length in the low bits.
    uint64_t key = 0;
    if (!py.empty() && py.size() <= 7) {
        key = py.size();
        for (char16_t c : py) {
            if (c == 0 || c >= 0x80) {
                key = 0;
                break;
            }
            key = key << 7 | c;
        }
    }
    if (key == 0)
        return pinyinToCodeParts(py, *this).appendTo(out, py);
    constexpr size_t kMemoSize = 4096;
    if (m_memo.empty())
        m_memo.resize(kMemoSize);
    // The key is the syllable itself, so pieces that point into it hold for the next one too.
    Memo &m = m_memo[(key * 0x9E3779B97F4A7C15ULL) >> 52];
    if (m.key != key) {
        m.key = key;
        m.code = pinyinToCodeParts(py, *this);
    }
    m.code.appendTo(out, py);
}

} // namespace lex::pintop
