// The UTF-8 validator and the UTF-8 and code page 936 decoders against ICU, on lexicon-like text
// long enough for their block paths (32 bytes a block for the validator, 16 for the decoders),
// with one ill-formed piece put at every position in turn and the text cut into chunks at every
// position.

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/utf8.h"

#include <gtest/gtest.h>

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <random>
#include <string>
#include <vector>

namespace {

bool icuValid(const std::string &bytes) {
    UErrorCode st = U_ZERO_ERROR;
    int32_t n = 0;
    u_strFromUTF8(nullptr, 0, &n, bytes.data(), int32_t(bytes.size()), &st);
    return st == U_BUFFER_OVERFLOW_ERROR || st == U_STRING_NOT_TERMINATED_WARNING || U_SUCCESS(st);
}

std::u16string icuText(const std::string &bytes, const char *converter = "UTF-8") {
    UErrorCode st = U_ZERO_ERROR;
    UConverter *conv = ucnv_open(converter, &st);
    std::u16string t(bytes.size() + 1, u'\0');
    const int32_t n = ucnv_toUChars(conv, reinterpret_cast<UChar *>(t.data()), int32_t(t.size()),
                                    bytes.data(), int32_t(bytes.size()), &st);
    ucnv_close(conv);
    t.resize(size_t(n));
    return t;
}

// Valid pieces: letters, line ends, two-, three- and four-byte characters, the edges of the
// three-byte range around its forbidden parts. Bad ones: what strict UTF-8 turns away.
const std::string kGood[] = {
    "zhong", "a",  "\r\n",         "\n",           "中",           "国",          "é",
    "𠮷",    "\t", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBF"};
const std::string kBad[] = {"\x80",
                            "\xBF\xBF",
                            "\xE4\xB8",
                            "\xE4zh",
                            "\xC0\xAF",
                            "\xC1\x81",
                            "\xE0\x80\x80",
                            "\xE0\x9F\xBF",
                            "\xED\xA0\x80",
                            "\xED\xBF\xBF",
                            "\xF4\x90\x80\x80",
                            "\xF5\x80\x80\x80",
                            "\xF0\x8F\xBF\xBF",
                            "\xFF",
                            "\xC3",
                            "\xF0\xA0\xAE"};

std::string lexiconText(std::mt19937 &rng, size_t minBytes) {
    std::string t;
    while (t.size() < minBytes) {
        // Mostly Chinese with pinyin, as lexicons are; the rest any piece.
        if (rng() % 4)
            t += std::string(rng() % 2 ? "中" : "国") + (rng() % 2 ? "zhong" : "") + "\r\n";
        else
            t += kGood[rng() % std::size(kGood)];
    }
    return t;
}

struct Decoded {
    std::u16string text;
    std::vector<uint32_t> lineEnds;
    bool nul = false;
};

using DecodeLines = char16_t *(*)(std::string_view, char16_t *, bool, size_t &, bool &,
                                  const char16_t *, lex::LineEnds &);

// Decodes in two chunks, the first ending at `cut`, the way the readers carry a sequence over.
Decoded decodeCut(DecodeLines decode, const std::string &bytes, size_t cut) {
    Decoded d;
    std::u16string buf(bytes.size() + 1, u'\0');
    lex::LineEnds ends;
    size_t consumed = 0;
    char16_t *end = decode(std::string_view(bytes).substr(0, cut), buf.data(), false, consumed,
                           d.nul, buf.data(), ends);
    size_t rest = 0;
    end =
        decode(std::string_view(bytes).substr(consumed), end, true, rest, d.nul, buf.data(), ends);
    EXPECT_EQ(consumed + rest, bytes.size());
    d.text.assign(buf.data(), end);
    d.lineEnds.assign(ends.begin(), ends.end());
    return d;
}

void expectDecodedAsIcu(DecodeLines decode, const char *converter, const std::string &bytes,
                        size_t cut) {
    const std::u16string model = icuText(bytes, converter);
    const Decoded d = decodeCut(decode, bytes, cut);
    EXPECT_EQ(d.text, model) << converter << ", cut at " << cut << " of " << bytes.size();
    std::vector<uint32_t> lf;
    for (size_t i = 0; i < model.size(); ++i)
        if (model[i] == u'\n')
            lf.push_back(uint32_t(i));
    EXPECT_EQ(d.lineEnds, lf);
    EXPECT_EQ(d.nul, model.find(u'\0') != std::u16string::npos);
}

void expectAsIcu(const std::string &bytes, size_t cut) {
    const bool valid = icuValid(bytes);
    lex::Utf8Validator whole, split;
    whole.feed(bytes);
    EXPECT_EQ(whole.complete(), valid) << "whole, " << bytes.size() << " bytes";
    split.feed(std::string_view(bytes).substr(0, cut));
    split.feed(std::string_view(bytes).substr(cut));
    EXPECT_EQ(split.complete(), valid) << "cut at " << cut << " of " << bytes.size();
    expectDecodedAsIcu(lex::decodeUtf8Lines, "UTF-8", bytes, cut);
}

TEST(Utf8, EveryBadPieceAtEveryPositionIsSeenAsIcuSeesIt) {
    std::mt19937 rng(19);
    for (const std::string &bad : kBad) {
        const std::string text = lexiconText(rng, 90);
        for (size_t at = 0; at <= text.size(); ++at) {
            const std::string bytes = text.substr(0, at) + bad + text.substr(at);
            expectAsIcu(bytes, rng() % (bytes.size() + 1));
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

TEST(Utf8, ValidTextCutAnywhereDecodesWhole) {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        std::string text = lexiconText(rng, 64 + rng() % 200);
        if (round % 8 == 0)
            text.insert(rng() % text.size(), 1, '\0'); // NUL is valid UTF-8, but flagged
        for (size_t cut = 0; cut <= text.size(); ++cut) {
            expectAsIcu(text, cut);
            if (::testing::Test::HasFailure())
                return;
        }
    }
    // A long text whose multi-byte characters all come late: the blocks of ASCII before them.
    const std::string late = std::string(5000, 'a') + "中";
    EXPECT_TRUE(lex::looksUtf8(late));
    EXPECT_FALSE(lex::looksUtf8(std::string(5000, 'a')));
    EXPECT_FALSE(lex::looksUtf8(late + "\xE4"));
}

// Code page 936: pairs with trails on both sides of 0x80 and runs of them of either parity, the
// two single bytes, and leads whose trail is missing or out of range.
TEST(Cp936Decoder, EveryBadPieceAtEveryPositionIsReadAsIcuReadsIt) {
    const std::string good[] = {"zhong",
                                "\r\n",
                                "\n",
                                "\xD6\xD0",
                                "\xB9\xFA",
                                "\x81\x40",
                                "\x81\x80",
                                "\xFE\xFE",
                                "\x80",
                                "\xFF",
                                "\xD6\xD0\xB9\xFA\xC8\xCB"};
    const std::string bad[] = {"\x81",     "\xD6\x7F",     "\xD6\n", "\xD6\x30",
                               "\xD6\xFF", "\xD6\x80\x80", "\0"};
    std::mt19937 rng(936);
    auto text = [&] {
        std::string t;
        while (t.size() < 90)
            t += rng() % 3 ? std::string("\xD6\xD0zhong\r\n") : good[rng() % std::size(good)];
        return t;
    };
    for (const std::string &b : bad) {
        const std::string t = text();
        for (size_t at = 0; at <= t.size(); ++at) {
            const std::string bytes = t.substr(0, at) + b + t.substr(at);
            expectDecodedAsIcu(lex::decode936Lines, "windows-936-2000", bytes,
                               rng() % (bytes.size() + 1));
            if (::testing::Test::HasFailure())
                return;
        }
    }
    for (int round = 0; round < 40; ++round) {
        const std::string t = text();
        for (size_t cut = 0; cut <= t.size(); ++cut) {
            expectDecodedAsIcu(lex::decode936Lines, "windows-936-2000", t, cut);
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

} // namespace
