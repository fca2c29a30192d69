// Lexicons beyond memory: every operation that can partition its inputs gives the same bytes and
// the same report three ways: through the window's structure (--capacity), in memory without a
// limit, and through temporary files with a tiny --memory (many tiny partitions, sorted runs and
// merge passes) or a small one (a few partitions). The window's capacity is met exactly at its
// edge and overflows one line past it. In a child process: signals in the partition and the merge
// phase, and a temporary folder that fills up, leave the old output and no temporary file.

#include "child_process.h"
#include "cli_harness.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/size_limits.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;
using lex::test::TempDir;
using lex::test::writeBytes;
using namespace std::chrono_literals;

// The report without its elapsed time (the last line).
std::string withoutTime(const std::string &report) {
    return report.substr(0, report.find("耗费时间："));
}

// Random lexicon lines: words of a few characters from a small set (so that keys collide and
// lines repeat), annotated and plain twins, case and width twins (equal in pinyin order), lines
// the keys reject, characters beyond code page 936 (in UTF-8 inputs), and fixed-top lines.
class LineMaker {
public:
    explicit LineMaker(unsigned seed, bool beyondGbk) : m_rng(seed), m_beyondGbk(beyondGbk) {}

    std::u16string word() {
        static const std::u16string kChars = u"中国人民北京上海长江大学生活动物理化学电脑网络";
        std::u16string w;
        const size_t n = 1 + m_rng() % 7;
        for (size_t i = 0; i < n; ++i)
            w += kChars[m_rng() % kChars.size()];
        return w;
    }
    std::u16string annotated(const std::u16string &w) {
        static const char16_t *const kSyllables[] = {u"zhong", u"guo", u"ren", u"min", u"bei"};
        std::u16string out;
        for (char16_t c : w) {
            out += c;
            out += kSyllables[m_rng() % 5];
        }
        return out;
    }
    std::u16string line() {
        switch (m_rng() % 16) {
        case 0:
            return u"";
        case 1:
            return u"abc";
        case 2:
            return u"a" + word();
        case 3:
            return u";注释" + word();
        case 4:
            return word() + (m_rng() % 2 ? u"Abc" : u"abc"); // twins in pinyin order
        case 5:
            return word() + (m_rng() % 2 ? u"ａ" : u"a");
        case 6:
            return m_beyondGbk ? word() + u"\U0001F600" : word() + u"-";
        case 7:
        case 8:
            return annotated(word());
        default:
            return word();
        }
    }
    // `count` lines, a third of them repeating an earlier one.
    std::vector<std::u16string> lines(size_t count) {
        std::vector<std::u16string> out;
        for (size_t i = 0; i < count; ++i)
            out.push_back(i > 0 && m_rng() % 3 == 0 ? out[m_rng() % out.size()] : line());
        return out;
    }
    // Fixed-top lines: codes with and without trailing dashes, lines without "=".
    std::vector<std::u16string> fixedTop(size_t count) {
        std::vector<std::u16string> out;
        for (size_t i = 0; i < count; ++i) {
            std::u16string code(1 + m_rng() % 2, char16_t(u'a' + m_rng() % 6));
            code.append(m_rng() % 3, u'-');
            out.push_back(m_rng() % 20 == 0 ? word() : code + u"=" + word());
        }
        return out;
    }

private:
    std::mt19937 m_rng;
    bool m_beyondGbk;
};

void writeLines(const fs::path &path, const std::vector<std::u16string> &lines, bool utf8) {
    std::u16string text;
    for (const auto &l : lines)
        text += l + (utf8 ? u"\n" : u"\r\n");
    writeBytes(path, utf8 ? lex::toUtf8(text) : lex::test::gbk(text));
}

struct Op {
    const char *name;
    std::vector<std::string> args; // "@x" names input x in the run's folder, "@@x" a data folder
    const char *count;             // the report label whose count the window's set adds, or null
    // Slots the set needs beyond that count: the sort by another lexicon looks up reference
    // lines that the base lacks, which a full set never finds an end for.
    int slack = 0;
    bool tempDir = true; // takes --temp-dir
};

const std::vector<Op> &ops() {
    static const std::vector<Op> kOps = {
        {"phonetag_dedup", {"phonetag", "dedup", "@a"}, "剩余词条："},
        {"lexmerge_union", {"lexmerge", "union", "@a", "@b"}, "并集词条："},
        {"lexmerge_union_alone", {"lexmerge", "union", "@a"}, "并集词条："},
        {"lexmerge_intersect", {"lexmerge", "intersect", "@a", "@b"}, nullptr},
        {"lexmerge_difference", {"lexmerge", "difference", "@a", "@b"}, nullptr},
        {"lexmerge_difference_self", {"lexmerge", "difference", "@a", "@a"}, nullptr},
        {"lexmerge_delete", {"lexmerge", "delete", "@a", "@b"}, nullptr},
        {"lexupdate",
         {"lexupdate", "update", "@a", "--user", "@b", "--waste", "@c", "--private", "@d"},
         nullptr},
        {"lexsort_reference", {"lexsort", "reference", "@a", "@b"}, "处理词条：", 1},
        {"lexsort_length", {"lexsort", "length", "@a"}, nullptr},
        {"lexsort_stroke", {"lexsort", "stroke", "@a"}, nullptr},
        {"lexsort_pinyin", {"lexsort", "pinyin", "@a"}, nullptr},
        {"pintop_dedup_1", {"pintop", "dedup", "@top"}, nullptr},
        {"pintop_dedup_2", {"pintop", "dedup", "@top", "--keep", "2"}, nullptr},
        {"pintop_dedup_3", {"pintop", "dedup", "@top", "--keep", "3"}, nullptr},
        // The list goes into the set; the lexicon is read a chunk at a time.
        {"phonetag_correct",
         {"--data-dir", "@@phonetag", "phonetag", "correct", "@a", "--log", "@log"},
         nullptr,
         0,
         false},
    };
    return kOps;
}

void PrintTo(const Op &op, std::ostream *os) {
    *os << op.name;
}

class BeyondMemory : public ::testing::TestWithParam<Op> {
protected:
    // The inputs of one run, in code page 936 or in UTF-8.
    void makeInputs(bool utf8) {
        LineMaker make(20261208, utf8);
        writeLines(m_dir / "a", make.lines(3000), utf8);
        writeLines(m_dir / "b", make.lines(2000), utf8);
        writeLines(m_dir / "c", make.lines(300), utf8);
        writeLines(m_dir / "d", make.lines(200), utf8);
        writeLines(m_dir / "top", make.fixedTop(2000), utf8);
        fs::create_directory(m_dir / "tmp");
    }
    // Runs the operation with `extra` options; the output's bytes and the report (or the error).
    struct Outcome {
        int status;
        std::string output, report;
    };
    Outcome run(const std::vector<std::string> &extra) {
        std::vector<std::string> args;
        for (const std::string &a : GetParam().args) {
            if (a.starts_with("@@"))
                args.push_back((fs::path(SUITE_DIR) / a.substr(2)).string());
            else
                args.push_back(a.starts_with("@") ? (m_dir / a.substr(1)).string() : a);
        }
        args.insert(args.end(), {"-o", (m_dir / "out").string()});
        if (GetParam().tempDir)
            args.insert(args.end(), {"--temp-dir", (m_dir / "tmp").string()});
        args.insert(args.end(), extra.begin(), extra.end());
        writeBytes(m_dir / "out", "old");
        const lex::test::CliRun r = lex::test::runLexcli(args);
        EXPECT_TRUE(fs::is_empty(m_dir / "tmp"));
        return {r.status, readBytes(m_dir / "out"), r.status == 0 ? withoutTime(r.out) : r.err};
    }
    // The number after `label` in a report.
    static int64_t countAfter(const std::string &report, const char *label) {
        const size_t at = report.find(label);
        EXPECT_NE(at, std::string::npos) << report;
        return std::stoll(report.substr(at + std::string(label).size()));
    }

    void threeWays() {
        const Outcome memory = run({});
        ASSERT_EQ(memory.status, 0) << memory.report;
        ASSERT_NE(memory.output, "old");
        for (const char *size : {"1K", "48K", "300K"}) {
            const Outcome spilled = run({"--memory", size});
            EXPECT_EQ(spilled.status, 0) << size << ": " << spilled.report;
            EXPECT_EQ(spilled.report, memory.report) << size;
            EXPECT_TRUE(spilled.output == memory.output) << size;
        }
        const std::string tool = GetParam().args[0];
        if ((tool == "lexsort" && GetParam().args[1] != "reference") || tool == "pintop")
            return; // no entry set
        const Outcome window = run({"--capacity", "2000000"});
        EXPECT_EQ(window.status, 0) << window.report;
        EXPECT_EQ(window.report, memory.report);
        EXPECT_TRUE(window.output == memory.output);
        if (const char *label = GetParam().count) {
            // Exactly full is still done; one line more is the window's message, and no output.
            const std::string n =
                std::to_string(countAfter(memory.report, label) + GetParam().slack);
            const Outcome edge = run({"--capacity", n});
            EXPECT_EQ(edge.status, 0) << edge.report;
            EXPECT_TRUE(edge.output == memory.output);
            const std::string less = std::to_string(std::stoll(n) - 1);
            const Outcome over = run({"--capacity", less});
            EXPECT_EQ(over.status, 1);
            EXPECT_EQ(over.output, "old");
            EXPECT_EQ(over.report, lex::capacityFullMessage(std::stoll(less)) + "\n");
        }
    }

    TempDir m_dir;
};

TEST_P(BeyondMemory, CodePage936ThreeWaysAlike) {
    makeInputs(false);
    threeWays();
}

// Code page 936 inputs held as bytes in memory: LF and lone CRs, the euro sign and U+F8F5, lines
// without a key; then a broken pair at the end of lexicon two, which sends the run back to the
// general path once lexicon one was read.
TEST_P(BeyondMemory, OddCodePage936BytesThreeWaysAlike) {
    makeInputs(false);
    const std::string odd = "\xD6\xD0\x80\xB9\xFA\n\xFF\xFF\r\nab\rc\r\n\xD6\xD0\r\r\n"
                            "\xD6\xD0\x80\xB9\xFA\r\n\xA1\xA1\xA1\xA1\n\xD6\xD0\xB9\xFA\r";
    for (const char *name : {"a", "b", "c", "d"})
        writeBytes(m_dir / name, readBytes(m_dir / name) + odd);
    threeWays();
    // Held as bytes and written in another encoding: decoded on the way out, as the set would.
    const std::string tool = GetParam().args[0];
    if (!((tool == "lexsort" && GetParam().args[1] != "reference") || tool == "pintop")) {
        const Outcome bytes = run({"--output-encoding", "utf-8"});
        const Outcome set = run({"--output-encoding", "utf-8", "--capacity", "2000000"});
        EXPECT_EQ(bytes.status, 0) << bytes.report;
        EXPECT_EQ(bytes.report, set.report);
        EXPECT_TRUE(bytes.output == set.output);
    }
    writeBytes(m_dir / "b", readBytes(m_dir / "b") + "\n\xD6\r\n" + odd);
    threeWays();
}

// UTF-8 inputs go through the partitions as UTF-16 and come out in UTF-8, characters beyond
// code page 936 included.
TEST_P(BeyondMemory, Utf8ThreeWaysAlike) {
    makeInputs(true);
    threeWays();
}

INSTANTIATE_TEST_SUITE_P(Ops, BeyondMemory, ::testing::ValuesIn(ops()),
                         [](const auto &info) { return std::string(info.param.name); });

// The window's message stays what it was, and --capacity brings it back for any size.
TEST(CapacityOption, MessagesAndUsage) {
    EXPECT_EQ(lex::capacityFullMessage(2'000'000),
              "词条太多：超出了词条表 2,000,000 个位置的容量，没有写入任何文件。");
    EXPECT_EQ(lex::capacityFullMessage(1'234),
              "词条太多：超出了词条表 1,234 个位置的容量，没有写入任何文件。");
    TempDir dir;
    writeBytes(dir / "a", lex::test::gbk(u"中国\r\n人民\r\n"));
    const std::string a = (dir / "a").string(), out = (dir / "out").string();
    struct Row {
        std::vector<std::string> extra;
        const char *error; // null: done
    };
    const Row rows[] = {
        {{"--capacity", "0"}, "--capacity 需要一个正整数"},
        {{"--capacity", "2M"}, "--capacity 需要一个正整数"},
        {{"--capacity", "2147483648"}, "--capacity 需要一个正整数"},
        {{"--memory", "lots"}, "--memory 需要一个大小"},
        {{"--memory", "0"}, "--memory 需要一个大小"},
        {{"--capacity", "5", "--memory", "1G"}, "不能同时给出"},
        {{"--temp-dir", (dir / "none").string()}, "--temp-dir 不是文件夹"},
        {{"--memory", "512M"}, nullptr},
        {{"--memory", "2g"}, nullptr},
        {{"--memory", "64KiB"}, nullptr},
        {{"--capacity", "2"}, nullptr},
    };
    for (const Row &row : rows) {
        std::vector<std::string> args = {"phonetag", "dedup", a, "-o", out};
        args.insert(args.end(), row.extra.begin(), row.extra.end());
        const auto r = lex::test::runLexcli(args);
        if (row.error) {
            EXPECT_EQ(r.status, 2) << row.extra[0];
            EXPECT_NE(r.err.find(row.error), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.status, 0) << row.extra[0] << " " << r.err;
        }
    }
    // An operation without a set takes no --capacity.
    EXPECT_EQ(lex::test::runLexcli({"lexsort", "length", a, "-o", out, "--capacity", "5"}).status,
              2);
    // Each affected operation documents the three options.
    for (const char *tool :
         {"phonetag dedup", "lexmerge union", "lexmerge intersect", "lexmerge difference",
          "lexmerge delete", "lexupdate update", "lexsort reference"}) {
        const std::string t = tool;
        const auto r =
            lex::test::runLexcli({t.substr(0, t.find(' ')), t.substr(t.find(' ') + 1), "--help"});
        for (const char *option : {"--capacity N", "--memory SIZE", "--temp-dir DIR"})
            EXPECT_NE(r.out.find(option), std::string::npos) << tool << " " << option;
    }
    // Those without one say why they take no --capacity.
    for (const char *tool : {"pintop dedup", "lexsort length", "lexsort stroke", "lexsort pinyin",
                             "freqtune import", "freqtune export"}) {
        const std::string t = tool;
        const auto r =
            lex::test::runLexcli({t.substr(0, t.find(' ')), t.substr(t.find(' ') + 1), "--help"});
        for (const char *text : {"--memory SIZE", "--temp-dir DIR", "所以没有 --capacity"})
            EXPECT_NE(r.out.find(text), std::string::npos) << tool << " " << text;
        EXPECT_EQ(r.out.find("--capacity N"), std::string::npos) << tool;
    }
}

TEST(SizeParsing, Sizes) {
    struct Row {
        const char *text;
        std::optional<uint64_t> bytes;
    };
    const Row rows[] = {
        {"512M", 512ull << 20}, {"2G", 2ull << 30},   {"64k", 64ull << 10},
        {"1048576", 1048576},   {"3MB", 3ull << 20},  {"1GiB", 1ull << 30},
        {"", std::nullopt},     {"M", std::nullopt},  {"1.5G", std::nullopt},
        {"0", std::nullopt},    {"9E", std::nullopt}, {"99999999999T", std::nullopt},
    };
    for (const Row &row : rows)
        EXPECT_EQ(lex::parseSize(row.text), row.bytes) << row.text;
    EXPECT_GE(lex::defaultMemory(), 256ull << 20);
}

// ---- the real lexcli, in a child process ----

const fs::path kLexcli = LEXCLI_PATH;

class BeyondMemoryChild : public ::testing::Test {
protected:
    void SetUp() override {
        LineMaker make(7, false);
        writeLines(m_dir / "a", make.lines(6000), false);
        writeLines(m_dir / "b", make.lines(6000), false);
        for (const char *d : {"tmp", "out", "pause"})
            fs::create_directory(m_dir / d);
        writeBytes(out(), kOld);
    }
    fs::path out() const { return m_dir / "out" / "out.txt"; }
    std::vector<std::string> args(std::vector<std::string> op) const {
        for (auto &a : op)
            if (a.starts_with("@"))
                a = (m_dir / a.substr(1)).string();
        op.insert(op.end(),
                  {"-o", out().string(), "--memory", "1K", "--temp-dir", (m_dir / "tmp").string()});
        return op;
    }
    // Temporary files the child has open in the temporary folder (nameless ones included).
    size_t openTemporaries(pid_t pid) const {
        size_t n = 0;
        std::error_code ec;
        for (const auto &e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
            const std::string target = fs::read_symlink(e.path(), ec).string();
            n += target.starts_with((m_dir / "tmp").string());
        }
        return n;
    }

    static inline const std::string kOld = "旧词库\r\n";
    TempDir m_dir;
};

// A signal while the partitions are worked or merged: "中断！", 128 + the signal, the old output,
// and nothing left in the temporary folder, though the child held partition files there.
TEST_F(BeyondMemoryChild, SignalsInPartitionAndMergeLeaveNothing) {
    struct Row {
        std::vector<std::string> op;
        const char *point;
        int signal;
    };
    const Row rows[] = {
        {{"lexmerge", "union", "@a", "@b"}, "partition", SIGINT},
        {{"lexmerge", "difference", "@a", "@b"}, "merge", SIGTERM},
        {{"phonetag", "dedup", "@a"}, "merge", SIGHUP},
        {{"lexupdate", "update", "@a", "--waste", "@b"}, "partition", SIGTERM},
        {{"lexsort", "pinyin", "@a"}, "merge", SIGINT},
        {{"lexsort", "length", "@a"}, "merge", SIGTERM},
    };
    for (const Row &row : rows) {
        lex::test::ChildOptions o;
        o.env = {"LEXCORE_TEST_SPILL_PAUSE=" + (m_dir / "pause").string()};
        lex::test::ChildProcess child(kLexcli, args(row.op), o);
        const fs::path marker = m_dir / "pause" / row.point;
        // The run passes the other pause points on its way.
        auto atPoint = [&] {
            for (const auto &e : fs::directory_iterator(m_dir / "pause"))
                if (e.path() != marker)
                    fs::remove(e.path());
            return fs::exists(marker) || !child.running();
        };
        ASSERT_TRUE(lex::test::pollUntil(atPoint, 120s)) << row.op[1];
        ASSERT_TRUE(fs::exists(marker)) << row.op[1];
        EXPECT_GT(openTemporaries(child.pid()), 0u) << row.op[1];
        child.signal(row.signal);
        fs::remove(marker);
        const auto r = child.wait(120s);
        EXPECT_EQ(r.exitCode, 128 + row.signal) << row.op[1] << ": " << r.err;
        EXPECT_NE(r.err.find("中断！"), std::string::npos) << r.err;
        EXPECT_EQ(readBytes(out()), kOld);
        EXPECT_TRUE(fs::is_empty(m_dir / "tmp"));
        EXPECT_EQ(lex::test::strays(m_dir / "out", {"out.txt"}), std::vector<std::string>{});
        for (const auto &e : fs::directory_iterator(m_dir / "pause"))
            fs::remove(e.path());
    }
}

// A temporary folder that cannot take more: past a file-size limit, and, where a small tmpfs can
// be mounted in a namespace of our own, a full disk. A clear message, status 1, the old output.
TEST_F(BeyondMemoryChild, FullTemporaryFolderIsAMessage) {
    lex::test::ChildOptions o;
    o.fileSizeLimit = 16 << 10;
    auto r = lex::test::runChild(kLexcli, args({"lexmerge", "union", "@a", "@b"}), o);
    EXPECT_EQ(r.termSignal, 0);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("无法写入临时文件：" + (m_dir / "tmp").string() + "（文件太大）"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readBytes(out()), kOld);
    EXPECT_TRUE(fs::is_empty(m_dir / "tmp"));

    if (lex::test::runChild("/usr/bin/unshare", {"-rm", "true"}).exitCode != 0)
        GTEST_SKIP() << "no mount namespace of our own here";
    std::vector<std::string> shell = {"-rm",
                                      "sh",
                                      "-c",
                                      "mount -t tmpfs -o size=32k tmpfs \"$0\" && exec \"$@\"",
                                      (m_dir / "tmp").string(),
                                      kLexcli.string()};
    for (const std::string &a : args({"lexsort", "stroke", "@a"}))
        shell.push_back(a);
    r = lex::test::runChild("/usr/bin/unshare", shell);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("临时文件夹空间不足：" + (m_dir / "tmp").string()), std::string::npos)
        << r.err;
    EXPECT_EQ(readBytes(out()), kOld);
    EXPECT_EQ(lex::test::strays(m_dir / "out", {"out.txt"}), std::vector<std::string>{});
}

} // namespace
