// Every operation gives the same result for a UTF-8 lexicon as for its code page 936 twin: the
// same report, and the same lines, written in UTF-8 (the first input's encoding) with the
// twin's line ends. The inputs are written both ways from one text; the shipped data files
// stay code page 936 in both runs.

#include "cli_harness.h"

#include "shared/lexcore/cp936.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;

// The lexicons and articles of the runs, as text; each is written in code page 936 with CR LF,
// and in UTF-8 with LF.
const std::pair<const char *, std::u16string> kInputs[] = {
    {"a.txt", u"中国zhongguo\n人民\nabc\n中国zhongguo\n北京\n中华人民共和国\n长城\n重庆\n\n"
              u"银行\n熊猫xiongmao\n中国\n"},
    {"b.txt", u"人民\n上海\n北京\n中国zhongguo\n长江\n"},
    {"c.txt", u"北京\n上海\n"},
    {"top.txt", u"zg=中国\nzg=中共\nrm=人民\nzg=中国\n;\n"},
    {"article.txt", u"我们是中国人，北京是中国的首都。\n人民银行在北京。\n"},
    {"words.txt", u"中\n民\n"},
    {"fc.txt", u"中国\n人民\n中国\n北京\n"},
};

struct Run {
    std::string name;
    const char *tool;              // the data folder it reads
    std::vector<std::string> args; // "@/" the inputs' folder, "@data" the data folder
    const char *output;            // the file to compare, in the inputs' folder
};

std::vector<Run> runs() {
    std::vector<Run> r = {
        {"pintop_generate", "pintop", {"pintop", "generate", "@/a.txt", "-o", "@/out.txt"}},
        {"pintop_dedup", "pintop", {"pintop", "dedup", "@/top.txt", "-o", "@/out.txt"}},
        {"lexsift_article",
         "lexsift",
         {"lexsift", "article", "@/a.txt", "@/article.txt", "-o", "@/out.txt"}},
        {"lexsift_words",
         "lexsift",
         {"lexsift", "filter", "@/a.txt", "--words", "@/words.txt", "-o", "@/out.txt"}},
        {"lexsift_length",
         "lexsift",
         {"lexsift", "filter", "@/a.txt", "--length", "2", "3", "-o", "@/out.txt"}},
        {"lexsift_non_gb2312",
         "lexsift",
         {"lexsift", "filter", "@/a.txt", "--non-gb2312", "-o", "@/out.txt"}},
        {"bigseg_segment", "bigseg", {"bigseg", "segment", "@/article.txt", "-o", "@/out.txt"}},
        {"bigseg_stats", "bigseg", {"bigseg", "stats", "--input", "@/fc.txt", "-o", "@/out.txt"}},
        {"lexsort_reference",
         "lexsort",
         {"lexsort", "reference", "@/a.txt", "@/b.txt", "-o", "@/out.txt"}},
        {"lexupdate_update",
         "Quillo词库更新",
         {"lexupdate", "update", "@/a.txt", "-o", "@/out.txt", "--user", "@/b.txt", "--waste",
          "@/c.txt", "--private", "@/c.txt"}},
    };
    for (const char *op : {"annotate", "clear", "correct", "extract", "adjust", "dedup"})
        r.push_back({std::string("phonetag_") + op,
                     "phonetag",
                     {"phonetag", op, "@/a.txt", "-o", "@/out.txt"}});
    for (const char *op : {"length", "stroke", "pinyin"})
        r.push_back({std::string("lexsort_") + op,
                     "lexsort",
                     {"lexsort", op, "@/a.txt", "-o", "@/out.txt"}});
    for (const char *op : {"union", "intersect", "difference", "delete"})
        r.push_back({std::string("lexmerge_") + op,
                     "lexmerge",
                     {"lexmerge", op, "@/a.txt", "@/b.txt", "-o", "@/out.txt"}});
    for (auto &run : r) {
        run.args.insert(run.args.begin(), {"--data-dir", "@data"});
        run.output = "out.txt";
    }
    return r;
}

// The report without its elapsed time (every "dd:dd:dd"). No <regex>: GCC 12 warns inside it
// at -O1 with the sanitizers, and the test build turns warnings into errors.
std::string withoutTime(const std::string &report) {
    auto isTime = [&](size_t i) {
        static constexpr char kShape[] = "dd:dd:dd";
        for (size_t k = 0; k < 8; ++k) {
            const char c = report[i + k];
            if (kShape[k] == 'd' ? c < '0' || c > '9' : c != ':')
                return false;
        }
        return true;
    };
    std::string out;
    for (size_t i = 0; i < report.size();) {
        if (i + 8 <= report.size() && isTime(i)) {
            i += 8;
        } else {
            out += report[i++];
        }
    }
    return out;
}

void PrintTo(const Run &run, std::ostream *os) {
    *os << run.name;
}

class EncodingTwins : public ::testing::TestWithParam<Run> {};

// Runs the row in a fresh folder with the inputs in one encoding; returns the report and the
// output's text.
std::pair<std::string, std::string> runIn(const Run &run, bool utf8) {
    lex::test::TempDir dir;
    for (const auto &[name, text] : kInputs) {
        std::u16string crlf;
        for (char16_t c : text)
            crlf += c == u'\n' ? std::u16string(u"\r\n") : std::u16string(1, c);
        lex::test::writeBytes(dir / name, utf8 ? lex::toUtf8(text) : lex::test::gbk(crlf));
    }
    const fs::path data = dir / "data";
    fs::copy(fs::path(SUITE_DIR) / run.tool, data);
    std::vector<std::string> args = run.args;
    for (auto &a : args) {
        if (a == "@data")
            a = data.string();
        else if (a.starts_with("@/"))
            a = (dir / a.substr(2)).string();
    }
    const lex::test::CliRun r = lex::test::runLexcli(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return {withoutTime(r.out), readBytes(dir / run.output)};
}

TEST_P(EncodingTwins, Utf8GivesWhatCodePage936Gives) {
    const auto [gbkReport, gbkOut] = runIn(GetParam(), false);
    const auto [utf8Report, utf8Out] = runIn(GetParam(), true);
    EXPECT_EQ(utf8Report, gbkReport);
    std::u16string text = lex::decode936(gbkOut);
    ASSERT_FALSE(text.empty());
    for (size_t cr; (cr = text.find(u"\r\n")) != std::u16string::npos;)
        text.erase(cr, 1);
    EXPECT_EQ(utf8Out, lex::toUtf8(text));
}

INSTANTIATE_TEST_SUITE_P(All, EncodingTwins, ::testing::ValuesIn(runs()),
                         [](const auto &info) { return info.param.name; });

// freqtune keeps the lines in its database: a UTF-8 import exports the same lines as its code
// page 936 twin, in UTF-8 when asked.
TEST(EncodingTwins, FreqtuneImportAndExport) {
    std::string exports[2];
    for (int utf8 = 0; utf8 < 2; ++utf8) {
        lex::test::TempDir dir;
        const std::u16string text = kInputs[0].second;
        lex::test::writeBytes(dir / "a.txt", utf8 ? lex::toUtf8(text) : lex::test::gbk(text));
        fs::copy(fs::path(SUITE_DIR) / "Quillo词库调频", dir / "data");
        const std::string data = (dir / "data").string();
        auto r = lex::test::runLexcli(
            {"--data-dir", data, "freqtune", "import", (dir / "a.txt").string()});
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> args = {"--data-dir", data, "freqtune",
                                         "export",     "-o", (dir / "out.txt").string()};
        if (utf8)
            args.insert(args.end(), {"--output-encoding", "utf-8"});
        r = lex::test::runLexcli(args);
        ASSERT_EQ(r.status, 0) << r.err;
        exports[utf8] = readBytes(dir / "out.txt");
    }
    std::string twin = lex::toUtf8(lex::decode936(exports[0]));
    std::erase(twin, '\r'); // UTF-8 without an input to follow ends its lines in LF
    EXPECT_EQ(exports[1], twin);
    EXPECT_NE(exports[1].find("中国zhongguo"), std::string::npos);
}

} // namespace
