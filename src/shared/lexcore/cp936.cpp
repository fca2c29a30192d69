#include "cp936.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace lex {
namespace {

constexpr int kTrailCount = 0xFF - 0x40; // trail bytes 0x40..0xFE
constexpr char16_t kReplacement = 0xFFFD;

struct Tables {
    std::array<int16_t, 65536> ansi{};                      // code unit -> ansiCode
    std::array<char16_t, (0xFE - 0x81 + 1) * kTrailCount> pair{}; // byte pair -> code unit
    std::array<char16_t, 256> single{};                     // single byte -> code unit
};

std::unique_ptr<Tables> buildTables() {
    auto t = std::make_unique<Tables>();
    UErrorCode status = U_ZERO_ERROR;
    UConverter *conv = ucnv_open("windows-936-2000", &status);
    if (U_FAILURE(status))
        throw std::runtime_error("ICU converter windows-936-2000 is not available");

    t->ansi.fill(63);
    auto decodeBytes = [&](const char *bytes, int n) -> char16_t {
        UChar out[4];
        UErrorCode st = U_ZERO_ERROR;
        ucnv_reset(conv);
        int len = ucnv_toUChars(conv, out, 4, bytes, n, &st);
        if (U_FAILURE(st) || len != 1)
            return kReplacement;
        return out[0];
    };

    for (int b = 0; b < 256; ++b) {
        char byte = char(b);
        t->single[b] = b < 0x80 ? char16_t(b) : decodeBytes(&byte, 1);
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const char bytes[2] = {char(lead), char(trail)};
            t->pair[(lead - 0x81) * kTrailCount + (trail - 0x40)] = decodeBytes(bytes, 2);
        }
    }

    // ansiCode keeps round-trip mappings only: encode each code unit without fallbacks and
    // accept the result only when it decodes back to the same unit.
    ucnv_setFallback(conv, false);
    ucnv_setFromUCallBack(conv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    for (uint32_t cu = 0; cu < 0x10000; ++cu) {
        if (cu >= 0xD800 && cu <= 0xDFFF)
            continue;
        UChar in = UChar(cu);
        char bytes[8];
        UErrorCode st = U_ZERO_ERROR;
        ucnv_reset(conv);
        int n = ucnv_fromUChars(conv, bytes, sizeof bytes, &in, 1, &st);
        if (U_FAILURE(st))
            continue;
        if (n == 1) {
            auto b = uint8_t(bytes[0]);
            if (t->single[b] == cu)
                t->ansi[cu] = int16_t(b);
        } else if (n == 2) {
            auto lead = uint8_t(bytes[0]), trail = uint8_t(bytes[1]);
            if (lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F &&
                t->pair[(lead - 0x81) * kTrailCount + (trail - 0x40)] == cu)
                t->ansi[cu] = int16_t(uint16_t(lead << 8 | trail));
        }
    }
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

char16_t *decode936To(std::string_view bytes, char16_t *dst, bool final, size_t &consumed,
                      bool &sawNul) {
    const Tables &t = tables();
    const auto *p = reinterpret_cast<const uint8_t *>(bytes.data());
    const auto *end = p + bytes.size();
    bool nul = false;
    while (p < end) {
        const uint8_t b = *p;
        if (b < 0x80) {
            nul |= b == 0;
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

void decode936(std::string_view bytes, std::u16string &out) {
    const size_t start = out.size();
    out.resize(start + bytes.size());
    size_t consumed = 0;
    bool nul = false;
    char16_t *end = decode936To(bytes, out.data() + start, true, consumed, nul);
    out.resize(size_t(end - out.data()));
}

std::u16string decode936(std::string_view bytes) {
    std::u16string out;
    decode936(bytes, out);
    return out;
}

char *encode936To(std::u16string_view text, char *dst) {
    const int16_t *ansi = detail::ansiTable();
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
            *dst++ = char(code);
        }
    }
    return dst;
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
