// The atomic writer against failing system calls: every call is checked, the file reaches the
// disk before the rename, and whatever fails (or an interrupt between two calls) leaves the old
// output whole and no temporary file. The calls are wrapped at link time (-Wl,--wrap), so the
// writer runs unchanged.

#include "shared/lexcore/atomic_output.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/text_format.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern "C" {
int __real_fchmod(int fd, mode_t mode);
int __real_fsync(int fd);
ssize_t __real_write(int fd, const void *buf, size_t n);
int __real_close(int fd);
int __real_rename(const char *from, const char *to);
}

namespace {

// What a test arms: the call that fails (with its error number) or raises an interrupt, and
// the calls seen on the temporary file, in order.
struct Faults {
    bool armed = false;
    int fd = -1; // the temporary file, known from its fchmod
    std::string failCall;
    int failErrno = 0;
    int failAt = 1; // the n-th such call fails
    std::string interruptAfter;
    std::vector<std::string> calls;
    int count(const std::string &call) const {
        int n = 0;
        for (const auto &c : calls)
            n += c == call;
        return n;
    }
} g;

// Records a call on the temporary file; returns true when this call is to fail.
bool fails(const char *call, int fd) {
    if (!g.armed || (fd != g.fd && fd != -2))
        return false;
    g.calls.push_back(call);
    return g.failCall == call && g.count(call) == g.failAt;
}

void after(const char *call) {
    if (g.armed && g.interruptAfter == call)
        lex::setPendingInterrupt(SIGTERM);
}

} // namespace

extern "C" {
int __wrap_fchmod(int fd, mode_t mode) {
    if (g.armed && g.fd < 0)
        g.fd = fd;
    if (fails("fchmod", fd))
        return errno = g.failErrno, -1;
    int r = __real_fchmod(fd, mode);
    after("fchmod");
    return r;
}
int __wrap_fsync(int fd) {
    if (fails("fsync", fd))
        return errno = g.failErrno, -1;
    int r = __real_fsync(fd);
    after("fsync");
    return r;
}
ssize_t __wrap_write(int fd, const void *buf, size_t n) {
    if (fails("write", fd))
        return errno = g.failErrno, -1;
    ssize_t r = __real_write(fd, buf, n);
    after("write");
    return r;
}
int __wrap_close(int fd) {
    if (fails("close", fd)) {
        __real_close(fd);
        return errno = g.failErrno, -1;
    }
    return __real_close(fd);
}
int __wrap_rename(const char *from, const char *to) {
    if (g.armed && g.interruptAfter == "rename")
        lex::setPendingInterrupt(SIGTERM); // a signal on another thread while the rename runs
    if (fails("rename", -2))
        return errno = g.failErrno, -1;
    return __real_rename(from, to);
}
}

namespace {

using lex::test::readBytes;
using lex::test::TempDir;

struct FaultCase {
    const char *name;
    const char *failCall; // "" for none
    int failErrno;
    int failAt;
    const char *interruptAfter; // "" for none
    const char *message;        // part of the LexError's text; "" for Interrupted
};

void PrintTo(const FaultCase &c, std::ostream *os) {
    *os << c.name;
}

class WriterFaults : public ::testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override {
        lex::test::writeBytes(m_dir / "out.txt", "old");
        g = Faults{};
        lex::setPendingInterrupt(0);
    }
    void TearDown() override {
        g.armed = false;
        lex::setPendingInterrupt(0);
    }
    // 10 MB: more than two of the writer's chunks.
    static std::string bytes() { return std::string(10 << 20, 'x'); }
    std::vector<std::string> names() const {
        std::vector<std::string> n;
        for (const auto &e : std::filesystem::directory_iterator(m_dir.path()))
            n.push_back(e.path().filename().string());
        return n;
    }
    TempDir m_dir;
};

// A run without faults: the file is flushed and closed before the rename.
TEST_F(WriterFaults, FlushesBeforeTheRename) {
    g.armed = true;
    lex::writeFileAtomically(m_dir / "out.txt", bytes());
    g.armed = false;
    EXPECT_EQ(readBytes(m_dir / "out.txt"), bytes());
    auto rename = std::find(g.calls.begin(), g.calls.end(), "rename");
    ASSERT_GE(rename - g.calls.begin(), 4);
    EXPECT_EQ(g.calls.front(), "fchmod");
    EXPECT_EQ(std::vector<std::string>(rename - 2, rename + 1),
              (std::vector<std::string>{"fsync", "close", "rename"}));
    EXPECT_EQ(g.count("write"), 3); // in chunks, so that an interrupt is seen between them
}

// A writer synced ahead of its close flushes to disk then, and its close only renames; a
// failure of that flush is reported then and leaves the old file and no temporary file.
TEST_F(WriterFaults, SyncAheadFlushesOrFailsBeforeTheClose) {
    {
        lex::LineWriter w(m_dir / "out.txt", lex::TextFormat::gbk());
        w.writeLine(u"中国");
        g.armed = true;
        w.syncAhead();
        EXPECT_EQ(g.count("fsync"), 1);
        EXPECT_EQ(g.count("rename"), 0);
        w.close();
        g.armed = false;
        EXPECT_EQ(g.count("rename"), 1);
    }
    EXPECT_EQ(readBytes(m_dir / "out.txt"), "\xD6\xD0\xB9\xFA\r\n");

    g = Faults{};
    g.failCall = "fsync";
    g.failErrno = EIO;
    g.failAt = 1;
    g.armed = true;
    std::string message;
    {
        lex::LineWriter w(m_dir / "out.txt", lex::TextFormat::gbk());
        w.writeLine(u"人民");
        try {
            w.syncAhead();
        } catch (const lex::LexError &e) {
            message = e.message();
        }
    }
    g.armed = false;
    EXPECT_NE(message.find("输入输出错误"), std::string::npos) << message;
    EXPECT_EQ(readBytes(m_dir / "out.txt"), "\xD6\xD0\xB9\xFA\r\n");
    EXPECT_EQ(names(), std::vector<std::string>{"out.txt"});
}

TEST_P(WriterFaults, LeaveTheOldFileAndNoTemporaryFile) {
    const FaultCase &c = GetParam();
    g.failCall = c.failCall;
    g.failErrno = c.failErrno;
    g.failAt = c.failAt;
    g.interruptAfter = c.interruptAfter;
    g.armed = true;
    std::string message;
    bool interrupted = false;
    try {
        lex::writeFileAtomically(m_dir / "out.txt", bytes());
    } catch (const lex::LexError &e) {
        message = e.message();
    } catch (const lex::Interrupted &i) {
        interrupted = i.signal() == SIGTERM;
    }
    g.armed = false;
    if (*c.message) {
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_NE(message.find((m_dir / "out.txt").string()), std::string::npos) << message;
    } else {
        EXPECT_TRUE(interrupted);
    }
    EXPECT_EQ(readBytes(m_dir / "out.txt"), "old");
    EXPECT_EQ(names(), std::vector<std::string>{"out.txt"});
}

INSTANTIATE_TEST_SUITE_P(
    Calls, WriterFaults,
    ::testing::Values(FaultCase{"fchmod_fails", "fchmod", EPERM, 1, "", "权限不够"},
                      FaultCase{"first_write_fails", "write", ENOSPC, 1, "", "磁盘已满"},
                      FaultCase{"later_write_fails", "write", EDQUOT, 2, "", "磁盘已满"},
                      FaultCase{"write_too_large", "write", EFBIG, 1, "", "文件太大"},
                      FaultCase{"fsync_fails", "fsync", EIO, 1, "", "输入输出错误"},
                      FaultCase{"close_fails", "close", ENOSPC, 1, "", "磁盘已满"},
                      FaultCase{"rename_fails", "rename", EXDEV, 1, "", "不能跨文件系统"},
                      FaultCase{"interrupt_between_chunks", "", 0, 0, "write", ""},
                      FaultCase{"interrupt_before_rename", "", 0, 0, "fsync", ""}),
    [](const auto &info) { return std::string(info.param.name); });

// A signal during the rename finds the output in place: the run is done, the interrupt is held
// (later outputs of the run still go in place) until a new run starts. When the rename fails
// instead, nothing is in place and the interrupt is pending again.
TEST_F(WriterFaults, InterruptDuringTheRenameIsHeldOnceTheOutputIsInPlace) {
    g.interruptAfter = "rename";
    g.armed = true;
    EXPECT_NO_THROW(lex::writeFileAtomically(m_dir / "out.txt", "new"));
    EXPECT_EQ(readBytes(m_dir / "out.txt"), "new");
    EXPECT_EQ(lex::pendingInterrupt(), 0);
    EXPECT_EQ(lex::heldInterrupt(), SIGTERM);
    EXPECT_NO_THROW(lex::checkInterrupt());
    lex::setPendingInterrupt(SIGINT);
    EXPECT_NO_THROW(lex::writeFileAtomically(m_dir / "two.txt", "two"));
    EXPECT_EQ(readBytes(m_dir / "two.txt"), "two");
    EXPECT_EQ(lex::heldInterrupt(), SIGTERM);
    g.armed = false;
    lex::releaseHeldInterrupts();
    EXPECT_FALSE(lex::interruptsHeld());
    lex::setPendingInterrupt(SIGHUP);
    EXPECT_THROW(lex::writeFileAtomically(m_dir / "out.txt", "x"), lex::Interrupted);
    EXPECT_EQ(readBytes(m_dir / "out.txt"), "new");

    lex::setPendingInterrupt(0);
    g = Faults{};
    g.interruptAfter = "rename";
    g.failCall = "rename";
    g.failErrno = EXDEV;
    g.armed = true;
    EXPECT_THROW(lex::writeFileAtomically(m_dir / "out.txt", "newer"), lex::LexError);
    EXPECT_EQ(readBytes(m_dir / "out.txt"), "new");
    EXPECT_EQ(lex::pendingInterrupt(), SIGTERM);
    EXPECT_FALSE(lex::interruptsHeld());
    std::vector<std::string> left = names();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"out.txt", "two.txt"}));
}

// An interrupt before the writer starts: nothing is created at all.
TEST_F(WriterFaults, InterruptBeforeTheStartWritesNothing) {
    lex::setPendingInterrupt(SIGINT);
    EXPECT_THROW(lex::writeFileAtomically(m_dir / "new.txt", "x"), lex::Interrupted);
    EXPECT_EQ(names(), std::vector<std::string>{"out.txt"});
}

} // namespace
