#include "shared/lexcore/line_decoding.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/utf8.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lex {
namespace fs = std::filesystem;

namespace {

// Appends the position of every LF in text[from, to) to `ends` and sets `sawNul` at a NUL. Lines
// are a few units long, so eight units are tested at once and only the hits are looked at.
void scanUtf16Lines(const char16_t *text, size_t from, size_t to, LineEnds &ends, bool &sawNul) {
    size_t i = from;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi16(u'\n'), nul = _mm_setzero_si128();
    for (; i + 8 <= to; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i));
        // Two mask bits a unit: the low one of each pair is enough.
        unsigned hits = unsigned(_mm_movemask_epi8(
                            _mm_or_si128(_mm_cmpeq_epi16(v, lf), _mm_cmpeq_epi16(v, nul)))) &
                        0x5555u;
        while (hits) {
            const size_t k = i + size_t(__builtin_ctz(hits)) / 2;
            if (text[k] == u'\n')
                ends.push_back(uint32_t(k));
            else
                sawNul = true;
            hits &= hits - 1;
        }
    }
#endif
    for (; i < to; ++i) {
        const char16_t c = text[i];
        if (c <= u'\n') {
            if (c == u'\n')
                ends.push_back(uint32_t(i));
            sawNul |= c == 0;
        }
    }
}

} // namespace

void dropMark(std::string_view &bytes, LexiconEncoding encoding) {
    if (encoding == LexiconEncoding::Utf16Le && startsWithMark(bytes, "\xFF\xFE"))
        bytes.remove_prefix(2);
    else if (encoding == LexiconEncoding::Utf8 && startsWithMark(bytes, "\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
}

size_t decodeChunk(LexiconEncoding encoding, std::string_view bytes, bool final, char16_t *text,
                   size_t units, size_t &consumed, bool &sawNul, LineEnds &ends) {
    if (encoding == LexiconEncoding::Utf16Le) {
        consumed = final ? bytes.size() : bytes.size() & ~size_t(1);
        std::memcpy(text + units, bytes.data(), consumed & ~size_t(1));
        const size_t from = units;
        units += consumed / 2;
        // A dangling last byte of an odd-length file cannot be a character.
        if (consumed & 1)
            text[units++] = 0xFFFD;
        scanUtf16Lines(text, from, units, ends, sawNul);
        return units;
    }
    char16_t *end = encoding == LexiconEncoding::Utf8
                        ? decodeUtf8Lines(bytes, text + units, final, consumed, sawNul, text, ends)
                        : decode936Lines(bytes, text + units, final, consumed, sawNul, text, ends);
    return size_t(end - text);
}

} // namespace lex
