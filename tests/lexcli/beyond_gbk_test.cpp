// Characters beyond code page 936. When the output holds every character (a UTF-8 or UTF-16
// output), each of them is a character of the word in every engine: no line is merged into
// another or emptied. With a code page 936 output the rules of the word stay as they are, and
// the report counts every line that lost a character, whether a "?" stands for it or not.

#include "cli_harness.h"

#include "shared/lexcore/cp936.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;

// Extension A and B ideographs, an emoji, and a word that starts with a character beyond the
// basic plane.
constexpr char16_t kInput[] = u"中国\n𠀀𠀁\n𠀀\n㐀\n笑😀\n𠮷野家\n";

struct Row {
    const char *name;
    const char *tool; // the data folder
    std::vector<std::string> args;
    const char16_t *wide; // the UTF-8 output of a UTF-8 input
    int64_t narrowLost;   // the count "无法用 GBK 表示的字符" with a code page 936 output
    const char16_t *input = kInput;
};

const char16_t kAll[] = u"中国\n𠀀𠀁\n𠀀\n㐀\n笑😀\n𠮷野家\n";

std::vector<Row> rows() {
    return {
        {"lexmerge_union", "lexmerge", {"lexmerge", "union", "@in"}, kAll, 5},
        {"lexmerge_union_partitions",
         "lexmerge",
         {"lexmerge", "union", "@in", "--memory", "1K"},
         kAll,
         5},
        {"lexmerge_difference",
         "lexmerge",
         {"lexmerge", "difference", "@in", "@other"},
         u"中国\n𠀀𠀁\n㐀\n笑😀\n𠮷野家\n人民\n",
         5},
        {"lexupdate_update",
         "Quillo词库更新",
         {"lexupdate", "update", "@in"},
         u"中国\n𠀀𠀁\n笑😀\n𠮷野家\n",
         5},
        {"phonetag_dedup", "phonetag", {"phonetag", "dedup", "@in"}, kAll, 5},
        {"phonetag_clear", "phonetag", {"phonetag", "clear", "@in"}, kAll, 5},
        {"phonetag_annotate",
         "phonetag",
         {"phonetag", "annotate", "@in"},
         u"中zhong国guo\n𠀀𠀁\n𠀀\n㐀\n笑xiao😀\n𠮷野ye家jia\n",
         5},
        // A leading character without a reading is the word's first, no junk before it.
        {"phonetag_annotate_leading",
         "phonetag",
         {"phonetag", "annotate", "@in"},
         u"㐀字zi\n😀表biao情qing\n𠮷野ye家jia\n㐀\n中zhong国guo\n",
         4,
         u"㐀字\n😀表情\n𠮷野家\n㐀\n中国\n"},
        {"pintop_generate",
         "pintop",
         {"pintop", "generate", "@in"},
         u"zhongguo=中国\n=𠀀𠀁\n=𠀀\n=㐀\nxiao=笑😀\nyejia=𠮷野家\n",
         5},
        {"lexsift_length", "lexsift", {"lexsift", "filter", "@in", "--length", "1", "9"}, kAll, 5},
    };
}

void PrintTo(const Row &row, std::ostream *os) {
    *os << row.name;
}

struct Outcome {
    int status;
    std::string report, err, output;
};

// Runs the row in a fresh folder: the input in `inputBytes`, the output in `encoding` (empty:
// the input decides).
Outcome runRow(const Row &row, const std::string &inputBytes, const std::string &encoding) {
    lex::test::TempDir dir;
    lex::test::writeBytes(dir / "in.txt", inputBytes);
    lex::test::writeBytes(dir / "other.txt", lex::toUtf8(u"𠀀\n人民\n"));
    const fs::path data = dir / "data";
    fs::copy(fs::path(SUITE_DIR) / row.tool, data);
    std::vector<std::string> args = {"--data-dir", data.string()};
    for (const std::string &a : row.args)
        args.push_back(a == "@in"      ? (dir / "in.txt").string()
                       : a == "@other" ? (dir / "other.txt").string()
                                       : a);
    args.insert(args.end(), {"-o", (dir / "out.txt").string()});
    if (!encoding.empty())
        args.insert(args.end(), {"--output-encoding", encoding});
    const lex::test::CliRun r = lex::test::runLexcli(args);
    return {r.status, r.out, r.err, fs::exists(dir / "out.txt") ? readBytes(dir / "out.txt") : ""};
}

class BeyondGbk : public ::testing::TestWithParam<Row> {};

// Guards the merge of such lines into the placeholder, their loss from words and keys, and a
// leading one taken for junk, whichever way the text came in.
TEST_P(BeyondGbk, WideOutputsKeepEveryCharacter) {
    const Row &row = GetParam();
    const Outcome utf8 = runRow(row, lex::toUtf8(row.input), "");
    ASSERT_EQ(utf8.status, 0) << utf8.err;
    EXPECT_EQ(utf8.output, lex::toUtf8(row.wide));
    EXPECT_EQ(utf8.report.find("无法用 GBK"), std::string::npos) << utf8.report;

    std::u16string crlf;
    for (char16_t c : std::u16string_view(row.input))
        crlf += c == u'\n' ? std::u16string(u"\r\n") : std::u16string(1, c);
    const Outcome utf16 = runRow(row, lex::test::utf16le(crlf), "utf-8");
    ASSERT_EQ(utf16.status, 0) << utf16.err;
    std::string expectedCrlf;
    for (char c : lex::toUtf8(row.wide))
        expectedCrlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(utf16.output, expectedCrlf);
}

// Guards the count of a code page 936 output: every line that lost a character, the ones the
// rules of the word emptied or merged too, and a notice that names one.
TEST_P(BeyondGbk, NarrowOutputsCountEveryLostLine) {
    const Row &row = GetParam();
    const Outcome gbk = runRow(row, lex::toUtf8(row.input), "gbk");
    ASSERT_EQ(gbk.status, 0) << gbk.err;
    EXPECT_NE(gbk.report.find("无法用 GBK 表示的字符：" + std::to_string(row.narrowLost) + " 行"),
              std::string::npos)
        << gbk.report;
    EXPECT_NE(gbk.err.find("--output-encoding utf-8"), std::string::npos) << gbk.err;
}

INSTANTIATE_TEST_SUITE_P(Lexcli, BeyondGbk, ::testing::ValuesIn(rows()),
                         [](const auto &info) { return std::string(info.param.name); });

// freqtune: a UTF-8 lexicon's words are stored whole (a lone character beyond the basic plane is
// one character, too short), the words an article holds are counted whole, and a code page 936
// export counts the lines it wrote with "?".
TEST(BeyondGbkFreqtune, WordsAreStoredAndCountedWhole) {
    lex::test::TempDir dir;
    const fs::path data = dir / "data";
    fs::copy(fs::path(SUITE_DIR) / "Quillo词库调频", data);
    lex::test::writeBytes(dir / "in.txt", lex::toUtf8(kInput));
    lex::test::writeBytes(dir / "a.txt", lex::toUtf8(u"野家和笑😀"));
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--data-dir", data.string(), "freqtune"});
        return lex::test::runLexcli(args);
    };
    ASSERT_EQ(run({"import", (dir / "in.txt").string()}).status, 0);
    const lex::test::CliRun count = run({"count", (dir / "a.txt").string()});
    ASSERT_EQ(count.status, 0) << count.err;
    EXPECT_EQ(count.out, "笑😀    1\n");
    const std::string out = (dir / "out.txt").string();
    ASSERT_EQ(run({"export", "-o", out, "--output-encoding", "utf-8"}).status, 0);
    std::string lines = readBytes(out);
    std::erase(lines, '\r');
    EXPECT_EQ(lines, lex::toUtf8(u"笑😀\n中国\n𠀀𠀁\n𠮷野家\n"));
    const lex::test::CliRun gbk = run({"export", "-o", out});
    ASSERT_EQ(gbk.status, 0) << gbk.err;
    EXPECT_NE(gbk.out.find("无法用 GBK 表示的字符：3 行"), std::string::npos) << gbk.out;
}

} // namespace
