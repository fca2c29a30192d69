#include "shared/lexcore/utf8.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

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

} // namespace

bool Utf8Validator::feed(std::string_view bytes) {
    if (!m_ok)
        return false;
    const auto *p = reinterpret_cast<const uint8_t *>(bytes.data());
    const auto *end = p + bytes.size();
    uint8_t state = m_state, seen = 0;
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
    while (p < end) {
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
    for (size_t i = 0; i < n; ++i) {
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

} // namespace lex
