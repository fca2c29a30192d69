#include "shared/formats/lexicon_format.h"

#include "shared/formats/field_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace lex::formats {
namespace {

using pinyin::UeSpelling;

constexpr TextFormat kUtf8Lf{LexiconEncoding::Utf8, false};
constexpr TextFormat kGbkCrLf{LexiconEncoding::Ansi936, true};
constexpr TextFormat kUtf16CrLf{LexiconEncoding::Utf16Le, true};

const FormatInfo kFormats[] = {
    {Format::Quillo, "quillo", "标准词库（中zhong国guo）", true, false, WeightKind::Count,
     UeSpelling::Ue, std::nullopt},
    {Format::FixedTop, "fixedtop", "固顶词库（编码=词）", true, true, WeightKind::None,
     UeSpelling::Ue, std::nullopt},
    {Format::Words, "words", "纯词表（每行一词）", true, false, WeightKind::None, UeSpelling::Ue,
     std::nullopt},
    {Format::Rime, "rime", "Rime 词典（*.dict.yaml）", true, true, WeightKind::Count,
     UeSpelling::Ve, kUtf8Lf},
    {Format::RimeCustom, "rime-custom", "Rime 自定义短语（custom_phrase.txt）", true, true,
     WeightKind::Count, UeSpelling::Ve, kUtf8Lf},
    {Format::RimeUserdb, "rime-userdb", "Rime 用户词典（*.userdb.txt，只读）", false, true,
     WeightKind::Count, UeSpelling::Ve, kUtf8Lf},
    {Format::Fcitx5, "fcitx5", "fcitx5 拼音词库文本（libime）", true, true, WeightKind::Cost,
     UeSpelling::Ve, kUtf8Lf},
    {Format::Libpinyin, "libpinyin", "ibus-libpinyin 短语", true, true, WeightKind::Count,
     UeSpelling::Ve, kUtf8Lf},
    {Format::Sogou, "sogou", "搜狗拼音导出（'ni'hao 你好）", true, true, WeightKind::None,
     UeSpelling::Ue, kGbkCrLf},
    {Format::Qq, "qq", "QQ 拼音导出（ni'hao 你好 1）", true, true, WeightKind::Count,
     UeSpelling::Ue, kUtf16CrLf},
    {Format::Baidu, "baidu", "百度拼音导出（你好 ni'hao' 1）", true, true, WeightKind::Count,
     UeSpelling::Ue, kUtf16CrLf},
};

} // namespace

std::span<const FormatInfo> allFormats() {
    return kFormats;
}

const FormatInfo &formatInfo(Format format) {
    for (const FormatInfo &f : kFormats)
        if (f.format == format)
            return f;
    return kFormats[0];
}

std::optional<Format> formatByName(std::string_view name) {
    // "Rime" and "RIME" are "rime": ASCII letters of any case.
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (const FormatInfo &f : kFormats)
        if (std::ranges::equal(name, std::string_view(f.name), {}, lower))
            return f.format;
    return std::nullopt;
}

size_t characterCount(std::u16string_view word) {
    size_t n = 0;
    for (size_t i = 0; i < word.size(); ++i, ++n)
        if (detail::isHighSurrogate(word[i]) && i + 1 < word.size())
            ++i;
    return n;
}

std::u16string weightText(double weight) {
    char buf[64];
    const auto r = weight == std::floor(weight) && std::fabs(weight) < 1e15
                       ? std::to_chars(buf, buf + sizeof buf, int64_t(weight))
                       : std::to_chars(buf, buf + sizeof buf, weight);
    return std::u16string(buf, r.ptr);
}

} // namespace lex::formats
