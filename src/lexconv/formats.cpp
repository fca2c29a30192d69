#include "lexconv/formats.h"

#include "shared/lexcore/cp936.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>

namespace lex::lexconv {
namespace {

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

constexpr const char *kNotAnEntry = "不是词条（行首不是汉字）";
constexpr const char *kBadPinyin = "拼音无效";
constexpr const char *kCountMismatch = "拼音数与字数不符";
constexpr const char *kNotPinyin = "编码不是拼音";
constexpr const char *kNoWord = "缺少词";
constexpr const char *kNoCode = "缺少编码";
constexpr const char *kFields = "字段数不对";
constexpr const char *kBadWeight = "权重不是数字";
constexpr const char *kAsciiInWord = "词中含有 ASCII 字符，没有与之对应的拼音";

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}

std::u16string_view trimRight(std::u16string_view s) {
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::u16string_view trim(std::u16string_view s) {
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
Fields split(std::u16string_view s, char16_t sep) {
    Fields out;
    for (;;) {
        const size_t at = out.n + 1 < Fields::kMax ? s.find(sep) : std::u16string_view::npos;
        out.f[out.n++] = s.substr(0, at);
        if (at == std::u16string_view::npos)
            return out;
        s.remove_prefix(at + 1);
    }
}

void appendSpelled(std::u16string &out, const std::string &syllable, UeSpelling ue) {
    char16_t buf[8];
    const size_t n = std::min<size_t>(syllable.size(), 8);
    for (size_t i = 0; i < n; ++i)
        buf[i] = char16_t(syllable[i]);
    if (ue == UeSpelling::Ve && n == 3 && buf[1] == u'u' && buf[2] == u'e' &&
        (buf[0] == u'l' || buf[0] == u'n'))
        buf[1] = u'v';
    out.append(buf, n);
}

// A decimal number as the formats write them (sign, digits, point, exponent); nullopt else.
std::optional<double> parseNumber(std::u16string_view text) {
    text = trim(text);
    if (text.empty() || text.size() > 64)
        return std::nullopt;
    char ascii[64];
    size_t n = 0;
    for (char16_t c : text) {
        if (c >= 0x80)
            return std::nullopt;
        ascii[n++] = char(c);
    }
    const char *from = ascii[0] == '+' ? ascii + 1 : ascii;
    double v = 0;
    const auto [end, ec] = std::from_chars(from, ascii + n, v);
    if (ec != std::errc() || end != ascii + n || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// C's atoi, as ibus-libpinyin reads its counts: leading digits, else 0.
double leadingInteger(std::u16string_view text) {
    text = trim(text);
    bool negative = false;
    size_t i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    double v = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9' && v < 1e15; ++i)
        v = v * 10 + (text[i] - u'0');
    return negative ? -v : v;
}

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// How a format writes the syllables of a word: always separated (Rime, libime, the exports), or
// possibly run together as typed (custom phrases, fixed-top codes, ibus-libpinyin).
enum class Codes { Separated, Joined };

// Gives `entry` the syllables of `code` for its word, or the reason why the code has none.
const char *takeCode(Entry &entry, std::u16string_view code, Codes codes) {
    code = trim(code);
    if (code.empty())
        return nullptr;
    entry.rawCode.assign(code);
    // ASCII in a word (T恤, #号) has no reading that a code could give.
    if (std::any_of(entry.word.begin(), entry.word.end(), [](char16_t c) { return c < 0x80; }))
        return kAsciiInWord;
    const size_t n = characterCount(entry.word);
    switch (splitSeparated(code, entry.syllables)) {
    case SplitResult::Done:
        if (entry.syllables.size() == n)
            return nullptr;
        entry.syllables.clear();
        return kCountMismatch;
    case SplitResult::NotPinyin:
        entry.syllables.clear();
        return kNotPinyin;
    case SplitResult::OneRun:
        break;
    }
    // A run of letters: one syllable, or several typed together.
    std::vector<Syllables> splits = splitCode(code, n, 8, codes == Codes::Joined);
    if (!splits.empty()) {
        entry.syllables = splits.front();
        if (splits.size() > 1)
            entry.alternatives = std::move(splits);
        return nullptr;
    }
    entry.syllables.clear();
    return splitCodeAnyCount(code).empty() ? kNotPinyin : kCountMismatch;
}

void reset(ParsedLine &r, LineKind kind) {
    r.kind = kind;
    r.reason = nullptr;
    Entry &e = r.entry;
    e.word.clear();
    e.syllables.clear();
    e.alternatives.clear();
    e.rawCode.clear();
    e.weight.reset();
    e.weightText.clear();
}

void reject(ParsedLine &r, const char *reason) {
    reset(r, LineKind::Reject);
    r.reason = reason;
}

void skip(ParsedLine &r) {
    reset(r, LineKind::Skip);
}

// The entry of a word and a code; a code that is no pinyin of the word is kept as written for
// a conversion into the same format and gives the reason otherwise.
void wordAndCode(ParsedLine &r, Codes codes, std::u16string_view word, std::u16string_view code,
                 std::optional<double> weight = std::nullopt,
                 std::u16string_view weightAsWritten = {}) {
    if (word.empty())
        return reject(r, kNoWord);
    reset(r, LineKind::Entry);
    Entry &e = r.entry;
    e.word.assign(word);
    e.weight = weight;
    e.weightText.assign(weightAsWritten);
    r.reason = takeCode(e, code, codes);
}

// The standard lexicon line: every character (anything beyond ASCII) with the letters after it.
void parseQuillo(ParsedLine &r, std::u16string_view line) {
    if (line.empty())
        return skip(r);
    std::optional<double> weight;
    std::u16string_view weightAsWritten;
    if (const size_t tab = line.rfind(u'\t'); tab != std::u16string_view::npos) {
        if ((weight = parseNumber(line.substr(tab + 1)))) {
            weightAsWritten = trim(line.substr(tab + 1));
            line = line.substr(0, tab);
        }
    }
    if (line.empty())
        return reject(r, kNoWord);
    if (line[0] < 0x80)
        return line[0] == u';' || line[0] == u'#' ? skip(r) : reject(r, kNotAnEntry);
    reset(r, LineKind::Entry);
    Entry &e = r.entry;
    e.weight = weight;
    e.weightText.assign(weightAsWritten);
    bool any = false;
    for (size_t i = 0; i < line.size();) {
        size_t len = isHighSurrogate(line[i]) && i + 1 < line.size() ? 2 : 1;
        e.word.append(line.substr(i, len));
        size_t j = i + len;
        while (j < line.size() && line[j] < 0x80)
            ++j;
        const std::u16string_view run = trim(line.substr(i + len, j - i - len));
        if (run.empty()) {
            e.syllables.emplace_back();
        } else {
            const std::optional<std::string> one = singleSyllable(run);
            if (!one)
                return reject(r, kBadPinyin);
            e.syllables.push_back(*one);
            any = true;
        }
        i = j;
    }
    if (!any)
        e.syllables.clear();
}

void parseFixedTop(ParsedLine &r, std::u16string_view line) {
    if (trim(line).empty())
        return skip(r);
    const size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos)
        return reject(r, "没有“=”，不是固顶词条");
    const std::u16string_view word = line.substr(eq + 1);
    if (word.empty())
        return reject(r, kNoWord);
    return wordAndCode(r, Codes::Joined, word, line.substr(0, eq));
}

void parseWords(ParsedLine &r, std::u16string_view line) {
    line = trim(line);
    if (line.empty())
        return skip(r);
    reset(r, LineKind::Entry);
    r.entry.word.assign(line);
}

// Tokens as libime's text loader splits a line: runs of blanks separate fields, and a field that
// begins with " runs to the closing " with \\ \" \n unescaped inside (unclosed: taken as it is).
void libimeTokens(std::u16string_view line, std::vector<std::u16string_view> &tokens,
                  std::deque<std::u16string> &unquoted) {
    tokens.clear();
    size_t quoted = 0;
    size_t i = 0;
    for (;;) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i >= line.size())
            return;
        size_t end = i;
        while (end < line.size() && !isBlank(line[end]))
            ++end;
        if (line[i] == u'"') {
            if (unquoted.size() <= quoted)
                unquoted.emplace_back();
            std::u16string &tok = unquoted[quoted];
            tok.clear();
            size_t j = i + 1;
            bool closed = false;
            for (; j < line.size(); ++j) {
                const char16_t c = line[j];
                if (c == u'\\' && j + 1 < line.size()) {
                    const char16_t next = line[++j];
                    tok += next == u'n' ? u'\n' : next;
                } else if (c == u'"') {
                    closed = true;
                    ++j;
                    break;
                } else {
                    tok += c;
                }
            }
            if (closed && (j >= line.size() || isBlank(line[j]))) {
                tokens.push_back(tok);
                ++quoted;
                i = j;
                continue;
            }
        }
        tokens.emplace_back(line.substr(i, end - i));
        i = end;
    }
}

void parseFcitx5(ParsedLine &r, std::u16string_view line) {
    if (trim(line).empty())
        return skip(r);
    thread_local std::vector<std::u16string_view> tokens;
    thread_local std::deque<std::u16string> unquoted; // stays where it is as it grows
    libimeTokens(line, tokens, unquoted);
    if (tokens.size() < 2 || tokens.size() > 3)
        return reject(r, kFields);
    std::optional<double> weight;
    if (tokens.size() == 3 && !(weight = parseNumber(tokens[2])))
        return reject(r, kBadWeight);
    return wordAndCode(r, Codes::Separated, tokens[0], tokens[1], weight,
                       tokens.size() == 3 ? tokens[2] : u"");
}

void parseLibpinyin(ParsedLine &r, std::u16string_view line) {
    if (line.empty())
        return skip(r);
    // Split at each single blank into at most three fields, the last taking the rest.
    Fields f;
    size_t start = 0;
    while (f.n < 2) {
        size_t at = line.find_first_of(u" \t", start);
        if (at == std::u16string_view::npos)
            break;
        f.f[f.n++] = line.substr(start, at - start);
        start = at + 1;
    }
    f.f[f.n++] = line.substr(start);
    if (f.size() < 2)
        return trim(line).empty() ? skip(r) : reject(r, kFields);
    std::optional<double> count;
    if (f.size() == 3)
        count = leadingInteger(f[2]);
    return wordAndCode(r, Codes::Joined, f[0], f[1], count, f.size() == 3 ? trim(f[2]) : u"");
}

void parseSogou(ParsedLine &r, std::u16string_view line) {
    line = trim(line);
    if (line.empty())
        return skip(r);
    const size_t sp = line.find_first_of(u" \t");
    if (sp == std::u16string_view::npos)
        return reject(r, kFields);
    std::u16string_view word = trim(line.substr(sp + 1));
    std::optional<double> weight;
    if (const size_t sp2 = word.find_first_of(u" \t"); sp2 != std::u16string_view::npos) {
        if (!(weight = parseNumber(word.substr(sp2 + 1))))
            return reject(r, kFields);
        word = trim(word.substr(0, sp2));
    }
    return wordAndCode(r, Codes::Separated, word, line.substr(0, sp), weight);
}

void parseQq(ParsedLine &r, std::u16string_view line) {
    line = trim(line);
    if (line.empty())
        return skip(r);
    Fields f;
    const Fields parts = split(line, u' ');
    for (size_t i = 0; i < parts.size(); ++i)
        if (!parts[i].empty())
            f.f[f.n++] = parts[i];
    if (f.size() < 2 || f.size() > 3)
        return reject(r, kFields);
    std::optional<double> weight;
    if (f.size() == 3 && !(weight = parseNumber(f[2])))
        return reject(r, kBadWeight);
    return wordAndCode(r, Codes::Separated, f[1], f[0], weight);
}

void parseBaidu(ParsedLine &r, std::u16string_view line) {
    if (trim(line).empty())
        return skip(r);
    const auto f = split(trimRight(line), u'\t');
    if (f.size() < 2 || f.size() > 3)
        return reject(r, kFields);
    std::optional<double> weight;
    if (f.size() == 3 && !(weight = parseNumber(f[2])))
        return reject(r, kBadWeight);
    return wordAndCode(r, Codes::Separated, trim(f[0]), f[1], weight);
}

bool startsWith(std::u16string_view s, std::u16string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// "c=3 d=0.2 t=5": the commit count c.
std::optional<double> userdbCount(std::u16string_view value) {
    const Fields parts = split(value, u' ');
    for (size_t i = 0; i < parts.size(); ++i)
        if (startsWith(parts[i], u"c="))
            return parseNumber(parts[i].substr(2));
    return std::nullopt;
}

void parseUserdb(ParsedLine &r, std::u16string_view line) {
    line = trimRight(line);
    if (line.empty() || line[0] == u'#')
        return skip(r);
    const auto f = split(line, u'\t');
    if (f.size() >= 3 && startsWith(f[2], u"c=")) { // the snapshot: code, text, values
        const auto c = userdbCount(f[2]);
        if (c && *c < 0)
            return reset(r, LineKind::Deleted);
        return wordAndCode(r, Codes::Separated, f[1], f[0], c);
    }
    if (f.size() < 2) // the export: text, code, count
        return reject(r, kFields);
    std::optional<double> count;
    if (f.size() >= 3 && !(count = parseNumber(f[2])))
        return reject(r, kBadWeight);
    if (count && *count < 0)
        return reset(r, LineKind::Deleted);
    return wordAndCode(r, Codes::Separated, f[0], f[1], count);
}

std::u16string_view yamlValue(std::u16string_view line) {
    const size_t colon = line.find(u':');
    return colon == std::u16string_view::npos ? std::u16string_view()
                                              : trim(line.substr(colon + 1));
}

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
    for (const FormatInfo &f : kFormats)
        if (name == f.name)
            return f.format;
    return std::nullopt;
}

size_t characterCount(std::u16string_view word) {
    size_t n = 0;
    for (size_t i = 0; i < word.size(); ++i, ++n)
        if (isHighSurrogate(word[i]) && i + 1 < word.size())
            ++i;
    return n;
}

void FormatReader::noteSpelling(std::u16string_view code) {
    if (m_ue)
        return;
    for (const char16_t *ve : {u"lve", u"nve"})
        if (code.find(ve) != std::u16string_view::npos)
            m_ue = UeSpelling::Ve;
    for (const char16_t *ue : {u"lue", u"nue"})
        if (code.find(ue) != std::u16string_view::npos)
            m_ue = UeSpelling::Ue;
}

void FormatReader::parseRimeBody(std::u16string_view line) {
    ParsedLine &r = m_line;
    line = trimRight(line);
    if (line.empty())
        return skip(r);
    if (m_comments && line[0] == u'#') {
        if (line == u"# no comment")
            m_comments = false;
        return skip(r);
    }
    const auto f = split(line, u'\t');
    auto field = [&](int column) {
        return column >= 0 && size_t(column) < f.size() ? f[size_t(column)] : std::u16string_view();
    };
    const std::u16string_view text = field(m_textColumn), code = field(m_codeColumn),
                              weight = field(m_weightColumn);
    std::optional<double> value;
    if (!weight.empty()) {
        std::u16string_view number = trim(weight);
        if (!number.empty() && number.back() == u'%')
            number.remove_suffix(1);
        value = parseNumber(number);
    }
    noteSpelling(code);
    wordAndCode(r, Codes::Separated, text, code, value, weight);
}

bool FormatReader::mayChangeState(std::u16string_view line) const {
    if (m_format == Format::Rime && m_rime != Rime::Body)
        return true;
    return (m_format == Format::Rime || m_format == Format::RimeCustom) && m_comments &&
           !line.empty() && line[0] == u'#' && trimRight(line) == u"# no comment";
}

ParsedLine &FormatReader::parse(std::u16string_view line) {
    ParsedLine &r = m_line;
    switch (m_format) {
    case Format::Quillo:
        parseQuillo(r, line);
        return r;
    case Format::FixedTop:
        parseFixedTop(r, line);
        return r;
    case Format::Words:
        parseWords(r, line);
        return r;
    case Format::Fcitx5:
        parseFcitx5(r, line);
        return r;
    case Format::Libpinyin:
        parseLibpinyin(r, line);
        noteSpelling(r.entry.rawCode);
        return r;
    case Format::Sogou:
        parseSogou(r, line);
        return r;
    case Format::Qq:
        parseQq(r, line);
        return r;
    case Format::Baidu:
        parseBaidu(r, line);
        return r;
    case Format::RimeUserdb:
        parseUserdb(r, line);
        return r;
    case Format::RimeCustom: {
        const std::u16string_view t = trimRight(line);
        if (t.empty())
            return skip(r), r;
        if (m_comments && t[0] == u'#') {
            if (t == u"# no comment")
                m_comments = false;
            return skip(r), r;
        }
        const auto f = split(t, u'\t');
        if (f.size() < 2 || trim(f[1]).empty())
            return reject(r, f.size() < 2 ? kFields : kNoCode), r;
        std::optional<double> weight;
        if (f.size() >= 3 && !trim(f[2]).empty() && !(weight = parseNumber(f[2])))
            return reject(r, kBadWeight), r;
        wordAndCode(r, Codes::Joined, f[0], f[1], weight, f.size() >= 3 ? trim(f[2]) : u"");
        return r;
    }
    case Format::Rime:
        break;
    }
    // Rime: a header when the file opens with one ("---" or a YAML key before any entry).
    if (m_rime == Rime::Start) {
        const std::u16string_view t = trimRight(line);
        if (t == u"# no comment") { // a body without header, and no comments in it
            m_header.clear();
            m_rime = Rime::Body;
            m_comments = false;
            return skip(r), r;
        }
        if (t.empty() || t[0] == u'#') {
            m_header.emplace_back(line);
            return skip(r), r;
        }
        const bool yaml = t == u"---" || (t.find(u'\t') == std::u16string_view::npos &&
                                          t.find(u':') != std::u16string_view::npos);
        if (!yaml) {
            // No header: the comments read so far are comments of the body.
            m_header.clear();
            m_rime = Rime::Body;
            parseRimeBody(line);
            return r;
        }
        m_rime = Rime::Header;
    }
    if (m_rime == Rime::Header) {
        m_header.emplace_back(line);
        const std::u16string_view t = trimRight(line);
        if (t == u"...") {
            m_rime = Rime::Body;
            if (!m_columns.empty()) {
                auto at = [&](std::u16string_view name) {
                    auto it = std::find(m_columns.begin(), m_columns.end(), name);
                    return it == m_columns.end() ? -1 : int(it - m_columns.begin());
                };
                m_textColumn = at(u"text");
                m_codeColumn = at(u"code");
                m_weightColumn = at(u"weight");
            }
            return skip(r), r;
        }
        // columns: [text, code, weight] or a block list under "columns:".
        if (startsWith(t, u"columns:")) {
            std::u16string_view v = yamlValue(t);
            m_inColumns = v.empty();
            if (v.size() >= 2 && v.front() == u'[' && v.back() == u']')
                for (const Fields parts = split(v.substr(1, v.size() - 2), u',');
                     auto part : std::span(parts.f, parts.n))
                    m_columns.emplace_back(trim(part));
        } else if (m_inColumns && startsWith(trim(t), u"- ")) {
            m_columns.emplace_back(trim(trim(t).substr(2)));
        } else if (!t.empty() && !isBlank(t[0])) {
            m_inColumns = false;
        }
        return skip(r), r;
    }
    parseRimeBody(line);
    return r;
}

std::optional<Format> detectFormat(const std::filesystem::path &path,
                                   std::optional<LexiconEncoding> encoding) {
    const std::string name = path.filename().string();
    if (name.ends_with(".dict.yaml"))
        return Format::Rime;
    if (name.ends_with(".userdb.txt"))
        return Format::RimeUserdb;
    LineStream in(path, encoding ? *encoding : detectEncoding(path));
    std::vector<std::u16string> sample;
    std::u16string_view line;
    while (sample.size() < 400 && in.next(line))
        if (!trim(line).empty())
            sample.emplace_back(line);
    for (const auto &l : sample) {
        if (startsWith(l, u"# Rime user dictionary") || startsWith(l, u"#@/db_type\tuserdb"))
            return Format::RimeUserdb;
        if (startsWith(l, u"#@/db_type\ttabledb"))
            return Format::RimeCustom;
        if (trimRight(l) == u"...") // the end of a Rime header
            return Format::Rime;
        if (l.find(u'\t') != std::u16string::npos) {
            const auto f = split(l, u'\t');
            if (f.size() >= 3 && startsWith(f[2], u"c=")) // a user dictionary's values
                return Format::RimeUserdb;
            break; // an entry: the header, if any, is over
        }
    }
    if (name.starts_with("custom_phrase"))
        return Format::RimeCustom;
    // Every other format by how many of the first lines it reads as entries with pinyin; ties go
    // to the format the file's encoding suggests.
    const bool wide = in.encoding() == LexiconEncoding::Utf16Le;
    const bool apostrophes = !sample.empty() && std::all_of(sample.begin(), sample.end(),
                                                            [](auto &l) { return l[0] == u'\''; });
    std::vector<Format> order = {Format::Rime,   Format::RimeCustom, Format::FixedTop,
                                 Format::Fcitx5, Format::Libpinyin,  Format::Quillo};
    const Format windows[] = {Format::Baidu, Format::Qq, Format::Sogou};
    order.insert(wide ? order.begin() : order.end(), std::begin(windows), std::end(windows));
    if (apostrophes)
        order.insert(order.begin(), Format::Sogou);
    Format best = Format::Words;
    int bestCount = 0, quilloEntries = 0;
    bool spaced = false, unspaced = false, tones = false, fractions = false, counts = false;
    for (Format f : order) {
        FormatReader reader(f);
        int count = 0;
        for (const auto &l : sample) {
            const ParsedLine p = reader.parse(l);
            if (p.kind != LineKind::Entry || p.reason)
                continue;
            if (f == Format::Quillo)
                ++quilloEntries;
            if (p.entry.syllables.empty())
                continue;
            ++count;
            if (f == Format::Rime && p.entry.syllables.size() > 1) {
                const auto fields = split(l, u'\t');
                (fields.size() > 1 && fields[1].find(u' ') != std::u16string_view::npos
                     ? spaced
                     : unspaced) = true;
            }
            if (f == Format::Libpinyin) {
                const size_t sp = l.find_first_of(u" \t");
                const size_t sp2 = l.find_first_of(u" \t", sp + 1);
                const std::u16string_view code =
                    std::u16string_view(l).substr(sp + 1, sp2 - sp - 1);
                tones |= code.find_first_of(u"12345") != std::u16string_view::npos;
                if (p.entry.weight) {
                    const double w = *p.entry.weight;
                    (w == std::floor(w) && w > 0 ? counts : fractions) = true;
                }
            }
        }
        if (count > bestCount) {
            best = f;
            bestCount = count;
        }
    }
    if (bestCount == 0)
        return quilloEntries > 0 ? Format::Quillo : Format::Words;
    if (best == Format::Rime && unspaced && !spaced)
        return Format::RimeCustom;
    if (best == Format::Fcitx5 || best == Format::Libpinyin)
        return tones || (counts && !fractions) ? Format::Libpinyin : Format::Fcitx5;
    return best;
}

bool isRimeDictionary(const std::filesystem::path &path) {
    if (path.filename().string().ends_with(".dict.yaml"))
        return true;
    LineStream in(path);
    std::u16string_view line;
    for (int n = 0; n < 400 && in.next(line); ++n) {
        if (trimRight(line) == u"...")
            return true;
        if (line.find(u'\t') != std::u16string_view::npos)
            return false;
    }
    return false;
}

std::u16string weightText(double weight) {
    char buf[64];
    const auto r = weight == std::floor(weight) && std::fabs(weight) < 1e15
                       ? std::to_chars(buf, buf + sizeof buf, int64_t(weight))
                       : std::to_chars(buf, buf + sizeof buf, weight);
    return std::u16string(buf, r.ptr);
}

FormatWriter::FormatWriter(Format format, Options options)
    : m_format(format), m_options(std::move(options)) {
    if (!m_options.rimeColumns.empty()) {
        auto at = [&](std::u16string_view name) {
            auto it = std::find(m_options.rimeColumns.begin(), m_options.rimeColumns.end(), name);
            return it == m_options.rimeColumns.end() ? -1 : int(it - m_options.rimeColumns.begin());
        };
        m_textColumn = at(u"text");
        m_codeColumn = at(u"code");
        m_weightColumn = at(u"weight");
    }
}

const char *FormatWriter::refusal(const Entry &e) const {
    if (e.word.empty())
        return kNoWord;
    const bool blank = std::any_of(e.word.begin(), e.word.end(), isBlank);
    switch (m_format) {
    case Format::Rime:
    case Format::RimeCustom:
    case Format::Baidu:
        if (e.word.find(u'\t') != std::u16string::npos)
            return "词中含有制表符";
        break;
    case Format::Fcitx5: {
        // Syllables of the Rime dictionaries that libime's pinyin table does not hold: it would
        // refuse the whole file for one of them.
        for (const std::string &syl : e.syllables)
            if (!libimeKnows(syl))
                return "fcitx5（libime）没有这个拼音";
        break;
    }
    case Format::Libpinyin:
        if (blank)
            return "词中含有空白";
        if (characterCount(e.word) >= 16)
            return "词太长（libpinyin 最多 15 字）";
        break;
    case Format::Sogou:
    case Format::Qq:
    case Format::Words:
        if (blank && m_format != Format::Words)
            return "词中含有空白";
        break;
    case Format::Quillo:
        if (e.word.front() < 0x80)
            return kNotAnEntry;
        if (std::any_of(e.word.begin(), e.word.end(), [](char16_t c) { return c < 0x80; }))
            return "词中含有 ASCII 字符，标准词库会把它当作拼音";
        break;
    case Format::FixedTop:
        if (e.word.find(u'=') != std::u16string::npos && e.syllables.empty())
            return kNoCode;
        break;
    default:
        break;
    }
    return nullptr;
}

void FormatWriter::begin(LineWriter &out) {
    if (m_format == Format::Rime) {
        if (!m_options.rimeHeader.empty()) {
            for (const auto &line : m_options.rimeHeader)
                out.writeLine(line);
            return;
        }
        std::u16string name = m_options.rimeName.empty() ? u"lexicon" : m_options.rimeName;
        const bool plain = std::all_of(name.begin(), name.end(), [](char16_t c) {
            return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                   (c >= u'0' && c <= u'9') || c == u'_' || c == u'.' || c == u'-';
        });
        if (!plain) {
            std::u16string quoted = u"\"";
            for (char16_t c : name)
                quoted += c == u'"' || c == u'\\' ? std::u16string{u'\\', c} : std::u16string{c};
            name = quoted + u"\"";
        }
        for (const char16_t *line : {u"# Rime dictionary", u"# encoding: utf-8", u"", u"---"})
            out.writeLine(line);
        out.writeLine(u"name: " + name);
        for (const char16_t *line : {u"version: \"1.0\"", u"sort: by_weight", u"..."})
            out.writeLine(line);
    } else if (m_format == Format::RimeCustom) {
        for (const char16_t *line :
             {u"# Rime table", u"# coding: utf-8", u"#@/db_name\tcustom_phrase.txt",
              u"#@/db_type\ttabledb", u"#", u"# no comment"})
            out.writeLine(line);
        m_commentsOn = false;
    }
}

std::u16string_view FormatWriter::body(const Entry &e) {
    std::u16string &out = m_body;
    out.clear();
    const UeSpelling ue = m_options.ue;
    // A conversion into the same format keeps the code as it was written.
    auto code = [&](char16_t sep, bool leading = false, bool trailing = false) {
        if (m_options.sameFormat && !e.rawCode.empty()) {
            out += e.rawCode;
            return;
        }
        if (e.syllables.empty())
            return;
        if (leading && sep)
            out += sep;
        for (size_t i = 0; i < e.syllables.size(); ++i) {
            if (i > 0 && sep)
                out += sep;
            appendSpelled(out, e.syllables[i], ue);
        }
        if (trailing && sep)
            out += sep;
    };
    switch (m_format) {
    case Format::Quillo: {
        size_t c = 0;
        for (size_t i = 0; i < e.word.size(); ++c) {
            const size_t len = isHighSurrogate(e.word[i]) && i + 1 < e.word.size() ? 2 : 1;
            out.append(e.word, i, len);
            if (c < e.syllables.size())
                appendSpelled(out, e.syllables[c], ue);
            i += len;
        }
        break;
    }
    case Format::FixedTop:
        code(0);
        out += u'=';
        out += e.word;
        break;
    case Format::Words:
        out += e.word;
        break;
    case Format::Rime: {
        // The columns up to the text and the code; trailing empty ones left out.
        const int last = std::max(m_textColumn, m_codeColumn);
        size_t kept = 0;
        for (int column = 0; column <= last; ++column) {
            if (column > 0)
                out += u'\t';
            if (column == m_textColumn)
                out += e.word;
            else if (column == m_codeColumn)
                code(u' ');
            if (!out.empty() && out.back() != u'\t')
                kept = out.size();
        }
        out.resize(kept);
        break;
    }
    case Format::RimeCustom:
        out += e.word;
        out += u'\t';
        code(0);
        break;
    case Format::Fcitx5: {
        // A word with blanks, quotes, backslashes or line ends goes in quotes, as libime writes it.
        const bool quote = std::any_of(e.word.begin(), e.word.end(), [](char16_t c) {
            return isBlank(c) || c == u'"' || c == u'\\' || c == u'\n';
        });
        if (quote) {
            out += u'"';
            for (char16_t c : e.word) {
                if (c == u'\n') {
                    out += u"\\n";
                    continue;
                }
                if (c == u'\\' || c == u'"')
                    out += u'\\';
                out += c;
            }
            out += u'"';
        } else {
            out += e.word;
        }
        out += u' ';
        code(u'\'');
        break;
    }
    case Format::Libpinyin:
        out += e.word;
        out += u' ';
        code(u'\'');
        break;
    case Format::Sogou:
        code(u'\'', /*leading=*/true);
        out += u' ';
        out += e.word;
        break;
    case Format::Qq:
        code(u'\'');
        out += u' ';
        out += e.word;
        break;
    case Format::Baidu:
        out += e.word;
        out += u'\t';
        code(u'\'', false, /*trailing=*/true);
        break;
    case Format::RimeUserdb:
        out += e.word;
        break;
    }
    return out;
}

bool FormatWriter::codeWritten(const Entry &e) const {
    return !e.syllables.empty() || (m_options.sameFormat && !e.rawCode.empty());
}

std::u16string_view FormatWriter::weightField(std::optional<double> weight,
                                              std::u16string_view asWritten, bool codeWritten) {
    m_weight = weightFieldText(weight, asWritten, codeWritten);
    return m_weight;
}

std::u16string FormatWriter::weightFieldText(std::optional<double> weight,
                                             std::u16string_view asWritten,
                                             bool codeWritten) const {
    auto text = [&](bool integer) {
        if (!asWritten.empty())
            return std::u16string(asWritten);
        return weightText(integer ? std::round(*weight) : *weight);
    };
    switch (m_format) {
    case Format::Quillo:
        if (!m_options.quilloWeights || !weight)
            return {};
        return u"\t" + text(false);
    case Format::Rime: {
        // The weight column after the fields of the body.
        if (!weight || m_weightColumn < 0)
            return {};
        const int t = m_textColumn, c = m_codeColumn;
        const int written = codeWritten || c < t ? std::max(t, c) + 1 : t + 1;
        if (m_weightColumn < written)
            return {}; // a weight column before the text or the code: none is written
        return std::u16string(size_t(m_weightColumn - written + 1), u'\t') + text(false);
    }
    case Format::RimeCustom:
        return weight ? u"\t" + text(true) : std::u16string();
    case Format::Libpinyin:
        return weight ? u" " + text(true) : std::u16string();
    case Format::Fcitx5:
        return u" " + (weight ? text(false) : std::u16string(u"0"));
    case Format::Qq:
        return u" " + (weight ? text(true) : std::u16string(u"1"));
    case Format::Baidu:
        return u"\t" + (weight ? text(true) : std::u16string(u"1"));
    default:
        return {};
    }
}

void FormatWriter::writeLine(LineWriter &out, std::u16string_view body,
                             std::u16string_view weight) {
    if ((m_format == Format::Rime || m_format == Format::RimeCustom) && m_commentsOn &&
        !body.empty() && body[0] == u'#') {
        out.writeLine(u"# no comment");
        m_commentsOn = false;
    }
    if (weight.empty()) {
        out.writeLine(body);
        return;
    }
    m_line.assign(body);
    m_line += weight;
    out.writeLine(m_line);
}

} // namespace lex::lexconv
