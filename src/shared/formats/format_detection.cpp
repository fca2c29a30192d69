#include "shared/formats/format_detection.h"

#include "shared/formats/field_text.h"
#include "shared/formats/format_reader.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/text_format.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace lex::formats {

using namespace detail;

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
    CrLines<LineStream> crLines(in);
    const bool cr = endsLinesInCr(path);
    while (sample.size() < 400 && (cr ? crLines.next(line) : in.next(line)))
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

} // namespace lex::formats
