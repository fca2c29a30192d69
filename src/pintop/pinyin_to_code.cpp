#include "pintop/pinyin_to_code.h"

#include "pintop/char_readings.h"

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

} // namespace lex::pintop
