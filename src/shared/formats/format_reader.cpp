#include "shared/formats/format_reader.h"

#include "shared/formats/field_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>

namespace lex::formats {

using namespace detail;
using namespace pinyin;

namespace {

// A decimal number as the formats write them (sign, digits, point, exponent); nullopt else.
std::optional<double> parseNumber(std::u16string_view text) {
    text = trim(text);
    if (text.empty() || text.size() > 64)
        return std::nullopt;
    // Most weights are counts: up to 15 digits are exact in a double, as from_chars reads them.
    if (text.size() <= 15) {
        uint64_t v = 0;
        size_t i = 0;
        for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
            v = v * 10 + (text[i] - u'0');
        if (i == text.size())
            return double(v);
    }
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

// How a format writes the syllables of a word: always separated (Rime, libime, the exports), or
// possibly run together as typed (custom phrases, fixed-top codes, ibus-libpinyin).
enum class Codes { Separated, Joined };

bool isCircumflexE(char16_t c) {
    return c == u'ê' || c == u'Ê' || c == u'ế' || c == u'Ế' || c == u'ề' || c == u'Ề';
}
bool isCombiningMark(char16_t c) {
    return c >= 0x300 && c <= 0x36F;
}
bool endsSyllable(char16_t c) {
    return c == u' ' || c == u'\'' || c == u'\u2019' || c == u'-' || (c >= u'1' && c <= u'5');
}

// ê, the syllable of 欸 (ê̄ ế ê̌ ề with its tones, or e with a combining circumflex), as the
// letters "eh" that librime's dictionaries write for it (luna_pinyin "eh", terra_pinyin "eh1").
// Only an ê that is a syllable by itself: in "yuê" it is the e of üe. `code` itself when it
// has none; else a view of `room`.
std::u16string_view circumflexAsEh(std::u16string_view code, std::u16string &room) {
    const auto has = std::find_if(code.begin(), code.end(),
                                  [](char16_t c) { return isCircumflexE(c) || c == 0x302; });
    if (has == code.end())
        return code;
    room.clear();
    for (size_t i = 0; i < code.size(); ++i) {
        size_t end = i + 1; // past the letter and its marks
        const bool decomposed =
            (code[i] == u'e' || code[i] == u'E') && end < code.size() && code[end] == 0x302;
        if (!isCircumflexE(code[i]) && !decomposed) {
            room += code[i];
            continue;
        }
        while (end < code.size() && isCombiningMark(code[end]))
            ++end;
        const bool alone = (i == 0 || endsSyllable(code[i - 1])) &&
                           (end == code.size() || endsSyllable(code[end]));
        if (alone) {
            room += u"eh";
            i = end - 1;
        } else {
            room += code[i];
        }
    }
    return room;
}

// Gives `entry` the syllables of `code` for its word, or the reason why the code has none.
// `circumflex`: an ê standing alone is the syllable eh (the other programs' codes; the suite's
// fixed-top codes read it as before).
const char *takeCode(Entry &entry, std::u16string_view code, Codes codes, bool circumflex = true) {
    code = trim(code);
    if (code.empty())
        return nullptr;
    entry.rawCode.assign(code);
    thread_local std::u16string room;
    if (circumflex)
        code = circumflexAsEh(code, room);
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
                 std::u16string_view weightAsWritten = {}, bool circumflex = true) {
    if (word.empty())
        return reject(r, kNoWord);
    reset(r, LineKind::Entry);
    Entry &e = r.entry;
    e.word.assign(word);
    e.weight = weight;
    e.weightText.assign(weightAsWritten);
    if (r.rawCodes) {
        e.rawCode.assign(trim(code));
        return;
    }
    r.reason = takeCode(e, code, codes, circumflex);
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
    return wordAndCode(r, Codes::Joined, word, line.substr(0, eq), std::nullopt, {}, false);
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

// A YAML line without its comment: a "#" at the start or after a blank, outside quotes.
std::u16string_view withoutComment(std::u16string_view line) {
    char16_t quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char16_t c = line[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'#' && (i == 0 || isBlank(line[i - 1]))) {
            return trimRight(line.substr(0, i));
        }
    }
    return line;
}

std::u16string_view yamlValue(std::u16string_view line) {
    line = withoutComment(line);
    const size_t colon = line.find(u':');
    return colon == std::u16string_view::npos ? std::u16string_view()
                                              : trim(line.substr(colon + 1));
}

} // namespace

void FormatReader::noteSpelling(std::u16string_view code) {
    if (m_ue)
        return;
    // "lve"/"nve" tell one spelling, "lue"/"nue" the other, which wins in a code of both.
    bool ve = false, ue = false;
    for (size_t i = 0; i + 2 < code.size(); ++i) {
        if ((code[i] == u'l' || code[i] == u'n') && code[i + 2] == u'e') {
            ve = ve || code[i + 1] == u'v';
            ue = ue || code[i + 1] == u'u';
        }
    }
    if (ue)
        m_ue = UeSpelling::Ue;
    else if (ve)
        m_ue = UeSpelling::Ve;
}

bool FormatReader::rimeFields(std::u16string_view line, RimeFields &out) {
    line = trimRight(line);
    if (line.empty())
        return false;
    if (m_comments && line[0] == u'#') {
        if (line == u"# no comment")
            m_comments = false;
        return false;
    }
    // The fields up to the last column wanted, as split() parts them (the last of its
    // Fields::kMax takes the rest of the line).
    out.text = out.code = out.weight = out.stem = {};
    const int last = std::max({m_textColumn, m_codeColumn, m_weightColumn, m_stemColumn});
    std::u16string_view rest = line;
    for (int k = 0; k <= last; ++k) {
        const size_t tab = size_t(k) + 1 < Fields::kMax ? rest.find(u'\t') : rest.npos;
        const std::u16string_view field = rest.substr(0, tab);
        if (k == m_textColumn)
            out.text = field;
        if (k == m_codeColumn)
            out.code = field;
        if (k == m_weightColumn)
            out.weight = field;
        if (k == m_stemColumn)
            out.stem = field;
        if (tab == rest.npos)
            break;
        rest.remove_prefix(tab + 1);
    }
    out.value.reset();
    out.percent = false;
    if (!out.weight.empty()) {
        std::u16string_view number = trim(out.weight);
        if (!number.empty() && number.back() == u'%') {
            number.remove_suffix(1);
            out.percent = true;
        }
        out.value = parseNumber(number);
    }
    return true;
}

void FormatReader::parseRimeBody(std::u16string_view line) {
    ParsedLine &r = m_line;
    RimeFields f;
    if (!rimeFields(line, f))
        return skip(r);
    noteSpelling(f.code);
    wordAndCode(r, Codes::Separated, f.text, f.code, f.value, f.weight);
    if (r.kind == LineKind::Entry) {
        r.entry.stem.assign(f.stem);
        r.entry.percent = f.percent && f.value.has_value();
    }
}

bool FormatReader::entryView(std::u16string_view line, EntryView &out) {
    if (m_format != Format::Rime || m_rime != Rime::Body || !m_line.rawCodes)
        return false;
    const std::u16string_view t = trimRight(line);
    if (t.empty() || (m_comments && t[0] == u'#'))
        return false; // a comment may change the reader: parse() reads it
    RimeFields f;
    rimeFields(line, f);
    if (f.text.empty())
        return false; // rejected by parse()
    noteSpelling(f.code);
    out.word = f.text;
    out.rawCode = trim(f.code);
    out.weight = f.value;
    out.percent = f.percent && f.value.has_value();
    return true;
}

bool FormatReader::rimeWeightField(std::u16string_view line, WeightField &out) {
    if (m_format != Format::Rime || m_rime != Rime::Body || !m_line.rawCodes || m_weightColumn < 0)
        return false;
    // A line that may be a comment, or is blank at its end, is left to parse().
    if (line.empty() || line[0] == u'#' || isBlank(line.back()))
        return false;
    RimeFields f;
    rimeFields(line, f);
    // Every other column empty, and none past the last one read (writing anew leaves them out):
    // the columns read and the TABs are the whole line.
    const auto tabs = size_t(std::count(line.begin(), line.end(), u'\t'));
    if (f.text.empty() || f.weight.empty() || f.code != trim(f.code) ||
        f.text.size() + f.code.size() + f.weight.size() + f.stem.size() + tabs != line.size())
        return false;
    out.at = size_t(f.weight.data() - line.data());
    out.size = f.weight.size();
    out.value = f.value;
    out.percent = f.percent && f.value.has_value();
    return true;
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
                m_stemColumn = at(u"stem");
            }
            return skip(r), r;
        }
        // The lists "columns" and "import_tables": flow ([text, code, weight]) or block (one
        // "- item" a line under the key).
        if (startsWith(t, u"use_preset_vocabulary:"))
            m_presetVocabulary = yamlScalar(yamlValue(t)) == u"true"; // librime's only true
        else if (startsWith(t, u"vocabulary:"))
            m_vocabulary = yamlScalar(yamlValue(t));
        const List key = startsWith(t, u"columns:")         ? List::Columns
                         : startsWith(t, u"import_tables:") ? List::Imports
                                                            : List::None;
        if (key != List::None) {
            std::vector<std::u16string> *list = key == List::Columns ? &m_columns : &m_imports;
            std::u16string_view v = yamlValue(t);
            m_inList = v.empty() ? key : List::None;
            if (v.size() >= 2 && v.front() == u'[' && v.back() == u']')
                for (const Fields parts = split(v.substr(1, v.size() - 2), u',');
                     auto part : std::span(parts.f, parts.n))
                    if (!yamlScalar(part).empty())
                        list->emplace_back(yamlScalar(part));
        } else if (m_inList != List::None && startsWith(trim(t), u"- ")) {
            (m_inList == List::Columns ? m_columns : m_imports)
                .emplace_back(yamlScalar(withoutComment(trim(t).substr(2))));
        } else if (!t.empty() && !isBlank(t[0])) {
            m_inList = List::None;
        }
        return skip(r), r;
    }
    parseRimeBody(line);
    return r;
}

} // namespace lex::formats
