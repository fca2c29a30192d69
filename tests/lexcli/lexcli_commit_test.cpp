// The end of a run under signals, with the real lexcli: an interrupt that comes before the
// commit point (the rename of the output, or of the new frequency database) leaves the old
// file and exits with 128 + the signal; one that comes after it finds the run done, and it
// exits 0 with the new file. Whenever the signal comes, the exit status and the file agree.
// LEXCORE_TEST_COMMIT_PAUSE stops a run just before and just after its rename.
//
// Also the hidden copies of freqtune imports: a killed import's copy goes with the next
// command, one that a running import holds stays.

#include "child_process.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using lex::test::ChildOptions;
using lex::test::ChildProcess;
using lex::test::ChildResult;
using lex::test::pollUntil;
using lex::test::readBytes;
using lex::test::strays;
using lex::test::TempDir;
using lex::test::writeBytes;
using namespace std::chrono_literals;

const fs::path kLexcli = LEXCLI_PATH;
const fs::path kTemplate = FREQTUNE_TEMPLATE;
constexpr const char *kHeldNotice = "注意：收到中断信号时输出已经就位";

ChildResult lexcli(const std::vector<std::string> &args) {
    return lex::test::runChild(kLexcli, args, {}, 60s);
}

ChildOptions pausedAt(const fs::path &dir) {
    ChildOptions o;
    o.env = {"LEXCORE_TEST_COMMIT_PAUSE=" + dir.string()};
    return o;
}

// A run to signal: its arguments, the file it replaces (alone in its folder but for `keep`),
// and that file's bytes before and after a complete run.
struct Job {
    std::string name;
    std::vector<std::string> args;
    fs::path file;
    std::vector<std::string> keep;
    std::string before, after;
    std::string report; // what standard output begins with when the run is done

    void reset() const { writeBytes(file, before); }
    std::vector<std::string> left() const { return strays(file.parent_path(), keep); }
};

class CommitPoint : public ::testing::Test {
protected:
    // Both jobs on one input of 150,000 lines, made once.
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        const fs::path &d = s_dir->path();
        lex::test::writeBigLexicon(d / "in.txt", 150'000, 7);
        lex::test::writeLexicon(d / "small.txt", {u"中国", u"人民", u"北京"});
        fs::create_directories(d / "data");
        fs::copy_file(kTemplate, d / "data/freqtune.mmm");
        for (const char *dir : {"out", "db"})
            fs::create_directories(d / dir);

        Job writer;
        writer.name = "lexmerge";
        writer.file = d / "out/out.txt";
        writer.args = {"lexmerge", "union", (d / "in.txt").string(), "-o", writer.file.string()};
        writer.keep = {"out.txt"};
        writer.before = "旧词库\r\n";
        writer.report = "并集词条：";

        Job database;
        database.name = "freqtune";
        database.file = d / "db/w.mdb";
        database.args = {
            "--data-dir", (d / "data").string(), "freqtune", "import", (d / "small.txt").string(),
            "--db",       database.file.string()};
        EXPECT_EQ(lexcli(database.args).exitCode, 0);
        database.args[4] = (d / "in.txt").string();
        database.keep = {"w.mdb"};
        database.before = readBytes(database.file);
        database.report = "完成！\n";

        for (Job *job : {&writer, &database}) {
            job->reset();
            const ChildResult r = lexcli(job->args);
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_TRUE(r.out.starts_with(job->report)) << r.out;
            job->after = readBytes(job->file);
            EXPECT_NE(job->after, job->before);
            s_jobs.push_back(*job);
        }
    }
    static void TearDownTestSuite() {
        s_jobs.clear();
        delete s_dir;
        s_dir = nullptr;
    }

    // The exit status says what the file holds: 0 the complete new output (and the report),
    // 128 + `signal` the untouched old one (and "中断！"); no temporary file either way.
    static bool agrees(const Job &job, const ChildResult &r, int signal) {
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.termSignal, 0);
        EXPECT_EQ(job.left(), std::vector<std::string>{});
        const std::string now = readBytes(job.file);
        if (r.exitCode == 0) {
            EXPECT_TRUE(now == job.after) << now.size() << " bytes, not " << job.after.size();
            EXPECT_TRUE(r.out.starts_with(job.report)) << r.out;
            EXPECT_EQ(r.err.find("中断！"), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.exitCode, 128 + signal) << r.err;
            EXPECT_TRUE(now == job.before) << now.size() << " bytes, not " << job.before.size();
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err.find("中断！"), std::string::npos) << r.err;
        }
        return !::testing::Test::HasFailure();
    }

    static TempDir *s_dir;
    static std::vector<Job> s_jobs;
};
TempDir *CommitPoint::s_dir = nullptr;
std::vector<Job> CommitPoint::s_jobs;

// Signals from the middle of a run to past its end: the run is either stopped with the old file
// or done with the new one, never stopped with the new one. The moments follow the outcomes, not
// a length measured beforehand: a stopped run moves the next signal later, a finished one
// earlier, so that they gather round the end of the run however fast the machine is at the
// time, and the runs go on until both outcomes have been seen (and at least kMoments runs).
TEST_F(CommitPoint, StatusAgreesWithTheFileWheneverTheSignalComes) {
    constexpr int kMoments = 20, kMostRuns = 400;
    const int signals[] = {SIGTERM, SIGINT, SIGHUP};
    for (const Job &job : s_jobs) {
        SCOPED_TRACE(job.name);
        std::chrono::microseconds delay = 20ms;
        int stopped = 0, done = 0, run = 0;
        for (; run < kMostRuns && (run < kMoments || stopped == 0 || done == 0); ++run) {
            const int signal = signals[run % 3];
            job.reset();
            ChildProcess child(kLexcli, job.args);
            ASSERT_TRUE(child.waitUntilCatching(signal, 60s));
            std::this_thread::sleep_for(delay);
            child.signal(signal);
            const ChildResult r = child.wait(120s);
            SCOPED_TRACE("run " + std::to_string(run) + ", signal after " +
                         std::to_string(delay.count()) + " us");
            ASSERT_TRUE(agrees(job, r, signal));
            ++(r.exitCode == 0 ? done : stopped);
            // Doubled until a run is seen done; then steps of a fifth, fine enough to land on
            // either side of the end often.
            if (r.exitCode == 0)
                delay = delay * 4 / 5;
            else
                delay = done == 0 ? delay * 2 : delay * 6 / 5 + 1ms;
        }
        // The moments spanned the end of the run.
        EXPECT_GT(stopped, 0) << run << " runs";
        EXPECT_GT(done, 0) << run << " runs";
    }
}

// At the commit point itself: signals just before the rename stop the run (a second one ends
// it at once); signals just after it, still blocked there, are held and the run completes.
TEST_F(CommitPoint, JustBeforeTheRenameStopsJustAfterItCompletes) {
    struct Row {
        const char *point;
        std::vector<int> signals;
        int status;
    };
    const Row rows[] = {
        {"before", {SIGINT}, 128 + SIGINT},
        {"before", {SIGHUP, SIGTERM}, 128 + SIGTERM},
        {"after", {SIGTERM}, 0},
        {"after", {SIGINT, SIGHUP}, 0},
    };
    for (const Job &job : s_jobs) {
        for (const Row &row : rows) {
            SCOPED_TRACE(job.name + " " + row.point + " " + std::to_string(row.signals.size()));
            job.reset();
            TempDir pause;
            ChildProcess child(kLexcli, job.args, pausedAt(pause.path()));
            const auto reach = [&](const char *point) {
                return pollUntil([&] { return fs::exists(pause / point) || !child.running(); },
                                 60s) &&
                       fs::exists(pause / point);
            };
            ASSERT_TRUE(reach("before"));
            if (std::string(row.point) == "after") {
                fs::remove(pause / "before");
                ASSERT_TRUE(reach("after"));
            }
            for (size_t k = 0; k < row.signals.size(); ++k) {
                child.signal(row.signals[k]);
                // Before the rename the handler runs at once: it removes the file being written.
                if (std::string(row.point) == "before" && k == 0) {
                    ASSERT_TRUE(pollUntil([&] { return job.left().empty(); }, 60s));
                }
            }
            fs::remove(pause / row.point);
            const ChildResult r = child.wait(60s);
            EXPECT_EQ(r.exitCode, row.status) << r.err;
            ASSERT_TRUE(agrees(job, r, row.signals.back()));
            if (row.status == 0) {
                EXPECT_NE(r.err.find(kHeldNotice), std::string::npos) << r.err;
            }
        }
    }
}

// An import's hidden copy ".w.mdb.XXXXXX": while the import runs it stays, whatever command
// runs beside it; once the import is killed (kill -9), the next freqtune command removes it.
// Files of other names stay.
TEST_F(CommitPoint, HiddenCopiesGoUnlessAnImportHoldsThem) {
    TempDir dir;
    const fs::path db = dir / "w.mdb";
    const std::string data = (s_dir->path() / "data").string();
    const std::vector<std::string> import = {
        "--data-dir", data,       "freqtune", "import", (s_dir->path() / "small.txt").string(),
        "--db",       db.string()};
    auto copies = [&] {
        std::vector<std::string> found;
        for (const std::string &name : strays(dir.path(), {}))
            if (name.starts_with(".w.mdb.") && name.size() == 13)
                found.push_back(name);
        return found;
    };
    writeBytes(dir / ".w.mdb.other", "x");   // no copy's name
    writeBytes(dir / ".w.mdb.Other12", "x"); // nor this

    // A first import, into a database that does not exist yet, waits at its commit point; a
    // command beside it removes the copy a killed import left a moment ago, not the one the
    // import holds.
    TempDir pause;
    {
        ChildProcess child(kLexcli, import, pausedAt(pause.path()));
        ASSERT_TRUE(pollUntil([&] { return fs::exists(pause / "before"); }, 60s));
        const std::vector<std::string> building = copies();
        ASSERT_EQ(building.size(), 1u);
        writeBytes(dir / ".w.mdb.Gone01", "");
        const ChildResult list = lexcli({"--data-dir", data, "freqtune", "list", "--db", db});
        EXPECT_EQ(list.exitCode, 1);
        EXPECT_NE(list.err.find("找不到词频数据库：" + db.string()), std::string::npos) << list.err;
        EXPECT_EQ(copies(), building);
        fs::remove(pause / "before");
        ASSERT_TRUE(pollUntil([&] { return fs::exists(pause / "after"); }, 60s));
        fs::remove(pause / "after");
        const ChildResult r = child.wait(60s);
        EXPECT_EQ(r.exitCode, 0) << r.err;
    }
    EXPECT_EQ(copies(), std::vector<std::string>{});
    const std::string imported = readBytes(db);

    // A second one is killed at the same point: its copy stays behind, until the next command.
    {
        ChildProcess child(kLexcli, import, pausedAt(pause.path()));
        ASSERT_TRUE(pollUntil([&] { return fs::exists(pause / "before"); }, 60s));
        child.signal(SIGKILL);
        EXPECT_EQ(child.wait(60s).termSignal, SIGKILL);
    }
    fs::remove(pause / "before");
    EXPECT_EQ(copies().size(), 1u);
    const ChildResult exported = lexcli(
        {"--data-dir", data, "freqtune", "export", "-o", (dir / "x.txt").string(), "--db", db});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(copies(), std::vector<std::string>{});
    EXPECT_EQ(readBytes(db), imported);
    EXPECT_EQ(strays(dir.path(), {"w.mdb", "x.txt"}),
              (std::vector<std::string>{".w.mdb.Other12", ".w.mdb.other"}));
}

// A count's last commit is its commit point: the database raised (and, with --move, the article
// moved) is the run done. Just before it a signal leaves the database and the article as they
// were; just after it the run completes with exit 0. Only --move takes the article away.
TEST_F(CommitPoint, CountsAreDoneAtTheirLastCommit) {
    enum Mode { Named, Moved, Corpus };
    for (const Mode mode : {Named, Moved, Corpus}) {
        const bool corpus = mode == Corpus;
        for (const char *point : {"before", "after"}) {
            SCOPED_TRACE(std::string(mode == Corpus  ? "--corpus "
                                     : mode == Moved ? "--move "
                                                     : "") +
                         point);
            TempDir dir;
            fs::create_directories(dir / "data");
            fs::copy_file(kTemplate, dir / "data/freqtune.mmm");
            const std::string data = (dir / "data").string(), db = (dir / "w.mdb").string();
            ASSERT_EQ(lexcli({"--data-dir", data, "freqtune", "import",
                              (s_dir->path() / "small.txt").string(), "--db", db})
                          .exitCode,
                      0);
            const std::string before = readBytes(db);
            fs::create_directories(dir / "articles");
            const fs::path article = dir / "articles/a.txt";
            writeBytes(article, "\xD6\xD0\xB9\xFA\xC8\xCB\xC3\xF1\r\n"); // 中国人民
            std::vector<std::string> args = {"--data-dir", data, "freqtune", "count"};
            if (corpus)
                args.insert(args.end(), {"--corpus", (dir / "articles").string()});
            else
                args.push_back(article.string());
            if (mode == Moved)
                args.push_back("--move");
            args.insert(args.end(), {"--db", db});

            TempDir pause;
            ChildProcess child(kLexcli, args, pausedAt(pause.path()));
            const auto reach = [&](const char *at) {
                return pollUntil([&] { return fs::exists(pause / at) || !child.running(); }, 60s) &&
                       fs::exists(pause / at);
            };
            ASSERT_TRUE(reach("before"));
            if (std::string(point) == "after") {
                fs::remove(pause / "before");
                ASSERT_TRUE(reach("after"));
            }
            child.signal(SIGTERM);
            fs::remove(pause / point);
            const ChildResult r = child.wait(60s);
            if (std::string(point) == "before") {
                EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.err;
                EXPECT_TRUE(readBytes(db) == before);
                EXPECT_TRUE(fs::exists(article));
            } else {
                EXPECT_EQ(r.exitCode, 0) << r.err;
                EXPECT_NE(r.err.find(kHeldNotice), std::string::npos) << r.err;
                EXPECT_FALSE(readBytes(db) == before);
                EXPECT_NE(r.out.find("中国"), std::string::npos) << r.out;
                EXPECT_EQ(fs::exists(article), mode != Moved);
            }
        }
    }
}

} // namespace
