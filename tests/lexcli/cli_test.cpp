// The lexcli frame over a stand-in table: dispatch, help, exit statuses, report printing,
// option parsing and the data folder.

#include "lexcli/cli.h"
#include "shared/lexcore/interrupt.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

namespace {

using lex::cli::ArgParser;
using lex::cli::Context;

std::vector<std::string> g_seenArgs;
std::string g_seenDataDir;

int fakeRun(Context &ctx, ArgParser &p) {
    g_seenDataDir = ctx.dataFile("x").parent_path().string();
    auto out = p.option("-o");
    g_seenArgs = p.rest();
    if (!p.ok())
        return ctx.usage(p.error());
    if (!g_seenArgs.empty() && g_seenArgs[0] == "fail")
        return ctx.fail("打开词库失败！");
    if (!g_seenArgs.empty() && g_seenArgs[0] == "oom")
        throw std::bad_alloc();
    if (!g_seenArgs.empty() && g_seenArgs[0] == "notice")
        ctx.pump.context().notice("注意：一条通知");
    if (!g_seenArgs.empty() && g_seenArgs[0] == "signal")
        lex::setPendingInterrupt(SIGTERM); // as the handler does while nothing checks
    if (!g_seenArgs.empty() && g_seenArgs[0] == "late") {
        ctx.report("词条：3");
        lex::setPendingInterrupt(SIGHUP);
        return 0;
    }
    return ctx.report("词条：3\r\n\r\n耗费时间：00:00:00");
}

const lex::cli::ToolCli &fakeCli() {
    static const lex::cli::ToolCli cli{
        "a stand-in tool",
        {{"op", "lexcli fake op IN -o OUT", "does nothing", fakeRun, "  --none  no options\n"}}};
    return cli;
}

const lex::cli::ToolEntry kTable[] = {{"fake", u8"Fake folder", &fakeCli}};

struct Outcome {
    int code;
    std::string out, err;
};

Outcome run(std::vector<std::string> args) {
    std::ostringstream out, err;
    int code = lex::cli::run(args, kTable, "/opt/suite", out, err);
    return {code, out.str(), err.str()};
}

TEST(LexcliFrame, DispatchesAndPrintsTheReportWithLf) {
    Outcome r = run({"fake", "op", "x.txt", "-o", "y.txt"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "词条：3\n\n耗费时间：00:00:00\n");
    EXPECT_EQ(g_seenArgs, (std::vector<std::string>{"x.txt"}));
    // Without --data-dir the tool's data lives in its folder beside the executable.
    EXPECT_EQ(g_seenDataDir, "/opt/suite/Fake folder");
    r = run({"--data-dir", "/tmp/d", "fake", "op"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(g_seenDataDir, "/tmp/d");
}

TEST(LexcliFrame, ExitStatusesAndMessages) {
    Outcome fail = run({"fake", "op", "fail"});
    EXPECT_EQ(fail.code, 1);
    EXPECT_EQ(fail.err, "打开词库失败！\n");
    EXPECT_TRUE(fail.out.empty());
    Outcome oom = run({"fake", "op", "oom"});
    EXPECT_EQ(oom.code, 1);
    EXPECT_NE(oom.err.find("内存不足"), std::string::npos) << oom.err;
    for (const auto &args :
         std::vector<std::vector<std::string>>{{},
                                               {"nosuchtool"},
                                               {"fake"},
                                               {"fake", "nosuchop"},
                                               {"fake", "op", "--bogus"},
                                               {"fake", "op", "-o"},
                                               {"fake", "op", "-o", ""},
                                               {"fake", "op", "-o", "a", "-o", "b"},
                                               {"--data-dir"},
                                               {"fake", "op", "--data-dir"}}) {
        Outcome r = run(args);
        EXPECT_EQ(r.code, 2) << testing::PrintToString(args);
        EXPECT_NE(r.err.find("用法"), std::string::npos) << testing::PrintToString(args);
    }
    EXPECT_NE(run({"fake", "op", "-o", "a", "-o", "b"}).err.find("-o 只能给出一次"),
              std::string::npos);
}

// A signal that arrives where nothing checks for it (reading, sorting) still ends the run as
// interrupted: no report, "中断！", 128 + the signal.
TEST(LexcliFrame, UncheckedInterruptStillInterrupts) {
    Outcome r = run({"fake", "op", "signal"});
    lex::setPendingInterrupt(0);
    EXPECT_EQ(r.code, 128 + SIGTERM);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "中断！\n");
    r = run({"fake", "op", "late"});
    lex::setPendingInterrupt(0);
    EXPECT_EQ(r.code, 128 + SIGHUP);
    EXPECT_EQ(r.err, "中断！\n");
}

// Notices of the shared layers reach standard error.
TEST(LexcliFrame, NoticesGoToStandardError) {
    Outcome r = run({"fake", "op", "notice"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "注意：一条通知\n");
}

TEST(LexcliFrame, HelpAtEveryLevel) {
    Outcome top = run({"--help"});
    EXPECT_EQ(top.code, 0);
    EXPECT_NE(top.out.find("fake"), std::string::npos);
    Outcome tool = run({"fake", "--help"});
    EXPECT_EQ(tool.code, 0);
    EXPECT_NE(tool.out.find("lexcli fake op IN -o OUT"), std::string::npos);
    Outcome op = run({"fake", "op", "--help"});
    EXPECT_EQ(op.code, 0);
    EXPECT_NE(op.out.find("--none"), std::string::npos);
}

TEST(ArgParser, OptionsFlagsAndLeftovers) {
    ArgParser p({"in.txt", "--length", "2", "4", "-o", "out.txt", "--freq-only"});
    EXPECT_TRUE(p.flag("--freq-only"));
    EXPECT_EQ(p.option("-o"), "out.txt");
    EXPECT_EQ(p.option("--length", 2), (std::vector<std::string>{"2", "4"}));
    EXPECT_FALSE(p.option("--missing"));
    EXPECT_EQ(p.rest(1, 1), (std::vector<std::string>{"in.txt"}));
    EXPECT_TRUE(p.ok());

    ArgParser counted({"a", "b"});
    counted.rest(1, 1);
    EXPECT_FALSE(counted.ok());
    ArgParser twice({"--delete-waste", "--delete-waste"});
    EXPECT_TRUE(twice.flag("--delete-waste"));
    EXPECT_FALSE(twice.ok());
}

// The habits of other command-line programs: --version, "--opt=value", "--" ending the options.
TEST(LexcliHabits, VersionAtTheTopOnly) {
    for (const char *flag : {"--version", "-V"}) {
        Outcome r = run({flag});
        EXPECT_EQ(r.code, 0) << flag;
        EXPECT_EQ(r.out, "lexcli (quillo-lexicon-tools) " LEX_VERSION "\n") << flag;
        EXPECT_TRUE(r.err.empty());
    }
    // As an operation's argument it is no version request but an option the operation lacks.
    Outcome late = run({"fake", "op", "x.txt", "--version"});
    EXPECT_EQ(late.code, 2);
    EXPECT_NE(late.err.find("未知选项 --version"), std::string::npos);
}

TEST(LexcliHabits, AttachedValuesAreSpacedValues) {
    Outcome r = run({"--data-dir=/tmp/d", "fake", "op", "x.txt", "--none=1"});
    EXPECT_EQ(g_seenDataDir, "/tmp/d");
    // "--none=1" is the unknown option "--none" (reported by its name alone) and the
    // positional "1".
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("未知选项 --none\n"), std::string::npos);
    Outcome empty = run({"--data-dir=", "fake", "op"});
    EXPECT_EQ(empty.code, 2);
    EXPECT_NE(empty.err.find("--data-dir 需要一个目录"), std::string::npos);

    ArgParser p({"--db=freq.mdb", "--length=2", "4", "in.txt", "--words=a=b"});
    EXPECT_EQ(p.option("--db"), "freq.mdb");
    EXPECT_EQ(p.option("--length", 2), (std::vector<std::string>{"2", "4"}));
    EXPECT_EQ(p.option("--words"), "a=b"); // only the first "=" separates
    EXPECT_EQ(p.rest(1, 1), (std::vector<std::string>{"in.txt"}));
    EXPECT_TRUE(p.ok());
    ArgParser twice({"--db=a", "--db", "b"});
    twice.option("--db");
    EXPECT_EQ(twice.error(), "--db 只能给出一次");
    ArgParser blank({"--db="});
    blank.option("--db");
    EXPECT_EQ(blank.error(), "--db 的值不能为空");
}

TEST(LexcliHabits, DoubleDashEndsTheOptions) {
    Outcome r = run({"fake", "op", "-o", "y.txt", "--", "-x.txt"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(g_seenArgs, (std::vector<std::string>{"-x.txt"}));
    // Whatever follows "--" is a file: no help, no data folder, no "=" split, no option.
    r = run({"fake", "op", "a.txt", "--", "--help", "--data-dir", "--x=y", "-o"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(g_seenArgs,
              (std::vector<std::string>{"a.txt", "--help", "--data-dir", "--x=y", "-o"}));
    EXPECT_EQ(g_seenDataDir, "/opt/suite/Fake folder");
    // Before "--" the same name is still an unknown option.
    r = run({"fake", "op", "-x.txt"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("未知选项 -x.txt"), std::string::npos);
}

} // namespace
