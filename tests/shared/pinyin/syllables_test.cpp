// Codes from every format into the suite's syllables, and back into each target's spelling.

#include "shared/pinyin/syllables.h"

#include <gtest/gtest.h>

namespace {

using lex::pinyin::splitCode;
using lex::pinyin::Syllables;

TEST(Pinyin, CodesOfEveryFormatSplitIntoTheSuitesSyllables) {
    struct Row {
        std::u16string code;
        size_t count;
        std::vector<Syllables> expected;
    } rows[] = {
        {u"zhong guo", 2, {{"zhong", "guo"}}},
        {u"zhong1 guo2", 2, {{"zhong", "guo"}}},      // tone digits
        {u"zhong1guo2", 2, {{"zhong", "guo"}}},       // a tone digit ends a syllable
        {u"'ni'hao", 2, {{"ni", "hao"}}},             // Sogou's leading apostrophe
        {u"ni'hao'", 2, {{"ni", "hao"}}},             // Baidu's trailing one
        {u"Zhōng Guó", 2, {{"zhong", "guo"}}},        // tone marks and capitals
        {u"nü3 lu:e lüe", 3, {{"nv", "lue", "lue"}}}, // ü, u: and lüe
        {u"lve nve", 2, {{"lue", "nue"}}},            // üe is written ue in the suite
        {u"jv qvan xve yvan", 4, {{"ju", "quan", "xue", "yuan"}}},
        {u"nihao", 2, {{"ni", "hao"}}},             // custom phrases: no separators
        {u"xian", 1, {{"xian"}}},                   // the character count tells xian from xi'an
        {u"xian", 2, {{"xi", "an"}, {"xia", "n"}}}, // the interjection n comes last
        {u"fangan", 2, {{"fang", "an"}, {"fan", "gan"}}}, // both: the converter annotates
        {u"an na", 3, {}},                                // one syllable between two separators
        {u"zhong guo", 3, {}},                            // the count must match
        {u"zh guo", 2, {}},                               // abbreviations are no pinyin
        {u"zhong6", 1, {}},                               // 6 is no tone
        {u"中国", 2, {}},
        {u"", 1, {}},
        {u"hm ng m n r eh", 6, {{"hm", "ng", "m", "n", "r", "eh"}}},
    };
    for (const Row &r : rows)
        EXPECT_EQ(splitCode(r.code, r.count), r.expected)
            << std::string(r.code.begin(), r.code.end()) << " " << r.count;
    EXPECT_EQ(lex::pinyin::splitCodeAnyCount(u"zhongguoren"), (Syllables{"zhong", "guo", "ren"}));
    EXPECT_TRUE(lex::pinyin::splitCodeAnyCount(u"zhongx").empty());
}

TEST(Pinyin, TargetsSpellLueTheirOwnWay) {
    using lex::pinyin::UeSpelling;
    const Syllables s = {"lue", "nue", "lv", "jue"};
    EXPECT_EQ(lex::pinyin::joinSyllables(s, " ", UeSpelling::Ve), "lve nve lv jue");
    EXPECT_EQ(lex::pinyin::joinSyllables(s, "'", UeSpelling::Ue, true), "'lue'nue'lv'jue");
    EXPECT_EQ(lex::pinyin::joinSyllables(s, "'", UeSpelling::Ue, false, true), "lue'nue'lv'jue'");
    EXPECT_TRUE(lex::pinyin::isSyllable("zhuang"));
    EXPECT_FALSE(lex::pinyin::isSyllable("lve")); // the suite writes lue
}

} // namespace
