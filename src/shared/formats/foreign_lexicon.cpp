#include "shared/formats/foreign_lexicon.h"

#include "shared/formats/field_text.h"
#include "shared/formats/format_detection.h"
#include "shared/formats/format_writer.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/run_context.h"

#include <algorithm>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

namespace lex::formats {

using namespace detail;

std::optional<Format> foreignFormat(const std::filesystem::path &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), R_OK))
        return std::nullopt;
    try {
        const std::optional<Format> format = detectFormat(path);
        if (!format)
            return std::nullopt;
        switch (*format) {
        case Format::Rime:
        case Format::RimeCustom:
        case Format::Fcitx5:
        case Format::Libpinyin:
        case Format::Sogou:
        case Format::Qq:
        case Format::Baidu:
            return format;
        default:
            return std::nullopt;
        }
    } catch (const LexError &) {
        return std::nullopt; // the operation's own reader says why
    }
}

std::optional<WeightRule> weightRuleByName(std::string_view name) {
    if (name == "max")
        return WeightRule::Max;
    if (name == "sum")
        return WeightRule::Sum;
    if (name == "first")
        return WeightRule::First;
    if (name == "second")
        return WeightRule::Second;
    return std::nullopt;
}

const char *weightRuleName(WeightRule rule) {
    switch (rule) {
    case WeightRule::Max:
        return "max";
    case WeightRule::Sum:
        return "sum";
    case WeightRule::First:
        return "first";
    case WeightRule::Second:
        return "second";
    }
    return "";
}

namespace {

// Whether the first line of a file of `encoding` ends in CR LF (a file without a line end: no).
bool firstLineEndsInCrLf(const std::filesystem::path &path, LexiconEncoding encoding) {
    size_t size = 0;
    Fd f = openForReading(path, size);
    std::string bytes(std::min<size_t>(size, 64 << 10), '\0');
    bytes.resize(readChunk(f, path, bytes.data(), bytes.size()));
    if (encoding == LexiconEncoding::Utf16Le) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            if (bytes[i] == '\n' && bytes[i + 1] == 0)
                return bytes[i - 2] == '\r' && bytes[i - 1] == 0;
        return false;
    }
    const size_t lf = bytes.find('\n');
    return lf != std::string::npos && lf > 0 && bytes[lf - 1] == '\r';
}

} // namespace

ForeignLexicon::ForeignLexicon(const std::filesystem::path &path, Format format, EventPump &pump)
    : m_path(path), m_format(format), m_bodyReader(format) {
    // A format of its own encoding is read in it whatever the bytes (a bad byte shows as U+FFFD
    // in its own line); the others as their bytes tell.
    const FormatInfo &info = formatInfo(format);
    if (info.output) {
        m_text.encoding = info.output->encoding;
        m_text.crlf = firstLineEndsInCrLf(path, m_text.encoding);
    } else {
        m_text = detectTextFormat(path);
    }
    LineStream in(path, m_text.encoding);
    FormatReader reader(format);
    bool body = reader.inBody();
    std::vector<std::u16string> early; // Rime: the lines before the body
    std::u16string_view line;
    while (in.next(line)) {
        if ((in.lineNumber() & 0xFFF) == 0)
            pump.yield();
        const bool changes = reader.mayChangeState(line);
        const ParsedLine &p = reader.parse(line);
        if (!body) {
            if (!reader.inBody()) {
                early.emplace_back(line);
                continue;
            }
            body = true;
            m_bodyReader = reader;
            if (!reader.header().empty()) { // "..." ended the header
                early.emplace_back(line);
                m_header = std::move(early);
                continue;
            }
            m_others = std::move(early); // no header: the comments are the body's
        } else if (changes) {
            m_bodyReader = reader; // "# no comment": later lines are read as it says
        }
        if (p.kind != LineKind::Entry) {
            m_others.emplace_back(line);
            continue;
        }
        ForeignEntry e;
        e.line.assign(line);
        e.word = p.entry.word;
        // The code as written (tones tell terra_pinyin's readings apart), its syllables parted
        // by one blank however the format parts them.
        for (char16_t c : trim(p.entry.rawCode)) {
            const bool separator = c == u' ' || c == u'\'' || c == u'\t';
            if (!separator)
                e.code += c;
            else if (!e.code.empty() && e.code.back() != u' ')
                e.code += u' ';
        }
        if (!e.code.empty() && e.code.back() == u' ')
            e.code.pop_back();
        m_hasCodes |= !e.code.empty();
        e.weight = p.entry.weight;
        e.percent = p.entry.percent;
        m_entries.push_back(std::move(e));
    }
    if (!body) // a header never ended: all of it is header, as librime takes it
        m_header = std::move(early);
}

std::u16string ForeignLexicon::entryKey(const ForeignEntry &entry, bool byWord) {
    if (byWord || entry.code.empty())
        return entry.word;
    std::u16string key = entry.word;
    key += u'\t';
    key += entry.code;
    return key;
}

void ForeignLexicon::mergeWeight(ForeignEntry &a, const ForeignEntry &b, WeightRule rule) const {
    if (!b.weight || (b.percent && !a.percent && a.weight))
        return;
    if (!a.weight || (a.percent && !b.percent)) {
        a.weight = b.weight;
        a.percent = b.percent;
        a.rewrite = true;
        return;
    }
    const double x = *a.weight, y = *b.weight;
    double merged = x;
    switch (rule) {
    case WeightRule::Max:
        merged = std::max(x, y);
        break;
    case WeightRule::Sum:
        // Costs are log10 probabilities: the probabilities add up.
        merged = formatInfo(m_format).weight == WeightKind::Cost
                     ? std::max(x, y) + std::log10(1 + std::pow(10.0, -std::fabs(x - y)))
                     : x + y;
        break;
    case WeightRule::First:
        break;
    case WeightRule::Second:
        merged = y;
        break;
    }
    if (merged != x) {
        a.weight = merged;
        a.rewrite = true;
    }
}

void ForeignLexicon::setCode(ForeignEntry &entry, const pinyin::Syllables &syllables) const {
    std::u16string code;
    for (size_t i = 0; i < syllables.size(); ++i) {
        if (i)
            code += u' ';
        for (char c : syllables[i])
            code += char16_t(c);
    }
    if (code != entry.code) {
        entry.code = std::move(code);
        entry.rewrite = true;
    }
}

void ForeignLexicon::adopt(ForeignEntry &entry, const ForeignLexicon &from) const {
    if (from.m_format == m_format && from.m_bodyReader.columns() == m_bodyReader.columns())
        return;
    entry.made = entry.rewrite = true;
    if (formatInfo(from.m_format).weight != formatInfo(m_format).weight ||
        (entry.percent && m_format != Format::Rime))
        entry.weight.reset();
}

std::u16string ForeignLexicon::lineOf(const ForeignEntry &entry) const {
    if (!entry.rewrite)
        return entry.line;
    FormatReader reader = m_bodyReader;
    ParsedLine p;
    if (!entry.made)
        p = reader.parse(entry.line);
    Entry &e = p.entry;
    if (entry.made)
        e.word = entry.word;
    e.rawCode.clear();
    e.syllables.clear();
    for (size_t from = 0; from < entry.code.size();) {
        size_t to = entry.code.find(u' ', from);
        if (to == std::u16string::npos)
            to = entry.code.size();
        std::string syllable;
        for (size_t i = from; i < to; ++i)
            syllable += char(entry.code[i]);
        e.syllables.push_back(std::move(syllable));
        from = to + 1;
    }
    // A code that is no pinyin stays as written.
    if (!entry.code.empty() && !pinyin::isSyllable(e.syllables.front())) {
        e.syllables.clear();
        e.rawCode = entry.code;
    }
    const bool sameWeight = e.weight == entry.weight && e.percent == entry.percent;
    FormatWriter::Options options;
    options.ue = reader.ueSeen().value_or(formatInfo(m_format).ue);
    options.rimeColumns = reader.columns();
    options.sameFormat = true;
    FormatWriter writer(m_format, options);
    std::u16string weight;
    if (sameWeight)
        weight = e.weightText;
    else if (entry.weight)
        weight = entry.percent ? weightText(*entry.weight) + u"%" : std::u16string();
    const std::u16string body(writer.body(e));
    const std::u16string field(writer.weightField(entry.weight, weight, writer.codeWritten(e)));
    std::u16string out;
    writer.appendLine(out, body, entry.weight || sameWeight ? std::u16string_view(field) : u"");
    return out;
}

ForeignLexicon::Written ForeignLexicon::write(const std::filesystem::path &output,
                                              const std::vector<ForeignEntry> &entries,
                                              EventPump &pump) const {
    Written written;
    TextFormat text = m_text;
    const FormatInfo &info = formatInfo(m_format);
    if (const auto forced = pump.context().forcedEncoding(); forced && !info.output)
        text.encoding = *forced;
    else if (forced && *forced != info.output->encoding)
        pump.context().notice(std::string("注意：") + info.name + " 词库只有一种编码，" +
                              output.string() + " 仍按原编码写出");
    if (text.encoding == LexiconEncoding::Ansi936)
        text.crlf = true;
    LineWriter out(output, text, &pump.context(), LossReport::ToRun);
    if (m_format == Format::Rime && !m_header.empty()) {
        FormatWriter::Options options;
        options.rimeHeader = m_header;
        options.rimeName = rimeNameFor(output);
        if (const auto old = rimeRenamed(m_header, options.rimeName)) {
            written.renamedFrom = toUtf8(*old);
            written.renamedTo = toUtf8(options.rimeName);
        }
        FormatWriter(m_format, std::move(options)).begin(out);
    }
    for (const std::u16string &line : m_others)
        out.writeLine(line);
    // An entry beginning with "#" (from another lexicon, or written anew) would be a comment
    // where comments are still on.
    if (m_bodyReader.commentsOn() &&
        std::any_of(entries.begin(), entries.end(), [&](const ForeignEntry &e) {
            return e.word.starts_with(u'#') && (e.rewrite || e.line.starts_with(u'#'));
        }))
        out.writeLine(u"# no comment");
    for (const ForeignEntry &e : entries) {
        if ((++written.lines & 0xFFF) == 0)
            pump.yield();
        if (e.rewrite)
            out.writeLine(lineOf(e));
        else
            out.writeLine(e.line);
    }
    out.close();
    return written;
}

std::string foreignReport(const ForeignLexicon &lexicon, const ForeignLexicon::Written &written) {
    std::string text = std::string("格式：") + formatInfo(lexicon.format()).name;
    if (!lexicon.header().empty())
        text += "，文件头 " + std::to_string(lexicon.header().size()) + " 行原样保留";
    if (!lexicon.others().empty())
        text += "，非词条行 " + std::to_string(lexicon.others().size()) + " 行（放在词条之前）";
    text += "\r\n";
    if (!written.renamedTo.empty())
        text += "词典名：" + written.renamedFrom + " 改为 " + written.renamedTo +
                "（随输出文件名）\r\n";
    return text;
}

} // namespace lex::formats
