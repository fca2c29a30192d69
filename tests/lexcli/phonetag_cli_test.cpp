// lexcli phonetag: every operation writes the golden bytes that the engine and the windows
// write for the same lexicon (tests/data/phonetag), and prints the windows' report.
#include "cli_harness.h"

#include "test_support.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;

const fs::path kGolden = PHONETAG_GOLDEN;

struct Row {
    std::string operation;
    std::string golden;
    std::string report; // the report without its elapsed-time line
};

class PhonetagCli : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override {
        for (const char *name : {"dz.txt", "zn.lxd", "lw.txt", "lexicon.txt"})
            fs::copy_file(kGolden / name, dir / name);
    }
    std::string d(const char *name) const { return (dir / name).string(); }

    lex::test::TempDir dir;
};

void PrintTo(const Row &r, std::ostream *os) {
    *os << r.operation;
}

// Guards lexcli against writing other bytes or another report than the window's operation.
TEST_P(PhonetagCli, WritesTheGoldenBytesAndTheReport) {
    const Row &row = GetParam();
    auto run = lex::test::runLexcli({"--data-dir", dir.path().string(), "phonetag", row.operation,
                                     d("lexicon.txt"), "-o", d("out.txt")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readBytes(dir / "out.txt"), readBytes(kGolden / row.golden));
    EXPECT_EQ(run.out.substr(0, run.out.find("耗费时间：")), row.report);
    EXPECT_EQ(run.out.size() - run.out.find("耗费时间："),
              std::string("耗费时间：00:00:00\n").size());
    if (row.operation == "correct") {
        EXPECT_EQ(readBytes(dir / "log.txt"), readBytes(kGolden / "correct-log.txt"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Phonetag, PhonetagCli,
    ::testing::Values(Row{"annotate", "annotate.txt", "共计词条：19\n"},
                      Row{"clear", "clear.txt", "共计词条：19\n"},
                      Row{"correct", "correct.txt", "共计词条：19\n"},
                      Row{"extract", "extract.txt", "提取注音词条：10\n"},
                      Row{"adjust", "adjust.txt", "补充欠拼：21\n清除赘拼：1\n"},
                      Row{"dedup", "dedup.txt", "删除重复词条：2\n剩余词条：17\n"}),
    [](const auto &info) { return info.param.operation; });

// Guards --log: the log goes where it is named, and the data folder's old log stays; and an
// input with the UTF-8 mark is read as UTF-8 and written back as UTF-8 without it.
TEST_F(PhonetagCli, LogGoesWhereItIsNamed) {
    lex::test::writeBytes(dir / "utf8.txt", "\xEF\xBB\xBF\xE4\xB8\xADzhong\r\n");
    auto utf8 = lex::test::runLexcli({"phonetag", "clear", d("utf8.txt"), "-o", d("out.txt")});
    EXPECT_EQ(utf8.status, 0);
    EXPECT_EQ(utf8.err, "");
    EXPECT_EQ(readBytes(dir / "out.txt"), "\xE4\xB8\xAD\r\n");
    lex::test::writeBytes(dir / "log.txt", "old");
    auto run = lex::test::runLexcli({"--data-dir", dir.path().string(), "phonetag", "correct",
                                     d("lexicon.txt"), "-o", d("out.txt"), "--log", d("mine.log")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readBytes(dir / "mine.log"), readBytes(kGolden / "correct-log.txt"));
    EXPECT_EQ(readBytes(dir / "log.txt"), "old");
}

// Guards the failures: the tool's message (the mended ones name the missing data file),
// status 1 or 2, and no output.
TEST_F(PhonetagCli, FailuresWriteNothing) {
    struct Failure {
        std::vector<std::string> args;
        const char *missing; // a data file removed first, or ""
        int status;
        std::string err;
    };
    const std::string in = d("lexicon.txt"), gone = d("gone.txt"), out = d("out.txt");
    const Failure rows[] = {
        {{"annotate", gone, "-o", out}, "", 1, "打开词库失败！文件不存在："},
        {{"correct", gone, "-o", out}, "", 1, "打开词库失败！文件不存在："},
        {{"dedup", dir.path().string(), "-o", out}, "", 1, "打开原始词库失败！\n"},
        {{"annotate", in, "-o", out}, "zn.lxd", 1, "zn.lxd"},
        {{"correct", in, "-o", out}, "lw.txt", 1, "lw.txt"},
        {{"adjust", in, "-o", out}, "dz.txt", 1, "dz.txt"},
        {{"annotate", in}, "", 2, "-o"},
        {{"extract", in, "-o", out, "--log", d("x")}, "", 2, "--log"},
        {{"annotate", in, "-o", out, "--review", d("list.txt")}, "", 1, "dy.txt"},
        {{"correct", in, "-o", out, "--list", gone}, "", 1, "gone.txt"},
        {{"annotate", in, "-o", out, "--review"}, "", 2, "--review"},
    };
    for (const Failure &row : rows) {
        if (*row.missing)
            fs::remove(dir / row.missing);
        std::vector<std::string> args = {"--data-dir", dir.path().string(), "phonetag"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        auto run = lex::test::runLexcli(args);
        EXPECT_EQ(run.status, row.status) << testing::PrintToString(args);
        EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(out)) << testing::PrintToString(args);
        if (*row.missing)
            fs::copy_file(kGolden / row.missing, dir / row.missing);
    }
}

// Guards the order of the data files' failures, which load side by side: the one reported is
// the first in the order of loading them one after the other (dictionary, word table, review
// data, then the lexicon, which starts decoding meanwhile), whatever else is wrong, and a bad
// review file is no failure without --review.
TEST_F(PhonetagCli, ReportsTheFirstBadDataFile) {
    lex::test::writeLexicon(dir / "cp.txt", {u"人ren民min"});
    fs::create_directory(dir / "dy.txt"); // there, but not a file to read
    lex::test::writeBytes(dir / "binary.txt", std::string("\xD6\xD0\0\r\n", 5));
    struct Case {
        std::vector<const char *> removed;
        bool review;
        const char *reported, *notReported;
        const char *lexicon = "lexicon.txt";
    };
    const Case cases[] = {
        {{"dz.txt", "zn.lxd"}, true, "dz.txt", "zn.lxd"},
        {{"zn.lxd"}, true, "zn.lxd", "dy.txt"},
        {{}, true, "dy.txt", "zn.lxd"},
        {{"cp.txt"}, false, nullptr, nullptr},
        {{"zn.lxd"}, false, "zn.lxd", "binary.txt", "binary.txt"},
        {{}, true, "dy.txt", "binary.txt", "binary.txt"},
        {{"cp.txt"}, false, "binary.txt", "zn.lxd", "binary.txt"},
    };
    for (const Case &c : cases) {
        for (const char *name : c.removed)
            fs::remove(dir / name);
        std::vector<std::string> args = {"--data-dir", dir.path().string(), "phonetag",
                                         "annotate",   d(c.lexicon),        "-o",
                                         d("out.txt")};
        if (c.review)
            args.insert(args.end(), {"--review", d("list.txt")});
        auto run = lex::test::runLexcli(args);
        if (!c.reported) {
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(readBytes(dir / "out.txt"), readBytes(kGolden / "annotate.txt"));
        } else {
            EXPECT_EQ(run.status, 1) << testing::PrintToString(args);
            EXPECT_NE(run.err.find(c.reported), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find(c.notReported), std::string::npos) << run.err;
            EXPECT_FALSE(fs::exists(dir / "out.txt"));
        }
        fs::remove(dir / "out.txt");
        for (const char *name : c.removed)
            if (fs::exists(kGolden / name))
                fs::copy_file(kGolden / name, dir / name);
    }
}

// Guards the review loop through lexcli: the annotated lexicon is the window's, the report
// gains one line after the window's, and the list, fixed by hand, goes straight back in.
TEST_F(PhonetagCli, ReviewListGoesBackIntoTheCorrection) {
    lex::test::writeLexicon(dir / "dy.txt",
                            {u"重zhong", u"重chong", u"行xing", u"行hang", u"长chang", u"长zhang"});
    lex::test::writeLexicon(dir / "cp.txt", {u"人ren民min", u"行长", u"重zhong庆qing"});
    const std::string data = dir.path().string();
    auto run = lex::test::runLexcli({"--data-dir", data, "phonetag", "annotate", d("lexicon.txt"),
                                     "-o", d("out.txt"), "--review", d("list.txt")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readBytes(dir / "out.txt"), readBytes(kGolden / "annotate.txt"));
    const size_t elapsed = run.out.find("耗费时间：");
    ASSERT_NE(elapsed, std::string::npos);
    EXPECT_EQ(run.out.substr(0, elapsed), "共计词条：19\n");
    EXPECT_EQ(run.out.substr(run.out.find('\n', elapsed) + 1), "待审词条：2\n");
    // 重 of 重庆qing (line 3) is read alone, and line 2, already 重zhong庆qing, is the same
    // line; 行 of 行长大 (line 10) lost 行长 hang to 长大.
    EXPECT_EQ(readBytes(dir / "list.txt"),
              lex::test::gbkLines({u"#2,3 1:zhong/chong", u"重zhong庆qing", u"#10 1:xing/hang",
                                   u"行xing长zhang大da"}));

    lex::test::writeLexicon(dir / "list.txt", {u"#2,3 1:zhong/chong", u"重chong庆qing",
                                               u"#10 1:xing/hang", u"行hang长zhang大da"});
    run = lex::test::runLexcli({"--data-dir", data, "phonetag", "correct", d("out.txt"), "-o",
                                d("corrected.txt"), "--list", d("list.txt"), "--log",
                                d("review.log")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readBytes(dir / "review.log"),
              lex::test::gbkLines({u"重zhong庆qing　→　重chong庆qing",
                                   u"行xing长zhang大da　→　行hang长zhang大da"}));
}

} // namespace
