// Fixed-top generation and duplicate-code removal, through real files in a temporary folder.
#include "pintop/char_readings.h"
#include "pintop/code_dedup.h"
#include "pintop/fixed_top.h"
#include "pintop/pinyin_to_code.h"

#include "counting_pump.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/lex_error.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace lex;
using namespace lex::pintop;
using lex::test::CountingPump;
using lex::test::gbk;
using lex::test::gbkLines;
using lex::test::readBytes;
using lex::test::TempDir;
using lex::test::utf16le;
using lex::test::writeBytes;
using lex::test::writeLexicon;

namespace {

void writeReadings(const std::filesystem::path &path) {
    writeLexicon(path, {u"中zhong", u"国guo", u"华hua", u"人ren", u"民min", u"共gong", u"和he",
                        u"昂ang", u"中chong", u"熊xiong", u"帮bang"});
}

class Pintop : public ::testing::Test {
protected:
    std::unique_ptr<PintopData> load(std::initializer_list<std::u16string_view> table = {}) {
        writeReadings(dir / "dz.lxd");
        std::filesystem::path tablePath;
        if (table.size()) {
            tablePath = dir / "table.ini";
            writeLexicon(tablePath, table);
        }
        return loadPintopData(dir / "dz.lxd", tablePath);
    }

    // Generates from `lines` and returns the output bytes.
    std::string generate(std::initializer_list<std::u16string_view> lines, LongWords mode,
                         const PintopData &data, char16_t sep = u'-', int64_t *count = nullptr) {
        writeLexicon(dir / "in.txt", lines);
        NullPump pump;
        auto r = generateFixedTop(dir / "in.txt", dir / "out.txt", data, {mode, sep}, pump);
        EXPECT_TRUE(r.inputFound);
        if (count)
            *count = r.count;
        return readBytes(dir / "out.txt");
    }

    std::string dedup(std::initializer_list<std::u16string_view> lines, int limit,
                      int64_t *kept = nullptr) {
        writeLexicon(dir / "top.txt", lines);
        NullPump pump;
        auto r = removeDuplicateCodes(dir / "top.txt", dir / "new.txt", limit, pump);
        EXPECT_TRUE(r.inputFound);
        if (kept)
            *kept = r.kept;
        return readBytes(dir / "new.txt");
    }

    TempDir dir;
};

std::u16string code(const PintopData &data, std::u16string_view line, char16_t sep = u'-') {
    std::u16string word, c;
    parseStandardLine(line, sep, data, word, c);
    return c;
}

// --- the data files ---

TEST_F(Pintop, FirstReadingOfACharacterWinsAndEmptyLinesAreSkipped) {
    auto data = load();
    EXPECT_EQ(data->readings.reading(u'中'), u"zhong"); // not the later chong
    EXPECT_EQ(data->readings.reading(u'的'), u"");
    EXPECT_FALSE(data->tableInUse);
}

TEST_F(Pintop, ReadingsFileInUtf16IsRead) {
    writeLexicon(dir / "dz.lxd", {u"中zhong", u"", u"国guo"}, true);
    auto data = loadPintopData(dir / "dz.lxd", {});
    EXPECT_EQ(data->readings.reading(u'国'), u"guo");
    EXPECT_EQ(data->readings.size(), 2u);
}

TEST_F(Pintop, MissingReadingsFileIsAnErrorNotAnEmptyMap) {
    EXPECT_THROW(loadPintopData(dir / "dz.lxd", {}), LexError);
}

TEST_F(Pintop, MissingTableFileMeansNoTable) {
    writeReadings(dir / "dz.lxd");
    auto data = loadPintopData(dir / "dz.lxd", dir / "gone.ini");
    EXPECT_FALSE(data->tableInUse);
    EXPECT_EQ(data->readings.reading(u'中'), u"zhong");
}

TEST_F(Pintop, TableLinesNeedAKeyBeforeTheFirstEquals) {
    ReplacementTable t;
    for (auto l : {u"=x", u"novalue", u"ang=h", u"ang=z", u"e=", u"a=b=c"})
        t.addLine(l);
    EXPECT_EQ(t.size(), 3u);
    EXPECT_EQ(*t.find(u"ang"), u"h"); // the first line of a key wins
    EXPECT_EQ(*t.find(u"e"), u"");
    EXPECT_EQ(*t.find(u"a"), u"b=c");
    EXPECT_EQ(t.find(u"ANG"), nullptr); // keys are case-sensitive
}

// A table with long values (1 MB each) used to be copied into the reading of every character
// that uses it: gigabytes and seconds for a three-line input. Memory must stay in proportion to
// the table and the input.
TEST_F(Pintop, LongTableValuesAreNotCopiedPerCharacter) {
    std::u16string dz;
    for (char16_t ch = u'一'; ch < u'一' + 500; ++ch)
        dz += std::u16string(1, ch) + u"zhong\r\n";
    writeBytes(dir / "dz.lxd", utf16le(dz));
    const std::u16string v(256 * 1024, u'v'), s(256 * 1024, u's');
    writeBytes(dir / "table.ini", utf16le(u"zh=" + v + u"\r\nong=" + s + u"\r\n"));
    const size_t before = lex::test::allocatedBytes();
    auto data = loadPintopData(dir / "dz.lxd", dir / "table.ini");
    EXPECT_LT(lex::test::allocatedBytes() - before, size_t(16) << 20);
    EXPECT_EQ(data->readings.reading(u'丁'), v + s);

    const std::string out = generate({u"一丁", u"七zhong", u"万"}, LongWords::Keep, *data);
    EXPECT_EQ(out, gbkLines({v + s + v + s + u"=一丁", v + s + u"=七", v + s + u"=万"}));
}

// --- pinyinToCode ---

TEST(PinyinToCode, TableExampleOfTheDoublePinyinLayout) {
    ReplacementTable t;
    for (auto l : {u"zh=v", u"ong=s", u"0ang=ah", u"ang=h"})
        t.addLine(l);
    EXPECT_EQ(pinyinToCode(u"zhong", t), u"vs");
    EXPECT_EQ(pinyinToCode(u"ang", t), u"ah");      // whole syllable through its "0" key
    EXPECT_EQ(pinyinToCode(u"bang", t), u"bh");     // one-letter initial kept
    EXPECT_EQ(pinyinToCode(u"xiong", t), u"xiong"); // no key iong: unchanged
    EXPECT_EQ(pinyinToCode(u"zhang", t), u"vh");
    EXPECT_EQ(pinyinToCode(u"chong", t), u"chs");     // ch has no key: kept, final replaced
    EXPECT_EQ(pinyinToCode(u"ng", t), u"ng");         // no vowel
    EXPECT_EQ(pinyinToCode(u"shrang", t), u"shrang"); // vowel at position 4
    EXPECT_EQ(pinyinToCode(u"", t), u"");
}

TEST(PinyinToCode, VowelScanIgnoresCaseButKeysDoNot) {
    ReplacementTable t;
    for (auto l : {u"0Ang=X", u"zh=v", u"ONG=s"})
        t.addLine(l);
    EXPECT_EQ(pinyinToCode(u"Ang", t), u"X");
    EXPECT_EQ(pinyinToCode(u"zhONG", t), u"vs");
    EXPECT_EQ(pinyinToCode(u"ZHONG", t), u"ZHs");
}

// The remembered codes must follow the table and tell apart syllables that differ in case or
// length only.
TEST(PinyinToCode, RememberedCodesFollowTheTable) {
    ReplacementTable t;
    t.addLine(u"zh=v");
    EXPECT_EQ(t.code(u"zhong"), u"vong");
    EXPECT_EQ(t.code(u"ZHONG"), u"ZHONG");
    t.addLine(u"ong=s");
    EXPECT_EQ(t.code(u"zhong"), u"vs");
    EXPECT_EQ(t.code(u"zhon"), u"von");
    EXPECT_EQ(t.code(u"zhuangzh"), u"vuangzh"); // too long to remember, still converted
    EXPECT_EQ(t.code(u"中"), u"中");
}

// --- parsing and code shaping ---

TEST_F(Pintop, TwoCharactersWithoutAnnotationGiveZhongguo) {
    auto data = load();
    std::u16string word, c;
    parseStandardLine(u"中国", u'-', *data, word, c);
    EXPECT_EQ(word, u"中国");
    EXPECT_EQ(c, u"zhong-guo");
}

TEST_F(Pintop, AnnotationOverridesTheReading) {
    auto data = load();
    EXPECT_EQ(code(*data, u"中chong国"), u"chong-guo");
    // Letters after the last character annotate that character.
    EXPECT_EQ(code(*data, u"中国gwo"), u"zhong-gwo");
    // Everything single-byte after a character is its annotation, digits and spaces too.
    EXPECT_EQ(code(*data, u"中zh ong1国"), u"zh ong1-guo");
}

TEST_F(Pintop, UnknownCharacterGivesAnEmptySyllable) {
    auto data = load();
    EXPECT_EQ(code(*data, u"中的国"), u"zhong--guo");
}

TEST_F(Pintop, LineNotStartingWithAWordCharacterIsANonEntry) {
    auto data = load();
    std::u16string word, c;
    parseStandardLine(u";中国", u'-', *data, word, c);
    EXPECT_EQ(word, u"");
    EXPECT_EQ(c, u";");
}

TEST_F(Pintop, TableConvertsReadingsAndAnnotations) {
    auto data = load({u"zh=v", u"ong=s", u"0ang=ah", u"uo=o"});
    EXPECT_TRUE(data->tableInUse);
    EXPECT_EQ(code(*data, u"中国"), u"vs-go");
    EXPECT_EQ(code(*data, u"中chong昂"), u"chs-ah");
}

TEST(InitialsCode, KeepsTheFirstLetterOfEverySyllable) {
    EXPECT_EQ(initialsCode(u"zhong-hua-ren-min", u'-'), u"z-h-r-m");
    EXPECT_EQ(initialsCode(u"zhongXhuaXren", u'x'), u"zxhxr"); // separator compared ignoring case
    EXPECT_EQ(initialsCode(u"", u'-'), u"");
    EXPECT_EQ(initialsCode(u"z", u'-'), u"z");
}

TEST(SeparatorFromArguments, OnlyAOneCharacterCommandLineCounts) {
    EXPECT_EQ(separatorFromArguments(u"'"), u'\'');
    EXPECT_EQ(separatorFromArguments(u""), u'-');
    EXPECT_EQ(separatorFromArguments(u"' '"), u'-');
}

// --- generation through files ---

TEST_F(Pintop, KeepModeRemovesDashesAndWritesNonEntriesAsSemicolonEquals) {
    auto data = load();
    int64_t count = 0;
    auto out = generate({u"中国", u"", u";注释", u"abc", u"中华人民共和国"}, LongWords::Keep, *data,
                        u'-', &count);
    EXPECT_EQ(
        out, gbkLines({u"zhongguo=中国", u";=", u";=", u"zhonghuarenmingongheguo=中华人民共和国"}));
    EXPECT_EQ(count, 4); // the empty line is neither written nor counted
}

TEST_F(Pintop, InitialsForWordsLongerThanThreeCharacters) {
    auto data = load();
    auto out = generate({u"中华人民", u"中华人", u"中ZHONG华人民"}, LongWords::Initials, *data);
    EXPECT_EQ(out, gbkLines({u"zhrm=中华人民", u"zhonghuaren=中华人", u"Zhrm=中华人民"}));
}

TEST_F(Pintop, FirstSixLettersAfterTheDashesAreRemoved) {
    auto data = load();
    auto out = generate({u"中华人民共", u"中华人", u"人民共和"}, LongWords::First6, *data);
    // A three-character word keeps its whole code even when it is longer than six letters.
    EXPECT_EQ(out, gbkLines({u"zhongh=中华人民共", u"zhonghuaren=中华人", u"renmin=人民共和"}));
}

TEST_F(Pintop, OmittedLongWordsAreNotCounted) {
    auto data = load();
    int64_t count = 0;
    auto out = generate({u"中华人民", u"中国", u"abc"}, LongWords::Omit, *data, u'-', &count);
    EXPECT_EQ(out, gbkLines({u"zhongguo=中国", u";="}));
    EXPECT_EQ(count, 2);
}

TEST_F(Pintop, ApostropheSeparatorStaysInTheCodesOnlyDashesGo) {
    auto data = load();
    auto out = generate({u"中国", u"中华人民", u"人m-in民"}, LongWords::Initials, *data, u'\'');
    EXPECT_EQ(out, gbkLines({u"zhong'guo=中国", u"z'h'r'm=中华人民", u"min'min=人民"}));
}

TEST_F(Pintop, Utf16InputGoesOutAsCodePage936) {
    auto data = load();
    writeLexicon(dir / "in.txt", {u"中国", u"人民"}, true);
    NullPump pump;
    auto r = generateFixedTop(dir / "in.txt", dir / "out.txt", *data, {}, pump);
    EXPECT_EQ(r.count, 2);
    EXPECT_EQ(readBytes(dir / "out.txt"), gbkLines({u"zhongguo=中国", u"renmin=人民"}));
}

TEST_F(Pintop, OutputOverTheInputReadsEverythingFirst) {
    auto data = load();
    writeLexicon(dir / "in.txt", {u"中国", u"人民"});
    NullPump pump;
    generateFixedTop(dir / "in.txt", dir / "in.txt", *data, {}, pump);
    EXPECT_EQ(readBytes(dir / "in.txt"), gbkLines({u"zhongguo=中国", u"renmin=人民"}));
}

TEST_F(Pintop, MissingInputWritesNothing) {
    auto data = load();
    NullPump pump;
    auto r = generateFixedTop(dir / "gone.txt", dir / "out.txt", *data, {}, pump);
    EXPECT_FALSE(r.inputFound);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.txt"));
    EXPECT_FALSE(removeDuplicateCodes(dir / "gone.txt", dir / "out.txt", 1, pump).inputFound);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.txt"));
}

TEST_F(Pintop, UnwritableOutputThrowsAndLeavesNoFile) {
    auto data = load();
    writeLexicon(dir / "in.txt", {u"中国"});
    NullPump pump;
    auto out = dir / "missing-folder" / "out.txt";
    EXPECT_THROW(generateFixedTop(dir / "in.txt", out, *data, {}, pump), LexError);
    EXPECT_THROW(removeDuplicateCodes(dir / "in.txt", out, 1, pump), LexError);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing-folder"));
}

TEST_F(Pintop, ParserYieldsOncePerCharacterAfterTheFirst) {
    auto data = load();
    writeLexicon(dir / "in.txt", {u"中国guo", u"abc", u"人民"});
    CountingPump pump;
    generateFixedTop(dir / "in.txt", dir / "out.txt", *data, {}, pump);
    EXPECT_EQ(pump.calls(), 4 + 1);
}

// --- duplicate-code removal ---

TEST_F(Pintop, KeepLimitsOneTwoThree) {
    std::initializer_list<std::u16string_view> in = {u"ab=甲", u"ab=乙", u"cd=丙", u"ab=丁",
                                                     u"ab=戊"};
    int64_t kept = 0;
    EXPECT_EQ(dedup(in, 1, &kept), gbkLines({u"ab=甲", u"cd=丙"}));
    EXPECT_EQ(kept, 2);
    EXPECT_EQ(dedup(in, 2), gbkLines({u"ab=甲", u"ab=乙", u"cd=丙"}));
    EXPECT_EQ(dedup(in, 3, &kept), gbkLines({u"ab=甲", u"ab=乙", u"cd=丙", u"ab=丁"}));
    EXPECT_EQ(kept, 4);
}

TEST_F(Pintop, CodesDifferingOnlyInCaseAreDifferentCodes) {
    EXPECT_EQ(dedup({u"ab=甲", u"AB=乙", u"Ab=丙", u"ab=丁"}, 1),
              gbkLines({u"ab=甲", u"AB=乙", u"Ab=丙"}));
}

TEST_F(Pintop, EmptyCodeIsACodeAndLinesWithoutEqualsDisappear) {
    int64_t kept = 0;
    EXPECT_EQ(dedup({u"=甲", u"", u";注释", u"=乙", u"a=b=丙"}, 1, &kept),
              gbkLines({u"=甲", u"a=b=丙"}));
    EXPECT_EQ(kept, 2);
}

TEST_F(Pintop, NoFixedTopLineGivesOnlyCrLf) {
    int64_t kept = 7;
    EXPECT_EQ(dedup({u";注释", u""}, 1, &kept), "\r\n");
    EXPECT_EQ(kept, 0);
}

TEST_F(Pintop, NoKeepOptionKeepsNothing) {
    int64_t kept = 7;
    EXPECT_EQ(dedup({u"ab=甲"}, 0, &kept), "\r\n");
    EXPECT_EQ(kept, 0);
}

TEST_F(Pintop, DashesAreRemovedOnlyWhenKeepingMoreThanOne) {
    std::initializer_list<std::u16string_view> in = {u"a-b=甲-乙"};
    EXPECT_EQ(dedup(in, 1), gbkLines({u"a-b=甲-乙"}));
    EXPECT_EQ(dedup(in, 2), gbkLines({u"ab=甲乙"}));
    EXPECT_EQ(dedup(in, 3), gbkLines({u"ab=甲乙"}));
}

TEST_F(Pintop, CodeEndingInDashTakesTheSecondSlotOfTheShorterCode) {
    // "ab-" is the slot key of the second "ab" line: with limit 2 only the first of the two is
    // kept, whichever comes first.
    EXPECT_EQ(dedup({u"ab=甲", u"ab-=乙", u"ab=丙"}, 2), gbkLines({u"ab=甲", u"ab=乙"}));
    EXPECT_EQ(dedup({u"ab-=甲", u"ab=乙", u"ab=丙"}, 2), gbkLines({u"ab=甲", u"ab=乙"}));
    // After "ab" took both its slots, "ab-" still has its own second slot "ab--".
    EXPECT_EQ(dedup({u"ab=甲", u"ab=乙", u"ab-=丙"}, 2), gbkLines({u"ab=甲", u"ab=乙", u"ab=丙"}));
    // With limit 3 "ab--" is the third slot of "ab" and the second of "ab-".
    EXPECT_EQ(dedup({u"ab=甲", u"ab-=乙", u"ab-=丙", u"ab=丁"}, 3),
              gbkLines({u"ab=甲", u"ab=乙", u"ab=丙"}));
}

TEST_F(Pintop, DedupYieldsAfterEveryLineAndKeepsUtf16Lines) {
    writeLexicon(dir / "top.txt", {u"ab=甲", u"x", u"ab=乙"}, true);
    CountingPump pump;
    auto r = removeDuplicateCodes(dir / "top.txt", dir / "new.txt", 1, pump);
    EXPECT_EQ(pump.calls(), 3);
    EXPECT_EQ(r.kept, 1);
    EXPECT_EQ(readBytes(dir / "new.txt"), gbkLines({u"ab=甲"}));
}

} // namespace
