#include "shared/lexcore/cp936.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <array>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace lex {
namespace {

constexpr int kTrailCount = 0xFF - 0x40; // trail bytes 0x40..0xFE
constexpr char16_t kReplacement = 0xFFFD;

struct Tables {
    std::array<int16_t, 65536> ansi{};                            // code unit -> ansiCode
    std::array<char16_t, (0xFE - 0x81 + 1) * kTrailCount> pair{}; // byte pair -> code unit
    std::array<char16_t, 256> single{};                           // single byte -> code unit
};

// Builds both tables with two bulk conversions (per-character converter calls would take
// tens of milliseconds at every program start). Offsets tie each output unit to its input.
std::unique_ptr<Tables> buildTables() {
    auto t = std::make_unique<Tables>();
    UErrorCode status = U_ZERO_ERROR;
    UConverter *conv = ucnv_open("windows-936-2000", &status);
    if (U_FAILURE(status))
        throw std::runtime_error("ICU converter windows-936-2000 is not available");
    t->ansi.fill(63);
    t->pair.fill(kReplacement);

    // Bytes -> Unicode: the single bytes 0x80 and 0xFF, then every lead/trail pair.
    std::vector<char> bytes;
    std::vector<int> byteSlot; // where the input at that byte offset belongs
    bytes.reserve(2 + t->pair.size() * 2);
    for (int b : {0x80, 0xFF}) {
        byteSlot.push_back(-b);
        bytes.push_back(char(b));
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            int slot = (lead - 0x81) * kTrailCount + (trail - 0x40);
            byteSlot.push_back(slot);
            byteSlot.push_back(slot);
            bytes.push_back(char(lead));
            bytes.push_back(char(trail));
        }
    }
    std::vector<UChar> units(bytes.size() + 16);
    std::vector<int32_t> offsets(units.size());
    {
        UChar *target = units.data();
        const char *source = bytes.data();
        int32_t *offs = offsets.data();
        UErrorCode st = U_ZERO_ERROR;
        ucnv_toUnicode(conv, &target, units.data() + units.size(), &source,
                       bytes.data() + bytes.size(), offs, true, &st);
        size_t n = size_t(target - units.data());
        for (size_t i = 0; i < n; ++i) {
            int slot = byteSlot[size_t(offsets[i])];
            if (slot < 0)
                t->single[size_t(-slot)] = units[i];
            else
                t->pair[size_t(slot)] = units[i];
        }
    }
    for (int b = 0; b < 0x80; ++b)
        t->single[size_t(b)] = char16_t(b);
    for (int b = 0x81; b <= 0xFE; ++b)
        t->single[size_t(b)] = kReplacement;

    // Unicode -> bytes without fallbacks; a unit keeps its code only when the bytes decode
    // back to it (round-trip mappings only).
    std::vector<UChar> all;
    for (uint32_t cu = 1; cu < 0x10000; ++cu)
        if (cu < 0xD800 || cu > 0xDFFF)
            all.push_back(UChar(cu));
    std::vector<char> out(all.size() * 4 + 16);
    std::vector<int32_t> outOffsets(out.size());
    ucnv_reset(conv);
    ucnv_setFallback(conv, false);
    const char subst = 0x1A;
    UErrorCode st = U_ZERO_ERROR;
    ucnv_setSubstChars(conv, &subst, 1, &st);
    {
        char *target = out.data();
        const UChar *source = all.data();
        st = U_ZERO_ERROR;
        ucnv_fromUnicode(conv, &target, out.data() + out.size(), &source, all.data() + all.size(),
                         outOffsets.data(), true, &st);
        size_t n = size_t(target - out.data());
        for (size_t i = 0; i < n;) {
            size_t j = i + 1;
            while (j < n && outOffsets[j] == outOffsets[i])
                ++j;
            const char16_t cu = all[size_t(outOffsets[i])];
            const auto b0 = uint8_t(out[i]);
            if (j - i == 1) {
                if (t->single[b0] == cu)
                    t->ansi[cu] = int16_t(b0);
            } else if (j - i == 2) {
                const auto b1 = uint8_t(out[i + 1]);
                if (b0 >= 0x81 && b0 <= 0xFE && b1 >= 0x40 && b1 <= 0xFE && b1 != 0x7F &&
                    t->pair[(b0 - 0x81) * kTrailCount + (b1 - 0x40)] == cu)
                    t->ansi[cu] = int16_t(uint16_t(b0 << 8 | b1));
            }
            i = j;
        }
    }
    t->ansi[0] = 0;
    t->ansi[kReplacement] = 63;
    ucnv_close(conv);
    return t;
}

const Tables &tables() {
    static const std::unique_ptr<Tables> t = buildTables();
    return *t;
}

} // namespace

namespace detail {
const int16_t *g_ansiTable = nullptr;

const int16_t *buildAnsiTable() {
    const int16_t *t = tables().ansi.data();
    __atomic_store_n(&g_ansiTable, t, __ATOMIC_RELEASE);
    return t;
}
} // namespace detail

namespace {

template <bool kLines>
char16_t *decodeImpl(std::string_view bytes, char16_t *dst, bool final, size_t &consumed,
                     bool &sawNul, const char16_t *textStart, std::vector<uint32_t> *lineEnds) {
    const Tables &t = tables();
    const auto *p = reinterpret_cast<const uint8_t *>(bytes.data());
    const auto *end = p + bytes.size();
    bool nul = false;
    while (p < end) {
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
                *dst++ = t.pair[(b - 0x81) * kTrailCount + (trail - 0x40)];
                p += 2;
            } else {
                *dst++ = kReplacement;
                ++p;
            }
        } else {
            *dst++ = t.single[b]; // 0x80 is the euro sign, 0xFF is U+F8F5
            ++p;
        }
    }
    sawNul |= nul;
    consumed = size_t(p - reinterpret_cast<const uint8_t *>(bytes.data()));
    return dst;
}

} // namespace

char16_t *decode936Lines(std::string_view bytes, char16_t *dst, bool final, size_t &consumed,
                         bool &sawNul, const char16_t *textStart, std::vector<uint32_t> &lineEnds) {
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

char *encode936To(std::u16string_view text, char *dst, bool &lossy) {
    const int16_t *ansi = detail::ansiTable();
    bool lost = false;
    for (char16_t c : text) {
        if (c < 0x80) {
            *dst++ = char(c);
            continue;
        }
        int16_t code = ansi[c];
        if (code < 0) {
            *dst++ = char(uint16_t(code) >> 8);
            *dst++ = char(uint16_t(code) & 0xFF);
        } else {
            lost |= code == 63 && c != 0xFFFD;
            *dst++ = char(code);
        }
    }
    lossy |= lost;
    return dst;
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
    std::string out(text.size() * 3, '\0');
    int32_t len = 0;
    UErrorCode st = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), int32_t(out.size()), &len,
                       reinterpret_cast<const UChar *>(text.data()), int32_t(text.size()), 0xFFFD,
                       nullptr, &st);
    out.resize(U_SUCCESS(st) ? size_t(len) : 0);
    return out;
}

} // namespace lex
