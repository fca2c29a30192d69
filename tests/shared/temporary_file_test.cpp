// Temporary files: a file beside a target is locked while it lives, so that the leftovers of a
// killed run are told from a file being written; a nameless file shows in no folder.
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/temporary_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using lex::TemporaryFile;
using lex::test::TempDir;

namespace {

std::vector<std::string> names(const fs::path &dir) {
    std::vector<std::string> n;
    for (const auto &e : fs::directory_iterator(dir))
        n.push_back(e.path().filename().string());
    std::sort(n.begin(), n.end());
    return n;
}

// A file beside `target` made by a child that is then killed: what a kill -9 leaves.
std::string leftoverOfAKilledRun(const fs::path &target) {
    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        TemporaryFile t = TemporaryFile::beside(target, ".lex~", target);
        const std::string name = fs::path(t.path()).filename().string() + "\n";
        (void)!::write(pipeFds[1], name.data(), name.size());
        ::pause();
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    char buf[64] = {};
    const ssize_t n = ::read(pipeFds[0], buf, sizeof buf - 1);
    ::close(pipeFds[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    std::string name(buf, size_t(n > 0 ? n : 0));
    if (!name.empty())
        name.pop_back();
    return name;
}

} // namespace

// Guards the cleaning of leftovers: a killed run's file goes, the file of a run that is still
// writing (locked) stays, and so do other hidden files and files of another prefix.
TEST(TemporaryFiles, StaleOnesAreRemovedAndLiveOnesStay) {
    TempDir dir;
    const fs::path target = dir / "out.txt";
    const std::string stale = leftoverOfAKilledRun(target);
    ASSERT_EQ(stale.size(), 11u) << stale;
    TemporaryFile live = TemporaryFile::beside(target, ".lex~", target);
    lex::test::writeBytes(dir / ".lex~other", "not six characters after the prefix");
    lex::test::writeBytes(dir / ".db.XXXXXX", "another prefix");
    lex::removeStaleTemporaries(dir.path(), ".lex~");
    const auto left = names(dir.path());
    EXPECT_EQ(std::count(left.begin(), left.end(), stale), 0);
    EXPECT_EQ(std::count(left.begin(), left.end(), fs::path(live.path()).filename().string()), 1);
    EXPECT_EQ(std::count(left.begin(), left.end(), ".lex~other"), 1);
    EXPECT_EQ(std::count(left.begin(), left.end(), ".db.XXXXXX"), 1);

    // Closed but not yet renamed, the file is still locked; renamed, it is the target.
    live.close();
    lex::removeStaleTemporaries(dir.path(), ".lex~");
    ASSERT_TRUE(fs::exists(live.path()));
    live.renameTo(target);
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{".db.XXXXXX", ".lex~other", "out.txt"}));
}

// Guards the cleanup of a file that is dropped, and the nameless file's invisibility.
TEST(TemporaryFiles, DroppedAndNamelessFilesLeaveNothing) {
    TempDir dir;
    {
        TemporaryFile t = TemporaryFile::beside(dir / "out.txt", ".lex~", dir / "out.txt");
        ASSERT_TRUE(fs::exists(t.path()));
        TemporaryFile moved = std::move(t);
        EXPECT_TRUE(t.path().empty());
    }
    {
        TemporaryFile n = TemporaryFile::nameless(dir.path());
        ASSERT_TRUE(n.isOpen());
        EXPECT_EQ(::write(n.fd(), "abc", 3), 3);
        EXPECT_TRUE(n.path().empty());
        EXPECT_TRUE(names(dir.path()).empty());
    }
    EXPECT_TRUE(names(dir.path()).empty());
    EXPECT_THROW(TemporaryFile::nameless(dir / "missing"), lex::LexError);
}
