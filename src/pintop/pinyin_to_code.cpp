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

std::u16string pinyinToCode(std::u16string_view py, const ReplacementTable &table) {
    size_t i = 0;
    while (i < py.size() && !isVowel(py[i]))
        ++i;
    if (i == py.size())
        return std::u16string(py);
    if (i == 0) {
        std::u16string key = u"0";
        key += py;
        const std::u16string *v = table.find(key);
        return v ? *v : std::u16string(py);
    }
    if (i == 1) {
        const std::u16string *v = table.find(py.substr(1));
        if (!v)
            return std::u16string(py);
        return std::u16string(py.substr(0, 1)) + *v;
    }
    if (i == 2) {
        const std::u16string *initial = table.find(py.substr(0, 2));
        const std::u16string *final = table.find(py.substr(2));
        std::u16string out = initial ? *initial : std::u16string(py.substr(0, 2));
        out += final ? std::u16string_view(*final) : py.substr(2);
        return out;
    }
    return std::u16string(py);
}

} // namespace lex::pintop
