// The lexcli frame: dispatch, exit codes, report printing, option parsing, the data folder.

#include "cli.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::vector<std::string> g_seenArgs;
std::string g_seenDataDir;

int fakeTool(lex::cli::Context &ctx, std::vector<std::string> args) {
    g_seenArgs = args;
    g_seenDataDir = ctx.dataDir().string();
    if (!args.empty() && args[0] == "fail")
        return ctx.fail("打开词库失败！");
    if (!args.empty() && args[0] == "usage")
        return ctx.usage("缺少参数", "lexcli fake OP");
    return ctx.report("词条：3\r\n\r\n耗费时间：00:00:00");
}

LEX_CLI_TOOL(fake, "Fake folder", "a stand-in tool", fakeTool);

struct CliRun {
    int code;
    std::string out, err;
};

CliRun run(std::vector<std::string> args) {
    args.insert(args.begin(), "lexcli");
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    std::ostringstream out, err;
    int code = lex::cli::run(int(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
}

TEST(LexcliFrame, DispatchesAndPrintsTheReportWithLf) {
    CliRun r = run({"fake", "op", "x.txt", "-o", "y.txt"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "词条：3\n\n耗费时间：00:00:00\n");
    EXPECT_EQ(g_seenArgs, (std::vector<std::string>{"op", "x.txt", "-o", "y.txt"}));
    // Without --data-dir the tool's data lives in its folder beside the executable.
    EXPECT_EQ(std::filesystem::path(g_seenDataDir).filename(), "Fake folder");
}

TEST(LexcliFrame, DataDirMayStandAnywhere) {
    CliRun r = run({"fake", "op", "--data-dir", "/tmp/d"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(g_seenDataDir, "/tmp/d");
    EXPECT_EQ(g_seenArgs, (std::vector<std::string>{"op"}));
    EXPECT_EQ(run({"fake", "--data-dir"}).code, 2);
}

TEST(LexcliFrame, ExitCodes) {
    CliRun fail = run({"fake", "fail"});
    EXPECT_EQ(fail.code, 1);
    EXPECT_EQ(fail.err, "打开词库失败！\n");
    EXPECT_TRUE(fail.out.empty());
    EXPECT_EQ(run({"fake", "usage"}).code, 2);
    EXPECT_EQ(run({"nosuchtool"}).code, 2);
    EXPECT_EQ(run({}).code, 2);
    CliRun help = run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("fake"), std::string::npos);
}

TEST(ArgParser, OptionsFlagsAndLeftovers) {
    lex::cli::ArgParser p({"in.txt", "--length", "2", "4", "-o", "out.txt", "--freq-only"});
    EXPECT_TRUE(p.flag("--freq-only"));
    EXPECT_EQ(p.option("-o"), "out.txt");
    EXPECT_EQ(p.option("--length", 2), (std::vector<std::string>{"2", "4"}));
    EXPECT_FALSE(p.option("--missing"));
    EXPECT_EQ(p.rest(), (std::vector<std::string>{"in.txt"}));
    EXPECT_TRUE(p.ok());

    lex::cli::ArgParser q({"--keep"});
    EXPECT_FALSE(q.option("--keep"));
    EXPECT_FALSE(q.ok());

    lex::cli::ArgParser r({"a", "--bogus"});
    r.rest();
    EXPECT_FALSE(r.ok());
}

} // namespace
