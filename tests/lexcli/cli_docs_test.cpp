// The documents made from lexcli's table: the examples drawn from usage lines, the options and
// values the completion offers, and the man page's sections, over a stand-in table and the
// real one.

#include "lexcli/cli_docs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

using lex::cli::exampleFromUsage;

int noRun(lex::cli::Context &, lex::cli::ArgParser &) {
    return 0;
}

const lex::cli::ToolCli &fakeCli() {
    static const lex::cli::ToolCli cli{
        "替身工具",
        {{"op", "lexcli fake op IN -o OUT [--keep 1|2|3] [--db FILE]", "什么也不做", noRun,
          "  --db FILE   数据库\n.leading dot and a back\\slash\n"},
         {"sized", "lexcli fake sized IN -o OUT", "大小选项", noRun, "",
          lex::cli::kAllSizeOptions}}};
    return cli;
}

const lex::cli::ToolEntry kTable[] = {{"fake", u8"Fake folder", &fakeCli}};
const lex::cli::DocInfo kInfo{"9.9", "2026-01-02", {"quillo", "rime"}};

TEST(CliDocs, ExamplesLeaveOutOptionalPartsAndTakeTheFirstChoice) {
    EXPECT_EQ(exampleFromUsage("lexcli pintop dedup IN -o OUT [--keep 1|2|3]"),
              "lexcli pintop dedup 词库.txt -o 结果.txt");
    // A choice of groups takes its first group, its own optional parts left out.
    EXPECT_EQ(exampleFromUsage("lexcli lexsift filter IN -o OUT (--words FILE [--at any|start|end] "
                               "| --length MIN MAX | --non-gb2312)"),
              "lexcli lexsift filter 词库.txt -o 结果.txt --words 词表.txt");
    EXPECT_EQ(exampleFromUsage("lexcli freqtune count (ARTICLE... [--move] | --batch) [--db FILE]"),
              "lexcli freqtune count 文章.txt");
    // A FILE is named after the option it follows; a repeated placeholder appears once.
    EXPECT_EQ(exampleFromUsage("lexcli x merge PARTIAL... (--db FILE | --partial -o FILE)"),
              "lexcli x merge 部分计数.txt --db freqtune.mdb");
    EXPECT_EQ(exampleFromUsage("lexcli lexconv convert IN -o OUT --to FORMAT [--from FORMAT]"),
              "lexcli lexconv convert 词库.txt -o 结果.txt --to rime");
    // A required choice of values takes the first; an unknown placeholder becomes a file name.
    EXPECT_EQ(exampleFromUsage("lexcli x y --mode a|b THING"), "lexcli x y --mode a thing.txt");
}

TEST(CliDocs, OptionsAndTheirFixedValues) {
    const lex::cli::Operation &op = fakeCli().operations[0];
    EXPECT_EQ(lex::cli::optionsOf(op),
              (std::vector<std::string>{"-o", "--keep", "--db", "--output-encoding",
                                        "--input-encoding", "--help"}));
    EXPECT_EQ(lex::cli::valuesOf(op, "--keep"), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_TRUE(lex::cli::valuesOf(op, "--db").empty());
    EXPECT_TRUE(lex::cli::valuesOf(op, "--absent").empty());
    // The size options come from the operation's mask, as its help shows them.
    const auto sized = lex::cli::optionsOf(fakeCli().operations[1]);
    for (const char *name : {"--capacity", "--memory", "--temp-dir"})
        EXPECT_NE(std::find(sized.begin(), sized.end(), name), sized.end()) << name;
}

TEST(CliDocs, ManPageHasASectionPerToolAndAnExamplePerOperation) {
    const std::string page = lex::cli::manPage(kTable, kInfo);
    EXPECT_NE(page.find(".TH LEXCLI 1 \"2026-01-02\" \"quillo-lexicon-tools 9.9\""),
              std::string::npos);
    EXPECT_NE(page.find("\n.SH \"TOOL fake\"\n.nf\n替身工具\n.fi\n"), std::string::npos);
    EXPECT_NE(page.find("\n.SS \"fake op\"\n"), std::string::npos);
    EXPECT_NE(page.find("\n.SS \"fake sized\"\n"), std::string::npos);
    EXPECT_NE(page.find("\nlexcli fake op 词库.txt \\-o 结果.txt\n"), std::string::npos);
    // Help text is roff-safe: a leading dot would be a request, a backslash an escape.
    EXPECT_NE(page.find("\\&.leading dot and a back\\eslash"), std::string::npos);
    EXPECT_EQ(page.find("\n.leading"), std::string::npos);
}

TEST(CliDocs, CompletionKnowsToolsOperationsAndValues) {
    const std::string script = lex::cli::bashCompletion(kTable, kInfo);
    EXPECT_NE(script.find("compgen -W 'fake --help --version --data-dir'"), std::string::npos);
    EXPECT_NE(script.find("fake) ops='op sized' ;;"), std::string::npos);
    EXPECT_NE(script.find("$prev == --keep ]]; then\n            COMPREPLY=($(compgen -W '1 2 3'"),
              std::string::npos);
    EXPECT_NE(script.find("--to | --format)\n            COMPREPLY=($(compgen -W 'quillo rime'"),
              std::string::npos);
    EXPECT_NE(script.find("complete -F _lexcli lexcli\n"), std::string::npos);
}

// The real table: every example is a command of its own operation with no placeholder left.
TEST(CliDocs, EveryRealExampleIsFilledIn) {
    // A word of capitals (IN, FILE, L1) is a placeholder left as it stands.
    auto placeholderIn = [](const std::string &example) {
        std::istringstream words(example);
        for (std::string w; words >> w;)
            if (w[0] >= 'A' && w[0] <= 'Z' && std::all_of(w.begin(), w.end(), [](char c) {
                    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
                }))
                return true;
        return false;
    };
    size_t operations = 0;
    for (const lex::cli::ToolEntry &tool : lex::cli::toolTable()) {
        for (const lex::cli::Operation &op : tool.commands().operations) {
            const std::string example = exampleFromUsage(op.usage);
            const std::string head = std::string("lexcli ") + tool.name + " " + op.name;
            EXPECT_EQ(example.substr(0, head.size()), head) << example;
            EXPECT_FALSE(placeholderIn(example)) << example;
            EXPECT_EQ(example.find_first_of("[]()|"), std::string::npos) << example;
            ++operations;
        }
    }
    EXPECT_GE(operations, 30u);
}

} // namespace
