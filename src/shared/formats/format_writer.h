#pragma once
// Writing entries as the lines of one format (lexicon_format.h lists them).

#include "shared/formats/lexicon_format.h"
#include "shared/lexcore/line_writer.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lex::formats {

// Turns entries into lines of one format. An entry is written as the format allows: the
// converter has already given it every syllable when the format needs them.
class FormatWriter {
public:
    struct Options {
        UeSpelling ue = UeSpelling::Ue;
        bool quilloWeights = false; // quillo: write weights after a TAB
        // A Rime target: the source's header, kept as it is; else one is made for `rimeName`.
        std::vector<std::u16string> rimeHeader;
        std::vector<std::u16string> rimeColumns;
        std::u16string rimeName;
        bool sameFormat = false; // the source was of this format: raw codes and weights stay
    };
    FormatWriter(Format format, Options options);

    // Why `entry` cannot be a line of the format, or nullptr.
    const char *refusal(const Entry &entry) const;
    // The lines before the first entry.
    void begin(LineWriter &out);
    // The line of `entry` without its weight, and the weight field (with its separator) apart:
    // duplicates are told by the first, and the larger weight wins. `asWritten` is the weight's
    // text to keep (a conversion into the same format), `codeWritten` whether the line's code
    // field holds a code (codeWritten(entry)).
    // Both are views of the writer's own room, valid until the next call of the same.
    std::u16string_view body(const Entry &entry);
    bool codeWritten(const Entry &entry) const;
    std::u16string_view weightField(std::optional<double> weight, std::u16string_view asWritten,
                                    bool codeWritten);
    // Writes a line made of a body and a weight field; `body` starting with "#" may first need
    // Rime's "# no comment".
    void writeLine(LineWriter &out, std::u16string_view body, std::u16string_view weight);
    // The line of a body and a weight field, appended to `out`: the field after the body, but for
    // Rime, whose field is the weight alone, put in its column (after the body's columns or
    // among them: text, weight, code).
    void appendLine(std::u16string &out, std::u16string_view body,
                    std::u16string_view weight) const;

private:
    // Whether a line keeps the code as its source wrote it (a conversion into the same format).
    bool keepsRawCode(const Entry &entry) const;
    std::u16string weightFieldText(std::optional<double> weight, std::u16string_view asWritten,
                                   bool codeWritten) const;
    std::u16string m_body, m_weight, m_line;

    Format m_format;
    Options m_options;
    int m_textColumn = 0, m_codeColumn = 1, m_weightColumn = 2, m_stemColumn = -1;
    bool m_commentsOn = true; // what a Rime reader of our output would think of "#" lines
};

// The name a Rime dictionary written to `output` has to have, librime finding it by its file name:
// the file name without ".dict.yaml" (else without its extension); empty for an output written in
// place (a descriptor), which keeps the source's name.
std::u16string rimeNameFor(const std::filesystem::path &output);
// The old name when the "name:" of `header` differs from `name` and the header is to take it.
std::optional<std::u16string> rimeRenamed(const std::vector<std::u16string> &header,
                                          std::u16string_view name);

} // namespace lex::formats
