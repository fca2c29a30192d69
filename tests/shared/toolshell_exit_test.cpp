// How a tool window's program ends when something goes badly wrong: out of memory outside an
// operation gives a Chinese message and status 1 (not "std::bad_alloc" and an abort), and a
// terminating signal still ends the program but takes the writer's temporary file with it.

#include "child_process.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

const std::filesystem::path kChild = TOOLSHELL_CHILD_PATH;

lex::test::ChildOptions offscreen() {
    lex::test::ChildOptions o;
    o.env = {"QT_QPA_PLATFORM=offscreen"};
    return o;
}

TEST(ToolshellExit, OutOfMemoryOutsideAnOperationIsAChineseMessage) {
    const auto r = lex::test::runChild(kChild, {"oom"}, offscreen());
    EXPECT_EQ(r.termSignal, 0);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("内存不足"), std::string::npos) << r.err;
}

TEST(ToolshellExit, TerminatingSignalRemovesTheTemporaryFile) {
    lex::test::TempDir dir;
    const auto r = lex::test::runChild(kChild, {"term", (dir / ".lex~tmp").string()}, offscreen());
    EXPECT_EQ(r.termSignal, SIGTERM); // the windows keep the default action
    EXPECT_FALSE(std::filesystem::exists(dir / ".lex~tmp"));
}

TEST(ToolshellExit, OrdinaryStartAndQuit) {
    const auto r = lex::test::runChild(kChild, {}, offscreen());
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

} // namespace
