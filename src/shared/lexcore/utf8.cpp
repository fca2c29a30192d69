#include "shared/lexcore/utf8.h"

#include "shared/lexcore/simd.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace lex {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The sequence at `p`: returns the bytes it takes and sets `cp`; returns 0 when `end` cuts a
// well-formed beginning short. An ill-formed part sets `cp` to U+FFFD and returns minus its
// length (the bytes before the first one that cannot continue it, at least one).
inline int decodeOne(const uint8_t *p, const uint8_t *end, char32_t &cp) {
    const uint8_t b = p[0];
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    int len;
    uint8_t lo = 0x80, hi = 0xBF; // the range of the second byte
    if (b < 0xC2) {
        cp = kReplacement;
        return -1;
    }
    if (b < 0xE0) {
        len = 2;
        cp = b & 0x1F;
    } else if (b < 0xF0) {
        len = 3;
        cp = b & 0x0F;
        if (b == 0xE0)
            lo = 0xA0; // no overlong forms
        else if (b == 0xED)
            hi = 0x9F; // no surrogates
    } else if (b < 0xF5) {
        len = 4;
        cp = b & 0x07;
        if (b == 0xF0)
            lo = 0x90;
        else if (b == 0xF4)
            hi = 0x8F; // nothing past U+10FFFF
    } else {
        cp = kReplacement;
        return -1;
    }
    for (int i = 1; i < len; ++i) {
        if (p + i >= end)
            return 0;
        const uint8_t c = p[i];
        const bool ok = i == 1 ? c >= lo && c <= hi : (c & 0xC0) == 0x80;
        if (!ok) {
            cp = kReplacement;
            return -i;
        }
        cp = cp << 6 | (c & 0x3F);
    }
    return len;
}

// A well-formed three-byte sequence at `p` (U+0800..U+FFFF without surrogates).
inline bool threeByte(const uint8_t *p) {
    const uint8_t b = p[0], c1 = p[1], c2 = p[2];
    if ((b & 0xF0) != 0xE0 || (c1 & 0xC0) != 0x80 || (c2 & 0xC0) != 0x80)
        return false;
    return (b != 0xE0 || c1 >= 0xA0) && (b != 0xED || c1 < 0xA0);
}

inline bool allAscii8(const uint8_t *p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return (w & 0x8080808080808080ull) == 0;
}

// Eight bytes of ASCII holding neither NUL nor LF: what the decoder copies as a block, since
// nothing in it needs a look of its own.
inline bool plainAscii8(const uint8_t *p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    const uint64_t lf = w ^ (kOnes * '\n');
    const uint64_t zeroOrLf = ((w - kOnes) & ~w) | ((lf - kOnes) & ~lf);
    return ((w | zeroOrLf) & kHigh) == 0;
}

// Strict UTF-8 as a state machine: one table look-up a byte.
enum State : uint8_t {
    kAccept,
    kReject,
    kNeed1,
    kNeed2,
    kNeed3,
    kAfterE0,
    kAfterED,
    kAfterF0,
    kAfterF4
};
constexpr int kStates = 9;

struct Machine {
    uint8_t next[kStates][256];
    constexpr Machine() : next{} {
        for (int b = 0; b < 256; ++b) {
            const bool cont = b >= 0x80 && b <= 0xBF;
            State lead = kReject;
            if (b < 0x80)
                lead = kAccept;
            else if (b >= 0xC2 && b <= 0xDF)
                lead = kNeed1;
            else if (b == 0xE0)
                lead = kAfterE0;
            else if (b == 0xED)
                lead = kAfterED;
            else if (b >= 0xE1 && b <= 0xEF)
                lead = kNeed2;
            else if (b == 0xF0)
                lead = kAfterF0;
            else if (b >= 0xF1 && b <= 0xF3)
                lead = kNeed3;
            else if (b == 0xF4)
                lead = kAfterF4;
            next[kAccept][b] = lead;
            next[kReject][b] = kReject;
            next[kNeed1][b] = cont ? kAccept : kReject;
            next[kNeed2][b] = cont ? kNeed1 : kReject;
            next[kNeed3][b] = cont ? kNeed2 : kReject;
            next[kAfterE0][b] = b >= 0xA0 && b <= 0xBF ? kNeed1 : kReject;
            next[kAfterED][b] = b >= 0x80 && b <= 0x9F ? kNeed1 : kReject;
            next[kAfterF0][b] = b >= 0x90 && b <= 0xBF ? kNeed2 : kReject;
            next[kAfterF4][b] = b >= 0x80 && b <= 0x8F ? kNeed2 : kReject;
        }
    }
};
constexpr Machine kMachine;

#if defined(__x86_64__)

// The validation of Keiser and Lemire ("Validating UTF-8 in less than one instruction per
// byte"), 32 bytes at a time: each byte is checked against the one, two and three before it
// through three 16-entry tables, whose bits name the errors a pair of bytes can show.
#pragma GCC push_options
#pragma GCC target("avx2")
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi" // nothing here is called across the ABI
namespace avx2 {

constexpr uint8_t kTooShort = 1 << 0;  // a lead or ASCII where a continuation was due
constexpr uint8_t kTooLong = 1 << 1;   // a continuation after ASCII
constexpr uint8_t kOverlong3 = 1 << 2; // E0 80..9F
constexpr uint8_t kTooLarge = 1 << 3;  // past U+10FFFF
constexpr uint8_t kSurrogate = 1 << 4; // ED A0..BF
constexpr uint8_t kOverlong2 = 1 << 5; // C0, C1
constexpr uint8_t kTooLarge1000 = 1 << 6;
constexpr uint8_t kOverlong4 = 1 << 6; // F0 80..8F
constexpr uint8_t kTwoConts = 1 << 7;  // a continuation after a continuation: right only
                                       // where a three- or four-byte lead demands it
constexpr uint8_t kCarry = kTooShort | kTooLong | kTwoConts;

inline __m256i table16(uint8_t t0, uint8_t t1, uint8_t t2, uint8_t t3, uint8_t t4, uint8_t t5,
                       uint8_t t6, uint8_t t7, uint8_t t8, uint8_t t9, uint8_t t10, uint8_t t11,
                       uint8_t t12, uint8_t t13, uint8_t t14, uint8_t t15) {
    return _mm256_setr_epi8(char(t0), char(t1), char(t2), char(t3), char(t4), char(t5), char(t6),
                            char(t7), char(t8), char(t9), char(t10), char(t11), char(t12),
                            char(t13), char(t14), char(t15), char(t0), char(t1), char(t2), char(t3),
                            char(t4), char(t5), char(t6), char(t7), char(t8), char(t9), char(t10),
                            char(t11), char(t12), char(t13), char(t14), char(t15));
}

// The bytes of `input` moved N places up, the last N of `prev` coming in below.
template <int N> inline __m256i before(__m256i input, __m256i prev) {
    return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(prev, input, 0x21), 16 - N);
}

inline __m256i highNibbles(__m256i v) {
    return _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F));
}

inline __m256i errors(__m256i input, __m256i prev) {
    const __m256i prev1 = before<1>(input, prev);
    const __m256i byte1High = _mm256_shuffle_epi8(
        table16(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
                kTwoConts, kTwoConts, kTwoConts, kTwoConts, kTooShort | kOverlong2, kTooShort,
                kTooShort | kOverlong3 | kSurrogate,
                kTooShort | kTooLarge | kTooLarge1000 | kOverlong4),
        highNibbles(prev1));
    constexpr uint8_t kLarge = kCarry | kTooLarge | kTooLarge1000;
    const __m256i byte1Low = _mm256_shuffle_epi8(
        table16(kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
                kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
                kLarge | kSurrogate, kLarge, kLarge),
        _mm256_and_si256(prev1, _mm256_set1_epi8(0x0F)));
    constexpr uint8_t kCont = kTooLong | kOverlong2 | kTwoConts;
    const __m256i byte2High = _mm256_shuffle_epi8(
        table16(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
                kTooShort, kCont | kOverlong3 | kTooLarge1000 | kOverlong4,
                kCont | kOverlong3 | kTooLarge, kCont | kSurrogate | kTooLarge,
                kCont | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort),
        highNibbles(input));
    const __m256i special = _mm256_and_si256(_mm256_and_si256(byte1High, byte1Low), byte2High);
    // Two continuations in a row are right exactly where the byte two back is E0 or above, or
    // the byte three back F0 or above.
    const __m256i third =
        _mm256_subs_epu8(before<2>(input, prev), _mm256_set1_epi8(char(0xE0 - 0x80)));
    const __m256i fourth =
        _mm256_subs_epu8(before<3>(input, prev), _mm256_set1_epi8(char(0xF0 - 0x80)));
    const __m256i due =
        _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
    return _mm256_xor_si256(due, special);
}

// Nonzero when the block ends inside a sequence.
inline __m256i unfinished(__m256i input) {
    const __m256i limit = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                           -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                           -1, char(0xF0 - 1), char(0xE0 - 1), char(0xC0 - 1));
    return _mm256_subs_epu8(input, limit);
}

struct Checker {
    __m256i error, prev, pending, all;

    Checker() : error(_mm256_setzero_si256()), prev(error), pending(error), all(error) {}

    void block(__m256i input) {
        all = _mm256_or_si256(all, input);
        if (_mm256_movemask_epi8(input) == 0) {
            error = _mm256_or_si256(error, pending);
            pending = _mm256_setzero_si256();
        } else {
            error = _mm256_or_si256(error, errors(input, prev));
            pending = unfinished(input);
        }
        prev = input;
    }
    bool ok() const { return _mm256_testz_si256(error, error); }
};

// Whether [p, p + n) is valid UTF-8 taken as a whole text; ORs 0x80 into `seen` when a byte
// has the high bit.
bool valid(const uint8_t *p, size_t n, uint8_t &seen) {
    Checker c;
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        c.block(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i)));
        if ((i & 4095) == 4064 && !c.ok())
            return false;
    }
    if (i < n) {
        alignas(32) uint8_t last[32] = {};
        std::memcpy(last, p + i, n - i);
        c.block(_mm256_load_si256(reinterpret_cast<const __m256i *>(last)));
    }
    c.error = _mm256_or_si256(c.error, c.pending);
    if (_mm256_movemask_epi8(c.all))
        seen |= 0x80;
    return c.ok();
}

// Decodes the 16 bytes at `p` (two more readable) when they hold only ASCII and well-formed
// three-byte sequences, the first beginning at p[0]; returns the bytes taken (16 to 18, the
// last sequence may end past the sixteen) or 0 to leave them to the decoder's byte loop. Stores
// 16 units at `dst` and moves it past those decoded; a block for decodeBlocks().
template <bool kLines>
[[gnu::always_inline]] inline size_t decode16(const uint8_t *p, char16_t *&dst, unsigned &zero,
                                              const char16_t *textStart, LineEnds *lineEnds) {
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1));
    const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 2));
    const __m128i contLimit = _mm_set1_epi8(char(0xC0)); // 80..BF are below it, signed
    const __m128i cont0 = _mm_cmplt_epi8(b0, contLimit);
    const __m128i cont12 =
        _mm_and_si128(_mm_cmplt_epi8(b1, contLimit), _mm_cmplt_epi8(b2, contLimit));
    const __m128i lead =
        _mm_cmpeq_epi8(_mm_and_si128(b0, _mm_set1_epi8(char(0xF0))), _mm_set1_epi8(char(0xE0)));
    const __m128i ascii = _mm_cmpgt_epi8(b0, _mm_set1_epi8(-1));
    // Every byte ASCII, a lead or a continuation; continuations exactly the two after each
    // lead; no overlong E0 80..9F, no surrogate ED A0..BF.
    const __m128i low = _mm_cmplt_epi8(b1, _mm_set1_epi8(char(0xA0)));
    __m128i bad =
        _mm_andnot_si128(_mm_or_si128(_mm_or_si128(ascii, cont0), lead), _mm_set1_epi8(-1));
    bad = _mm_or_si128(
        bad, _mm_xor_si128(cont0, _mm_or_si128(_mm_slli_si128(lead, 1), _mm_slli_si128(lead, 2))));
    bad = _mm_or_si128(bad, _mm_andnot_si128(cont12, lead));
    bad = _mm_or_si128(bad, _mm_and_si128(_mm_cmpeq_epi8(b0, _mm_set1_epi8(char(0xE0))), low));
    bad = _mm_or_si128(bad, _mm_andnot_si128(low, _mm_cmpeq_epi8(b0, _mm_set1_epi8(char(0xED)))));
    if (!_mm_testz_si128(bad, bad))
        return 0;

    const __m256i w0 = _mm256_cvtepu8_epi16(b0);
    const __m256i w1 = _mm256_cvtepu8_epi16(b1);
    const __m256i w2 = _mm256_cvtepu8_epi16(b2);
    const __m256i six = _mm256_set1_epi16(0x3F);
    const __m256i three = _mm256_or_si256(
        _mm256_or_si256(_mm256_slli_epi16(w0, 12), _mm256_slli_epi16(_mm256_and_si256(w1, six), 6)),
        _mm256_and_si256(w2, six));
    const __m256i units =
        _mm256_blendv_epi8(three, w0, _mm256_cmpgt_epi16(_mm256_set1_epi16(0x80), w0));
    const unsigned starts = ~unsigned(_mm_movemask_epi8(cont0)) & 0xFFFF;
    if constexpr (kLines) {
        unsigned lf = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(b0, _mm_set1_epi8('\n'))));
        const uint32_t base = uint32_t(dst - textStart);
        for (; lf; lf &= lf - 1)
            lineEnds->push_back(
                base + uint32_t(std::popcount(starts & ((1u << std::countr_zero(lf)) - 1))));
    }
    zero |= unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(b0, _mm_setzero_si128())));
    const __m256i packed = _mm256_shuffle_epi8(
        units,
        _mm256_setr_m128i(
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(kLanePacking.shuffle[starts & 0xFF])),
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(kLanePacking.shuffle[starts >> 8]))));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), _mm256_castsi256_si128(packed));
    dst += std::popcount(starts & 0xFF);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), _mm256_extracti128_si256(packed, 1));
    dst += std::popcount(starts >> 8);
    const unsigned leads = unsigned(_mm_movemask_epi8(lead));
    return leads & 0x8000 ? 18 : leads & 0x4000 ? 17 : 16;
}

template <bool kLines>
const uint8_t *decodeUtf8Blocks(const uint8_t *p, const uint8_t *end, char16_t *&dst, bool &nul,
                                const char16_t *textStart, LineEnds *lineEnds) {
    return decodeBlocks<18>(p, end, dst, nul,
                            [&](const uint8_t *q, char16_t *&out, unsigned &zero) {
                                return decode16<kLines>(q, out, zero, textStart, lineEnds);
                            });
}

// Per half of an encoder block, four units in four bytes each, keyed by which units take two
// bytes or more (bits 0-3) and which three (bits 4-7): the shuffle that packs their bytes, and
// how many there are.
struct Utf8Packing {
    uint8_t shuffle[256][16] = {};
    uint8_t length[256] = {};
    constexpr Utf8Packing() {
        for (int key = 0; key < 256; ++key) {
            int k = 0;
            for (int unit = 0; unit < 4; ++unit) {
                const int n = 1 + (key >> unit & 1) + (key >> (unit + 4) & 1);
                for (int b = 0; b < n; ++b)
                    shuffle[key][k++] = uint8_t(4 * unit + b);
            }
            length[key] = uint8_t(k);
            while (k < 16)
                shuffle[key][k++] = 0x80;
        }
    }
};
constexpr Utf8Packing kUtf8Packing;

// Encodes eight units at a time from text[i] while they hold no surrogate (nor a CR, with
// `dropCr`) and the block's 28 bytes of stores stay before `roomEnd`; returns where it stopped.
inline size_t encodeBlocks(const char16_t *text, size_t i, size_t n, char *&dst,
                           const char *roomEnd, bool dropCr) {
    char *out = dst;
    const __m256i low6 = _mm256_set1_epi32(0x3F), cont = _mm256_set1_epi32(0x80);
    for (; n - i >= 8 && roomEnd - out >= 28; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i));
        const __m128i special =
            _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u'\r')),
                                       _mm_set1_epi16(dropCr ? -1 : 0)),
                         _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(short(0xF800))),
                                         _mm_set1_epi16(short(0xD800))));
        if (!_mm_testz_si128(special, special))
            break;
        const __m256i c = _mm256_cvtepu16_epi32(units);
        const __m256i last = _mm256_or_si256(_mm256_and_si256(c, low6), cont);
        const __m256i middle =
            _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(c, 6), low6), cont);
        const __m256i three = _mm256_or_si256(
            _mm256_or_si256(_mm256_srli_epi32(c, 12), _mm256_set1_epi32(0xE0)),
            _mm256_or_si256(_mm256_slli_epi32(middle, 8), _mm256_slli_epi32(last, 16)));
        const __m256i two =
            _mm256_or_si256(_mm256_or_si256(_mm256_srli_epi32(c, 6), _mm256_set1_epi32(0xC0)),
                            _mm256_slli_epi32(last, 8));
        const __m256i multi = _mm256_cmpgt_epi32(c, _mm256_set1_epi32(0x7F));
        const __m256i long3 = _mm256_cmpgt_epi32(c, _mm256_set1_epi32(0x7FF));
        const __m256i bytes = _mm256_blendv_epi8(_mm256_blendv_epi8(c, two, multi), three, long3);
        const unsigned m = unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(multi)));
        const unsigned t = unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(long3)));
        const unsigned lo = (m & 0xF) | (t & 0xF) << 4, hi = m >> 4 | (t >> 4) << 4;
        const __m256i packed = _mm256_shuffle_epi8(
            bytes,
            _mm256_setr_m128i(
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(kUtf8Packing.shuffle[lo])),
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(kUtf8Packing.shuffle[hi]))));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm256_castsi256_si128(packed));
        out += kUtf8Packing.length[lo];
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm256_extracti128_si256(packed, 1));
        out += kUtf8Packing.length[hi];
    }
    dst = out;
    return i;
}

} // namespace avx2
#pragma GCC diagnostic pop
#pragma GCC pop_options

#endif

} // namespace

bool Utf8Validator::feed(std::string_view bytes) {
    if (!m_ok)
        return false;
    const auto *p = reinterpret_cast<const uint8_t *>(bytes.data());
    const auto *end = p + bytes.size();
    uint8_t state = m_state, seen = 0;
#if defined(__x86_64__)
    if (end - p >= 64 && haveAvx2()) {
        // A sequence begun in the last chunk is finished the short way; the bulk then ends
        // before a lead byte whose sequence the chunk may cut short, which is left for the
        // state machine to carry into the next chunk.
        while (p < end && state != kAccept) {
            seen |= *p;
            state = kMachine.next[state][*p++];
        }
        if (state == kReject)
            return m_ok = false;
        const uint8_t *stop = end;
        for (const uint8_t *q = end - 1; q >= end - 3 && q >= p; --q) {
            if (*q >= 0xC0) {
                stop = q;
                break;
            }
            if (*q < 0x80)
                break;
        }
        if (!avx2::valid(p, size_t(stop - p), seen))
            return m_ok = false;
        p = stop;
    }
#endif
    while (p < end) {
        const uint8_t b = *p;
        if (state == kAccept) {
            if (b < 0x80) {
                p += end - p >= 8 && allAscii8(p) ? 8 : 1;
                continue;
            }
            // Chinese text is mostly three-byte sequences: checked whole, off the table's chain.
            if (end - p >= 3 && threeByte(p)) {
                seen = 0x80;
                p += 3;
                continue;
            }
        }
        seen |= b;
        state = kMachine.next[state][b];
        ++p;
        if (state == kReject)
            return m_ok = false;
    }
    m_state = state;
    m_multibyte |= seen >= 0x80;
    return true;
}

bool looksUtf8(std::string_view bytes) {
    Utf8Validator v;
    return v.feed(bytes) && v.complete() && v.sawMultibyte();
}

namespace {

template <bool kLines>
char16_t *decodeImpl(std::string_view bytes, char16_t *dst, bool final, size_t &consumed,
                     bool &sawNul, const char16_t *textStart, LineEnds *lineEnds) {
    const auto *p = reinterpret_cast<const uint8_t *>(bytes.data());
    const auto *end = p + bytes.size();
    bool nul = false;
#if defined(__x86_64__)
    // Sixteen bytes at a time while the text is ASCII and three-byte sequences; after a block
    // that is not, the byte loop takes the next sixteen.
    const bool vector = haveAvx2();
    const uint8_t *byteLoopUntil = p;
#endif
    while (p < end) {
#if defined(__x86_64__)
        if (vector && p >= byteLoopUntil && end - p >= 18) {
            p = avx2::decodeUtf8Blocks<kLines>(p, end, dst, nul, textStart, lineEnds);
            byteLoopUntil = p + 16;
            continue;
        }
#endif
        const uint8_t b = *p;
        if (b < 0x80) {
            if (end - p >= 8 && plainAscii8(p)) {
                for (int i = 0; i < 8; ++i)
                    dst[i] = p[i];
                dst += 8;
                p += 8;
                continue;
            }
            nul |= b == 0;
            if constexpr (kLines) {
                if (b == '\n')
                    lineEnds->push_back(uint32_t(dst - textStart));
            }
            *dst++ = b;
            ++p;
            continue;
        }
        if (end - p >= 3 && threeByte(p)) {
            *dst++ = char16_t((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
            p += 3;
            continue;
        }
        char32_t cp;
        int n = decodeOne(p, end, cp);
        if (n == 0) {
            if (!final)
                break;         // the sequence goes on in the next chunk
            cp = kReplacement; // a file that ends inside a sequence
            n = int(end - p);
        } else if (n < 0) {
            n = -n;
        }
        if (cp < 0x10000) {
            *dst++ = char16_t(cp);
        } else {
            *dst++ = char16_t(0xD800 + ((cp - 0x10000) >> 10));
            *dst++ = char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
        p += n;
    }
    sawNul |= nul;
    consumed = size_t(p - reinterpret_cast<const uint8_t *>(bytes.data()));
    return dst;
}

} // namespace

char16_t *decodeUtf8Lines(std::string_view bytes, char16_t *dst, bool final, size_t &consumed,
                          bool &sawNul, const char16_t *textStart, LineEnds &lineEnds) {
    return decodeImpl<true>(bytes, dst, final, consumed, sawNul, textStart, &lineEnds);
}

void decodeUtf8(std::string_view bytes, std::u16string &out) {
    const size_t start = out.size();
    out.resize(start + bytes.size());
    size_t consumed = 0;
    bool nul = false;
    char16_t *end =
        decodeImpl<false>(bytes, out.data() + start, true, consumed, nul, nullptr, nullptr);
    out.resize(size_t(end - out.data()));
}

namespace {

// Per code unit: its UTF-8 bytes as stored (bits 0-23) and their count (bits 24-25); CR and
// the surrogates, which depend on the next unit, are marked to be written the long way.
constexpr uint32_t kLongWay = uint32_t(1) << 28;
constexpr std::array<uint32_t, 65536> utf8Table() {
    std::array<uint32_t, 65536> t{};
    for (uint32_t c = 0; c < 65536; ++c) {
        if (c == u'\r' || (c >= 0xD800 && c <= 0xDFFF))
            t[c] = kLongWay;
        else if (c < 0x80)
            t[c] = c | 1u << 24;
        else if (c < 0x800)
            t[c] = (0xC0 | c >> 6) | (0x80 | (c & 0x3F)) << 8 | 2u << 24;
        else
            t[c] = (0xE0 | c >> 12) | (0x80 | (c >> 6 & 0x3F)) << 8 | (0x80 | (c & 0x3F)) << 16 |
                   3u << 24;
    }
    return t;
}
constexpr std::array<uint32_t, 65536> kUtf8Table = utf8Table();

} // namespace

char *encodeUtf8To(std::u16string_view text, char *dst, bool dropCrBeforeLf) {
    static_assert(std::endian::native == std::endian::little, "four bytes are stored at once");
    const size_t n = text.size();
#if defined(__x86_64__)
    // Eight units at a time where the CPU allows; a block with a CR or a surrogate goes the
    // unit way, and so does the end.
    const bool vector = n >= 8 && haveAvx2();
    const char *roomEnd = dst + 3 * n + 1;
    size_t unitWayUntil = 0;
#endif
    for (size_t i = 0; i < n; ++i) {
#if defined(__x86_64__)
        if (vector && i >= unitWayUntil) {
            i = avx2::encodeBlocks(text.data(), i, n, dst, roomEnd, dropCrBeforeLf);
            unitWayUntil = i + 8;
            if (i == n)
                break;
        }
#endif
        const char16_t c = text[i];
        const uint32_t e = kUtf8Table[c];
        if (!(e & kLongWay)) [[likely]] {
            // Four bytes stored, the pointer moved by the character's own: the rest is
            // overwritten by the next character.
            std::memcpy(dst, &e, 4);
            dst += e >> 24;
        } else if (c == u'\r') {
            if (!(dropCrBeforeLf && i + 1 < n && text[i + 1] == u'\n'))
                *dst++ = '\r';
        } else if (c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            const char32_t cp = 0x10000 + (char32_t(c - 0xD800) << 10) + (text[++i] - 0xDC00);
            *dst++ = char(0xF0 | cp >> 18);
            *dst++ = char(0x80 | (cp >> 12 & 0x3F));
            *dst++ = char(0x80 | (cp >> 6 & 0x3F));
            *dst++ = char(0x80 | (cp & 0x3F));
        } else { // a lone surrogate
            *dst++ = char(0xEF);
            *dst++ = char(0xBF);
            *dst++ = char(0xBD);
        }
    }
    return dst;
}

void toUtf8Into(std::u16string_view text, std::string &out) {
    out.resize(3 * text.size() + 1);
    out.resize(size_t(encodeUtf8To(text, out.data()) - out.data()));
}

} // namespace lex
