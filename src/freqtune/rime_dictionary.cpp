#include "freqtune/rime_dictionary.h"

#include "shared/formats/format_reader.h"
#include "shared/formats/format_writer.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/utf8.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>

namespace lex::freqtune {
namespace fs = std::filesystem;

void importRimeRows(sqlite3 *handle, const fs::path &database, const fs::path &lexicon,
                    Statement &insert, ImportResult &result, EventPump &pump) {
    execOn(
        handle,
        "CREATE TABLE RimeHeader(LineNo INTEGER PRIMARY KEY, Text TEXT);"
        "CREATE TABLE RimeEntry(SeqNo INTEGER PRIMARY KEY, Line TEXT, Weight REAL, Share INTEGER)",
        database);
    Statement entry(handle, "INSERT INTO RimeEntry VALUES (?1, ?2, ?3, ?4)", database);
    result.rime = true;
    // Rime reads its dictionaries as UTF-8 whatever their bytes.
    LineStream in(lexicon, LexiconEncoding::Utf8);
    formats::FormatReader reader(formats::Format::Rime);
    formats::FormatWriter standard(formats::Format::Quillo, {});
    std::string line8, word8, entry8;
    std::u16string_view line;
    while (in.next(line)) {
        const formats::ParsedLine &p = reader.parse(line);
        if (p.kind != formats::LineKind::Entry) {
            if (p.kind == formats::LineKind::Reject)
                ++result.dropped;
            else
                ++result.skipped;
        } else {
            const formats::Entry &e = p.entry;
            // The quillo export writes the entry as a standard line where it can be one (its
            // pinyin after each character), else as its text.
            const std::u16string_view standardLine =
                standard.refusal(e) ? std::u16string_view(e.word) : standard.body(e);
            const int64_t length = int64_t(formats::characterCount(e.word));
            const int64_t seq = result.rows + 1;
            toUtf8Into(standardLine, line8);
            toUtf8Into(e.word, word8);
            insert.bind(1, seq);
            insert.bindText(2, line8);
            insert.bindText(3, word8);
            insert.bind(4, 0);
            insert.bind(5, length);
            insert.step();
            insert.reset();
            toUtf8Into(line, entry8);
            entry.bind(1, seq);
            entry.bindText(2, entry8);
            if (e.weight && !e.percent)
                entry.bindReal(3, *e.weight);
            else
                entry.bindNull(3);
            entry.bind(4, e.percent ? 1 : 0);
            entry.step();
            entry.reset();
            ++result.rows;
            if (length == 1)
                ++result.singles;
        }
        if ((in.lineNumber() & 4095) == 0)
            pump.setProgress(int64_t(in.bytesRead()), int64_t(in.size()));
        pump.yield();
    }
    if (reader.headerUnended())
        throw LexError("Rime 词典的文件头没有结束行“...”：" + lexicon.string(), lexicon);
    // The header's lines were skips of the reader too: those left are the body's comments.
    result.skipped -= int64_t(reader.header().size());
    Statement header(handle, "INSERT INTO RimeHeader VALUES (?1, ?2)", database);
    for (const std::u16string &text : reader.header()) {
        toUtf8Into(text, line8);
        header.bind(1, result.keptHeader + 1);
        header.bindText(2, line8);
        header.step();
        header.reset();
        ++result.keptHeader;
    }
}

bool holdsRimeDictionary(FrequencyDatabase &db) {
    Statement probe(db.handle(),
                    "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'RimeHeader'",
                    db.path());
    if (!probe.step())
        return false;
    Statement rows(db.handle(), "SELECT 1 FROM RimeHeader LIMIT 1", db.path());
    return rows.step();
}

double RimeWeights::weight(int64_t count, std::optional<double> original) const {
    if (!blend)
        return double(count);
    const double f = *blend;
    return std::round((1 - f) * original.value_or(0) + f * double(count) * scale);
}

namespace {

// The dictionary for the conversion to read: the header lines, then the rows in export order,
// each its own line with the weight column holding the weight its count gives.
class RimeRows final : public ExportRowLines {
public:
    RimeRows(FrequencyDatabase &db, const ExportOptions &options, RimeWeights weights,
             EventPump &pump)
        : ExportRowLines(db,
                         "SELECT w.Freq, w.WordLen, r.Line, r.Weight, r.Share FROM WordLib w "
                         "JOIN RimeEntry r ON r.SeqNo = w.SeqNo ORDER BY w.Freq DESC, w.SeqNo",
                         options, pump),
          m_weights(weights) {
        Statement header(db.handle(), "SELECT Text FROM RimeHeader ORDER BY LineNo", db.path());
        formats::FormatReader reader(formats::Format::Rime);
        while (header.step()) {
            m_header.push_back(header.text16(0));
            reader.parse(m_header.back());
        }
        m_weightColumn = reader.weightColumn();
        m_headerRows = int64_t(m_header.size());
        // Entries whose text begins with "#" were read after "# no comment": so are they here.
        Statement hashes(db.handle(), "SELECT 1 FROM RimeEntry WHERE Line LIKE '#%' LIMIT 1",
                         db.path());
        if (hashes.step())
            m_header.push_back(u"# no comment");
    }
    bool noWeightColumn() const { return m_weightColumn < 0; }
    int64_t headerLines() const { return m_headerRows; }
    int64_t singles() const { return m_singles; }

private:
    bool lineBefore(std::u16string_view &line) override {
        if (m_headerAt == m_header.size())
            return false;
        line = m_header[m_headerAt++];
        return true;
    }
    void makeLine(const Statement &row, std::u16string &line) override {
        const std::optional<double> original =
            row.isNull(3) ? std::nullopt : std::optional<double>(row.real(3));
        // A share stays as written.
        if (row.integer(4) != 0)
            line = trimmed(fromUtf8(row.text(2)));
        else
            withWeight(trimmed(fromUtf8(row.text(2))), m_weights.weight(row.integer(0), original),
                       line);
        if (row.integer(1) == 1)
            ++m_singles;
    }
    // The line without the blanks Rime trims on the right.
    static std::u16string trimmed(std::u16string stored) {
        while (!stored.empty() &&
               (stored.back() == u' ' || stored.back() == u'\t' || stored.back() == u'\r'))
            stored.pop_back();
        return stored;
    }
    // `text` with `weight` in the weight column (added, with empty columns before it, where the
    // line was shorter).
    void withWeight(std::u16string_view text, double weight, std::u16string &line) const {
        line.clear();
        if (m_weightColumn < 0) {
            line = text;
            return;
        }
        const std::u16string number = formats::weightText(weight);
        size_t from = 0;
        int column = 0;
        for (;; ++column) {
            const size_t tab = text.find(u'\t', from);
            const std::u16string_view field =
                text.substr(from, tab == std::u16string_view::npos ? tab : tab - from);
            if (column > 0)
                line += u'\t';
            line += column == m_weightColumn ? std::u16string_view(number) : field;
            if (tab == std::u16string_view::npos)
                break;
            from = tab + 1;
        }
        for (++column; column <= m_weightColumn; ++column)
            line += column == m_weightColumn ? u"\t" + number : std::u16string(u"\t");
    }

    const RimeWeights m_weights;
    std::vector<std::u16string> m_header;
    size_t m_headerAt = 0;
    int m_weightColumn = 2;
    int64_t m_singles = 0, m_headerRows = 0;
};

// The largest value of a column, 0 when there is none.
double largest(FrequencyDatabase &db, const char *sql) {
    Statement st(db.handle(), sql, db.path());
    return st.step() && !st.isNull(0) ? st.real(0) : 0;
}

} // namespace

ImExportResult exportRimeDictionary(FrequencyDatabase &db, const fs::path &out,
                                    const ExportOptions &options, formats::Annotator &annotator,
                                    EventPump &pump) {
    RimeWeights weights{options.blend};
    const double heaviest = largest(db, "SELECT MAX(Weight) FROM RimeEntry");
    const double mostCounted = largest(db, "SELECT MAX(Freq) FROM WordLib");
    if (heaviest > 0 && mostCounted > 0)
        weights.scale = heaviest / mostCounted;
    ImExportResult result;
    result.asImported = true;
    RimeRows rows(db, options, weights, pump);
    result.empty = rows.empty();
    if (result.empty)
        return result;
    // Rime into Rime: the header stays but for its name, and so do each entry's own columns.
    formats::ConvertOptions convert;
    convert.to = formats::Format::Rime;
    result.conversion =
        formats::Conversion(convert, annotator, pump).convert(rows, formats::Format::Rime, out);
    result.headerLines = rows.headerLines();
    result.singles = rows.singles();
    result.noWeightColumn = rows.noWeightColumn();
    return result;
}

} // namespace lex::freqtune
