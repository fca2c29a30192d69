// lexcli lexsift writes exactly the bytes of the engine call its window makes, one row per
// operation and option set; failures and usage errors write nothing.
#include "cli_harness.h"

#include "lexsift/article_filter.h"
#include "lexsift/condition_filter.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using enum lex::lexsift::ConditionTest;

TEST(LexsiftCli, WritesTheEngineBytesOrNothing) {
    lex::test::TempDir dir;
    lex::test::writeLexicon(dir / "in.txt", {u"中国zhongguo", u"人中", u"中华人民", u"", u"a中",
                                             u"丂丄", u"中国zhongguo"});
    lex::test::writeLexicon(dir / "art.txt", {u"我们是中国人", u"人民"}, /*utf16=*/true);
    // A word list in UTF-8 with its mark reads as the window's words.
    lex::test::writeBytes(dir / "words.txt", "\xEF\xBB\xBF\xE4\xB8\xAD\r\n\xE6\xB0\x91\r\n");
    const std::string d = dir.path().string(), in = d + "/in.txt", words = d + "/words.txt";
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string err;
        lex::lexsift::ConditionTest test = None; // status 0: None is the article filter
        std::u16string min = u"2", max = u"3";   // the Length test's bounds
    };
    const std::string usage = "用法: lexcli lexsift filter";
    const Row rows[] = {
        {{"article", in, d + "/art.txt"}, 0, ""},
        {{"filter", in, "--words", words}, 0, "", Contains},
        {{"filter", in, "--words", words, "--at", "start"}, 0, "", Starts},
        {{"filter", in, "--at", "end", "--words", words}, 0, "", Ends},
        {{"filter", in, "--length", "2", "3"}, 0, "", Length},
        {{"filter", in, "--non-gb2312"}, 0, "", NonGb2312},
        {{"article", d + "/gone.txt", d + "/art.txt"}, 1, "打开文件失败！文件不存在："},
        {{"article", in, d}, 1, "打开文件失败！不是文件："}, // a folder is not a file
        {{"filter", d + "/gone.txt", "--non-gb2312"}, 1, "打开词库失败！文件不存在："},
        {{"filter", in, "--words", d + "/gone.txt"}, 1, "找不到词表文件"},
        {{"filter", in, "--non-gb2312", "--length", "1", "2"}, 2, "--non-gb2312"},
        {{"filter", in, "--non-gb2312", "--at", "start"}, 2, "--at"},
        {{"filter", in, "--length", "2", "x"}, 2, "--length"},
        // Lengths are counts of characters: whole numbers from 0 to 2^31 - 1, as written.
        {{"filter", in, "--length", "0", "2147483647"}, 0, "", Length, u"0", u"2147483647"},
        {{"filter", in, "--length", "1.5", "3"}, 2, usage},
        {{"filter", in, "--length", "2", "3.0"}, 2, usage},
        {{"filter", in, "--length", "-1", "3"}, 2, usage},
        {{"filter", in, "--length", "+2", "3"}, 2, usage},
        {{"filter", in, "--length", " 2", "3"}, 2, usage},
        {{"filter", in, "--length", "2e0", "3"}, 2, usage},
        {{"filter", in, "--length", "2", "2147483648"}, 2, usage},
        {{"filter", in, "--length", "2", "99999999999999999999"}, 2, usage},
    };
    for (const Row &row : rows) {
        std::vector<std::string> args = {"lexsift"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.insert(args.end(), {"-o", d + "/cli.txt"});
        const lex::test::CliRun run = lex::test::runLexcli(args);
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_EQ(run.status, row.status);
        EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
        if (row.status != 0) {
            EXPECT_FALSE(fs::exists(dir / "cli.txt"));
            continue;
        }
        EXPECT_TRUE(run.out.starts_with("本次筛出词条：") &&
                    run.out.find("\n\n耗时：") != run.out.npos);
        lex::NullPump pump;
        if (row.test == None)
            lex::lexsift::filterByArticle(in, d + "/art.txt", d + "/engine.txt", pump);
        else
            lex::lexsift::filterByConditions(in, d + "/engine.txt",
                                             {row.test, {u"中", u"民"}, row.min, row.max}, pump);
        EXPECT_EQ(lex::test::readBytes(dir / "cli.txt"), lex::test::readBytes(dir / "engine.txt"));
        fs::remove(dir / "cli.txt");
    }
}

} // namespace
