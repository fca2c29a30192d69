// The real lexcli executable under hostile conditions: signals at set moments of a
// 1,000,000-line job (lexcli_commit_test has the end of a run), a file-size limit, out of
// memory, FIFOs, symlinks, device nodes, a long file name, a full standard output. Whatever
// happens, the user's old output stays whole (or is replaced by the complete new one), no
// temporary file stays behind, nothing hangs, and the message is Chinese.

#include "child_process.h"
#include "shared/lexcore/cp936.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using lex::test::ChildOptions;
using lex::test::ChildProcess;
using lex::test::ChildResult;
using lex::test::readBytes;
using lex::test::strays;
using lex::test::TempDir;
using lex::test::writeBigLexicon;
using lex::test::writeBytes;
using lex::test::writeLexicon;
using namespace std::chrono_literals;

const fs::path kLexcli = LEXCLI_PATH;
const std::string kOld = "旧词库\r\n";

ChildResult lexcli(const std::vector<std::string> &args, const ChildOptions &options = {},
                   std::chrono::milliseconds timeout = 60s) {
    return lex::test::runChild(kLexcli, args, options, timeout);
}

// One folder for the whole suite: the million-line inputs are made once.
class LexcliFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_inputs = new TempDir;
        writeBigLexicon(*s_inputs / "big.txt", 1'000'000, 1);
        writeBigLexicon(*s_inputs / "big2.txt", 1'000'000, 2);
        writeBigLexicon(*s_inputs / "waste.txt", 20'000, 1);
        // One line a million times: its lookups never probe far, so nothing yields.
        std::string same;
        for (int i = 0; i < 1'000'000; ++i)
            same += lex::test::gbk(u"中华人民\r\n");
        writeBytes(*s_inputs / "same.txt", same);
        writeLexicon(*s_inputs / "dz.lxd", {u"中zhong", u"国guo"});
    }
    static void TearDownTestSuite() {
        delete s_inputs;
        s_inputs = nullptr;
    }
    static std::string input(const std::string &name) { return (*s_inputs / name).string(); }

    void SetUp() override {
        fs::create_directory(m_dir / "out");
        writeBytes(out(), kOld);
    }
    fs::path out() const { return m_dir / "out" / "out.txt"; }
    std::vector<std::string> outStrays() const { return strays(m_dir / "out", {"out.txt"}); }

    static TempDir *s_inputs;
    TempDir m_dir;
};
TempDir *LexcliFaults::s_inputs = nullptr;

// --- interrupts ---

enum class Moment {
    Running, // while it reads and computes, before any output is written
    Writing, // as soon as the temporary file appears
    Twice,   // two signals in a row as soon as the temporary file appears
};

struct InterruptCase {
    const char *name;
    std::vector<std::string> args; // "@name" is an input, "@out" the output
    int signal;
    Moment moment;
};

void PrintTo(const InterruptCase &c, std::ostream *os) {
    *os << c.name;
}

class LexcliInterrupt : public LexcliFaults, public ::testing::WithParamInterface<InterruptCase> {
protected:
    bool signalOnce(const InterruptCase &c, bool mayRetry);
    std::vector<std::string> args() const {
        std::vector<std::string> a = GetParam().args;
        for (auto &s : a) {
            if (s == "@out")
                s = out().string();
            else if (s == "@data")
                s = s_inputs->path().string();
            else if (s.starts_with("@"))
                s = input(s.substr(1));
        }
        return a;
    }
};

// An interrupt aborts: "中断！", 128 + the signal, no temporary file, and the old output whole.
// One that comes after the rename finds the run done: the complete new output and status 0.
// A run seen without its temporary file just before the signal may still have written and
// renamed it before the signal came, on a machine busy enough to take the processor from the
// test between the look and the signal: such a run shows nothing and is run again; a run that
// ignores a signal that came in time completes every time.
TEST_P(LexcliInterrupt, LeavesTheOldOutputAndNoTemporaryFile) {
    const InterruptCase &c = GetParam();
    for (int attempt = 1;; ++attempt) {
        SCOPED_TRACE("attempt " + std::to_string(attempt));
        writeBytes(out(), kOld);
        if (!signalOnce(c, attempt < 5))
            break;
    }
}

// Signals one run at the case's moment and checks what it left; true when it is to be run again.
bool LexcliInterrupt::signalOnce(const InterruptCase &c, bool mayRetry) {
    ChildProcess child(kLexcli, args());
    EXPECT_TRUE(child.waitUntilCatching(c.signal, 60s));
    bool writerStarted = false;
    if (c.moment == Moment::Running) {
        ::usleep(20'000);
        writerStarted = !outStrays().empty();
        child.signal(c.signal);
    } else {
        EXPECT_TRUE(
            lex::test::pollUntil([&] { return !outStrays().empty() || !child.running(); }, 60s));
        writerStarted = true;
        child.signal(c.signal);
        if (c.moment == Moment::Twice)
            child.signal(c.signal);
    }
    const ChildResult r = child.wait(120s);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.termSignal, 0);
    EXPECT_EQ(outStrays(), std::vector<std::string>{});
    const std::string now = readBytes(out());
    if (now == kOld) {
        EXPECT_EQ(r.exitCode, 128 + c.signal) << r.err;
        EXPECT_NE(r.err.find("中断！"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        return false;
    }
    if (!writerStarted && mayRetry && r.exitCode == 0)
        return true;
    // Too late to stop the rename: then the output is the complete new one, and the run is done.
    EXPECT_TRUE(writerStarted);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("中断！"), std::string::npos) << r.err;
    fs::remove(out());
    const ChildResult full = lexcli(args());
    EXPECT_EQ(full.exitCode, 0) << full.err;
    EXPECT_TRUE(now == readBytes(out())) << now.size() << " bytes, not " << readBytes(out()).size();
    return false;
}

INSTANTIATE_TEST_SUITE_P(
    Signals, LexcliInterrupt,
    ::testing::Values(
        InterruptCase{"lexmerge_int_running",
                      {"lexmerge", "union", "@same.txt", "@same.txt", "-o", "@out"},
                      SIGINT,
                      Moment::Running},
        InterruptCase{"lexmerge_term_writing",
                      {"lexmerge", "difference", "@big.txt", "-o", "@out"},
                      SIGTERM,
                      Moment::Writing},
        InterruptCase{"lexmerge_hup_writing",
                      {"lexmerge", "union", "@big.txt", "-o", "@out"},
                      SIGHUP,
                      Moment::Writing},
        InterruptCase{"lexmerge_int_twice",
                      {"lexmerge", "delete", "@big.txt", "@waste.txt", "-o", "@out"},
                      SIGINT,
                      Moment::Twice},
        InterruptCase{"lexupdate_int_running",
                      {"lexupdate", "update", "@same.txt", "--user", "@same.txt", "--waste",
                       "@waste.txt", "-o", "@out"},
                      SIGINT,
                      Moment::Running},
        InterruptCase{"lexupdate_term_writing",
                      {"lexupdate", "update", "@big.txt", "--waste", "@waste.txt", "-o", "@out"},
                      SIGTERM,
                      Moment::Writing},
        InterruptCase{"lexupdate_hup_twice",
                      {"lexupdate", "update", "@big.txt", "-o", "@out"},
                      SIGHUP,
                      Moment::Twice},
        InterruptCase{"bigseg_count_int_running",
                      {"bigseg", "count", "@big.txt", "@big2.txt", "--word-list", "@waste.txt",
                       "-j", "2", "--chunk-size", "65536", "-o", "@out"},
                      SIGINT,
                      Moment::Running},
        InterruptCase{"bigseg_count_term_writing",
                      {"bigseg", "count", "@big.txt", "--word-list", "@waste.txt", "-o", "@out"},
                      SIGTERM,
                      Moment::Writing},
        InterruptCase{"pintop_hup_running",
                      {"--data-dir", "@data", "pintop", "generate", "@big.txt", "-o", "@out"},
                      SIGHUP,
                      Moment::Running},
        InterruptCase{"pintop_term_writing",
                      {"--data-dir", "@data", "pintop", "generate", "@big.txt", "-o", "@out"},
                      SIGTERM,
                      Moment::Writing}),
    [](const auto &info) { return std::string(info.param.name); });

// An interrupt must not cost the waste lexicon that --delete-waste would delete after writing;
// one that comes once the new lexicon is in place lets the run finish, the deletion included.
TEST_F(LexcliFaults, InterruptKeepsTheWasteLexicon) {
    writeBytes(m_dir / "waste.txt", readBytes(input("waste.txt")));
    ChildProcess child(kLexcli,
                       {"lexupdate", "update", input("big.txt"), "--waste",
                        (m_dir / "waste.txt").string(), "--delete-waste", "-o", out().string()});
    ASSERT_TRUE(child.waitUntilCatching(SIGINT, 60s));
    ASSERT_TRUE(
        lex::test::pollUntil([&] { return !outStrays().empty() || !child.running(); }, 60s));
    child.signal(SIGINT);
    const ChildResult r = child.wait(60s);
    const bool replaced = readBytes(out()) != kOld;
    EXPECT_EQ(r.exitCode, replaced ? 0 : 128 + SIGINT) << r.err;
    EXPECT_EQ(fs::exists(m_dir / "waste.txt"), !replaced);
}

// --- limits ---

// Under `ulimit -f` the write fails with a message instead of SIGXFSZ killing the process.
TEST_F(LexcliFaults, FileSizeLimitFailsTheWriteCleanly) {
    ChildOptions o;
    o.fileSizeLimit = 4096;
    const ChildResult r =
        lexcli({"lexmerge", "union", input("waste.txt"), "-o", out().string()}, o);
    EXPECT_EQ(r.termSignal, 0);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("文件太大"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(out().string()), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(out()), kOld);
    EXPECT_EQ(outStrays(), std::vector<std::string>{});
}

// Out of memory is "内存不足" and status 1, not "std::bad_alloc" or an abort.
TEST_F(LexcliFaults, OutOfMemoryIsAChineseMessage) {
    // A sparse 3 GB file: reading it needs more memory than the child may have.
    const fs::path huge = m_dir / "huge.txt";
    {
        writeBytes(huge, "中");
        fs::resize_file(huge, 3ull << 30);
    }
    ChildOptions o;
#if defined(__SANITIZE_ADDRESS__)
    const char *asan = std::getenv("ASAN_OPTIONS");
    o.env = {std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
             ":allocator_may_return_null=1:max_allocation_size_mb=1024"};
#else
    o.addressLimit = 1l << 30;
#endif
    // Held in memory as the window holds it (--capacity): beyond its memory bound lexcli would
    // partition the file instead.
    const ChildResult r = lexcli(
        {"lexmerge", "union", huge.string(), "-o", out().string(), "--capacity", "2000000"}, o);
    EXPECT_EQ(r.termSignal, 0);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("内存不足"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("bad_alloc"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(out()), kOld);
}

// --- odd inputs ---

// A FIFO (or any other non-regular file) as an input is refused at once instead of hanging in
// open(), with each tool's own open-failure message.
TEST_F(LexcliFaults, NonRegularInputsAreRefusedAtOnce) {
    const fs::path fifo = m_dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string f = fifo.string(), o = out().string(), data = s_inputs->path().string();
    struct Row {
        std::vector<std::string> args;
        std::string message;
    } rows[] = {
        {{"lexmerge", "union", f, "-o", o}, "不是普通文件：" + f},
        {{"lexmerge", "intersect", input("waste.txt"), f, "-o", o}, "不是普通文件：" + f},
        {{"lexmerge", "difference", input("waste.txt"), "/dev/zero", "-o", o},
         "不是普通文件：/dev/zero"},
        {{"lexupdate", "update", f, "-o", o}, "打开原始词库失败！"},
        {{"--data-dir", data, "pintop", "generate", f, "-o", o}, "打开词库失败！"},
        {{"pintop", "dedup", f, "-o", o}, "打开词库失败！"},
    };
    for (const Row &row : rows) {
        const ChildResult r = lexcli(row.args, {}, 60s);
        ASSERT_FALSE(r.timedOut) << testing::PrintToString(row.args);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        EXPECT_EQ(readBytes(out()), kOld);
    }
}

// A UTF-8 lexicon comes back in UTF-8 (without the mark, with its own line ends); one in
// UTF-16 with characters that code page 936 cannot hold still goes out in code page 936, but
// the report counts the lines and standard error names the first; --output-encoding keeps them.
TEST_F(LexcliFaults, Utf8StaysUtf8AndLossIsNeverSilent) {
    const fs::path in = m_dir / "utf8.txt";
    writeBytes(in, "\xEF\xBB\xBF\xE4\xB8\xAD\xE5\x9B\xBD\n\xF0\xA0\xAE\xB7\xE5\xAD\x90\n");
    ChildResult r = lexcli({"lexmerge", "union", in.string(), "-o", out().string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readBytes(out()), "\xE4\xB8\xAD\xE5\x9B\xBD\n\xF0\xA0\xAE\xB7\xE5\xAD\x90\n");

    const fs::path wide = m_dir / "utf16.txt";
    writeBytes(wide, lex::test::utf16le(u"中国\r\n𠮷子\r\n"));
    r = lexcli({"lexmerge", "union", wide.string(), "-o", out().string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readBytes(out()), "\xD6\xD0\xB9\xFA\r\n??\xD7\xD3\r\n");
    EXPECT_NE(r.out.find("无法用 GBK 表示的字符：1 行\n耗费时间："), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("第 2 行"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("𠮷子"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--output-encoding utf-8"), std::string::npos) << r.err;

    r = lexcli(
        {"lexmerge", "union", wide.string(), "-o", out().string(), "--output-encoding", "utf-8"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find("GBK"), std::string::npos) << r.out;
    EXPECT_EQ(readBytes(out()), "\xE4\xB8\xAD\xE5\x9B\xBD\r\n\xF0\xA0\xAE\xB7\xE5\xAD\x90\r\n");

    r = lexcli(
        {"lexmerge", "union", wide.string(), "-o", out().string(), "--output-encoding", "latin1"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--output-encoding"), std::string::npos) << r.err;
}

// --- odd outputs ---

// A symlinked output is written through: its target gets the new text, the link stays.
TEST_F(LexcliFaults, SymlinkOutputReplacesItsTarget) {
    const fs::path in = m_dir / "in.txt";
    writeLexicon(in, {u"中国"});
    fs::create_directory(m_dir / "real");
    writeBytes(m_dir / "real/target.txt", kOld);
    fs::create_symlink("../real/target.txt", m_dir / "out/rel.txt");
    fs::create_symlink(m_dir / "out/rel.txt", m_dir / "out/chain.txt");
    fs::create_symlink("../real/new.txt", m_dir / "out/dangling.txt");
    for (const char *link : {"rel.txt", "chain.txt", "dangling.txt"}) {
        const fs::path p = m_dir / "out" / link;
        const ChildResult r = lexcli({"lexmerge", "union", in.string(), "-o", p.string()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(fs::is_symlink(p)) << link;
        EXPECT_EQ(readBytes(p), readBytes(in)) << link;
    }
    EXPECT_EQ(readBytes(m_dir / "real/target.txt"), readBytes(in));
    EXPECT_EQ(readBytes(m_dir / "real/new.txt"), readBytes(in));
    EXPECT_EQ(strays(m_dir / "real", {"target.txt", "new.txt"}), std::vector<std::string>{});
}

// A character device is written directly (never replaced by a regular file); other special
// files are refused with a message. The nodes are the test's own, never the system's.
TEST_F(LexcliFaults, DeviceAndSpecialOutputs) {
    const fs::path in = m_dir / "in.txt";
    writeLexicon(in, {u"中国"});
    const fs::path null = m_dir / "out/null";
    if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make device nodes here";
    fs::create_symlink(null, m_dir / "out/tonull");
    for (const char *name : {"null", "tonull"}) {
        const ChildResult r =
            lexcli({"lexmerge", "union", in.string(), "-o", (m_dir / "out" / name).string()});
        EXPECT_EQ(r.exitCode, 0) << name << r.err;
    }
    EXPECT_TRUE(fs::is_character_file(null));
    EXPECT_TRUE(fs::is_symlink(m_dir / "out/tonull"));

    const fs::path full = m_dir / "out/full";
    ASSERT_EQ(::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    ChildResult r = lexcli({"lexmerge", "union", in.string(), "-o", full.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("磁盘已满"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_character_file(full));

    const fs::path block = m_dir / "out/block";
    ASSERT_EQ(::mknod(block.c_str(), S_IFBLK | 0600, makedev(7, 200)), 0);
    const fs::path sock = m_dir / "out/sock";
    {
        int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock.c_str());
        ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        ::close(s);
    }
    const fs::path fifo = m_dir / "out/fifo"; // nobody reads it
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (const fs::path &p : {block, sock, fifo}) {
        r = lexcli({"lexmerge", "union", in.string(), "-o", p.string()}, {}, 60s);
        ASSERT_FALSE(r.timedOut) << p;
        EXPECT_EQ(r.exitCode, 1) << p;
        EXPECT_NE(r.err.find(p.string()), std::string::npos) << r.err;
    }
    EXPECT_TRUE(fs::is_block_file(block));
    EXPECT_TRUE(fs::is_socket(sock));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(outStrays().size(), 6u); // the nodes, the link, and nothing else
}

// A FIFO with a reader gets the output as it is (a pipe from /dev/stdout included).
TEST_F(LexcliFaults, PipeOutputIsWrittenDirectly) {
    const fs::path in = m_dir / "in.txt";
    writeLexicon(in, {u"中国", u"人民"});
    const fs::path fifo = m_dir / "out/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const ChildResult r = lexcli({"lexmerge", "union", in.string(), "-o", fifo.string()}, {}, 60s);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    char buf[256];
    const ssize_t n = ::read(reader, buf, sizeof buf);
    ::close(reader);
    EXPECT_EQ(std::string(buf, size_t(std::max<ssize_t>(n, 0))), readBytes(in));
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// The replaced file keeps owner, group and mode; another hard link keeps the old text, and
// lexcli says so.
TEST_F(LexcliFaults, OwnerModeAndHardLinks) {
    const fs::path in = m_dir / "in.txt";
    writeLexicon(in, {u"中国"});
    ASSERT_EQ(::chmod(out().c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(out().c_str(), 65534, 65534), 0);
    }
    fs::create_hard_link(out(), m_dir / "other.txt");
    const ChildResult r = lexcli({"lexmerge", "union", in.string(), "-o", out().string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readBytes(out()), readBytes(in));
    EXPECT_EQ(readBytes(m_dir / "other.txt"), kOld);
    EXPECT_NE(r.err.find("硬链接"), std::string::npos) << r.err;
    struct stat st {};
    ASSERT_EQ(::stat(out().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
}

// An output name of 254 bytes is legal; the temporary name beside it must fit too.
TEST_F(LexcliFaults, LongOutputNameFits) {
    const fs::path in = m_dir / "in.txt";
    writeLexicon(in, {u"中国"});
    const fs::path longName = m_dir / "out" / (std::string(250, 'n') + ".txt");
    const ChildResult r = lexcli({"lexmerge", "union", in.string(), "-o", longName.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readBytes(longName), readBytes(in));
}

// System errors read in Chinese, with the path.
TEST_F(LexcliFaults, SystemErrorsAreChinese) {
    const fs::path in = m_dir / "in.txt";
    writeLexicon(in, {u"中国"});
    const std::string d = m_dir.path().string();
    struct Row {
        std::string output;
        std::string text;
    } rows[] = {
        {d + "/in.txt/out.txt", "不是文件夹"},
        {d + "/nowhere/out.txt", "文件或文件夹不存在"},
        {d + "/" + std::string(300, 'n'), "文件名太长"},
        {d + "/out", "是文件夹"},
    };
    for (const Row &row : rows) {
        const ChildResult r = lexcli({"lexmerge", "union", in.string(), "-o", row.output});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(row.text), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(row.output), std::string::npos) << r.err;
    }
    if (::geteuid() != 0)
        return;
    // Permissions, as an ordinary user: a folder it cannot write, a file it cannot read.
    ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(in.c_str(), 0644), 0);
    const fs::path secret = m_dir / "secret.txt";
    writeLexicon(secret, {u"中国"});
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    ChildOptions nobody;
    nobody.user = 65534;
    ChildResult r = lexcli({"lexmerge", "union", in.string(), "-o", out().string()}, nobody);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("权限不够"), std::string::npos) << r.err;
    r = lexcli({"lexmerge", "union", secret.string(), "-o", (m_dir / "o.txt").string()}, nobody);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("权限不够"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(secret.string()), std::string::npos) << r.err;
}

// --- the report and the command line ---

// A report that cannot be written (standard output on a full device) is a failure.
TEST_F(LexcliFaults, LostReportIsAFailure) {
    const fs::path in = m_dir / "in.txt";
    writeLexicon(in, {u"中国"});
    ChildOptions o;
    o.stdoutPath = "/dev/full";
    const ChildResult r = lexcli({"lexmerge", "union", in.string(), "-o", out().string()}, o);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("报告"), std::string::npos) << r.err;
}

TEST_F(LexcliFaults, OutputGivenTwiceIsAUsageError) {
    const ChildResult r =
        lexcli({"lexmerge", "union", input("waste.txt"), "-o", out().string(), "-o", "b.txt"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("-o 只能给出一次"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(out()), kOld);
}

// --delete-waste must never delete a lexicon the run still needs or has just written.
TEST_F(LexcliFaults, DeleteWasteRefusesWhenTheWasteIsAnotherFile) {
    const fs::path base = m_dir / "base.txt";
    writeLexicon(base, {u"中国", u"人民"});
    fs::create_hard_link(base, m_dir / "alias.txt");
    const std::string b = base.string(), o = out().string();
    const std::vector<std::vector<std::string>> runs = {
        {"lexupdate", "update", b, "--waste", b, "--delete-waste", "-o", o},
        {"lexupdate", "update", b, "--waste", (m_dir / "alias.txt").string(), "--delete-waste",
         "-o", o},
        {"lexupdate", "update", b, "--user", o, "--waste", o, "--delete-waste", "-o", o},
        {"lexupdate", "update", b, "--waste", o, "--delete-waste", "-o", o},
    };
    for (const auto &args : runs) {
        const ChildResult r = lexcli(args);
        EXPECT_EQ(r.exitCode, 1) << testing::PrintToString(args);
        EXPECT_NE(r.err.find("同一个文件"), std::string::npos) << r.err;
        EXPECT_EQ(readBytes(base), lex::test::gbkLines({u"中国", u"人民"}));
        EXPECT_EQ(readBytes(out()), kOld);
    }
}

} // namespace
