#include "shared/lexcore/cp936.h"

#include "shared/lexcore/simd.h"
#include "shared/lexcore/utf8.h"

#include <unicode/ustring.h>

#include <bit>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace lex {

namespace detail {
// The tables, generated from ICU's "windows-936-2000" converter at build time
// (tools/cp936_tables.cpp): kAnsiTable (declared in the header), kPairTable (byte pair -> code
// unit) and kSingleTable (single byte -> code unit).
#include "cp936_tables.inc"
} // namespace detail

namespace {

constexpr int kTrailCount = 0xFF - 0x40; // trail bytes 0x40..0xFE
constexpr char16_t kReplacement = 0xFFFD;

#if defined(__x86_64__)
#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {

// Decodes the 16 bytes at `p` (one more readable) when they hold only ASCII and pairs of a lead
// and a trail byte, the first character beginning at p[0]; returns the bytes taken (16, or 17
// when the last pair ends past them) or 0 to leave them to the byte loop. A lead is every other
// byte of a run of bytes from 0x80 up, from the run's first; a run of odd length takes the byte
// after it as its last trail.
template <bool kLines>
[[gnu::always_inline]] inline size_t decode16(const uint8_t *p, char16_t *&dst, unsigned &zero,
                                              const char16_t *textStart, LineEnds *lineEnds) {
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1));
    const uint32_t high = uint32_t(_mm_movemask_epi8(b0));
    constexpr uint32_t kEven = 0x5555;
    const uint32_t starts = high & ~(high << 1);
    const uint32_t evenRuns = high & ~((starts & kEven) + high); // runs begun at even bytes
    const uint32_t leads = (evenRuns & kEven) | (high & ~evenRuns & ~kEven);
    // Leads 81..FE, trails 40..FE but 7F (the trail of the lead at i is byte i + 1).
    const __m128i singles = _mm_or_si128(_mm_cmpeq_epi8(b0, _mm_set1_epi8(char(0x80))),
                                         _mm_cmpeq_epi8(b0, _mm_set1_epi8(char(0xFF))));
    const __m128i badTrails =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(b1, _mm_set1_epi8(0x3F)), b1),
                                  _mm_cmpeq_epi8(b1, _mm_set1_epi8(0x7F))),
                     _mm_cmpeq_epi8(b1, _mm_set1_epi8(char(0xFF))));
    if (leads & uint32_t(_mm_movemask_epi8(_mm_or_si128(singles, badTrails))))
        return 0;

    const uint32_t units = ~(leads << 1) & 0xFFFF; // the bytes that begin a character
    const uint32_t ascii = units & ~leads;
    zero |= uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(b0, _mm_setzero_si128()))) & ascii;
    if constexpr (kLines) {
        uint32_t lf = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(b0, _mm_set1_epi8('\n')))) & ascii;
        const uint32_t base = uint32_t(dst - textStart);
        for (; lf; lf &= lf - 1)
            lineEnds->push_back(
                base + uint32_t(std::popcount(units & ((1u << std::countr_zero(lf)) - 1))));
    }
    // The bytes that begin a character packed as units, then each lead's unit put in its place.
    const __m256i packed = _mm256_shuffle_epi8(
        _mm256_cvtepu8_epi16(b0),
        _mm256_setr_m128i(
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(kLanePacking.shuffle[units & 0xFF])),
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(kLanePacking.shuffle[units >> 8]))));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), _mm256_castsi256_si128(packed));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + std::popcount(units & 0xFF)),
                     _mm256_extracti128_si256(packed, 1));
    for (uint32_t l = leads; l; l &= l - 1) {
        const int i = std::countr_zero(l);
        dst[std::popcount(units & ((1u << i) - 1))] =
            detail::kPairTable[(p[i] - 0x81) * kTrailCount + (p[i + 1] - 0x40)];
    }
    dst += std::popcount(units);
    return leads & 0x8000 ? 17 : 16;
}

template <bool kLines>
const uint8_t *decode936Blocks(const uint8_t *p, const uint8_t *end, char16_t *&dst, bool &nul,
                               const char16_t *textStart, LineEnds *lineEnds) {
    return decodeBlocks<17>(p, end, dst, nul,
                            [&](const uint8_t *q, char16_t *&out, unsigned &zero) {
                                return decode16<kLines>(q, out, zero, textStart, lineEnds);
                            });
}

} // namespace avx2
#pragma GCC pop_options
#endif

template <bool kLines>
char16_t *decodeImpl(std::string_view bytes, char16_t *dst, bool final, size_t &consumed,
                     bool &sawNul, const char16_t *textStart, LineEnds *lineEnds) {
    const auto *p = reinterpret_cast<const uint8_t *>(bytes.data());
    const auto *end = p + bytes.size();
    bool nul = false;
#if defined(__x86_64__)
    // Sixteen bytes at a time while the text is ASCII and pairs; after a block that is not, the
    // byte loop takes the next sixteen.
    const bool vector = haveAvx2();
    const uint8_t *byteLoopUntil = p;
#endif
    while (p < end) {
#if defined(__x86_64__)
        if (vector && p >= byteLoopUntil && end - p >= 17) {
            p = avx2::decode936Blocks<kLines>(p, end, dst, nul, textStart, lineEnds);
            byteLoopUntil = p + 16;
            continue;
        }
#endif
        const uint8_t b = *p;
        if (b < 0x80) {
            nul |= b == 0;
            if constexpr (kLines) {
                if (b == '\n')
                    lineEnds->push_back(uint32_t(dst - textStart));
            }
            *dst++ = b;
            ++p;
        } else if (b != 0x80 && b != 0xFF) {
            if (p + 1 >= end) {
                if (!final)
                    break; // the trail byte is in the next chunk
                *dst++ = kReplacement;
                ++p;
                continue;
            }
            const unsigned trail = p[1];
            if (trail - 0x40u <= 0xFEu - 0x40u && trail != 0x7F) {
                *dst++ = detail::kPairTable[(b - 0x81) * kTrailCount + (trail - 0x40)];
                p += 2;
            } else {
                *dst++ = kReplacement;
                ++p;
            }
        } else {
            *dst++ = detail::kSingleTable[b]; // 0x80 is the euro sign, 0xFF is U+F8F5
            ++p;
        }
    }
    sawNul |= nul;
    consumed = size_t(p - reinterpret_cast<const uint8_t *>(bytes.data()));
    return dst;
}

} // namespace

char16_t *decode936Lines(std::string_view bytes, char16_t *dst, bool final, size_t &consumed,
                         bool &sawNul, const char16_t *textStart, LineEnds &lineEnds) {
    return decodeImpl<true>(bytes, dst, final, consumed, sawNul, textStart, &lineEnds);
}

void decode936(std::string_view bytes, std::u16string &out) {
    const size_t start = out.size();
    out.resize(start + bytes.size());
    size_t consumed = 0;
    bool nul = false;
    char16_t *end =
        decodeImpl<false>(bytes, out.data() + start, true, consumed, nul, nullptr, nullptr);
    out.resize(size_t(end - out.data()));
}

std::u16string decode936(std::string_view bytes) {
    std::u16string out;
    decode936(bytes, out);
    return out;
}

char *encode936To(std::u16string_view text, char *dst) {
    bool lossy = false;
    return encode936To(text, dst, lossy);
}

void encode936(std::u16string_view text, std::string &out) {
    const size_t start = out.size();
    out.resize(start + text.size() * 2);
    char *end = encode936To(text, out.data() + start);
    out.resize(size_t(end - out.data()));
}

std::string encode936(std::u16string_view text) {
    std::string out;
    encode936(text, out);
    return out;
}

const int16_t *detail::wideTable() {
    static const std::vector<int16_t> table = [] {
        std::vector<int16_t> t(65536);
        for (uint32_t c = 0; c < 65536; ++c) {
            const int16_t a = kAnsiTable[c];
            t[c] = c < 0x80 ? int16_t(c) : a < 0 ? a : int16_t(uint16_t(0x8000 | (c & 0x7FFF)));
        }
        return t;
    }();
    return table.data();
}

std::u16string fromUtf8(std::string_view text) {
    std::u16string out(text.size(), u'\0');
    int32_t len = 0;
    UErrorCode st = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar *>(out.data()), int32_t(out.size()), &len,
                         text.data(), int32_t(text.size()), 0xFFFD, nullptr, &st);
    out.resize(U_SUCCESS(st) ? size_t(len) : 0);
    return out;
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    toUtf8Into(text, out);
    return out;
}

} // namespace lex
