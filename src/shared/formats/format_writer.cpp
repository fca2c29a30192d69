#include "shared/formats/format_writer.h"

#include "shared/formats/field_text.h"
#include "shared/lexcore/atomic_output.h"
#include "shared/lexcore/cp936.h"

#include <algorithm>
#include <cmath>

namespace lex::formats {

using namespace detail;
using namespace pinyin;

namespace {

// A dictionary name as a YAML scalar: plain when it can be, else quoted.
std::u16string rimeNameText(std::u16string name) {
    const bool plain = std::all_of(name.begin(), name.end(), [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'_' || c == u'.' || c == u'-';
    });
    if (plain)
        return name;
    std::u16string quoted = u"\"";
    for (char16_t c : name)
        quoted += c == u'"' || c == u'\\' ? std::u16string{u'\\', c} : std::u16string{c};
    return quoted + u"\"";
}

} // namespace

std::u16string rimeNameFor(const std::filesystem::path &output) {
    if (isWrittenInPlace(output))
        return {};
    std::string name = output.filename().string();
    if (name.ends_with(".dict.yaml"))
        name.resize(name.size() - 10);
    else
        name = output.stem().string();
    return fromUtf8(name);
}

std::optional<std::u16string> rimeRenamed(const std::vector<std::u16string> &header,
                                          std::u16string_view name) {
    for (const std::u16string &line : header) {
        if (!startsWith(line, u"name:"))
            continue;
        const std::u16string_view old = yamlScalar(std::u16string_view(line).substr(5));
        if (name.empty() || old == name)
            return std::nullopt;
        return std::u16string(old);
    }
    return std::nullopt;
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
        m_stemColumn = at(u"stem");
    }
}

const char *FormatWriter::refusal(const Entry &e) const {
    if (e.word.empty())
        return kNoWord;
    const bool blank = std::any_of(e.word.begin(), e.word.end(), isBlank);
    // ê (the suite's eh): libpinyin's syllable table has no such syllable, nor have the Windows
    // programs' keyboards (欸 is typed ei or ai there); libime's is refused below with the others.
    if ((m_format == Format::Libpinyin || m_format == Format::Sogou || m_format == Format::Qq ||
         m_format == Format::Baidu) &&
        std::find(e.syllables.begin(), e.syllables.end(), "eh") != e.syllables.end())
        return "目标格式的输入法没有 ê（eh）这个音节";
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
        std::u16string name = m_options.rimeName.empty() ? u"lexicon" : m_options.rimeName;
        if (!m_options.rimeHeader.empty()) {
            // The source's header, but for its name: librime finds a dictionary by the name its
            // file has, so the name follows the output file.
            bool named = false;
            for (const auto &line : m_options.rimeHeader) {
                if (!named && startsWith(line, u"name:") && !m_options.rimeName.empty()) {
                    named = true;
                    out.writeLine(u"name: " + rimeNameText(name));
                    continue;
                }
                out.writeLine(line);
            }
            return;
        }
        for (const char16_t *line : {u"# Rime dictionary", u"# encoding: utf-8", u"", u"---"})
            out.writeLine(line);
        out.writeLine(u"name: " + rimeNameText(name));
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
        if (keepsRawCode(e)) {
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
        // The columns up to the text, the code and the stem; trailing empty ones left out.
        const int last = std::max({m_textColumn, m_codeColumn, m_stemColumn});
        size_t kept = 0;
        for (int column = 0; column <= last; ++column) {
            if (column > 0)
                out += u'\t';
            if (column == m_textColumn)
                out += e.word;
            else if (column == m_codeColumn)
                code(u' ');
            else if (column == m_stemColumn)
                out += e.stem;
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
    return !e.syllables.empty() || keepsRawCode(e);
}

bool FormatWriter::keepsRawCode(const Entry &e) const {
    if (!m_options.sameFormat || e.rawCode.empty())
        return false;
    // libime's dictionary compiler refuses a whole file for one tone digit (ni3'hao3): fcitx5
    // keeps the syllables without them.
    return !(m_format == Format::Fcitx5 && !e.syllables.empty() &&
             std::any_of(e.rawCode.begin(), e.rawCode.end(),
                         [](char16_t c) { return c >= u'0' && c <= u'9'; }));
}

std::u16string_view FormatWriter::weightField(std::optional<double> weight,
                                              std::u16string_view asWritten, bool codeWritten) {
    m_weight = weightFieldText(weight, asWritten, codeWritten);
    return m_weight;
}

std::u16string FormatWriter::weightFieldText(std::optional<double> weight,
                                             std::u16string_view asWritten,
                                             bool /*codeWritten*/) const {
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
    case Format::Rime:
        // The weight alone: appendLine puts it in its column.
        if (!weight || m_weightColumn < 0)
            return {};
        return text(false);
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

void FormatWriter::appendLine(std::u16string &out, std::u16string_view body,
                              std::u16string_view weight) const {
    if (m_format != Format::Rime || weight.empty()) {
        out += body;
        out += weight;
        return;
    }
    // Rime: the weight in its column, after the body's columns or among them (empty there).
    const size_t columns = size_t(std::count(body.begin(), body.end(), u'\t')) + 1;
    const size_t column = size_t(m_weightColumn);
    if (column >= columns) {
        out += body;
        out.append(column - columns + 1, u'\t');
        out += weight;
        return;
    }
    size_t at = 0;
    for (size_t k = 0; k < column; ++k)
        at = body.find(u'\t', at) + 1;
    out += body.substr(0, at);
    out += weight;
    out += body.substr(at);
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
    m_line.clear();
    appendLine(m_line, body, weight);
    out.writeLine(m_line);
}

} // namespace lex::formats
