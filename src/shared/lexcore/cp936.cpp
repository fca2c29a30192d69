#include "shared/lexcore/cp936.h"

#include <unicode/ustring.h>

#include <cstring>
#include <vector>

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

template <bool kLines>
char16_t *decodeImpl(std::string_view bytes, char16_t *dst, bool final, size_t &consumed,
                     bool &sawNul, const char16_t *textStart, LineEnds *lineEnds) {
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
