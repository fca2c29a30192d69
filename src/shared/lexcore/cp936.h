#pragma once
// Code page 936 (GBK as ICU's "windows-936-2000" converter defines it), turned into lookup
// tables at build time: per-character ICU calls are far too slow for lexicons of millions of
// lines, and building the tables at run time cost every program start some 15 ms.

#include "shared/lexcore/large_buffer.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace lex {

namespace detail {
// The ansiCode of every code unit, written at build time from the converter.
extern const int16_t kAnsiTable[65536];
// Per code unit: its code page 936 bytes as stored (lead byte first), their count in bits
// 16-17, and in bit 24 whether the unit had to become "?".
extern const uint32_t kEncodeTable[65536];
inline const int16_t *ansiTable() {
    return kAnsiTable;
}
// The ansiCode table as wide words read it (WordUnits): every unit outside ASCII is negative,
// a double-byte character's own code kept, any other unit 0x8000 | its low 15 bits.
const int16_t *wideTable();
} // namespace detail

// The signed 16-bit code page 936 value of a UTF-16 code unit: lead * 256 + trail as int16
// (negative) for a double-byte character, the byte (0..128, 255) for a single-byte character,
// 63 ("?") for a character that code page 936 cannot represent on a round trip.
inline int16_t ansiCode(char16_t ch) {
    return detail::ansiTable()[ch];
}

// Double-byte characters are word characters; everything else is annotation.
inline bool isDoubleByte(char16_t ch) {
    return ansiCode(ch) < 0;
}

// Which code units are characters of a word. With a code page 936 output (narrow) they are the
// double-byte characters of code page 936: a character it lacks becomes "?" in the output and is
// no part of any word. When the output holds every character (UTF-8, UTF-16: wide) they are all
// the units outside ASCII. A word unit has a code of 32,768 or more (a double-byte character's
// is lead * 256 + trail in either mode).
class WordUnits {
public:
    static WordUnits narrow() { return WordUnits(detail::ansiTable(), false); }
    static WordUnits wide() { return WordUnits(detail::wideTable(), true); }
    static WordUnits of(bool wide) { return wide ? WordUnits::wide() : narrow(); }

    bool isWide() const { return m_wide; }
    bool isWord(char16_t ch) const { return m_table[ch] < 0; }
    uint32_t code(char16_t ch) const { return uint32_t(m_table[ch]) & 0xFFFFu; }
    const int16_t *table() const { return m_table; }
    bool operator==(const WordUnits &other) const { return m_wide == other.m_wide; }

private:
    WordUnits(const int16_t *table, bool wide) : m_table(table), m_wide(wide) {}
    const int16_t *m_table;
    bool m_wide;
};

// Unsigned code of a double-byte character (lead * 256 + trail, 32,768 or more).
inline uint32_t doubleByteCode(char16_t ch) {
    return uint32_t(ansiCode(ch)) & 0xFFFFu;
}

// Decodes code page 936 bytes: a byte below 0x80 is itself; 0x81..0xFE followed by
// 0x40..0xFE (not 0x7F) is one pair; a lead byte without a valid trail becomes U+FFFD and
// the next byte is read on its own. 0x80 is the euro sign and 0xFF is U+F8F5.
void decode936(std::string_view bytes, std::u16string &out);
std::u16string decode936(std::string_view bytes);

// Encodes into code page 936; a character without a round-trip mapping becomes "?".
void encode936(std::u16string_view text, std::string &out);
// Encodes into `dst`, which has room for 2 * text.size() bytes; returns the end.
char *encode936To(std::u16string_view text, char *dst);
// The same, and sets `lossy` when a character had to become "?" (U+FFFD, the decoders' mark
// for bytes that were no text already, does not count).
inline char *encode936To(std::u16string_view text, char *dst, bool &lossy) {
    static_assert(std::endian::native == std::endian::little, "two bytes are stored at once");
    // Every unit stores two bytes and moves on by its length: no branch per character to
    // mispredict where letters and Chinese alternate. A single byte's second byte is overwritten
    // by the next unit and stays within the 2 * size() bytes of room.
    const uint32_t *table = detail::kEncodeTable;
    uint32_t seen = 0;
    auto put = [&](char16_t c) {
        const uint32_t e = table[c];
        std::memcpy(dst, &e, 2);
        dst += e >> 16 & 3;
        seen |= e;
    };
    const char16_t *p = text.data(), *end = p + text.size();
    for (; end - p >= 4; p += 4) {
        put(p[0]);
        put(p[1]);
        put(p[2]);
        put(p[3]);
    }
    for (; p < end; ++p)
        put(*p);
    lossy |= (seen >> 24 & 1) != 0;
    return dst;
}
// True when code page 936 cannot hold `ch` (see the lossy flag above).
inline bool lossIn936(char16_t ch) {
    return (detail::kEncodeTable[ch] >> 24 & 1) != 0;
}
// Whether `text` holds a unit that code page 936 cannot hold.
inline bool holdsBeyond936(std::u16string_view text) {
    uint32_t seen = 0;
    for (char16_t c : text)
        seen |= detail::kEncodeTable[c];
    return (seen >> 24 & 1) != 0;
}
// Decodes one chunk into `dst`, which has room for bytes.size() units; returns the end.
// `consumed` gets the bytes used: all but a trailing lead byte when `final` is false (it may pair
// with the next chunk). Sets `sawNul` when a NUL byte occurs. Appends to `lineEnds` the position
// of every LF, counted in units from `textStart` (where the decoded text begins).
char16_t *decode936Lines(std::string_view bytes, char16_t *dst, bool final, size_t &consumed,
                         bool &sawNul, const char16_t *textStart, LineEnds &lineEnds);
std::string encode936(std::u16string_view text);

// UTF-8 <-> UTF-16, for messages, paths and the command line (invalid UTF-8 becomes U+FFFD).
std::u16string fromUtf8(std::string_view text);
std::string toUtf8(std::u16string_view text);

} // namespace lex
