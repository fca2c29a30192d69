// lexcheck against a lexicon with faults planted at known lines (recall and precision per
// check), one-line cases of every format, the safe fixes checked again, and lexcli's exit
// statuses as a CI gate reads them.
#include "cli_harness.h"

#include "lexcheck/check_report.h"
#include "lexcheck/lexicon_check.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace lex::lexcheck;
using lex::formats::Format;

const fs::path kData = fs::path(SUITE_DIR) / "lexcheck";
const fs::path kPlanted = fs::path(LEXCHECK_DATA) / "planted.dict.yaml";

const CheckData &data() {
    static lex::EventPump pump;
    static const CheckData d = loadCheckData(kData, pump);
    return d;
}

CheckResult check(const fs::path &file, CheckOptions options = {}) {
    lex::EventPump pump;
    LexiconCheck run(std::move(options), data(), pump);
    run.checkFile(file, file.filename().string());
    return run.takeResult();
}

using Expected = std::map<int64_t, std::multiset<std::string>>;

// "# expect: ID..." names the findings of the next line that is no comment.
Expected plantedFindings(const fs::path &file) {
    Expected expected;
    std::ifstream in(file);
    std::string line;
    std::vector<std::string> pending;
    for (int64_t n = 1; std::getline(in, line); ++n) {
        if (line.rfind("# expect:", 0) == 0) {
            std::istringstream ids(line.substr(9));
            for (std::string id; ids >> id;)
                pending.push_back(id);
        } else if (!line.empty() && line[0] != '#' && !pending.empty()) {
            expected[n].insert(pending.begin(), pending.end());
            pending.clear();
        }
    }
    return expected;
}

std::multiset<std::string> idsAt(const CheckResult &r, int64_t line) {
    std::multiset<std::string> ids;
    for (const Finding &f : r.findings)
        if (f.line == line)
            ids.insert(checkInfo(f.check).id);
    return ids;
}

TEST(Lexcheck, FindsEveryPlantedFaultAndNothingOnTheCleanLines) {
    CheckOptions options;
    options.charset = Charset::Gb2312;
    const CheckResult r = check(kPlanted, options);
    const Expected expected = plantedFindings(kPlanted);
    std::map<std::string, int> truePositive, falsePositive, falseNegative;
    std::set<int64_t> lines;
    for (const auto &[line, ids] : expected)
        lines.insert(line);
    for (const Finding &f : r.findings)
        lines.insert(f.line);
    for (int64_t line : lines) {
        std::multiset<std::string> want =
            expected.count(line) ? expected.at(line) : std::multiset<std::string>{};
        for (const std::string &id : idsAt(r, line)) {
            if (auto it = want.find(id); it != want.end()) {
                ++truePositive[id];
                want.erase(it);
            } else {
                ++falsePositive[id];
                ADD_FAILURE() << "line " << line << ": unexpected " << id;
            }
        }
        for (const std::string &id : want) {
            ++falseNegative[id];
            ADD_FAILURE() << "line " << line << ": missed " << id;
        }
    }
    // The figures per check, for the record; every check has a planted fault.
    for (const CheckInfo &c : allChecks()) {
        const int tp = truePositive[c.id], fp = falsePositive[c.id], fn = falseNegative[c.id];
        std::printf("%-18s planted %d  found %d  recall %d/%d  precision %d/%d\n", c.id, tp + fn,
                    tp + fp, tp, tp + fn, tp, tp + fp);
        EXPECT_GT(tp + fn, 0) << c.id << " has no planted fault";
    }
    EXPECT_EQ(r.entries, 34);
}

// One line of a format, and the checks it must raise (none: a clean line).
struct Row {
    Format format;
    std::u16string line;
    std::multiset<std::string> ids;
};

class LexcheckLine : public testing::TestWithParam<Row> {};

TEST_P(LexcheckLine, RaisesExactlyItsChecks) {
    lex::test::TempDir dir;
    const Row &row = GetParam();
    lex::test::writeBytes(dir / "in.txt", lex::toUtf8(row.line) + "\n");
    CheckOptions options;
    options.from = row.format;
    EXPECT_EQ(idsAt(check(dir / "in.txt", options), 1), row.ids) << lex::toUtf8(row.line);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LexcheckLine,
    testing::Values(
        Row{Format::Quillo, u"中zhong国guo", {}}, Row{Format::Quillo, u"中zhong国guo\t12", {}},
        Row{Format::Quillo, u"中Zhong国guo", {"invalid-syllable"}},
        Row{Format::Quillo, u"中zhong1国guo", {"invalid-syllable"}},
        Row{Format::Quillo, u"中zhong国", {"count-mismatch"}},
        Row{Format::Quillo, u"中zhong国kang", {"unknown-reading"}},
        Row{Format::Quillo, u"abc", {"unparsable"}}, Row{Format::Quillo, u"中国", {}},
        // libime refuses lue and every tone digit; ibus-libpinyin takes both and joined codes.
        Row{Format::Fcitx5, u"策略 ce'lue 0", {"ue-spelling"}},
        Row{Format::Fcitx5, u"策略 ce'lve 0", {}},
        Row{Format::Fcitx5, u"你好 ni3'hao3 -1", {"invalid-syllable"}},
        Row{Format::Fcitx5, u"中国 zhongguo 0", {"invalid-syllable"}},
        Row{Format::Fcitx5, u"中国", {"unparsable"}},
        Row{Format::Libpinyin, u"你好 ni3'hao3 1", {}},
        Row{Format::Libpinyin, u"中国 zhongguo 1", {}}, Row{Format::FixedTop, u"zhongguo=中国", {}},
        Row{Format::FixedTop, u"zhongguoren=中国", {"count-mismatch"}},
        Row{Format::Sogou, u"'zhong'guo 中国", {}}, Row{Format::Baidu, u"中国\tzhong'guo'\t1", {}},
        Row{Format::Qq, u"zhong'guo 中国 1", {}},
        // A middle dot in a name takes no syllable; a full-width letter is no character of it.
        Row{Format::Rime, u"安娜·卡列尼娜\tan na ka lie ni na\t1", {}},
        Row{Format::Rime, u"牛Ｂ\tniu b\t1", {"mixed-script"}}, Row{Format::Rime, u"女\tnü\t1", {}},
        Row{Format::Rime, u"一\tyi1\t1", {}}));

TEST(Lexcheck, FixedLexiconPassesTheFixedChecks) {
    lex::test::TempDir dir;
    lex::EventPump pump;
    CheckOptions options;
    options.prepareFix = true;
    LexiconCheck run(options, data(), pump);
    run.checkFile(kPlanted, "planted");
    const FixResult fix = run.fixLastFile(dir / "fixed.dict.yaml");
    // Two spellings rewritten, lue made lve, and two duplicates dropped.
    EXPECT_EQ(fix.changes.size(), 5u);
    const CheckResult again = check(dir / "fixed.dict.yaml");
    for (const Finding &f : again.findings) {
        EXPECT_NE(f.check, Check::Duplicate);
        EXPECT_NE(f.check, Check::WeightConflict);
        EXPECT_NE(f.check, Check::UeSpelling);
        EXPECT_FALSE(f.fixable) << f.message;
    }
    const std::string fixed = lex::test::readBytes(dir / "fixed.dict.yaml");
    EXPECT_NE(fixed.find("测试\tce shi\t10\n"), std::string::npos);
    EXPECT_NE(fixed.find("问题\twen ti\t10\n"), std::string::npos);
    // The duplicate with the larger weight is the one kept.
    EXPECT_NE(fixed.find("苹果\tping guo\t20\n"), std::string::npos);
    EXPECT_EQ(fixed.find("苹果\tping guo\t10\n"), std::string::npos);
    // The unfixable faults stay as they were.
    EXPECT_NE(fixed.find("汉字\tzhng zi\t10\n"), std::string::npos);
    EXPECT_EQ(again.lines + 2, run.result().lines);
}

TEST(LexcheckCli, ExitStatusesGateCi) {
    lex::test::TempDir dir;
    const std::string d = dir.path().string(), data = kData.string();
    lex::test::writeBytes(dir / "clean.txt", "中国 zhong'guo -1\n世界 shi'jie -2\n");
    lex::test::writeBytes(dir / "fixable.txt", "中国 Zhong'guo -1\n策略 ce'lue -2\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out; // a piece of standard output, or of standard error for failures
    };
    const Case cases[] = {
        {{d + "/clean.txt"}, 0, "错误 0 处"},
        {{kPlanted.string()}, 1, "planted.dict.yaml:12: error: invalid-syllable: "},
        {{d + "/clean.txt", kPlanted.string()}, 1, "2 个文件"},
        {{d + "/fixable.txt", "--fix", "-o", d + "/out.txt"}, 0, "已修正 2 行"},
        {{kPlanted.string(), "--checks", "mixed-script,long-word"}, 0, "提示 2 处"},
        {{kPlanted.string(), "--checks",
          "-invalid-syllable,-count-mismatch,-unknown-reading,"
          "-unparsable,-weight-conflict,-ue-spelling"},
         0,
         "警告"},
        {{d + "/missing.txt"}, 1, "文件不存在"},
        {{kPlanted.string(), "--report-format", "xml"}, 2, "--report-format"},
        {{kPlanted.string(), "--checks", "nosuch"}, 2, "未知检查项 nosuch"},
        {{kPlanted.string(), "--fix"}, 2, "-o"},
        {{}, 2, "用法"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args{"--data-dir", data, "lexcheck"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const lex::test::CliRun run = lex::test::runLexcli(args);
        EXPECT_EQ(run.status, c.status) << c.args.size() << " " << run.err;
        const std::string &text = c.status == 0 || c.status == 1 ? run.out + run.err : run.err;
        EXPECT_NE(text.find(c.out), std::string::npos) << text;
    }
    EXPECT_EQ(lex::test::readBytes(dir / "out.txt"), "中国 zhong'guo -1\n策略 ce'lve -2\n");
}

TEST(LexcheckCli, ReportFilesForScripts) {
    lex::test::TempDir dir;
    const std::string report = (dir / "r.json").string();
    const auto run =
        lex::test::runLexcli({"--data-dir", kData.string(), "lexcheck", kPlanted.string(),
                              "--report", report, "--report-format", "json"});
    EXPECT_EQ(run.status, 1);
    const std::string json = lex::test::readBytes(report);
    EXPECT_NE(json.find("{\"file\": \"" + kPlanted.string() +
                        "\", \"line\": 12, \"severity\": \"error\", \"check\": "
                        "\"invalid-syllable\""),
              std::string::npos);
    EXPECT_NE(json.find("\"errors\": 10"), std::string::npos) << json;
    // Standard output then holds only the summary.
    EXPECT_EQ(run.out.find("planted.dict.yaml:"), std::string::npos);
    const auto tsv = lex::test::runLexcli(
        {"--data-dir", kData.string(), "lexcheck", kPlanted.string(), "--report-format", "tsv"});
    EXPECT_EQ(tsv.out.rfind("file\tline\tseverity\tcheck\tword\tmessage\n", 0), 0u);
    EXPECT_NE(tsv.out.find("\t12\terror\tinvalid-syllable\t测试\t"), std::string::npos);
}

} // namespace

namespace {

// Debian's Rime dictionaries, as scripts/setup installs them: what the checks say of them.
TEST(LexcheckDebian, RimeDictionaries) {
    const fs::path dir = "/usr/share/rime-data";
    if (!fs::exists(dir / "pinyin_simp.dict.yaml"))
        GTEST_SKIP() << "rime-data-pinyin-simp is not installed";
    std::map<std::string, CheckResult> results;
    for (const char *name : {"pinyin_simp", "luna_pinyin", "terra_pinyin"}) {
        const fs::path file = dir / (std::string(name) + ".dict.yaml");
        if (!fs::exists(file))
            continue;
        results[name] = check(file);
        const CheckResult &r = results[name];
        std::printf("%s: %lld lines\n", name, static_cast<long long>(r.lines));
        for (const CheckInfo &c : allChecks())
            if (r.counts[size_t(c.check)] > 0)
                std::printf("  %-18s %lld\n", c.id,
                            static_cast<long long>(r.counts[size_t(c.check)]));
        // Every line of them parses.
        EXPECT_EQ(r.counts[size_t(Check::Unparsable)], 0) << name;
    }
    auto has = [&](const std::string &name, Check check, std::u16string_view word) {
        const CheckResult &r = results[name];
        return std::any_of(r.findings.begin(), r.findings.end(),
                           [&](const Finding &f) { return f.check == check && f.word == word; });
    };
    // The suite's main source has no error; its words read otherwise than the annotation's
    // confident reading include real slips (六安 is lu an, 包扎 bao za).
    EXPECT_EQ(results["pinyin_simp"].count(Severity::Error), 0);
    EXPECT_EQ(results["pinyin_simp"].counts[size_t(Check::Traditional)], 0);
    EXPECT_TRUE(has("pinyin_simp", Check::ReviewReading, u"六安"));
    EXPECT_TRUE(has("pinyin_simp", Check::ReviewReading, u"包扎"));
    if (results.count("luna_pinyin")) {
        // "涌<TAB>yong  0%": a blank where a TAB belongs makes the weight part of the code.
        EXPECT_TRUE(has("luna_pinyin", Check::InvalidSyllable, u"涌"));
        // "繰<TAB>zao<TAB>0" among readings weighted "0%".
        EXPECT_EQ(results["luna_pinyin"].counts[size_t(Check::WeightZero)], 1);
    }
}

} // namespace
