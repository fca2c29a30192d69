#pragma once
// Reading the lines of a lexicon of one format (lexicon_format.h lists them) into entries.

#include "shared/formats/lexicon_format.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lex::formats {

// Reads the lines of one file of a format, in order (Rime's header and its "# no comment" make
// it stateful).
class FormatReader {
public:
    explicit FormatReader(Format format) : m_format(format) {}
    // The line read; the reader keeps it (and its room) until the next call.
    ParsedLine &parse(std::u16string_view line);

    Format format() const { return m_format; }
    // Codes are kept as written from now on, not split into syllables (ParsedLine::rawCodes).
    void keepCodesAsWritten() { m_line.rawCodes = true; }
    // A Rime source's header, lines as read up to and including "...", and its columns (empty:
    // the default text, code, weight).
    const std::vector<std::u16string> &header() const { return m_header; }
    const std::vector<std::u16string> &columns() const { return m_columns; }
    // Where a Rime body line has its weight once the header is read: the column's index, -1
    // when the header's columns leave it out.
    int weightColumn() const { return m_weightColumn; }
    // The dictionaries its "import_tables" names, as written (librime: NAME.dict.yaml).
    const std::vector<std::u16string> &imports() const { return m_imports; }
    // Whether the header asks for the preset vocabulary, and its name ("essay": essay.txt).
    bool presetVocabulary() const { return m_presetVocabulary; }
    const std::u16string &vocabulary() const { return m_vocabulary; }
    // Whether a Rime header was begun and never ended by "...".
    bool headerUnended() const { return m_rime == Rime::Header; }
    // Whether the lines read so far have reached the entries (always but for Rime, whose header
    // and the comments before it come first).
    bool inBody() const { return m_format != Format::Rime || m_rime == Rime::Body; }
    // Whether a line beginning with "#" is a comment here (Rime and custom phrases until "# no
    // comment").
    bool commentsOn() const {
        return (m_format == Format::Rime || m_format == Format::RimeCustom) && m_comments;
    }
    // The spelling of lüe / nüe the source used, once it used one.
    std::optional<UeSpelling> ueSeen() const { return m_ue; }
    // Whether parsing `line` may change how the lines after it are read (Rime's header, "# no
    // comment"). Lines for which it is false can be parsed by copies of this reader in any order.
    bool mayChangeState(std::u16string_view line) const;

    // An entry of a Rime body as parse() reads it with codes kept as written, in views of its
    // line instead of copies.
    struct EntryView {
        std::u16string_view word, rawCode;
        std::optional<double> weight;
        bool percent = false;
    };
    // True and the entry when `line` is an entry of a Rime body read with codes kept as written;
    // false for any other line or reader, which parse() then reads (nothing was changed).
    bool entryView(std::u16string_view line, EntryView &out);

    // Where the weight of a Rime body line lies, when the line is as a writer of the same format
    // would make it again: nothing blank at its end, no column but the text, code, weight and
    // stem (each else empty), the code without blanks around it, and a weight written. Writing
    // it anew with another weight then changes that field only. False for any other line, and
    // for a reader of another format or not keeping codes as written.
    struct WeightField {
        size_t at = 0, size = 0;
        std::optional<double> value; // as parse() reads it
        bool percent = false;
    };
    bool rimeWeightField(std::u16string_view line, WeightField &out);

private:
    struct RimeFields {
        std::u16string_view text, code, weight, stem;
        std::optional<double> value;
        bool percent = false;
    };
    // The columns of a body line; false for a blank line or a comment (noting "# no comment").
    bool rimeFields(std::u16string_view line, RimeFields &out);
    void parseRimeBody(std::u16string_view line);
    void noteSpelling(std::u16string_view code);

    Format m_format;
    ParsedLine m_line;
    enum class Rime { Start, Header, Body } m_rime = Rime::Start;
    bool m_comments = true; // "#" lines are comments (Rime and custom phrases)
    std::vector<std::u16string> m_header;
    int m_textColumn = 0, m_codeColumn = 1, m_weightColumn = 2, m_stemColumn = -1;
    enum class List { None, Columns, Imports } m_inList = List::None; // the block list being read
    std::vector<std::u16string> m_columns, m_imports;
    bool m_presetVocabulary = false;
    std::u16string m_vocabulary = u"essay";
    std::optional<UeSpelling> m_ue;
};

} // namespace lex::formats
