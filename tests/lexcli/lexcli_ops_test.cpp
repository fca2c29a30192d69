// Every lexcli operation writes exactly the bytes of the engine call its window makes, for the
// same inputs and options: one table row per operation and option set. The windows' own tests
// cover what the windows add (boxes, dialogs, reports).

#include "cli_harness.h"

#include "lexmerge/set_operations.h"
#include "lexupdate/lexicon_update.h"
#include "pintop/char_readings.h"
#include "pintop/code_dedup.h"
#include "pintop/fixed_top.h"
#include "shared/formats/conversion.h"
#include "shared/lexcore/entry_hash_set.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;
using lex::test::writeLexicon;

// The inputs every row may use, in one folder: lexicons in both encodings, a fixed-top lexicon,
// pintop's readings and a replacement table.
void writeInputs(const fs::path &dir) {
    writeLexicon(dir / "a.txt",
                 {u"中国", u"abc", u"人民", u"中国", u"北京 ", u"中华人民共和国", u"熊猫", u""});
    writeLexicon(dir / "b.txt", {u"人民", u"", u"上海", u"北京", u"中国"}, /*utf16=*/true);
    writeLexicon(dir / "c.txt", {u"北京", u"上海"});
    writeLexicon(dir / "top.txt",
                 {u"ab=甲", u"ab=乙-丙", u"Ab=丁", u"ab=戊", u"=己", u"ab-=庚", u"ab=辛", u";"});
    writeLexicon(dir / "dz.lxd", {u"中zhong", u"国guo", u"华hua", u"人ren", u"民min", u"共gong",
                                  u"和he", u"北bei", u"京jing", u"熊xiong", u"猫mao", u"中chong"});
    writeLexicon(dir / "table.ini", {u"zh=v", u"ong=s"});
    // A Rime dictionary that imports its words without code; their readings are its characters'.
    lex::test::writeBytes(dir / "r.dict.yaml", "---\nname: r\nversion: \"1\"\nimport_tables: [s]\n"
                                               "...\n重\tchong\t5\n重\tzhong\t5\n庆\tqing\t2\n");
    lex::test::writeBytes(dir / "s.dict.yaml", "---\nname: s\nversion: \"1\"\n...\n重庆\n");
}

struct OpCase {
    std::string name;
    // The arguments after "lexcli"; "@" stands for the folder of the inputs, "@out" for the
    // output lexcli writes.
    std::vector<std::string> args;
    // Writes what the window's engine call writes for the same inputs and options to `out`.
    std::function<void(const fs::path &dir, const fs::path &out)> engine;
};

void PrintTo(const OpCase &c, std::ostream *os) {
    *os << c.name;
}

lex::NullPump g_pump;

std::function<void(const fs::path &, const fs::path &)> generate(lex::pintop::LongWords mode,
                                                                 char16_t sep, bool table) {
    return [=](const fs::path &dir, const fs::path &out) {
        auto data = lex::pintop::loadPintopData(dir / "dz.lxd", table ? dir / "table.ini" : "");
        lex::pintop::generateFixedTop(dir / "a.txt", out, *data, {mode, sep}, g_pump);
    };
}

std::function<void(const fs::path &, const fs::path &)> setOp(lex::lexmerge::SetOperation op,
                                                              bool withTwo) {
    return [=](const fs::path &dir, const fs::path &out) {
        lex::EntryHashSet set = lex::lexmerge::makeMergeSet();
        const fs::path one = dir / "a.txt", two = withTwo ? dir / "b.txt" : fs::path();
        lex::lexmerge::runSetOperation(
            op, set, {[=] { return one; }, [=] { return two; }, [=] { return out; }}, g_pump);
    };
}

std::vector<OpCase> cases() {
    using lex::lexmerge::SetOperation;
    using lex::pintop::LongWords;
    std::vector<OpCase> rows;
    const std::pair<const char *, LongWords> modes[] = {{"keep", LongWords::Keep},
                                                        {"initials", LongWords::Initials},
                                                        {"first6", LongWords::First6},
                                                        {"omit", LongWords::Omit}};
    for (auto [flag, mode] : modes) {
        for (bool table : {false, true}) {
            for (char16_t sep : {u'-', u'\''}) {
                std::vector<std::string> args = {"--data-dir", "@",       "pintop",
                                                 "generate",   "@/a.txt", "-o",
                                                 "@out",       "--long",  flag};
                if (sep != u'-')
                    args.insert(args.end(), {"--separator", "'"});
                if (table)
                    args.insert(args.end(), {"--table", "@/table.ini"});
                rows.push_back({std::string("pintop_generate_") + flag + (table ? "_table" : "") +
                                    (sep == u'-' ? "" : "_quote"),
                                args, generate(mode, sep, table)});
            }
        }
    }
    for (int keep = 1; keep <= 3; ++keep)
        rows.push_back(
            {"pintop_dedup_" + std::to_string(keep),
             {"pintop", "dedup", "@/top.txt", "-o", "@out", "--keep", std::to_string(keep)},
             [keep](const fs::path &dir, const fs::path &out) {
                 lex::pintop::removeDuplicateCodes(dir / "top.txt", out, keep, g_pump);
             }});
    const std::pair<const char *, SetOperation> ops[] = {{"union", SetOperation::Union},
                                                         {"intersect", SetOperation::Intersection},
                                                         {"difference", SetOperation::Difference},
                                                         {"delete", SetOperation::Deletion}};
    for (auto [name, op] : ops) {
        rows.push_back({std::string("lexmerge_") + name,
                        {"lexmerge", name, "@/a.txt", "@/b.txt", "-o", "@out"},
                        setOp(op, true)});
        rows.push_back({std::string("lexmerge_") + name + "_one",
                        {"lexmerge", name, "@/a.txt", "-o", "@out"},
                        setOp(op, false)});
    }
    rows.push_back({"lexupdate_update",
                    {"lexupdate", "update", "@/a.txt", "-o", "@out", "--user", "@/c.txt", "--waste",
                     "@/b.txt", "--private", "@/c.txt"},
                    [](const fs::path &dir, const fs::path &out) {
                        lex::EntryHashSet set(lex::KeyVariant::Standard);
                        lex::lexupdate::runUpdate(
                            set, {dir / "a.txt", dir / "b.txt", dir / "c.txt", dir / "c.txt", out},
                            g_pump);
                    }});
    for (const char *target : {"words", "quillo"})
        rows.push_back({std::string("lexconv_convert_") + target,
                        {"lexconv", "convert", "@/a.txt", "-o", "@out", "--to", target},
                        [target](const fs::path &dir, const fs::path &out) {
                            lex::formats::ConvertOptions o;
                            o.to = *lex::formats::formatByName(target);
                            lex::formats::Annotator none("", "", g_pump);
                            lex::NullPump pump;
                            pump.context().setFirstInput(dir / "a.txt");
                            lex::formats::convertLexicon(dir / "a.txt", out, o, none, pump);
                        }});
    // The Rime rules' options reach the engine.
    struct Rule {
        const char *name, *to;
        std::vector<std::string> flags;
        void (*set)(lex::formats::ConvertOptions &);
    };
    for (const Rule &rule : {
             Rule{"lexconv_convert_all_readings",
                  "libpinyin",
                  {"--all-readings", "--default-weight", "3"},
                  [](lex::formats::ConvertOptions &o) {
                      o.allReadings = true;
                      o.defaultWeight = 3;
                  }},
             Rule{"lexconv_convert_follow_imports",
                  "rime",
                  {"--follow-imports"},
                  [](lex::formats::ConvertOptions &o) { o.followImports = true; }},
         }) {
        std::vector<std::string> args = {"lexconv", "convert", "@/r.dict.yaml", "-o",
                                         "@out",    "--to",    rule.to};
        args.insert(args.end(), rule.flags.begin(), rule.flags.end());
        rows.push_back({rule.name, args, [rule](const fs::path &dir, const fs::path &out) {
                            lex::formats::ConvertOptions o;
                            o.to = *lex::formats::formatByName(rule.to);
                            rule.set(o);
                            lex::formats::Annotator none("", "", g_pump);
                            lex::NullPump pump;
                            // Named as the command's output: a Rime name follows the file's.
                            fs::create_directory(dir / "engine");
                            const fs::path named = dir / "engine" / "cli.txt";
                            lex::formats::convertLexicon(dir / "r.dict.yaml", named, o, none, pump);
                            fs::rename(named, out);
                        }});
    }
    // Names in any case, a value after "=", and the input after "--": the same conversion.
    rows.push_back(
        {"lexconv_convert_any_case",
         {"lexconv", "convert", "-o", "@out", "--to=QUILLO", "--from", "Auto", "--", "@/a.txt"},
         [](const fs::path &dir, const fs::path &out) {
             lex::formats::ConvertOptions o;
             o.to = lex::formats::Format::Quillo;
             lex::formats::Annotator none("", "", g_pump);
             lex::NullPump pump;
             pump.context().setFirstInput(dir / "a.txt");
             lex::formats::convertLexicon(dir / "a.txt", out, o, none, pump);
         }});
    return rows;
}

class LexcliOperation : public ::testing::TestWithParam<OpCase> {};

TEST_P(LexcliOperation, WritesTheEngineBytes) {
    lex::test::TempDir dir;
    writeInputs(dir.path());
    const fs::path cliOut = dir / "cli.txt", engineOut = dir / "engine.txt";
    std::vector<std::string> args = GetParam().args;
    for (auto &a : args) {
        if (a == "@out")
            a = cliOut.string();
        else if (a.starts_with("@"))
            a = dir.path().string() + a.substr(1);
    }
    const lex::test::CliRun run = lex::test::runLexcli(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("耗费时间："), std::string::npos) << run.out;
    GetParam().engine(dir.path(), engineOut);
    EXPECT_EQ(readBytes(cliOut), readBytes(engineOut));
}

INSTANTIATE_TEST_SUITE_P(All, LexcliOperation, ::testing::ValuesIn(cases()),
                         [](const auto &info) { return info.param.name; });

// Failures give the tool's own message and status 1, usage errors status 2; neither leaves
// an output behind.
TEST(LexcliOperation, FailuresAndUsageErrorsWriteNothing) {
    lex::test::TempDir dir;
    writeInputs(dir.path());
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::string d = dir.path().string(), out = (dir / "o.txt").string();
    const Row rows[] = {
        {{"--data-dir", d, "pintop", "generate", d + "/gone.txt", "-o", out},
         1,
         "打开词库失败！文件不存在：" + d + "/gone.txt\n"},
        {{"--data-dir", d + "/nowhere", "pintop", "generate", d + "/a.txt", "-o", out},
         1,
         "dz.lxd"},
        {{"--data-dir", d, "pintop", "generate", d + "/a.txt", "-o", out, "--table", d + "/x.ini"},
         1,
         "找不到替换表文件"},
        {{"pintop", "generate", "a", "-o", out, "--separator", "ab"}, 2, "--separator"},
        {{"pintop", "generate", "a", "-o", out, "--long", "all"}, 2, "--long"},
        {{"pintop", "dedup", "a", "-o", out, "--keep", "4"}, 2, "--keep"},
        {{"pintop", "dedup", "a"}, 2, "-o"},
        {{"lexmerge", "union", d + "/a.txt", d + "/b.txt", d + "/c.txt", "-o", out}, 2, "太多"},
        {{"lexupdate", "update", d + "/gone.txt", "-o", out},
         1,
         "打开原始词库失败！文件不存在：" + d + "/gone.txt\n"},
        {{"lexconv", "convert", d + "/gone.txt", "-o", out, "--to", "rime"}, 1, "打开词库失败！"},
        {{"lexconv", "convert", d + "/a.txt", "-o", out}, 2, "--to"},
        {{"lexconv", "convert", d + "/a.txt", "-o", out, "--to", "rime-userdb"}, 2, "只读"},
        {{"lexconv", "convert", d + "/a.txt", "-o", out, "--to", "rime", "--from", "x"},
         2,
         "--from"},
        {{"lexconv", "convert", d + "/a.txt", "-o", out, "--to", "qq", "--weight", "1",
          "--weight-by-order"},
         2,
         "--weight"},
        {{"lexconv", "convert", d + "/a.txt", "-o", out, "--to", "qq", "--weight", "x"}, 2, "数字"},
        {{"lexconv", "convert", d + "/a.txt", "-o", out, "--to", "rime", "--ue", "lu"}, 2, "--ue"},
        {{"lexconv", "convert", d + "/a.txt", "-o", out, "--to", "qq", "--default-weight", "-1"},
         2,
         "--default-weight"},
        {{"lexconv", "convert", d + "/a.txt", "-o", out, "--to", "qq", "--default-weight", "1",
          "--weight", "2"},
         2,
         "--default-weight"},
        // Annotation needs its data: the data folder here has none.
        {{"--data-dir", d, "lexconv", "convert", d + "/a.txt", "-o", out, "--to", "rime"},
         1,
         "dz.txt"},
        {{"lexmerge", "union", d + "/a.txt", "-o", out, "--output-encoding", "big5"},
         2,
         "--output-encoding"},
    };
    for (const Row &row : rows) {
        const lex::test::CliRun run = lex::test::runLexcli(row.args);
        EXPECT_EQ(run.status, row.status) << testing::PrintToString(row.args);
        EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(out)) << testing::PrintToString(row.args);
    }
}

// The window skips an empty lexicon box; a user, waste or private lexicon named on the command
// line must be there (status 1, the file named) and must be a file. The engine still skips a
// path that is not there, as the window does.
TEST(LexcliOperation, NamedUpdateListsMustExist) {
    lex::test::TempDir dir;
    writeInputs(dir.path());
    const std::string d = dir.path().string(), out = (dir / "o.txt").string(),
                      gone = d + "/gone.txt";
    const std::vector<std::string> update = {"lexupdate", "update", d + "/a.txt", "-o", out};
    struct Row {
        std::vector<std::string> options;
        int status;
        std::string err;
    };
    const Row rows[] = {
        {{"--user", gone}, 1, "找不到用户词库：" + gone + "\n"},
        {{"--user", d + "/b.txt", "--waste", gone}, 1, "找不到废词库：" + gone + "\n"},
        {{"--private", gone, "--delete-waste"}, 1, "找不到私人词库：" + gone + "\n"},
        {{"--waste", d}, 1, "废词库不是普通文件：" + d + "\n"},
        {{"--user", ""}, 2, "--user 的值不能为空"},
        {{"--user", d + "/b.txt", "--waste", d + "/c.txt", "--private", d + "/b.txt"}, 0, ""},
    };
    for (const Row &row : rows) {
        std::vector<std::string> args = update;
        args.insert(args.end(), row.options.begin(), row.options.end());
        const lex::test::CliRun run = lex::test::runLexcli(args);
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_EQ(run.status, row.status);
        if (row.status == 1) {
            EXPECT_EQ(run.err, row.err);
        } else {
            EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
        }
        EXPECT_EQ(fs::exists(out), row.status == 0);
    }
    EXPECT_TRUE(fs::exists(dir / "c.txt"));
    lex::EntryHashSet set(lex::KeyVariant::Standard);
    lex::lexupdate::UpdatePaths paths{d + "/a.txt", gone, gone, gone, d + "/e.txt"};
    EXPECT_FALSE(lex::lexupdate::runUpdate(set, paths, g_pump).baseMissing);
    EXPECT_TRUE(fs::exists(dir / "e.txt"));
}

} // namespace
