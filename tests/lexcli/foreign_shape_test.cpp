// Rime, fcitx5, libpinyin and custom-phrase lexicons through the tools that are not converters:
// each operation writes the golden bytes of tests/data/shape (header kept, the name following
// the output, entries by word and code, weights merged by the stated rule, every column kept),
// and the formats' own compilers accept what they write for Debian's dictionaries.
#include "cli_harness.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;

const fs::path kShape = SHAPE_DIR;

struct Row {
    std::string name;
    std::vector<std::string> args;   // "@x" is tests/data/shape/x; the output follows
    std::string output;              // the output's file name, also the golden file's suffix
    std::vector<std::string> report; // lines the report must hold
};

void PrintTo(const Row &r, std::ostream *os) {
    *os << r.name;
}

class ForeignShape : public ::testing::TestWithParam<Row> {};

TEST_P(ForeignShape, WritesTheGoldenBytes) {
    const Row &row = GetParam();
    lex::test::TempDir dir;
    std::vector<std::string> args = {"--data-dir", (fs::path(SUITE_DIR) / "phonetag").string()};
    for (const std::string &a : row.args) {
        if (!a.starts_with("@")) {
            args.push_back(a);
            continue;
        }
        // A copy, so that the name a Rime output follows is the test's own.
        fs::copy_file(kShape / a.substr(1), dir / a.substr(1));
        args.push_back((dir / a.substr(1)).string());
    }
    const fs::path out = dir / row.output;
    args.insert(args.end(), {"-o", out.string()});
    const lex::test::CliRun run = lex::test::runLexcli(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const fs::path golden = kShape / "expected" / (row.name + "." + row.output);
    if (std::getenv("LEX_WRITE_GOLDEN"))
        fs::copy_file(out, golden, fs::copy_options::overwrite_existing);
    EXPECT_EQ(readBytes(out), readBytes(golden)) << run.out;
    for (const std::string &line : row.report)
        EXPECT_NE(run.out.find(line + "\n"), std::string::npos) << line << "\n" << run.out;
}

const std::string kKept = "格式：rime，文件头 13 行原样保留，非词条行 2 行（放在词条之前）";

INSTANTIATE_TEST_SUITE_P(
    Tools, ForeignShape,
    ::testing::Values(
        // Sorts: entries only, equal ones in their order; the comment stays before them.
        Row{"pinyin",
            {"lexsort", "pinyin", "@mine.dict.yaml"},
            "out.dict.yaml",
            {kKept, "词典名：mine 改为 out（随输出文件名）", "处理词条：6"}},
        Row{"stroke", {"lexsort", "stroke", "@mine.dict.yaml"}, "out.dict.yaml"},
        Row{"length", {"lexsort", "length", "@mine.dict.yaml"}, "out.dict.yaml"},
        Row{"weight", {"lexsort", "weight", "@mine.dict.yaml"}, "out.dict.yaml"},
        Row{"reference",
            {"lexsort", "reference", "@mine.dict.yaml", "@words.txt"},
            "out.dict.yaml"},
        Row{"custom", {"lexsort", "pinyin", "@custom_phrase.txt"}, "custom_phrase.txt"},
        Row{"fcitx5-weight", {"lexsort", "weight", "@pinyin.fcitx5.txt"}, "out.txt"},
        // Set operations by word and code, the weight rule stated.
        Row{"union",
            {"lexmerge", "union", "@mine.dict.yaml", "@two.dict.yaml"},
            "out.dict.yaml",
            {"按词和编码比较，合并权重（max）：4 条", "词库二的文件头与非词条行未写出：5 行",
             "并集词条：6"}},
        Row{"union-sum",
            {"lexmerge", "union", "@mine.dict.yaml", "@two.dict.yaml", "--weights", "sum"},
            "out.dict.yaml"},
        Row{"union-second",
            {"lexmerge", "union", "@mine.dict.yaml", "@two.dict.yaml", "--weights", "second"},
            "out.dict.yaml"},
        Row{"intersect",
            {"lexmerge", "intersect", "@mine.dict.yaml", "@two.dict.yaml"},
            "out.dict.yaml",
            {"交集词条：3"}},
        Row{"difference",
            {"lexmerge", "difference", "@mine.dict.yaml", "@two.dict.yaml"},
            "out.dict.yaml"},
        Row{"delete-words",
            {"lexmerge", "delete", "@mine.dict.yaml", "@words.txt"},
            "out.dict.yaml",
            {"按词比较，合并权重（max）：1 条", "剩余词条：4"}},
        Row{"by-word",
            {"lexmerge", "union", "@mine.dict.yaml", "@codeless.dict.yaml", "--by-word"},
            "out.dict.yaml"},
        Row{"fcitx5-sum",
            {"lexmerge", "union", "@pinyin.fcitx5.txt", "--weights", "sum"},
            "out.txt",
            {"格式：fcitx5"}},
        // phonetag on the code column.
        Row{"dedup",
            {"phonetag", "dedup", "@mine.dict.yaml"},
            "out.dict.yaml",
            {"删除重复词条：1", "共计词条：5"}},
        Row{"libpinyin-dedup", {"phonetag", "dedup", "@phrases.libpinyin.txt"}, "out.txt"},
        Row{"annotate",
            {"phonetag", "annotate", "@codeless.dict.yaml"},
            "out.dict.yaml",
            {"注音词条：2"}},
        Row{"clear", {"phonetag", "clear", "@mine.dict.yaml"}, "out.dict.yaml"},
        Row{"extract",
            {"phonetag", "extract", "@codeless.dict.yaml"},
            "out.dict.yaml",
            {"去掉没有编码的词条：2"}},
        Row{"correct",
            {"phonetag", "correct", "@mine.dict.yaml", "--list", "@list.txt"},
            "out.dict.yaml",
            {"修正拼音：2"}},
        // Filters and the update.
        Row{"article",
            {"lexsift", "article", "@mine.dict.yaml", "@article.txt"},
            "out.dict.yaml",
            {"本次筛出词条：3"}},
        Row{"sift",
            {"lexsift", "filter", "@mine.dict.yaml", "--length", "2", "2"},
            "out.dict.yaml",
            {"本次筛出词条：4"}},
        Row{"update",
            {"lexupdate", "update", "@mine.dict.yaml", "--user", "@two.dict.yaml", "--waste",
             "@words.txt"},
            "out.dict.yaml",
            {"原始词库词条：5", "增加词条：1", "删除词条：2", "新词库词条：4"}},
        // The exports that put the code before the word (QQ in UTF-16, Sogou in GBK): words
        // beyond the first column, one beyond the BMP among them.
        Row{"qq-dedup",
            {"phonetag", "dedup", "@export.qq.txt"},
            "out.txt",
            {"格式：qq", "删除重复词条：2", "共计词条：6"}},
        Row{"qq-weight", {"lexsort", "weight", "@export.qq.txt"}, "out.txt"},
        Row{"qq-union-baidu",
            {"lexmerge", "union", "@export.qq.txt", "@export.baidu.txt", "--weights", "sum"},
            "out.txt",
            {"按词和编码比较，合并权重（sum）：3 条", "并集词条：7"}},
        Row{"sogou-pinyin", {"lexsort", "pinyin", "@export.sogou.txt"}, "out.txt"},
        // --to: the result, as the tool writes it, converted as lexconv converts.
        Row{"to-fcitx5",
            {"lexsort", "pinyin", "@mine.dict.yaml", "--to", "fcitx5"},
            "out.txt",
            {"处理词条：6", "转换为 fcitx5：6 条", "跳过的行：15"}},
        Row{"to-rime",
            {"phonetag", "dedup", "@own.txt", "--to", "rime"},
            "out.dict.yaml",
            {"删除重复词条：1", "转换为 rime：2 条"}}),
    [](const auto &info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

// Adjusting the readings of the suite's lines has no meaning for a code column: refused, with
// the file named, and nothing written.
TEST(ForeignShapeRefusals, AdjustIsRefusedAndWritesNothing) {
    lex::test::TempDir dir;
    fs::copy_file(kShape / "mine.dict.yaml", dir / "mine.dict.yaml");
    const lex::test::CliRun run = lex::test::runLexcli(
        {"--data-dir", (fs::path(SUITE_DIR) / "phonetag").string(), "phonetag", "adjust",
         (dir / "mine.dict.yaml").string(), "-o", (dir / "out.dict.yaml").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("调整赘拼欠拼只用于本套词库格式"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("mine.dict.yaml"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "out.dict.yaml"));
}

// Bytes that are no UTF-8 in a format that is UTF-8 only would come back as U+FFFD: the lexicon
// is refused, its line named, and nothing is written.
TEST(ForeignShapeRefusals, InvalidUtf8IsRefusedWithItsLine) {
    lex::test::TempDir dir;
    lex::test::writeBytes(dir / "bad.dict.yaml", "---\nname: bad\nversion: \"1\"\n...\n"
                                                 "人民\tren min\t1\n\xff\xfe坏\thuai\t2\n");
    const lex::test::CliRun run =
        lex::test::runLexcli({"lexsort", "pinyin", (dir / "bad.dict.yaml").string(), "-o",
                              (dir / "out.dict.yaml").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("bad.dict.yaml 第 6 行有无效的 UTF-8 字节"), std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(dir / "out.dict.yaml"));
}

// A lexicon two that cannot be read is refused for its own reason, named, by every set
// operation: a folder or a FIFO is not "missing", and a FIFO without a writer does not hang.
TEST(ForeignShapeRefusals, LexiconTwoIsRefusedForItsOwnReason) {
    lex::test::TempDir dir;
    fs::copy_file(kShape / "mine.dict.yaml", dir / "mine.dict.yaml");
    fs::create_directory(dir / "folder.dict.yaml");
    ASSERT_EQ(::mkfifo((dir / "fifo.dict.yaml").c_str(), 0600), 0);
    lex::test::writeBytes(dir / "binary.dict.yaml", std::string("---\nname: b\n...\n\0\1\2", 18));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"missing.dict.yaml", "文件不存在："},
        {"folder.dict.yaml", "不是文件："},
        {"fifo.dict.yaml", "不是普通文件："},
        {"binary.dict.yaml", "不是文本文件："}};
    for (const char *op : {"union", "intersect", "difference", "delete"})
        for (const auto &[two, reason] : cases) {
            const lex::test::CliRun run = lex::test::runLexcli(
                {"lexmerge", op, (dir / "mine.dict.yaml").string(), (dir / two).string(), "-o",
                 (dir / "out.dict.yaml").string()});
            EXPECT_EQ(run.status, 1) << op << ' ' << two;
            EXPECT_NE(run.err.find(reason + (dir / two).string()), std::string::npos)
                << op << ' ' << two << ": " << run.err;
            EXPECT_FALSE(fs::exists(dir / "out.dict.yaml")) << op << ' ' << two;
        }
}

// pintop makes its fixed-top lines of the entries alone: a codeless word gets its readings, a
// character beyond GBK stays whole, and the header and comments are counted, not read as words.
TEST(ForeignShapeInputs, PintopGeneratesFromTheEntries) {
    lex::test::TempDir dir;
    const lex::test::CliRun run = lex::test::runLexcli(
        {"--data-dir", (fs::path(SUITE_DIR) / "pintop").string(), "pintop", "generate",
         (kShape / "codeless.dict.yaml").string(), "-o", (dir / "out.txt").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readBytes(dir / "out.txt"), "zhongqing=重庆\nnihao=你好\nyinxing=银行\nji=𠮷\n");
    EXPECT_NE(run.out.find("格式：rime，非词条行 7 行未用\n固顶词库词条：4\n"), std::string::npos)
        << run.out;
}

// --to takes a writable format that can hold the output's encoding, and leaves nothing of the
// tool's own output behind, whether the run writes or fails.
TEST(ForeignShapeRefusals, ToNamesAWritableFormatAndLeavesNoStagedOutput) {
    lex::test::TempDir dir;
    fs::create_directory(dir / "tmp");
    fs::copy_file(kShape / "mine.dict.yaml", dir / "mine.dict.yaml");
    auto sort = [&](std::vector<std::string> more, const std::string &input = "mine.dict.yaml") {
        std::vector<std::string> args = {"lexsort",
                                         "pinyin",
                                         (dir / input).string(),
                                         "-o",
                                         (dir / "out.txt").string(),
                                         "--temp-dir",
                                         (dir / "tmp").string()};
        args.insert(args.end(), more.begin(), more.end());
        return lex::test::runLexcli(args);
    };
    for (const auto &bad :
         std::vector<std::vector<std::string>>{{"--to", "rime-userdb"},
                                               {"--to", "nonesuch"},
                                               {"--to", "rime", "--output-encoding", "gbk"}}) {
        const lex::test::CliRun run = sort(bad);
        EXPECT_EQ(run.status, 2) << bad[1];
        EXPECT_NE(run.err.find("--"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
    EXPECT_EQ(sort({"--to", "fcitx5"}, "missing.dict.yaml").status, 1);
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
    EXPECT_EQ(sort({"--to", "fcitx5"}).status, 0);
    EXPECT_TRUE(fs::exists(dir / "out.txt"));
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

// Runs a shell command in `dir`; its exit status, its output in `output`.
int shell(const fs::path &dir, const std::string &command, std::string &output) {
    const fs::path log = dir / "command.log";
    const std::string line =
        "cd '" + dir.string() + "' && " + command + " > '" + log.string() + "' 2>&1";
    const int status = std::system(line.c_str());
    output = readBytes(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What librime collected of dictionary `name` in `dir` (text, code, weight), compiled by its
// deployer.
std::multiset<std::string> compiled(const fs::path &dir, const std::string &name) {
    lex::test::writeBytes(dir / (name + ".schema.yaml"),
                          "schema:\n  schema_id: " + name + "\n  name: t\n  version: \"1\"\n" +
                              "engine:\n  translators:\n    - script_translator\n" +
                              "translator:\n  dictionary: " + name + "\n");
    std::string log;
    EXPECT_EQ(shell(dir, "rime_deployer --compile " + name + ".schema.yaml . . build", log), 0)
        << log;
    std::multiset<std::string> rows;
    std::ifstream in(dir / "build" / (name + ".table.txt"));
    for (std::string line; std::getline(in, line);)
        if (!line.starts_with("#"))
            rows.insert(line);
    return rows;
}

class DebianDictionary : public ::testing::TestWithParam<std::string> {};

// librime builds the same table from our sorted, deduplicated, merged, updated and filtered
// copies of its own dictionaries as from the dictionaries themselves.
TEST_P(DebianDictionary, CompilesToTheSameTableAfterEveryTool) {
    const std::string name = GetParam();
    lex::test::TempDir dir;
    const fs::path source = dir / (name + ".dict.yaml");
    fs::copy_file(fs::path(RIME_DATA) / (name + ".dict.yaml"), source);
    const std::multiset<std::string> original = compiled(dir.path(), name);
    ASSERT_GT(original.size(), 60000u);
    const std::vector<std::vector<std::string>> runs = {
        {"lexsort", "pinyin", source.string()},
        {"lexsort", "weight", source.string()},
        {"phonetag", "dedup", source.string()},
        {"lexmerge", "union", source.string(), source.string()},
        {"lexupdate", "update", source.string(), "--user", source.string()},
        {"lexsift", "filter", source.string(), "--length", "1", "99"},
    };
    for (size_t i = 0; i < runs.size(); ++i) {
        const std::string out = "out" + std::to_string(i);
        std::vector<std::string> args = runs[i];
        args.insert(args.end(), {"-o", (dir / (out + ".dict.yaml")).string()});
        const lex::test::CliRun run = lex::test::runLexcli(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(original == compiled(dir.path(), out)) << args[0] << " " << args[1];
    }
}

INSTANTIATE_TEST_SUITE_P(Debian, DebianDictionary,
                         ::testing::Values("pinyin_simp", "luna_pinyin", "terra_pinyin"));

// Many entries, repeats near and far apart (within and beyond how far ahead the index looks):
// each key once, where it first came, its weights merged; the same for a repeat that only the
// second lexicon brings.
TEST(ForeignShapeBig, RepeatsNearAndFarAreFoldedIntoTheFirst) {
    lex::test::TempDir dir;
    const char *chars[] = {"天", "地", "玄", "黄", "宇", "宙", "洪", "荒",
                           "日", "月", "盈", "昃", "辰", "宿", "列", "张"};
    auto word = [&](int k) { return std::string(chars[k % 16]) + chars[k / 16 % 16]; };
    auto code = [](int k) { return "c" + std::to_string(k % 16) + " d" + std::to_string(k / 16); };
    std::string one = "---\nname: one\nversion: \"1\"\n...\n", two = "# two\n";
    std::vector<int> order; // the keys in order of first appearance
    std::map<int, long> sum;
    auto add = [&](std::string &text, int k, long w) {
        text += word(k) + "\t" + code(k) + "\t" + std::to_string(w) + "\n";
        if (!sum.count(k))
            order.push_back(k);
        sum[k] += w;
    };
    for (int i = 0; i < 200; ++i) {
        add(one, i, i + 1);
        if (i >= 1 && i % 3 == 0)
            add(one, i - 1, 1000); // the next line
        if (i >= 40 && i % 7 == 0)
            add(one, i - 37, 10); // far back
    }
    for (int i = 150; i < 260; i += 2)
        add(two, i, 5);
    lex::test::writeBytes(dir / "one.dict.yaml", one);
    lex::test::writeBytes(dir / "two.dict.yaml", two);
    const lex::test::CliRun run = lex::test::runLexcli(
        {"lexmerge", "union", (dir / "one.dict.yaml").string(), (dir / "two.dict.yaml").string(),
         "--weights", "sum", "-o", (dir / "out.dict.yaml").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string expected = "---\nname: out\nversion: \"1\"\n...\n";
    for (int k : order)
        expected += word(k) + "\t" + code(k) + "\t" + std::to_string(sum[k]) + "\n";
    EXPECT_EQ(readBytes(dir / "out.dict.yaml"), expected);
}

// Lexicon two's repeats meet lexicon one's and each other's in any order of kinds (no weight, a
// share, a count): with the larger and the first weight the union of one and two must equal
// folding one followed by two's lines in a single pass (the union of their concatenation with
// two, which then brings nothing new).
TEST(ForeignShapeBig, UnionFoldsLexiconTwoAsOnePassWould) {
    lex::test::TempDir dir;
    lex::test::Lcg next{7};
    const char *chars[] = {"春", "夏", "秋", "冬", "东", "南", "西", "北"};
    auto line = [&](uint32_t k) {
        std::string text = std::string(chars[k % 8]) + chars[k / 8 % 8] + "\tc" +
                           std::to_string(k % 5) + " d" + std::to_string(k / 40);
        switch (next(3)) {
        case 0:
            return text + "\n";
        case 1:
            return text + "\t" + std::to_string(1 + next(30)) + "%\n";
        default:
            return text + "\t" + std::to_string(next(1000)) + "\n";
        }
    };
    const std::string head = "---\nname: one\nversion: \"1\"\n...\n";
    std::string one, two;
    for (int i = 0; i < 500; ++i)
        one += line(next(200));
    for (int i = 0; i < 500; ++i)
        two += line(100 + next(200));
    lex::test::writeBytes(dir / "one.dict.yaml", head + one);
    lex::test::writeBytes(dir / "two.dict.yaml", two);
    lex::test::writeBytes(dir / "both.dict.yaml", head + one + two);
    for (const char *rule : {"max", "first"}) {
        std::string outputs[2];
        for (int k = 0; k < 2; ++k) {
            const lex::test::CliRun run = lex::test::runLexcli(
                {"lexmerge", "union", (dir / (k ? "both.dict.yaml" : "one.dict.yaml")).string(),
                 (dir / "two.dict.yaml").string(), "--weights", rule, "-o",
                 (dir / "out.dict.yaml").string()});
            ASSERT_EQ(run.status, 0) << run.err;
            outputs[k] = readBytes(dir / "out.dict.yaml");
        }
        EXPECT_EQ(outputs[0], outputs[1]) << rule;
        EXPECT_GT(outputs[0].size(), 200 * 10u);
    }
}

// Repeats of words the index cannot note beside its slots (longer than 65,535 units), next to
// short ones that share their code: each is folded into its first, in dedup and in union.
TEST(ForeignShapeBig, RepeatsOfVeryLongWordsAreFolded) {
    lex::test::TempDir dir;
    std::string longWord, longer;
    for (int i = 0; i < 70000; ++i)
        longWord += "长";
    longer = longWord + "长";
    const std::string head = "---\nname: one\nversion: \"1\"\n...\n";
    const std::string one = head + longWord + "\tchang\t3\n" + "长\tchang\t1\n" + longer +
                            "\tchang\t4\n" + longWord + "\tchang\t9\n" + "长\tchang\t2\n";
    lex::test::writeBytes(dir / "one.dict.yaml", one);
    lex::test::writeBytes(dir / "two.dict.yaml",
                          longer + "\tchang\t7\n" + longWord + "\tzhang\t5\n");
    const std::string expected = "---\nname: out\nversion: \"1\"\n...\n" + longWord +
                                 "\tchang\t9\n" + "长\tchang\t2\n" + longer + "\tchang\t";
    lex::test::CliRun run =
        lex::test::runLexcli({"phonetag", "dedup", (dir / "one.dict.yaml").string(), "-o",
                              (dir / "out.dict.yaml").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readBytes(dir / "out.dict.yaml"), expected + "4\n");
    run = lex::test::runLexcli({"lexmerge", "union", (dir / "one.dict.yaml").string(),
                                (dir / "two.dict.yaml").string(), "-o",
                                (dir / "out.dict.yaml").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readBytes(dir / "out.dict.yaml"), expected + "7\n" + longWord + "\tzhang\t5\n");
}

// The sorts of held entries on a few thousand of them: words that share their first units or
// are alike (and one beyond the BMP; "a" and "A", which pinyin order holds equal), weights that
// tie, shares and entries without a weight.
// stroke orders by code units, weight by falling weight within counts, shares and none, and
// pinyin keeps the lines of one word in file order; each keeps file order among equals.
TEST(ForeignShapeBig, SortsKeepFileOrderAmongEqualsOnManyEntries) {
    lex::test::TempDir dir;
    const char *chars[] = {"一", "丁", "中", "\xF0\xA0\xAE\xB7", "a", "好", "人", "天", "A"};
    lex::test::Lcg next{12345};
    struct Line {
        std::string word, text;
        int group; // 0 counts, 1 shares, 2 none
        long weight;
    };
    std::vector<Line> lines;
    const std::string head = "---\nname: in\nversion: \"1\"\n...\n";
    std::string in = head;
    for (int i = 0; i < 3000; ++i) {
        std::string word;
        for (uint32_t n = 1 + next(7), k = 0; k < n; ++k)
            word += chars[next(4) == 0 ? next(9) : next(3)]; // mostly 一丁中: shared heads
        Line l{word, word + "\tc" + std::to_string(i), int(next(3)), long(next(20))};
        if (l.group == 0)
            l.text += "\t" + std::to_string(l.weight);
        else if (l.group == 1)
            l.text += "\t" + std::to_string(l.weight) + "%";
        lines.push_back(l);
        in += l.text + "\n";
    }
    lex::test::writeBytes(dir / "in.dict.yaml", in);
    auto sorted = [&](const std::string &order) {
        const lex::test::CliRun run =
            lex::test::runLexcli({"lexsort", order, (dir / "in.dict.yaml").string(), "-o",
                                  (dir / "out.dict.yaml").string()});
        EXPECT_EQ(run.status, 0) << run.err;
        return readBytes(dir / "out.dict.yaml");
    };
    auto text = [&](const std::vector<Line> &ordered) {
        std::string t = "---\nname: out\nversion: \"1\"\n...\n";
        for (const Line &l : ordered)
            t += l.text + "\n";
        return t;
    };
    // UTF-8 orders as UTF-16 code units do for these characters (none in U+E000..U+FFFF).
    std::vector<Line> model = lines;
    std::stable_sort(model.begin(), model.end(),
                     [](const Line &a, const Line &b) { return a.word < b.word; });
    EXPECT_EQ(sorted("stroke"), text(model));
    model = lines;
    std::stable_sort(model.begin(), model.end(), [](const Line &a, const Line &b) {
        if (a.group != b.group)
            return a.group < b.group;
        return a.group < 2 && a.weight > b.weight;
    });
    EXPECT_EQ(sorted("weight"), text(model));
    // pinyin: every line once, and the lines of one word in file order.
    const std::string pinyin = sorted("pinyin");
    std::map<std::string, std::vector<std::string>> byWord, seen;
    for (const Line &l : lines)
        byWord[l.word].push_back(l.text);
    std::string body = pinyin.substr(pinyin.find("...\n") + 4);
    for (size_t from = 0, to; (to = body.find('\n', from)) != std::string::npos; from = to + 1) {
        const std::string line = body.substr(from, to - from);
        seen[line.substr(0, line.find('\t'))].push_back(line);
    }
    EXPECT_EQ(seen, byWord);
}

// lexsift writes the entries it keeps as it reads them. A comment or blank line after an entry
// still goes before all entries, as when the lexicon is held whole; a lexicon of no entries
// keeps its header; a bad byte found late leaves no output and no temporary file behind.
TEST(ForeignShapeSift, StreamedFilterWritesWhatTheHeldLexiconWould) {
    lex::test::TempDir dir;
    const std::string head = "---\nname: in\nversion: \"1\"\n...\n";
    struct Case {
        const char *name;
        std::string body, expected; // expected: the output's body, "" for a refusal
    };
    const std::string bad = "\xE4\xBD\n"; // a cut-off character
    const Case cases[] = {
        {"late-comment", "# top\n你好\tni hao\t3\n好\thao\t1\n\n# later\n世界\tshi jie\t2\n",
         "# top\n\n# later\n你好\tni hao\t3\n世界\tshi jie\t2\n"},
        {"no-entries", "# only a comment\n\n", "# only a comment\n\n"},
        {"entries-only", "好\thao\t1\n中国\tzhong guo\t9\n", "中国\tzhong guo\t9\n"},
        {"bad-byte",
         "中国\tzhong guo\t9\n" + std::string(5000, 'x').insert(0, "很长\tx\t") + "\n" + bad, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path in = dir / (std::string(c.name) + ".dict.yaml");
        const fs::path out = dir / "out" / "out.dict.yaml";
        fs::create_directories(out.parent_path());
        lex::test::writeBytes(in, head + c.body);
        const lex::test::CliRun run = lex::test::runLexcli(
            {"lexsift", "filter", in.string(), "--length", "2", "2", "-o", out.string()});
        if (c.expected.empty()) {
            EXPECT_NE(run.status, 0);
            EXPECT_NE(run.err.find("无效的 UTF-8"), std::string::npos) << run.err;
            EXPECT_NE(run.err.find(in.filename().string()), std::string::npos) << run.err;
            EXPECT_TRUE(fs::is_empty(out.parent_path()));
        } else {
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(readBytes(out), "---\nname: out\nversion: \"1\"\n...\n" + c.expected);
        }
        fs::remove_all(out.parent_path());
    }
}

// librime compiles the suite's own lexicon sorted into a dict.yaml by --to, every entry in it.
TEST(ForeignClients, LibrimeCompilesAnOwnLexiconWrittenAsRime) {
    lex::test::TempDir dir;
    fs::copy_file(kShape / "own.txt", dir / "own.txt");
    const lex::test::CliRun run =
        lex::test::runLexcli({"lexsort", "pinyin", (dir / "own.txt").string(), "-o",
                              (dir / "sorted.dict.yaml").string(), "--to", "rime"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::multiset<std::string> rows = compiled(dir.path(), "sorted");
    EXPECT_EQ(rows.count("中国\tzhong guo\t0"), 2u);
    EXPECT_EQ(rows.count("你好\tni hao\t0"), 1u);
}

// libime compiles our merged fcitx5 lexicon: no line its compiler would abort on.
TEST(ForeignClients, LibimeCompilesAMergedFcitx5Lexicon) {
    lex::test::TempDir dir;
    fs::copy_file(kShape / "pinyin.fcitx5.txt", dir / "in.txt");
    const lex::test::CliRun run =
        lex::test::runLexcli({"lexmerge", "union", (dir / "in.txt").string(), "--weights", "sum",
                              "-o", (dir / "out.txt").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string log;
    ASSERT_EQ(shell(dir.path(), "libime_pinyindict out.txt out.dict", log), 0) << log;
    ASSERT_EQ(shell(dir.path(), "libime_pinyindict -d out.dict dump.txt", log), 0) << log;
    EXPECT_NE(readBytes(dir / "dump.txt").find("中国 zhong'guo -1.02356"), std::string::npos)
        << readBytes(dir / "dump.txt");
}

} // namespace
