// What a run must never do in silence: read a wrong encoding as garbage, write an output that
// cannot hold what it claims, replace an output while a file beside it fails, leave hidden files
// of a killed run, or say a file could not be opened without naming it and why. And lexcli in a
// pipeline: "-" is standard input and standard output, descriptors are written where they stand.

#include "cli_harness.h"

#include "child_process.h"
#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using lex::test::readBytes;
using lex::test::runLexcli;
using lex::test::TempDir;
using lex::test::writeBytes;

const fs::path kLexcli = LEXCLI_PATH;

// Arguments with "@name" standing for the file `name` of `dir`.
std::vector<std::string> placed(const TempDir &dir, const std::vector<std::string> &args) {
    std::vector<std::string> out;
    for (const std::string &a : args)
        out.push_back(a.starts_with("@") ? (dir / a.substr(1)).string() : a);
    return out;
}

std::vector<std::string> withData(const TempDir &dir, const char *tool,
                                  std::vector<std::string> args) {
    if (tool) {
        fs::copy(fs::path(SUITE_DIR) / tool, dir / "data");
        args.insert(args.begin(), {"--data-dir", (dir / "data").string()});
    }
    return args;
}

// Text whose bytes are not what it claims, and files no reader should take as whole lexicons.
struct ReadRow {
    const char *name;
    const char *file;
    std::string bytes;
    const char *tool; // the data folder, if the operation needs one
    std::vector<std::string> args;
    std::string output;   // what out.txt holds afterwards
    std::string inReport; // in the report (standard output)
    std::string inErr;    // on standard error
};

void PrintTo(const ReadRow &row, std::ostream *os) {
    *os << row.name;
}

std::vector<ReadRow> readRows() {
    return {
        {"mark_with_gbk_body",
         "in.txt",
         "\xEF\xBB\xBF\xD6\xD0\xB9\xFA\r\n\xC8\xCB\xC3\xF1\r\n",
         nullptr,
         {"lexmerge", "union", "@in.txt", "-o", "@out.txt"},
         "",
         "无效的 UTF-8 字节：2 行",
         "in.txt 第 1 行有无效的 UTF-8 字节"},
        // One bad byte in UTF-8 text: the text is UTF-8 all the same, and the line is named.
        {"utf8_with_one_bad_byte",
         "in.txt",
         "人民\n中国\xFF\n你好\n世界\n",
         "phonetag",
         {"phonetag", "annotate", "@in.txt", "-o", "@out.txt"},
         "人ren民min\n",
         "无效的 UTF-8 字节：1 行",
         "in.txt 第 2 行"},
        {"rime_with_one_bad_byte",
         "in.dict.yaml",
         "---\nname: in\n...\n人民\tren min\n中国\xFF\tzhong guo\n",
         nullptr,
         {"lexconv", "convert", "@in.dict.yaml", "-o", "@out.txt", "--to", "rime"},
         "人民\tren min\n",
         "未能转换：1",
         ""},
        {"rime_header_without_end",
         "in.dict.yaml",
         "---\nname: in\nversion: \"1\"\n人民\tren min\n",
         nullptr,
         {"lexconv", "convert", "@in.dict.yaml", "-o", "@out.txt", "--to", "fcitx5"},
         "",
         "转换词条：0",
         "文件头没有结束行“...”"},
        {"cr_only_lines",
         "in.txt",
         "人民\tren min\t1\r你好\tni hao\t2\r",
         nullptr,
         {"lexconv", "convert", "@in.txt", "-o", "@out.txt", "--to", "rime", "--from", "rime"},
         "人民\tren min\t1\n你好\tni hao\t2\n",
         "转换词条：2",
         "单独的 CR 结尾"},
        {"lines_without_entries",
         "in.txt",
         "# 注释\n\n# 又一行\n",
         nullptr,
         {"lexconv", "convert", "@in.txt", "-o", "@out.txt", "--to", "fcitx5", "--from", "rime"},
         "",
         "转换词条：0",
         "没有读到一个词条"},
        // Named, the encoding is the user's: code page 936 bytes read as such, whatever they
        // look like, and the output in code page 936 as for any such input.
        {"input_encoding_gbk",
         "in.txt",
         "\xE4\xB8\xAD\xE5\x9B\xBD\r\n", // valid UTF-8 (中国), meant as code page 936 (涓浗)
         nullptr,
         {"lexmerge", "union", "@in.txt", "-o", "@out.txt", "--input-encoding", "gbk"},
         "\xE4\xB8\xAD\xE5\x9B\xBD\r\n",
         "并集词条：1",
         ""},
    };
}

class Reading : public ::testing::TestWithParam<ReadRow> {};

TEST_P(Reading, SaysWhatItCouldNotRead) {
    const ReadRow &row = GetParam();
    TempDir dir;
    writeBytes(dir / row.file, row.bytes);
    const auto r = runLexcli(withData(dir, row.tool, placed(dir, row.args)));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string output = fs::exists(dir / "out.txt") ? readBytes(dir / "out.txt") : "";
    if (!row.output.empty()) {
        EXPECT_NE(output.find(row.output), std::string::npos) << output;
    }
    EXPECT_NE(r.out.find(row.inReport), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(row.inErr), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Lexcli, Reading, ::testing::ValuesIn(readRows()),
                         [](const auto &info) { return std::string(info.param.name); });

// The rejected Rime line is in the rejects file with its reason.
TEST(Reading, BadBytesOfAUtf8FormatAreRejectsWithTheirReason) {
    TempDir dir;
    writeBytes(dir / "in.dict.yaml", "---\nname: in\n...\n人民\tren min\n中国\xFF\tzhong guo\n");
    const auto r = runLexcli(
        placed(dir, {"lexconv", "convert", "@in.dict.yaml", "-o", "@out.txt", "--to", "quillo"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(readBytes(dir / "out.txt.rejects.txt").find("5\t无效的 UTF-8 字节\t"),
              std::string::npos);
}

// Options that cannot apply are usage errors, not outputs other than asked for.
TEST(Usage, AnEncodingAFormatCannotHaveIsRefused) {
    TempDir dir;
    writeBytes(dir / "in.txt", "人民\tren min\n");
    for (const auto &[to, encoding] : std::vector<std::pair<std::string, std::string>>{
             {"rime", "gbk"}, {"fcitx5", "utf-16le"}, {"qq", "utf-8"}, {"sogou", "utf-8"}}) {
        const auto r = runLexcli(placed(dir, {"lexconv", "convert", "@in.txt", "-o", "@out.txt",
                                              "--to", to, "--output-encoding", encoding}));
        EXPECT_EQ(r.status, 2) << to << " " << encoding;
        EXPECT_NE(r.err.find("--output-encoding 不适用于 " + to), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "out.txt"));
    }
    const auto same = runLexcli(placed(dir, {"lexconv", "convert", "@in.txt", "-o", "@out.txt",
                                             "--to", "rime", "--output-encoding", "utf-8"}));
    EXPECT_EQ(same.status, 0) << same.err;
    // Without --to, an output name only one format takes names the format.
    for (const auto &[name, head] : std::vector<std::pair<std::string, std::string>>{
             {"mine.dict.yaml", "# Rime dictionary"}, {"custom_phrase.txt", "# Rime table"}}) {
        const auto r = runLexcli(placed(dir, {"lexconv", "convert", "@in.txt", "-o", "@" + name}));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(readBytes(dir / name).starts_with(head)) << name;
    }
    EXPECT_EQ(runLexcli(placed(dir, {"lexconv", "convert", "@in.txt", "-o", "@x.txt"})).status, 2);
}

// A file beside the output that cannot be written fails the run before the output is replaced.
struct SideRow {
    const char *name;
    const char *tool;
    std::vector<std::string> args;
    const char *side; // made a folder, so that it cannot be written
};

TEST(SideFiles, ExitOneLeavesTheOldOutput) {
    const SideRow rows[] = {
        {"conversion_rejects",
         "lexconv",
         {"lexconv", "convert", "@in.txt", "-o", "@out.txt", "--to", "rime", "--from", "quillo"},
         "out.txt.rejects.txt"},
        {"correction_log",
         "phonetag",
         {"phonetag", "correct", "@in.txt", "-o", "@out.txt", "--log", "@log"},
         "log"},
        {"review_list",
         "phonetag",
         {"phonetag", "annotate", "@in.txt", "-o", "@out.txt", "--review", "@list"},
         "list"},
    };
    for (const SideRow &row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        writeBytes(dir / "in.txt", "中zhong国guo\r\n人民\r\nx y\r\n");
        writeBytes(dir / "out.txt", "OLD\n");
        fs::create_directory(dir / row.side);
        const auto r = runLexcli(withData(dir, row.tool, placed(dir, row.args)));
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE(r.err.find(row.side), std::string::npos) << r.err;
        EXPECT_EQ(readBytes(dir / "out.txt"), "OLD\n");
        for (const auto &e : fs::directory_iterator(dir.path()))
            EXPECT_FALSE(e.path().filename().string().starts_with(".lex~")) << e.path();
    }
}

// What a killed run left beside an output goes with the next run there; a file a live run holds
// stays.
TEST(Leftovers, TheNextRunRemovesWhatAKilledOneLeft) {
    TempDir dir;
    writeBytes(dir / "in.txt", "中国\r\n");
    writeBytes(dir / ".lex~Gone01", "half");
    writeBytes(dir / ".lex~Held01", "being written");
    writeBytes(dir / ".lex~other", "no name of ours");
    const int held = ::open((dir / ".lex~Held01").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const auto r = runLexcli(placed(dir, {"lexsort", "pinyin", "@in.txt", "-o", "@out.txt"}));
    ::close(held);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(dir / ".lex~Gone01"));
    EXPECT_TRUE(fs::exists(dir / ".lex~Held01"));
    EXPECT_TRUE(fs::exists(dir / ".lex~other"));
}

// A missing or unreadable input: the window's message, and which file and why.
TEST(Messages, AnInputThatCannotBeOpenedIsNamed) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    const std::string missing = (dir / "missing.txt").string(), folder = (dir / "folder").string();
    struct Row {
        const char *tool;
        std::vector<std::string> args;
        std::string message;
    } rows[] = {
        {nullptr, {"lexconv", "convert", missing, "--to", "rime"}, "打开词库失败！"},
        {"phonetag", {"phonetag", "annotate", missing}, "打开词库失败！"},
        {"phonetag", {"phonetag", "clear", missing}, "打开词库失败！"},
        {"pintop", {"pintop", "generate", missing}, "打开词库失败！"},
        {nullptr, {"lexsift", "filter", missing, "--non-gb2312"}, "打开词库失败！"},
        {nullptr, {"lexsort", "pinyin", missing}, "打开原始文件失败！"},
        {nullptr, {"lexsort", "length", folder}, "打开原始文件失败！"},
        {nullptr, {"lexupdate", "update", missing}, "打开原始词库失败！"},
    };
    for (Row &row : rows) {
        TempDir run;
        row.args.insert(row.args.end(), {"-o", (run / "out.txt").string()});
        const auto r = runLexcli(withData(run, row.tool, row.args));
        EXPECT_EQ(r.status, 1) << row.args[0] << " " << row.args[1];
        const std::string why =
            row.args[2] == folder ? "不是文件：" + folder : "文件不存在：" + missing;
        EXPECT_NE(r.err.find(row.message + why), std::string::npos) << r.err;
    }
}

// Through a shell, as a pipeline writes it.
lex::test::ChildResult shell(const TempDir &dir, const std::string &script) {
    lex::test::ChildOptions options;
    options.workDir = dir.path();
    options.env = {"LEXCLI=" + kLexcli.string()};
    return lex::test::runChild("/bin/bash", {"-c", script}, options, 60s);
}

TEST(Pipelines, StreamsInAndOut) {
    TempDir dir;
    writeBytes(dir / "a.txt", "中国\r\n人民\r\n");
    writeBytes(dir / "b.txt", "人民\r\n你好\r\n");
    const std::string merged = "中国\r\n人民\r\n你好\r\n";
    struct Row {
        const char *name;
        std::string script;
        std::string file;     // where the lines go
        std::string expected; // what it holds then
    } rows[] = {
        {"stdin_to_stdout", "$LEXCLI lexmerge union - b.txt -o - < a.txt > got", "got", merged},
        {"dev_stdin", "cat a.txt | $LEXCLI lexmerge union /dev/stdin b.txt -o got.txt", "got.txt",
         merged},
        {"process_substitution", "$LEXCLI lexmerge union <(cat a.txt) b.txt -o got.txt", "got.txt",
         merged},
        // An output on a descriptor is written where it stands: ">>" appends.
        {"dev_stdout_appends",
         "echo PREV > log; $LEXCLI lexmerge union a.txt b.txt -o /dev/stdout >> log", "log",
         "PREV\n" + merged},
        {"dev_fd_appends",
         "echo PREV > log; $LEXCLI lexmerge union a.txt b.txt -o /dev/fd/3 3>>log", "log",
         "PREV\n" + merged},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = shell(dir, row.script);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(readBytes(dir / row.file), row.expected);
        fs::remove(dir / row.file);
        // The report goes to standard error when the lines take standard output.
        if (row.script.find("/dev/stdout") != std::string::npos ||
            row.script.find("-o -") != std::string::npos) {
            EXPECT_NE(r.err.find("并集词条：3"), std::string::npos) << r.err;
        }
        EXPECT_FALSE(fs::exists(dir / "-"));
    }
}

} // namespace
