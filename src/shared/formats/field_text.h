#pragma once
// The text routines the lexicon formats share: blanks, trimming, fields, and the reasons a line
// is refused. Internal to the formats library.

#include "shared/pinyin/syllables.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace lex::formats::detail {

inline constexpr const char *kNotAnEntry = "不是词条（行首不是汉字）";
inline constexpr const char *kBadPinyin = "拼音无效";
inline constexpr const char *kCountMismatch = "拼音数与字数不符";
inline constexpr const char *kNotPinyin = "编码不是拼音";
inline constexpr const char *kNoWord = "缺少词";
inline constexpr const char *kNoCode = "缺少编码";
inline constexpr const char *kFields = "字段数不对";
inline constexpr const char *kBadWeight = "权重不是数字";
inline constexpr const char *kAsciiInWord = "词中含有 ASCII 字符，没有与之对应的拼音";

inline bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}

inline std::u16string_view trimRight(std::u16string_view s) {
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

inline std::u16string_view trim(std::u16string_view s) {
    s = trimRight(s);
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

// The fields of a line, split at each `sep`; beyond kMax fields the last takes the rest. Lines
// have few fields: no allocation.
struct Fields {
    static constexpr size_t kMax = 16;
    std::u16string_view f[kMax];
    size_t n = 0;
    size_t size() const { return n; }
    std::u16string_view operator[](size_t i) const { return f[i]; }
};
inline Fields split(std::u16string_view s, char16_t sep) {
    Fields out;
    for (;;) {
        const size_t at = out.n + 1 < Fields::kMax ? s.find(sep) : std::u16string_view::npos;
        out.f[out.n++] = s.substr(0, at);
        if (at == std::u16string_view::npos)
            return out;
        s.remove_prefix(at + 1);
    }
}

inline bool startsWith(std::u16string_view s, std::u16string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

inline bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

inline void appendSpelled(std::u16string &out, const std::string &syllable, pinyin::UeSpelling ue) {
    char16_t buf[8];
    const size_t n = std::min<size_t>(syllable.size(), 8);
    for (size_t i = 0; i < n; ++i)
        buf[i] = char16_t(syllable[i]);
    if (ue == pinyin::UeSpelling::Ve && n == 3 && buf[1] == u'u' && buf[2] == u'e' &&
        (buf[0] == u'l' || buf[0] == u'n'))
        buf[1] = u'v';
    out.append(buf, n);
}

// A plain or quoted YAML scalar: "text", 'text' and text are all the text.
inline std::u16string_view yamlScalar(std::u16string_view v) {
    v = trim(v);
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

} // namespace lex::formats::detail
