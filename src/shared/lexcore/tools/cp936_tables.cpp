// Writes the code page 936 tables of lexcore as C++ arrays, from ICU's "windows-936-2000"
// converter, at build time: built at run time they cost every program start some 15 ms.
//   cp936_tables OUTPUT
// kAnsiTable: the ansiCode of every UTF-16 code unit (round-trip mappings only, else 63);
// kPairTable: the code unit of every lead/trail pair (0x81..0xFE, 0x40..0xFE; U+FFFD for 0x7F and
// pairs without a mapping); kSingleTable: the code unit of a byte read on its own (itself below
// 0x80, the euro sign for 0x80, U+F8F5 for 0xFF, U+FFFD for a lead byte without its trail);
// kEncodeTable: for every code unit, its bytes as they are stored (bits 0-15, lead byte first),
// how many there are (bits 16-17) and whether the unit had to become "?" (bit 24; U+FFFD and
// the question mark itself do not count).

#include <unicode/ucnv.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

constexpr int kTrailCount = 0xFF - 0x40; // trail bytes 0x40..0xFE
constexpr char16_t kReplacement = 0xFFFD;

struct Tables {
    std::array<int16_t, 65536> ansi{};
    std::array<char16_t, (0xFE - 0x81 + 1) * kTrailCount> pair{};
    std::array<char16_t, 256> single{};
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

template <class T, size_t N>
void writeArray(FILE *f, const char *type, const char *name, const std::array<T, N> &a) {
    std::fprintf(f, "alignas(64) const %s %s[%zu] = {", type, name, N);
    for (size_t i = 0; i < N; ++i)
        std::fprintf(f, "%s%d,", i % 16 == 0 ? "\n" : "", int(a[i]));
    std::fprintf(f, "\n};\n");
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: cp936_tables OUTPUT\n");
        return 2;
    }
    try {
        const auto t = buildTables();
        FILE *f = std::fopen(argv[1], "w");
        if (!f)
            throw std::runtime_error("cannot write the tables");
        std::fprintf(f, "// Generated by cp936_tables from ICU's windows-936-2000 converter.\n");
        writeArray(f, "int16_t", "kAnsiTable", t->ansi);
        writeArray(f, "char16_t", "kPairTable", t->pair);
        writeArray(f, "char16_t", "kSingleTable", t->single);
        auto encode = std::make_unique<std::array<uint32_t, 65536>>();
        for (uint32_t c = 0; c < 65536; ++c) {
            const auto code = uint16_t(t->ansi[c]);
            const bool pair = int16_t(code) < 0;
            const uint32_t stored = pair ? uint32_t(code >> 8 | (code & 0xFF) << 8) : code;
            const bool lost = c >= 0x80 && c != kReplacement && code == 63;
            (*encode)[c] = stored | uint32_t(pair ? 2 : 1) << 16 | uint32_t(lost) << 24;
        }
        writeArray(f, "uint32_t", "kEncodeTable", *encode);
        if (std::fclose(f) != 0)
            throw std::runtime_error("cannot write the tables");
    } catch (const std::exception &e) {
        std::fprintf(stderr, "cp936_tables: %s\n", e.what());
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
