// The Dask driver scripts/quillo-corpus on a LocalCluster of two worker processes: its result is
// byte for byte that of one lexcli process, for the word counts (with enough shards for a tree
// of merges) and for the frequency database, also when a worker process is killed in the middle
// of the run and Dask runs its tasks again. SIGINT and SIGTERM stop the cluster and leave
// nothing behind; a scheduler that cannot be reached is one line.

#include "../freqtune/freqtune_fixture.h"
#include "child_process.h"
#include "shared/lexcore/cp936.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;
using lex::test::writeBytes;
using namespace std::chrono_literals;

const fs::path kLexcli = LEXCLI_PATH;
const fs::path kDriver = QUILLO_CORPUS;

// A data folder with the shipped word list, and a corpus: `copies` times the Chinese fortunes,
// cut into `files` files at places that are no line ends.
struct Workspace {
    lex::test::TempDir dir;
    fs::path data = dir / "data", corpus = dir / "corpus";

    Workspace(int copies, int files) {
        fs::create_directories(data);
        fs::create_directories(corpus);
        fs::copy_file(fs::path(SUITE_DIR) / "bigseg" / "ciku.lxd", data / "ciku.lxd");
        writeBytes(data / "bc.ini", "");
        std::string text;
        for (int i = 0; i < copies; ++i)
            text += readBytes("/usr/share/games/fortunes/chinese");
        size_t from = 0;
        for (int i = 0; i < files; ++i) {
            size_t to = i + 1 == files ? text.size() : text.size() * size_t(i + 1) / size_t(files);
            while (to < text.size() && (uint8_t(text[to]) & 0xC0) == 0x80)
                ++to; // a place between two characters
            char name[16];
            std::snprintf(name, sizeof name, "%03d.txt", i);
            writeBytes(corpus / name, text.substr(from, to - from));
            from = to;
        }
    }

    lex::test::ChildResult lexcli(const std::vector<std::string> &args) const {
        std::vector<std::string> a = {"--data-dir", data.string()};
        a.insert(a.end(), args.begin(), args.end());
        return lex::test::runChild(kLexcli, a, {}, 300s);
    }
    std::vector<std::string> driverArgs(const std::vector<std::string> &args) const {
        std::vector<std::string> a = {"--workers",  "2",           "--lexcli",     kLexcli.string(),
                                      "--data-dir", data.string(), "--shard-size", "160000"};
        a.insert(a.end(), args.begin(), args.end());
        return a;
    }
};

TEST(QuilloCorpus, TwoWorkersCountAsOneProcess) {
    const Workspace s(1, 24);
    const auto one =
        s.lexcli({"bigseg", "count", s.corpus.string(), "-o", (s.dir / "one.txt").string()});
    ASSERT_EQ(one.exitCode, 0) << one.err;
    const auto dask = lex::test::runChild(
        kDriver, s.driverArgs({"bigseg", s.corpus.string(), "-o", (s.dir / "dask.txt").string()}),
        {}, 300s);
    ASSERT_EQ(dask.exitCode, 0) << dask.err;
    EXPECT_EQ(dask.out.substr(0, dask.out.find('\n')), one.out.substr(0, one.out.find('\n')));
    EXPECT_TRUE(readBytes(s.dir / "dask.txt") == readBytes(s.dir / "one.txt"));
}

TEST(QuilloCorpus, TwoWorkersRaiseTheDatabaseAsOneProcess) {
    const Workspace s(1, 12);
    // A lexicon of every fifth pair of characters of the first part.
    const std::u16string text = lex::fromUtf8(readBytes(s.corpus / "000.txt"));
    std::u16string lexicon;
    for (size_t i = 0; i + 2 < text.size(); i += 5)
        if (lex::isDoubleByte(text[i]) && lex::isDoubleByte(text[i + 1]))
            lexicon += text.substr(i, 2) + u"\r\n";
    std::map<std::string, std::string> lists;
    for (const char *how : {"one", "dask"}) {
        const fs::path folder = s.dir / how;
        fs::create_directories(folder);
        fs::copy_file(lex::test::builtTemplate(), folder / "freqtune.mmm");
        writeBytes(folder / "lexicon.txt", lex::encode936(lexicon));
        const std::string db = (folder / "freqtune.mdb").string();
        const auto imported = lex::test::runChild(
            kLexcli, std::vector<std::string>{"--data-dir", folder.string(), "freqtune", "import",
                                              (folder / "lexicon.txt").string()});
        ASSERT_EQ(imported.exitCode, 0) << imported.err;
        const auto run =
            std::string(how) == "one"
                ? lex::test::runChild(kLexcli,
                                      std::vector<std::string>{"freqtune", "count", "--db", db,
                                                               "--corpus", s.corpus.string()},
                                      {}, 300s)
                : lex::test::runChild(
                      kDriver,
                      s.driverArgs({"freqtune", "--corpus", s.corpus.string(), "--db", db}), {},
                      300s);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto list =
            lex::test::runChild(kLexcli, std::vector<std::string>{"freqtune", "list", "--db", db});
        ASSERT_EQ(list.exitCode, 0) << list.err;
        lists[how] = list.out;
    }
    EXPECT_GT(lists["one"].size(), 1000u);
    EXPECT_EQ(lists["dask"], lists["one"]);
}

// A damaged compressed file ends the run with lexcli's message naming it, and writes nothing.
TEST(QuilloCorpus, ADamagedFileIsNamed) {
    const Workspace s(1, 4);
    writeBytes(s.corpus / "bad.gz", "\x1F\x8B\x08\x00 not gzip data");
    const auto dask = lex::test::runChild(
        kDriver, s.driverArgs({"bigseg", s.corpus.string(), "-o", (s.dir / "dask.txt").string()}),
        {}, 300s);
    EXPECT_EQ(dask.exitCode, 1);
    EXPECT_NE(dask.err.find("压缩文件已损坏：" + (s.corpus / "bad.gz").string()), std::string::npos)
        << dask.err;
    EXPECT_FALSE(fs::exists(s.dir / "dask.txt"));
}

// The processes below `root`, by their parent.
std::map<pid_t, std::pair<pid_t, std::string>> processes() {
    std::map<pid_t, std::pair<pid_t, std::string>> out;
    for (const auto &e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream f(e.path() / "stat");
        std::string line;
        if (!std::getline(f, line))
            continue;
        const size_t open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state;
        pid_t ppid;
        rest >> state >> ppid;
        out[pid_t(std::stol(name))] = {ppid, line.substr(open + 1, close - open - 1)};
    }
    return out;
}

bool below(pid_t pid, pid_t root, const std::map<pid_t, std::pair<pid_t, std::string>> &all) {
    for (int depth = 0; depth < 16 && pid > 1; ++depth) {
        if (pid == root)
            return true;
        const auto it = all.find(pid);
        if (it == all.end())
            return false;
        pid = it->second.first;
    }
    return false;
}

TEST(QuilloCorpus, AKilledWorkerChangesNothing) {
    const Workspace s(3, 36);
    const auto one =
        s.lexcli({"bigseg", "count", s.corpus.string(), "-o", (s.dir / "one.txt").string()});
    ASSERT_EQ(one.exitCode, 0) << one.err;
    lex::test::ChildProcess driver(
        kDriver, s.driverArgs({"bigseg", s.corpus.string(), "-o", (s.dir / "dask.txt").string()}));
    // The worker process whose lexcli runs first dies at once.
    pid_t worker = 0;
    ASSERT_TRUE(lex::test::pollUntil(
        [&] {
            const auto all = processes();
            for (const auto &[pid, info] : all)
                if (info.second == "lexcli" && below(pid, driver.pid(), all) &&
                    info.first != driver.pid()) {
                    worker = info.first;
                    return true;
                }
            return !driver.running();
        },
        120s));
    ASSERT_NE(worker, 0) << "the run ended before a worker could be killed";
    ASSERT_EQ(::kill(worker, SIGKILL), 0);
    const lex::test::ChildResult dask = driver.wait(300s);
    ASSERT_FALSE(dask.timedOut);
    ASSERT_EQ(dask.exitCode, 0) << dask.err;
    EXPECT_TRUE(readBytes(s.dir / "dask.txt") == readBytes(s.dir / "one.txt"));
}

// The processes whose command line mentions `text`, the caller aside; zombies have none.
std::vector<std::string> processesMentioning(const std::string &text) {
    std::vector<std::string> found;
    for (const auto &e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos ||
            pid_t(std::stol(name)) == ::getpid())
            continue;
        std::string cmdline = readBytes(e.path() / "cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (cmdline.find(text) != std::string::npos)
            found.push_back(name + ": " + cmdline);
    }
    return found;
}

// A signal stops the run, wherever it finds it: the workers and their lexcli end with the
// driver, the scratch folder goes, the output stays as it was, "中断！" and 128 + the signal.
TEST(QuilloCorpus, ASignalStopsTheClusterAndLeavesNothing) {
    enum Moment { Starting, Counting };
    struct Row {
        int signal;
        Moment moment;
    };
    const Row rows[] = {{SIGTERM, Counting}, {SIGINT, Counting}, {SIGTERM, Starting}};
    const Workspace s(3, 36);
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(strsignal(row.signal)) +
                     (row.moment == Starting ? " while the cluster starts" : " while counting"));
        const lex::test::TempDir tmp;
        const fs::path out = s.dir / "dask.txt";
        writeBytes(out, "old\r\n");
        lex::test::ChildOptions o;
        o.env = {"TMPDIR=" + tmp.path().string()};
        lex::test::ChildProcess driver(
            kDriver, s.driverArgs({"bigseg", s.corpus.string(), "-o", out.string()}), o);
        ASSERT_TRUE(driver.waitUntilCatching(row.signal, 120s));
        if (row.moment == Counting) {
            // A worker's lexcli is counting a shard.
            ASSERT_TRUE(lex::test::pollUntil(
                [&] {
                    const auto all = processes();
                    for (const auto &[pid, info] : all)
                        if (info.second == "lexcli" && below(pid, driver.pid(), all) &&
                            info.first != driver.pid())
                            return true;
                    return !driver.running();
                },
                120s));
            ASSERT_TRUE(driver.running()) << "the run ended before the signal";
        }
        driver.signal(row.signal);
        const lex::test::ChildResult r = driver.wait(120s);
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 128 + row.signal) << r.err;
        EXPECT_TRUE(r.err.ends_with("中断！\n")) << r.err;
        EXPECT_EQ(r.err.find("Traceback"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(readBytes(out), "old\r\n");
        EXPECT_EQ(lex::test::strays(tmp.path(), {}), std::vector<std::string>{});
        EXPECT_EQ(processesMentioning(s.corpus.string()), std::vector<std::string>{});
    }
}

// An address where no scheduler answers, or none at all: one line that names it, exit 1,
// within the connection timeout (5 s by default; the bounds below only catch hangs).
TEST(QuilloCorpus, AnUnreachableSchedulerIsOneLine) {
    struct Row {
        std::string address, timeout, message;
    };
    const Row rows[] = {
        {"tcp://127.0.0.1:1", "2", "无法连接 Dask 调度器：tcp://127.0.0.1:1（2 秒内没有应答）"},
        {"tcp://127.0.0.1:1", "", "无法连接 Dask 调度器：tcp://127.0.0.1:1（5 秒内没有应答）"},
        {"tcp://192.0.2.1:8786", "1.5",
         "无法连接 Dask 调度器：tcp://192.0.2.1:8786"}, // never routed
        {"tcp://no-such-host.invalid:8786", "2",
         "无法连接 Dask 调度器：tcp://no-such-host.invalid:8786"},
        {"nonsense://x", "2", "Dask 调度器地址无效：nonsense://x"},
        {"tcp://", "2", "Dask 调度器地址无效：tcp://"},
        {"127.0.0.1:port", "", "Dask 调度器地址无效：127.0.0.1:port"},
    };
    const Workspace s(1, 1);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.address + " " + row.timeout);
        std::vector<std::string> args = {"--scheduler", row.address};
        if (!row.timeout.empty())
            args.insert(args.end(), {"--connect-timeout", row.timeout});
        args.insert(args.end(), {"bigseg", s.corpus.string(), "-o", (s.dir / "o.txt").string()});
        const auto start = std::chrono::steady_clock::now();
        const auto r = lex::test::runChild(kDriver, args, {}, 120s);
        const auto took = std::chrono::steady_clock::now() - start;
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.starts_with(row.message)) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(s.dir / "o.txt"));
        // Before the old default of 30 s: the default of 5 s and the start of Python.
        EXPECT_LT(took, 25s);
    }
}

} // namespace
