// Code page 936 tables against the converter's own behaviour at the edges that matter.

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/utf8.h"

#include <gtest/gtest.h>

#include <unicode/ucnv.h>

namespace {

TEST(Cp936, AnsiCodesOfEachClass) {
    EXPECT_EQ(lex::ansiCode(u'a'), 97);
    EXPECT_EQ(lex::ansiCode(u'\0'), 0);
    EXPECT_EQ(lex::ansiCode(u'中'), int16_t(0xD6D0));
    EXPECT_EQ(lex::doubleByteCode(u'中'), 54992u);
    EXPECT_EQ(lex::doubleByteCode(u'国'), 47610u);
    EXPECT_EQ(lex::ansiCode(u'€'), 128);              // single byte 0x80
    EXPECT_EQ(lex::ansiCode(char16_t(0xF8F5)), 255);  // single byte 0xFF
    EXPECT_EQ(lex::ansiCode(u'ａ'), int16_t(0xA3E1)); // full-width letters are word characters
    EXPECT_EQ(lex::ansiCode(char16_t(0x0E01)), 63);   // Thai: not in code page 936
    EXPECT_EQ(lex::ansiCode(char16_t(0xD800)), 63);   // lone surrogate
    EXPECT_TRUE(lex::isDoubleByte(u'，'));
    EXPECT_FALSE(lex::isDoubleByte(u'€'));
    EXPECT_FALSE(lex::isDoubleByte(char16_t(0xFFFD)));
}

// Every byte pair of the code page decodes to one double-byte character that encodes back to
// the same pair, and the two mapped single bytes come back as themselves: lines held as their
// bytes (byte_lines.h) are equal exactly when their text is, and are written back unchanged.
TEST(Cp936, EveryPairRoundTrips) {
    int pairs = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            std::string bytes{char(lead), char(trail)};
            std::u16string text = lex::decode936(bytes);
            ASSERT_EQ(text.size(), 1u);
            ASSERT_TRUE(lex::isDoubleByte(text[0])) << lead << " " << trail;
            ASSERT_EQ(lex::encode936(text), bytes);
            ++pairs;
        }
    }
    EXPECT_EQ(pairs, 126 * 190);
    for (const char b : {'\x80', '\xFF'}) {
        const std::u16string text = lex::decode936(std::string(1, b));
        ASSERT_EQ(text.size(), 1u);
        EXPECT_FALSE(lex::isDoubleByte(text[0]));
        EXPECT_EQ(lex::encode936(text), std::string(1, b));
    }
}

// The tables are written at build time: they must still be what ICU's converter says, one
// character at a time, for every code unit and every byte pair (a stale or broken generator
// would change lexicons in silence).
TEST(Cp936, TablesAreTheConverters) {
    UErrorCode st = U_ZERO_ERROR;
    UConverter *conv = ucnv_open("windows-936-2000", &st);
    ASSERT_TRUE(U_SUCCESS(st));
    ucnv_setFallback(conv, false);
    auto toBytes = [&](char16_t u) {
        char out[8];
        st = U_ZERO_ERROR;
        ucnv_reset(conv);
        const int32_t n =
            ucnv_fromUChars(conv, out, 8, reinterpret_cast<const UChar *>(&u), 1, &st);
        return U_SUCCESS(st) ? std::string(out, size_t(n)) : std::string();
    };
    auto toUnits = [&](const std::string &bytes) {
        UChar out[8];
        st = U_ZERO_ERROR;
        ucnv_reset(conv);
        const int32_t n = ucnv_toUChars(conv, out, 8, bytes.data(), int32_t(bytes.size()), &st);
        return std::u16string(reinterpret_cast<const char16_t *>(out), size_t(n));
    };
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string pair{char(lead), char(trail)};
            ASSERT_EQ(lex::decode936(pair), toUnits(pair)) << lead << " " << trail;
        }
    int mapped = 0;
    for (uint32_t u = 1; u < 0x10000; ++u) {
        if ((u >= 0xD800 && u <= 0xDFFF) || u == 0xFFFD)
            continue;
        const std::string bytes = toBytes(char16_t(u));
        // Round-trip mappings only: bytes that decode back to the character.
        const bool roundTrip = !bytes.empty() && toUnits(bytes) == std::u16string(1, char16_t(u));
        const std::string ours = lex::encode936(std::u16string(1, char16_t(u)));
        // The loss is noticed exactly where a character becomes "?".
        bool lossy = false;
        char buf[2];
        lex::encode936To(std::u16string(1, char16_t(u)), buf, lossy);
        ASSERT_EQ(lossy, !roundTrip && u >= 0x80) << u;
        if (roundTrip) {
            ASSERT_EQ(ours, bytes) << u;
            ++mapped;
        } else {
            ASSERT_EQ(ours, "?") << u;
        }
    }
    EXPECT_GT(mapped, 21000);
    ucnv_close(conv);
}

TEST(Cp936, BrokenPairsBecomeReplacementAndResync) {
    // A lead byte before an invalid trail: one U+FFFD, then the trail read on its own.
    EXPECT_EQ(lex::decode936("\xD6\x30"), std::u16string(u"\uFFFD0"));
    EXPECT_EQ(lex::decode936("a\xD6"), std::u16string(u"a\uFFFD"));
    EXPECT_EQ(lex::decode936("\x80\xFF"), std::u16string(u"€\uF8F5"));
    EXPECT_EQ(lex::encode936(u"\uFFFD"), "?");
}

TEST(Cp936, UnrepresentableCharactersEncodeAsQuestionMarks) {
    EXPECT_EQ(lex::encode936(u"中ก€"), "\xD6\xD0?\x80");
    EXPECT_EQ(lex::encode936(u"😀"), "??"); // a surrogate pair is two units, each unmappable
}

// The UTF-8 encoder of the writers against ICU, for every code unit, pairs and lone surrogates,
// alone and between other characters (it stores more bytes than it keeps).
TEST(Cp936, Utf8EncoderMatchesIcuForEveryUnit) {
    std::u16string all;
    for (uint32_t u = 1; u < 0x10000; ++u) {
        const std::u16string one(1, char16_t(u));
        std::string out(8, '\0');
        out.resize(size_t(lex::encodeUtf8To(one, out.data()) - out.data()));
        ASSERT_EQ(out, lex::toUtf8(one)) << u;
        all += one;
        all += u"a中";
    }
    all += u"😀\xD800\xDC00x\xDC00\xD800";
    std::string out(all.size() * 3 + 1, '\0');
    out.resize(size_t(lex::encodeUtf8To(all, out.data()) - out.data()));
    EXPECT_EQ(out, lex::toUtf8(all));
    // CR LF becomes LF when asked, in a short text and among long lines; a lone CR stays.
    for (const int times : {1, 9}) {
        std::u16string crlf;
        std::string expected;
        for (int i = 0; i < times; ++i) {
            crlf += u"中国zhongguo\r\n";
            expected += "中国zhongguo\n";
        }
        crlf += u"a\r\nb\rc\r";
        expected += "a\nb\rc\r";
        std::string lf(crlf.size() * 3 + 1, '\0');
        lf.resize(size_t(lex::encodeUtf8To(crlf, lf.data(), true) - lf.data()));
        EXPECT_EQ(lf, expected);
        lf.assign(crlf.size() * 3 + 1, '\0');
        lf.resize(size_t(lex::encodeUtf8To(crlf, lf.data()) - lf.data()));
        EXPECT_EQ(lf, lex::toUtf8(crlf));
    }
}

TEST(Cp936, Utf8Conversions) {
    EXPECT_EQ(lex::fromUtf8("中a"), std::u16string(u"中a"));
    EXPECT_EQ(lex::toUtf8(u"中a"), "中a");
    EXPECT_EQ(lex::fromUtf8("\xFF"), std::u16string(u"\uFFFD"));
}

} // namespace
