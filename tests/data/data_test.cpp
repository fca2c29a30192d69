// The shipped data files as the tools will read them: code page 936 with CR LF, the word
// list in the order the segmenter's binary search needs, readings for every GB2312 hanzi
// and the readings a lexicon expects for common polyphonic characters.

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lexicon_rules.h"
#include "test_support.h"

#include "lex_tool_table.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path suiteDir() {
    const char *dir = std::getenv("LEX_SUITE_DIR");
    return dir ? fs::path(dir) : fs::path();
}

fs::path dataFile(const std::string &folder, const std::string &name) {
    return suiteDir() / fs::u8path(folder) / name;
}

// The file's lines after checking that it is code page 936 text that survives a round trip
// and ends every line, the last one included, with CR LF.
std::vector<std::u16string> gbkLines(const fs::path &path) {
    std::vector<std::u16string> lines;
    const std::string bytes = lex::test::readBytes(path);
    const std::u16string text = lex::decode936(bytes);
    EXPECT_EQ(text.find(u'\uFFFD'), std::u16string::npos) << path;
    EXPECT_EQ(lex::encode936(text), bytes) << path << " does not survive a round trip";
    EXPECT_TRUE(text.empty() || text.ends_with(u"\r\n")) << path;
    size_t start = 0;
    while (start < text.size()) {
        const size_t lf = text.find(u'\n', start);
        EXPECT_NE(lf, std::u16string::npos) << path;
        if (lf == std::u16string::npos)
            break;
        EXPECT_TRUE(lf > start && text[lf - 1] == u'\r') << path << ": bare LF at " << lf;
        std::u16string line = text.substr(start, lf - start - 1);
        EXPECT_EQ(line.find(u'\r'), std::u16string::npos) << path << ": bare CR";
        lines.push_back(std::move(line));
        start = lf + 1;
    }
    return lines;
}

bool isPinyin(std::u16string_view s) {
    if (s.empty())
        return false;
    for (char16_t c : s)
        if (c < u'a' || c > u'z')
            return false;
    return true;
}

// Annotated word: two or more double-byte characters, each followed by its pinyin letters.
bool isAnnotatedWord(std::u16string_view line) {
    size_t chars = 0;
    size_t i = 0;
    while (i < line.size()) {
        if (!lex::isDoubleByte(line[i]))
            return false;
        size_t j = i + 1;
        while (j < line.size() && line[j] >= u'a' && line[j] <= u'z')
            ++j;
        if (j == i + 1)
            return false;
        ++chars;
        i = j;
    }
    return chars >= 2;
}

class DataFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_FALSE(suiteDir().empty()) << "LEX_SUITE_DIR is not set"; }
};

TEST_F(DataFiles, CharacterTablesHaveOneReadingPerLine) {
    const auto dzTxt = gbkLines(dataFile("phonetag", "dz.txt"));
    const auto dzLxd = gbkLines(dataFile("pintop", "dz.lxd"));
    // about 20,900 of code page 936's 20,924 ideographs have a reading in some source
    ASSERT_GE(dzTxt.size(), 20900u);

    std::map<char16_t, std::u16string> first;
    for (const auto &line : dzTxt) {
        ASSERT_GE(line.size(), 2u);
        EXPECT_TRUE(lex::isDoubleByte(line[0]) && isPinyin(std::u16string_view(line).substr(1)))
            << lex::toUtf8(line);
        EXPECT_TRUE(first.emplace(line[0], line.substr(1)).second)
            << "dz.txt lists " << lex::toUtf8(line.substr(0, 1)) << " twice";
    }
    // pintop takes a character's first line in dz.lxd, phonetag its line in dz.txt: both
    // tools must read every character alike.
    std::set<char16_t> seen;
    for (const auto &line : dzLxd) {
        ASSERT_GE(line.size(), 2u);
        EXPECT_TRUE(isPinyin(std::u16string_view(line).substr(1))) << lex::toUtf8(line);
        if (seen.insert(line[0]).second) {
            EXPECT_EQ(first[line[0]], line.substr(1)) << lex::toUtf8(line);
        }
    }
    EXPECT_EQ(seen.size(), first.size());

    // further readings follow the first one, most common first
    std::vector<std::u16string> chang;
    for (const auto &line : dzLxd)
        if (line[0] == u'长')
            chang.push_back(line.substr(1));
    EXPECT_EQ(chang, (std::vector<std::u16string>{u"chang", u"zhang"}));
}

TEST_F(DataFiles, EveryGb2312HanziHasAReading) {
    std::set<char16_t> dzTxt, dzLxd;
    for (const auto &line : gbkLines(dataFile("phonetag", "dz.txt")))
        dzTxt.insert(line[0]);
    for (const auto &line : gbkLines(dataFile("pintop", "dz.lxd")))
        dzLxd.insert(line[0]);
    int hanzi = 0;
    for (int lead = 0xB0; lead <= 0xF7; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            if (lead == 0xD7 && trail >= 0xFA)
                continue; // unassigned
            const std::string bytes{char(lead), char(trail)};
            const std::u16string ch = lex::decode936(bytes);
            ASSERT_EQ(ch.size(), 1u);
            EXPECT_TRUE(dzTxt.count(ch[0])) << "dz.txt lacks " << lex::toUtf8(ch);
            EXPECT_TRUE(dzLxd.count(ch[0])) << "dz.lxd lacks " << lex::toUtf8(ch);
            ++hanzi;
        }
    }
    EXPECT_EQ(hanzi, 6763);
}

TEST_F(DataFiles, PolyphonicCharactersReadAsALexiconExpects) {
    std::map<std::u16string, std::u16string> reading;
    for (const auto &line : gbkLines(dataFile("phonetag", "dz.txt")))
        reading[line.substr(0, 1)] = line.substr(1);
    const std::pair<std::u16string, std::u16string> expected[] = {
        {u"的", u"de"},    {u"了", u"le"},    {u"行", u"xing"},  {u"长", u"chang"},
        {u"地", u"di"},    {u"调", u"tiao"},  {u"重", u"zhong"}, {u"还", u"hai"},
        {u"都", u"dou"},   {u"为", u"wei"},   {u"和", u"he"},    {u"得", u"de"},
        {u"着", u"zhe"},   {u"会", u"hui"},   {u"没", u"mei"},   {u"似", u"si"},
        {u"大", u"da"},    {u"说", u"shuo"},  {u"要", u"yao"},   {u"中", u"zhong"},
        {u"好", u"hao"},   {u"数", u"shu"},   {u"教", u"jiao"},  {u"少", u"shao"},
        {u"发", u"fa"},    {u"种", u"zhong"}, {u"只", u"zhi"},   {u"当", u"dang"},
        {u"分", u"fen"},   {u"相", u"xiang"}, {u"觉", u"jue"},   {u"更", u"geng"},
        {u"传", u"chuan"}, {u"干", u"gan"},   {u"差", u"cha"},   {u"应", u"ying"},
        {u"将", u"jiang"}, {u"给", u"gei"},   {u"几", u"ji"},    {u"系", u"xi"},
        {u"绿", u"lv"},    {u"女", u"nv"},    {u"略", u"lue"},   {u"一", u"yi"},
        {u"咖", u"ka"},    {u"咳", u"ke"},    {u"纤", u"xian"},  {u"茄", u"qie"},
    };
    for (const auto &[ch, py] : expected)
        EXPECT_EQ(reading[ch], py) << lex::toUtf8(ch);
}

TEST_F(DataFiles, SegmentWordListIsSortedUniqueAndDoubleByte) {
    const auto lines = gbkLines(dataFile("bigseg", "ciku.lxd"));
    ASSERT_GT(lines.size(), 300000u);
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_FALSE(lines[i].empty()) << "empty line " << i + 1;
        for (char16_t c : lines[i])
            ASSERT_TRUE(lex::isDoubleByte(c)) << lex::toUtf8(lines[i]);
        // std::u16string compares code unit by code unit, as the segmenter's search does
        if (i > 0) {
            ASSERT_LT(lines[i - 1], lines[i]) << "line " << i + 1 << ": " << lex::toUtf8(lines[i]);
        }
    }
    // The segmenter's search never reaches index 0; a word it could match must not stand there
    // (a leading word of symbols, such as one starting with a Greek letter, is harmless).
    EXPECT_LT(lex::doubleByteCode(lines.front()[0]), 0xB0A1u) << lex::toUtf8(lines.front());
    EXPECT_TRUE(lex::test::readBytes(dataFile("bigseg", "bc.ini")).empty());
}

TEST_F(DataFiles, WordTablesHoldAnnotatedWordsLongestActingFirst) {
    const auto zn = gbkLines(dataFile("phonetag", "zn.lxd"));
    const auto lw = gbkLines(dataFile("phonetag", "lw.txt"));
    EXPECT_GT(zn.size(), 10000u);
    EXPECT_LT(zn.size(), 200000u);
    EXPECT_GT(lw.size(), 150000u);
    std::set<std::u16string> znWords, lwWords;
    size_t previousLength = 0;
    for (const auto &line : zn) {
        EXPECT_TRUE(isAnnotatedWord(line)) << lex::toUtf8(line);
        const std::u16string word = lex::entryWord(line);
        EXPECT_TRUE(znWords.insert(word).second) << lex::toUtf8(line);
        // the tool applies the last line first: a shorter word placed later would cut
        // longer words apart (开会计划 read through 会计)
        EXPECT_GE(word.size(), previousLength) << lex::toUtf8(line);
        previousLength = word.size();
    }
    for (const auto &line : lw) {
        EXPECT_TRUE(isAnnotatedWord(line)) << lex::toUtf8(line);
        EXPECT_TRUE(lwWords.insert(lex::entryWord(line)).second) << lex::toUtf8(line);
    }
    // 重庆 reads chong: the character table alone would say zhong; the table ships every
    // word, so common words are in both lists
    for (const std::u16string line : {u"重chong庆qing", u"了liao解jie", u"行hang业ye"}) {
        EXPECT_EQ(std::count(zn.begin(), zn.end(), line), 1) << lex::toUtf8(line);
        EXPECT_EQ(std::count(lw.begin(), lw.end(), line), 1) << lex::toUtf8(line);
    }
}

// The review data of automatic annotation: dy.txt lists each polyphonic character with its
// readings, the first one the reading dz.txt gives it; cp.txt holds dictionary words with a
// polyphonic character, once each, most frequent first, annotated where their reading is known.
TEST_F(DataFiles, ReviewDataNamesThePolyphonesAndRanksTheWords) {
    std::map<char16_t, std::u16string> first;
    for (const auto &line : gbkLines(dataFile("phonetag", "dz.txt")))
        first[line[0]] = line.substr(1);
    std::map<char16_t, std::vector<std::u16string>> readings;
    char16_t previous = 0;
    for (const auto &line : gbkLines(dataFile("phonetag", "dy.txt"))) {
        ASSERT_GE(line.size(), 2u);
        EXPECT_TRUE(isPinyin(std::u16string_view(line).substr(1))) << lex::toUtf8(line);
        auto &r = readings[line[0]];
        if (r.empty()) {
            EXPECT_EQ(first[line[0]], line.substr(1)) << lex::toUtf8(line);
            EXPECT_FALSE(previous == line[0]);
        } else {
            EXPECT_EQ(previous, line[0]) << "the lines of a character stand together";
        }
        r.push_back(line.substr(1));
        previous = line[0];
    }
    EXPECT_GT(readings.size(), 300u);
    for (const auto &[ch, r] : readings)
        EXPECT_GE(r.size(), 2u) << lex::toUtf8(std::u16string(1, ch));
    EXPECT_EQ(readings[u'长'], (std::vector<std::u16string>{u"chang", u"zhang"}));
    EXPECT_EQ(readings[u'了'], (std::vector<std::u16string>{u"le", u"liao"}));
    EXPECT_EQ(readings.count(u'中'), 0u);

    const auto cp = gbkLines(dataFile("phonetag", "cp.txt"));
    EXPECT_GT(cp.size(), 50000u);
    std::set<std::u16string> words;
    for (const auto &line : cp) {
        const std::u16string word = lex::entryWord(line);
        EXPECT_TRUE(word.size() == 1 || line.size() == word.size() || isAnnotatedWord(line))
            << lex::toUtf8(line);
        EXPECT_TRUE(words.insert(word).second) << lex::toUtf8(line);
        EXPECT_TRUE(std::any_of(word.begin(), word.end(), [&](char16_t c) {
            return readings.count(c) > 0;
        })) << lex::toUtf8(line);
    }
    // jieba's most frequent words lead
    EXPECT_LT(std::find(cp.begin(), cp.end(), u"了") - cp.begin(), 10);
    EXPECT_NE(std::find(cp.begin(), cp.end(), u"会hui议yi"), cp.end());
}

TEST_F(DataFiles, FrequencyTemplateHasAnEmptyWordLib) {
    const fs::path path = dataFile("Quillo词库调频", "freqtune.mmm");
    ASSERT_TRUE(fs::exists(path));
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::vector<std::string> columns;
    sqlite3_stmt *st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA table_info(WordLib)", -1, &st, nullptr), SQLITE_OK);
    while (sqlite3_step(st) == SQLITE_ROW)
        columns.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(st, 1)));
    sqlite3_finalize(st);
    EXPECT_EQ(columns,
              (std::vector<std::string>{"SeqNo", "EntryLine", "WordText", "Freq", "WordLen"}));
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM WordLib", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

TEST_F(DataFiles, EveryToolHasAChineseReadme) {
    for (const auto &tool : lex::tools::kTools) {
        const std::string folder(reinterpret_cast<const char *>(tool.folder));
        const fs::path path = dataFile(folder, "read.me");
        ASSERT_TRUE(fs::exists(path)) << folder;
        const auto lines = gbkLines(path);
        ASSERT_GT(lines.size(), 5u) << folder;
        size_t hanzi = 0;
        for (const auto &line : lines)
            for (char16_t c : line)
                hanzi += c >= 0x4E00 && c <= 0x9FA5;
        EXPECT_GT(hanzi, 100u) << folder;
    }
}

} // namespace
