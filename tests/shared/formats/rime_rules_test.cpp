// What librime does with a dictionary beyond its lines, and how each target takes it:
// import_tables, the weight of entries without one, the syllable ê, and the readings of a word
// without code.

#include "shared/formats/conversion.h"

#include "shared/lexcore/lex_error.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace lex::formats;
using lex::test::readBytes;
using lex::test::writeBytes;

lex::NullPump g_pump;

class RimeRules : public ::testing::Test {
protected:
    lex::test::TempDir dir;

    ConvertResult convert(const fs::path &in, const fs::path &out, ConvertOptions options) {
        Annotator annotator(fs::path(SUITE_DIR) / "lexconv/dz.txt",
                            fs::path(SUITE_DIR) / "lexconv/zn.lxd", g_pump);
        lex::NullPump pump;
        pump.context().setFirstInput(in);
        return convertLexicon(in, out, options, annotator, pump);
    }
    ConvertResult convert(const std::string &text, Format from, ConvertOptions options) {
        writeBytes(dir / "in.txt", text);
        options.from = from;
        return convert(dir / "in.txt", dir / "out.txt", options);
    }
    static ConvertOptions to(Format f) {
        ConvertOptions o;
        o.to = f;
        return o;
    }
    std::string body(const fs::path &file) {
        const std::string all = readBytes(file);
        const size_t at = all.find("...\n");
        return at == std::string::npos ? all : all.substr(at + 4);
    }
    // A dictionary NAME.dict.yaml in the folder, of header lines and body lines.
    void dictionary(const std::string &name, const std::string &header, const std::string &lines) {
        writeBytes(dir / (name + ".dict.yaml"),
                   "---\nname: " + name + "\nversion: \"1\"\n" + header + "...\n" + lines);
    }
};

// The imported dictionaries follow the main one, each read with its own columns, named once
// and never the dictionary itself; librime stops at the main dictionary's list.
TEST_F(RimeRules, ImportTablesAreConvertedAfterTheDictionary) {
    struct Row {
        const char *name;
        std::string header; // of main
        std::vector<std::string> files;
    } rows[] = {
        {"block", "import_tables:\n  - extra  # 补充\n  - \"more\"\n", {"extra", "more"}},
        {"flow", "import_tables: [extra, main, 'more', extra]\n", {"extra", "more"}},
        {"block_at_column_0",
         "import_tables:\n- more\n- extra\nsort: original\n",
         {"more", "extra"}},
    };
    dictionary("extra", "columns: [code, text]\nimport_tables: [deep]\n",
               "ren min\t人民\nxx\t坏\n");
    dictionary("more", "", "北京\tbei jing\t3\n中国\tzhong guo\t9\n");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        dictionary("main", row.header, "中国\tzhong guo\t5\n");
        const ConvertResult r =
            convert(dir / "main.dict.yaml", dir / "out.txt", to(Format::Libpinyin));
        std::string expected = "中国 zhong'guo 9\n";
        for (const std::string &file : row.files)
            expected += file == "extra" ? "人民 ren'min\n" : "北京 bei'jing 3\n";
        EXPECT_EQ(readBytes(dir / "out.txt"), expected);
        ASSERT_EQ(r.imports.size(), row.files.size());
        for (size_t i = 0; i < r.imports.size(); ++i) {
            EXPECT_EQ(r.imports[i].file, dir / (row.files[i] + ".dict.yaml"));
            EXPECT_EQ(r.imports[i].entries, row.files[i] == "extra" ? 1 : 2); // one rejected
        }
        EXPECT_EQ(r.merged, 1);
        EXPECT_EQ(r.nestedImports, std::vector<std::string>{"deep"});
        EXPECT_EQ(readBytes(rejectsPath(dir / "out.txt")),
                  "extra.dict.yaml:8\t编码不是拼音\txx\t坏\n");
        const std::string report = convertReport(r, "");
        EXPECT_NE(report.find("导入的词典：extra.dict.yaml（1 条）"), std::string::npos);
        EXPECT_NE(report.find("（librime 也不展开）：deep"), std::string::npos);
    }
}

// Into Rime the imports stay imports unless followed; followed, they are entries of the output
// and its header no longer imports them.
TEST_F(RimeRules, RimeIntoRimeFollowsImportsOnlyWhenAsked) {
    dictionary("more", "", "北京\tbei jing\t3\n");
    dictionary("main", "import_tables:\n  - more\nsort: by_weight\n", "中国\tzhong guo\t5\n");
    ConvertResult r = convert(dir / "main.dict.yaml", dir / "out.dict.yaml", to(Format::Rime));
    EXPECT_EQ(readBytes(dir / "out.dict.yaml"),
              "---\nname: out\nversion: \"1\"\nimport_tables:\n  - more\nsort: by_weight\n...\n"
              "中国\tzhong guo\t5\n");
    EXPECT_EQ(r.unfollowedImports, std::vector<std::string>{"more"});
    EXPECT_NE(convertReport(r, "").find("未展开 import_tables：more"), std::string::npos);

    ConvertOptions follow = to(Format::Rime);
    follow.followImports = true;
    r = convert(dir / "main.dict.yaml", dir / "out.dict.yaml", follow);
    EXPECT_EQ(readBytes(dir / "out.dict.yaml"),
              "---\nname: out\nversion: \"1\"\nsort: by_weight\n...\n"
              "中国\tzhong guo\t5\n北京\tbei jing\t3\n");
    EXPECT_TRUE(r.unfollowedImports.empty());
}

// A missing import fails the run as it fails librime's compile, and the old output stays.
TEST_F(RimeRules, AMissingImportWritesNothing) {
    dictionary("main", "import_tables: [more, gone]\n", "中国\tzhong guo\t5\n");
    dictionary("more", "", "北京\tbei jing\t3\n");
    writeBytes(dir / "out.txt", "old");
    try {
        convert(dir / "main.dict.yaml", dir / "out.txt", to(Format::Fcitx5));
        FAIL() << "no error";
    } catch (const lex::LexError &e) {
        EXPECT_NE(std::string(e.what()).find((dir / "gone.dict.yaml").string()), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(readBytes(dir / "out.txt"), "old");
    EXPECT_FALSE(fs::exists(rejectsPath(dir / "out.txt")));
}

// The default weight is a count: as it is where counts are kept, scaled where they are, a
// cost where costs are (among the counts, or as a count of a cost).
TEST_F(RimeRules, TheDefaultWeightIsACountInEveryTarget) {
    const std::string rime = "中国\tzhong guo\t100\n人民\tren min\n";
    struct Row {
        const char *name;
        Format from, to;
        std::string input, expected;
    } rows[] = {
        {"rime_to_libpinyin", Format::Rime, Format::Libpinyin, rime,
         "中国 zhong'guo 100\n人民 ren'min 10\n"},
        {"rime_to_rime", Format::Rime, Format::Rime, rime,
         "中国\tzhong guo\t100\n人民\tren min\t10\n"},
        {"rime_to_fcitx5", Format::Rime, Format::Fcitx5, rime,
         "中国 zhong'guo 0\n人民 ren'min -1\n"},
        {"words_to_fcitx5", Format::Words, Format::Fcitx5, "中国\n", "中国 zhong'guo 0\n"},
        {"fcitx5_to_fcitx5", Format::Fcitx5, Format::Fcitx5, "中国 zhong'guo -1\n人民 ren'min\n",
         "中国 zhong'guo -1\n人民 ren'min -5\n"},
        {"fcitx5_to_rime", Format::Fcitx5, Format::Rime, "中国 zhong'guo -1\n人民 ren'min\n",
         "中国\tzhong guo\t100000\n人民\tren min\t10\n"},
    };
    for (const Row &row : rows)
        for (const bool dedup : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (dedup ? "" : " (no dedup)"));
            ConvertOptions o = to(row.to);
            o.defaultWeight = 10;
            o.dedup = dedup;
            convert(row.input, row.from, o);
            EXPECT_EQ(body(dir / "out.txt"), row.expected);
        }
}

// ê, alone or with its tones, precomposed or combined, is the syllable eh: Rime writes it so,
// and the programs that have no such syllable get the line in the rejects file.
TEST_F(RimeRules, CircumflexEIsTheSyllableEh) {
    for (const char *code : {"ê", "Ê", "ê̄", "ế", "ê̌", "ề", "ê2", "e\xcc\x82", "eh", "eh4"}) {
        SCOPED_TRACE(code);
        const ConvertResult r = convert(std::string("欸\t") + code + "\n欸嘿\t" + code + " hei\n",
                                        Format::Rime, to(Format::Libpinyin));
        EXPECT_EQ(r.rejected, 2);
        convert(std::string("欸\t") + code + "\n欸嘿\t" + code + " hei\n", Format::Rime,
                to(Format::Quillo));
        EXPECT_EQ(readBytes(dir / "out.txt"), "欸eh\n欸eh嘿hei\n");
    }
    // The e of üe written with a circumflex stays an e.
    convert("月\tyuê\n", Format::Rime, to(Format::Quillo));
    EXPECT_EQ(readBytes(dir / "out.txt"), "月yue\n");

    // From another program's format (Rime into Rime keeps the code as written).
    struct Row {
        Format to;
        std::string line; // of 欸嘿, or "" when rejected
    } rows[] = {
        {Format::Rime, "欸嘿\teh hei\n"},
        {Format::RimeCustom, "欸嘿\tehhei\n"},
        {Format::FixedTop, "ehhei=欸嘿\n"},
        {Format::Fcitx5, ""},
        {Format::Libpinyin, ""},
        {Format::Sogou, ""},
        {Format::Qq, ""},
        {Format::Baidu, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(formatInfo(row.to).name);
        const ConvertResult r = row.to == Format::Fcitx5
                                    ? convert("欸嘿\tê hei\n", Format::Rime, to(row.to))
                                    : convert("欸嘿 ê'hei\n", Format::Fcitx5, to(row.to));
        EXPECT_EQ(r.rejected, row.line.empty() ? 1 : 0);
        if (!row.line.empty())
            EXPECT_NE(readBytes(dir / "out.txt").find(row.line), std::string::npos);
        else
            EXPECT_EQ(body(dir / "out.txt").find("欸"), std::string::npos);
    }
}

// A word without code gets one reading by default, counted when it had more; with every
// reading, those librime encodes it with: from the dictionary's own characters whose reading
// takes 5% of the character's weight, in the order of their codes.
TEST_F(RimeRules, WordsWithoutCodeGetEveryReadingLibrimeGives) {
    const std::string rime = "---\nname: in\nversion: \"1\"\n...\n"
                             "重\tzhong4\t90\n重\tchong2\t10\n重\tzhong1\t1\n庆\tqing\t5\n"
                             "银\tyin\t1\n行\txing\t100\n行\thang\t4\n的\tde\t98%\n的\tdi\t2%\n"
                             "重庆\n银行\t\t7\n的重\n";
    struct Row {
        const char *name;
        bool all;
        std::string lines;
        int64_t oneReading, allReadings;
    } rows[] = {
        // The annotation's one reading (银行 by the word table).
        {"one", false, "重庆 chong'qing\n银行 yin'hang 7\n的重 de'zhong\n", 2, 0},
        // 行 hang is under 5%; the shares weigh nothing, so both readings of 的 pass.
        {"all", true,
         "重庆 chong'qing\n重庆 zhong'qing\n银行 yin'xing 7\n的重 de'chong\n的重 de'zhong\n"
         "的重 di'chong\n的重 di'zhong\n",
         0, 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ConvertOptions o = to(Format::Libpinyin);
        o.allReadings = row.all;
        const ConvertResult r = convert(rime, Format::Rime, o);
        const std::string out = readBytes(dir / "out.txt");
        EXPECT_EQ(out.substr(out.find("重庆")), row.lines);
        EXPECT_EQ(r.oneReading, row.oneReading);
        EXPECT_EQ(r.allReadings, row.allReadings);
    }

    // Other sources: the annotation's reading first, then the polyphonic characters' others.
    ConvertOptions o = to(Format::Fcitx5);
    o.allReadings = true;
    ConvertResult r = convert("重庆\n中国\n", Format::Words, o);
    EXPECT_EQ(readBytes(dir / "out.txt"),
              "重庆 chong'qing 0\n重庆 zhong'qing 0\n中国 zhong'guo 0\n");
    EXPECT_EQ(r.readingLines, 2);
    r = convert("重庆\n中国\n", Format::Words, to(Format::Fcitx5));
    EXPECT_EQ(readBytes(dir / "out.txt"), "重庆 chong'qing 0\n中国 zhong'guo 0\n");
    EXPECT_EQ(r.oneReading, 1);
    EXPECT_NE(convertReport(r, "").find("无编码的多音词只取一个读音：1"), std::string::npos);
}

// With the preset vocabulary a share is its part of the word's weight there and no weight is
// that weight, from the vocabulary the header names in the dictionary's folder before the shared
// one; imported dictionaries weigh by the main one's. Not found, shares stay no counts.
TEST_F(RimeRules, SharesWeighByThePresetVocabulary) {
    writeBytes(dir / "mine.txt", "中国\t200\n人民\t50\n北京\n");
    dictionary("more", "", "人民\tren min\n");
    struct Row {
        const char *name;
        std::string header;
        std::string lines;
        int64_t shares;
    } rows[] = {
        {"own_vocabulary", "use_preset_vocabulary: true\nvocabulary: mine\nimport_tables: [more]\n",
         "中国 zhong'guo 50\n北京 bei'jing 0\n天津 tian'jin\n人民 ren'min 50\n", 0},
        {"not_asked", "vocabulary: mine\n", "中国 zhong'guo\n北京 bei'jing\n天津 tian'jin\n", 2},
        {"not_found", "use_preset_vocabulary: true\nvocabulary: gone\n",
         "中国 zhong'guo\n北京 bei'jing\n天津 tian'jin\n", 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        dictionary("main", row.header,
                   "中国\tzhong guo\t25%\n北京\tbei jing\t10%\n天津\ttian jin\n");
        const ConvertResult r =
            convert(dir / "main.dict.yaml", dir / "out.txt", to(Format::Libpinyin));
        EXPECT_EQ(readBytes(dir / "out.txt"), row.lines);
        EXPECT_EQ(r.unconvertibleWeights, row.shares);
        EXPECT_EQ(r.missingVocabulary, std::string(row.name) == "not_found" ? "gone.txt" : "");
    }
    // Into Rime librime weighs them itself: the shares stay as written.
    dictionary("main", "use_preset_vocabulary: true\nvocabulary: mine\n", "中国\tzhong guo\t25%\n");
    const ConvertResult r =
        convert(dir / "main.dict.yaml", dir / "out.dict.yaml", to(Format::Rime));
    EXPECT_EQ(body(dir / "out.dict.yaml"), "中国\tzhong guo\t25%\n");
    EXPECT_TRUE(r.vocabulary.empty());
}

} // namespace
