// lexcli lexsift writes exactly the bytes of the engine call its window makes, one row per
// operation and option set; failures and usage errors write nothing.
#include "cli_harness.h"

#include "lexsift/article_filter.h"
#include "lexsift/condition_filter.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

namespace fs = std::filesystem;
using lex::lexsift::ConditionTest;
using lex::test::readBytes;
using lex::test::writeLexicon;

void writeInputs(const fs::path &dir) {
    writeLexicon(dir / "in.txt",
                 {u"中国zhongguo", u"人中", u"中华人民", u"", u"a中", u"丂丄", u"中国zhongguo"});
    writeLexicon(dir / "art.txt", {u"我们是中国人", u"人民"}, /*utf16=*/true);
    lex::test::writeBytes(dir / "words.txt",
                          "\xEF\xBB\xBF\r\n" + lex::test::gbkLines({u"中", u"民"}));
}

struct Row {
    const char *name;
    std::vector<std::string> args; // after "lexsift"; "@" is the input folder
    ConditionTest test;            // None: the article filter
};

class LexsiftCli : public ::testing::TestWithParam<Row> {};

TEST_P(LexsiftCli, WritesTheEngineBytes) {
    lex::test::TempDir dir;
    writeInputs(dir.path());
    std::vector<std::string> args = {"lexsift"};
    for (const auto &a : GetParam().args)
        args.push_back(a.starts_with("@") ? dir.path().string() + a.substr(1) : a);
    args.insert(args.end(), {"-o", (dir / "cli.txt").string()});
    const lex::test::CliRun run = lex::test::runLexcli(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with("本次筛出词条：")) << run.out;
    EXPECT_NE(run.out.find("\n\n耗时："), std::string::npos) << run.out;
    // The words file starts with a UTF-8 mark, read as code page 936 with a warning.
    EXPECT_EQ(run.err.find("UTF-8") != std::string::npos,
              std::ranges::count(GetParam().args, "--words") == 1);

    lex::NullPump pump;
    if (GetParam().test == ConditionTest::None) {
        lex::lexsift::filterByArticle(dir / "in.txt", dir / "art.txt", dir / "engine.txt", pump);
    } else {
        lex::lexsift::Conditions c{GetParam().test, {u"中", u"民"}, u"2", u"3"};
        lex::lexsift::filterByConditions(dir / "in.txt", dir / "engine.txt", c, pump);
    }
    EXPECT_EQ(readBytes(dir / "cli.txt"), readBytes(dir / "engine.txt"));
}

const Row kRows[] = {
    {"article", {"article", "@/in.txt", "@/art.txt"}, ConditionTest::None},
    {"words", {"filter", "@/in.txt", "--words", "@/words.txt"}, ConditionTest::Contains},
    {"wordsStart",
     {"filter", "@/in.txt", "--words", "@/words.txt", "--at", "start"},
     ConditionTest::Starts},
    {"wordsEnd",
     {"filter", "@/in.txt", "--at", "end", "--words", "@/words.txt"},
     ConditionTest::Ends},
    {"length", {"filter", "@/in.txt", "--length", "2", "3"}, ConditionTest::Length},
    {"nonGb2312", {"filter", "@/in.txt", "--non-gb2312"}, ConditionTest::NonGb2312},
};

INSTANTIATE_TEST_SUITE_P(All, LexsiftCli, ::testing::ValuesIn(kRows),
                         [](const auto &info) { return std::string(info.param.name); });

// Failures give the tool's message and status 1, usage errors status 2; neither writes.
TEST(LexsiftCli, FailuresAndUsageErrorsWriteNothing) {
    lex::test::TempDir dir;
    writeInputs(dir.path());
    const std::string d = dir.path().string(), in = d + "/in.txt", out = d + "/o.txt";
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"article", d + "/gone.txt", d + "/art.txt"}, 1, "打开文件失败！\n"},
        {{"article", in, d}, 1, "打开文件失败！\n"}, // a folder is not a file
        {{"filter", d + "/gone.txt", "--non-gb2312"}, 1, "打开词库失败！\n"},
        {{"filter", in, "--words", d + "/gone.txt"}, 1, "找不到词表文件"},
        {{"filter", in, "--non-gb2312", "--length", "1", "2"}, 2, "--non-gb2312"},
        {{"filter", in, "--non-gb2312", "--at", "start"}, 2, "--at"},
        {{"filter", in, "--length", "2", "x"}, 2, "--length"},
    };
    for (const auto &[args, status, err] : cases) {
        std::vector<std::string> full = {"lexsift"};
        full.insert(full.end(), args.begin(), args.end());
        full.insert(full.end(), {"-o", out});
        const lex::test::CliRun run = lex::test::runLexcli(full);
        EXPECT_EQ(run.status, status) << testing::PrintToString(full);
        EXPECT_NE(run.err.find(err), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(out));
    }
}

} // namespace
