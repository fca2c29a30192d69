// lexcli freqtune against the window (the same database, export, list and "词频.log" from the
// same lexicon and articles), against the export engine call for every option set, and its
// failures and usage errors.

#include "cli_harness.h"

#include "../freqtune/freqtune_fixture.h"
#include "freqtune/forms/form1.h"
#include "freqtune/forms/form2.h"
#include "freqtune/forms/form4.h"
#include "shared/lexcore/cp936.h"

#include "scripted_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;
using lex::test::tableRows;
using lex::test::ToolDir;
using namespace lex::freqtune;

void writeInputs(const ToolDir &t) {
    lex::test::writeLexicon(t.dir / "lexicon.txt",
                            {u";header", u"中zhong国guo", u"人民", u"中", u"中华人民共和国",
                             u"北京", u"共和国", u"中国"});
    t.article("a0.txt", u"中华人民共和国的首都是北京");
    t.article("a1.txt", u"中国人民");
    t.article("a2.txt", u"");
}

lex::test::CliRun cli(const ToolDir &t, std::vector<std::string> args) {
    args.insert(args.begin(), {"--data-dir", t.dir.path().string(), "freqtune"});
    return lex::test::runLexcli(args);
}

// The window imports, counts "未阅文章" in batch mode, confirms the results and exports; lexcli
// does the same by its commands; then each export option set against the engine call.
TEST(FreqtuneCli, DoesWhatTheWindowDoes) {
    lex::test::TempDir config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    setenv("XDG_RUNTIME_DIR", config.path().c_str(), 1);
    int argc = 1;
    char name[] = "freqtune_cli_test";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);

    ToolDir window, ours;
    writeInputs(window);
    writeInputs(ours);
    window.db.close();
    lex::setToolDir(lex::fromPath(window.dir.path()));
    {
        lex::test::ScriptedDialogs dialogs;
        lex::setModalRunner([](QDialog &d) {
            if (auto *options = dynamic_cast<Form2 *>(&d))
                options->Check3->setChecked(true);
            if (auto *results = dynamic_cast<Form4 *>(&d))
                results->Command1->click();
        });
        Form1 form;
        ASSERT_TRUE(form.loaded());
        dialogs.fileAnswers = {lex::fromPath(window.dir / "lexicon.txt"),
                               lex::fromPath(window.dir / "out.txt")};
        form.Command3->click();
        form.Command2->click();
        form.Command5->click();
        form.exportOptions() = {true, true, 2, 3};
        form.Command4->click();
        lex::setModalRunner(nullptr);
    }
    std::map<std::string, std::string> out;
    for (auto args : std::vector<std::vector<std::string>>{
             {"import", (ours.dir / "lexicon.txt").string()},
             {"count", "--batch"},
             {"export", "-o", (ours.dir / "out.txt").string(), "--freq-only", "--length", "2", "3"},
             {"list", "--log", ours.files.log.string()}}) {
        const auto run = cli(ours, args);
        ASSERT_EQ(run.status, 0) << run.err;
        out[args[0]] = run.out;
    }
    EXPECT_EQ(out["import"] + out["export"], "完成！\n完成！\n");
    EXPECT_EQ(out["count"], out["list"]);
    EXPECT_EQ(out["list"],
              "人民    2\n中国    1\n中华人民共和国    1\n北京    1\n共和国    1\n中国    1\n");
    ours.db.open(ours.files.database, ours.files.templateFile); // the import replaced the file
    FrequencyDatabase a(window.files.database, window.files.templateFile);
    EXPECT_EQ(tableRows(ours.db), tableRows(a));
    EXPECT_EQ(readBytes(ours.dir / "out.txt"), readBytes(window.dir / "out.txt"));
    EXPECT_EQ(readBytes(ours.files.log),
              lex::test::gbkLines({u"人民    2", u"中国    1", u"中华人民共和国    1", u"北京    1",
                                   u"共和国    1", u"中国    1"}));
    EXPECT_EQ(readBytes(ours.files.log), readBytes(window.files.log));
    EXPECT_TRUE(ToolDir::names(ours.files.unread).empty());

    const std::pair<std::vector<std::string>, ExportOptions> cases[] = {
        {{}, {}},
        {{"--length", "1", "20"}, {false, true, 2, 20}}, // as form2 clamps
        {{"--length", "7", "3", "--freq-only"}, {true, true, 7, 7}},
        // A small page cache and its own temporary folder change nothing in what is written.
        {{"--memory", "300K", "--temp-dir", ours.dir.path().string()}, {}}};
    lex::NullPump pump;
    for (const auto &[flags, options] : cases) {
        std::vector<std::string> args = {"export", "-o", (ours.dir / "out.txt").string()};
        args.insert(args.end(), flags.begin(), flags.end());
        ASSERT_EQ(cli(ours, args).status, 0);
        exportLexicon(ours.db, ours.dir / "engine.txt", options, pump);
        EXPECT_EQ(readBytes(ours.dir / "out.txt"), readBytes(ours.dir / "engine.txt"))
            << testing::PrintToString(flags);
    }
    // Single articles are single-mode runs: given twice, an article counts once.
    const std::string s = ours.article("s.txt", u"北京", ours.dir.path()).string();
    ASSERT_EQ(cli(ours, {"count", s, s}).status, 0);
    EXPECT_EQ(tableRows(ours.db)[3].freq, 2); // 北京
}

// Failures give the tool's message and status 1 and write only what the window would (the
// empty export file); usage errors give status 2.
// A Rime user re-ranks a dictionary in three commands: every entry comes in, single characters
// too, articles count them, and the export gives the dictionary back with the frequencies as
// weights: its own header (but for the name), each entry's own columns. The fcitx5 export takes
// the entries with their pinyin.
TEST(FreqtuneCli, RimeDictionaryImportCountExport) {
    ToolDir t;
    t.db.close();
    lex::test::writeBytes(t.dir / "mine.dict.yaml",
                          "---\nname: mine\nversion: \"1\"\n...\n中\tzhong\t9\n中国\tzhong guo\t5\n"
                          "人民\tren min\t7\n北京\n");
    for (const char *dz : {"dz.txt", "zn.lxd"})
        fs::copy_file(fs::path(SUITE_DIR) / "lexconv" / dz, t.dir / dz);
    auto r = cli(t, {"import", (t.dir / "mine.dict.yaml").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char *said : {"导入词条：4", "其中单字：1", "保留文件头：4 行"})
        EXPECT_NE(r.out.find(said), std::string::npos) << r.out;
    t.article("a.txt", u"中国人民，人民");
    ASSERT_EQ(cli(t, {"count", "--batch"}).status, 0);
    r = cli(t, {"export", "-o", (t.dir / "out.dict.yaml").string(), "--format", "rime"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Falling frequency, then import order; the word without a code stays without (Rime encodes
    // it), its weight in the third column.
    EXPECT_EQ(readBytes(t.dir / "out.dict.yaml"),
              "---\nname: out\nversion: \"1\"\n...\n"
              "中\tzhong\t1\n中国\tzhong guo\t1\n人民\tren min\t1\n北京\t\t0\n");
    for (const char *said : {"词典名：mine 改为 out", "保留文件头：4 行", "其中单字：1"})
        EXPECT_NE(r.out.find(said), std::string::npos) << r.out;
    r = cli(t, {"export", "-o", (t.dir / "out.txt").string(), "--format", "fcitx5", "--freq-only"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes(t.dir / "out.txt"), "中 zhong 0\n中国 zhong'guo 0\n人民 ren'min 0\n");
    EXPECT_EQ(cli(t, {"export", "-o", (t.dir / "x.txt").string(), "--format", "qq"}).status, 2);
}

// The body of a Rime dictionary: (text, code, stem) of each entry line after "...", and the
// lines up to it.
struct RimeFile {
    std::vector<std::string> header;
    std::set<std::tuple<std::string, std::string, std::string>> entries;
    std::map<std::string, std::string> weights; // text -> weight, for words of one line
};
RimeFile readRime(const fs::path &path) {
    RimeFile f;
    std::istringstream in(readBytes(path));
    bool body = false;
    for (std::string line; std::getline(in, line);) {
        if (!body) {
            f.header.push_back(line);
            body = line == "...";
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> c;
        std::istringstream cols(line);
        for (std::string part; std::getline(cols, part, '\t');)
            c.push_back(part);
        c.resize(4);
        f.entries.insert({c[0], c[1], c[3]});
        f.weights[c[0]] = c[2];
    }
    return f;
}

// A slice of Debian's pinyin_simp (150 characters, 150 words) with a header of every kind:
// imported, counted and exported, it keeps all 300 entries, single characters and stems among
// them, and its header but for the name; librime compiles it, the imported table beside it.
TEST(FreqtuneCli, RealRimeDictionaryComesBackAndCompiles) {
    ToolDir t;
    t.db.close();
    const fs::path source = fs::path(FREQTUNE_DATA) / "part.dict.yaml";
    auto r = cli(t, {"import", source.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const RimeFile before = readRime(source);
    for (const std::string &said :
         std::vector<std::string>{"导入词条：300", "其中单字：150",
                                  "保留文件头：" + std::to_string(before.header.size()) + " 行"})
        EXPECT_NE(r.out.find(said), std::string::npos) << r.out;
    t.article("a.txt", u"爸爸把八宝饭放在白底的盘子里，八百个巴巴。");
    ASSERT_EQ(cli(t, {"count", "--batch"}).status, 0);
    const fs::path folder = t.dir / "rime";
    fs::create_directory(folder);
    r = cli(t, {"export", "-o", (folder / "mine.dict.yaml").string(), "--format", "rime"});
    ASSERT_EQ(r.status, 0) << r.err;
    const RimeFile after = readRime(folder / "mine.dict.yaml");
    std::vector<std::string> header = before.header;
    std::replace(header.begin(), header.end(), std::string("name: part"),
                 std::string("name: mine"));
    EXPECT_EQ(after.header, header);
    EXPECT_EQ(after.entries, before.entries);
    for (const auto &[text, weight] : std::map<std::string, std::string>{{"爸爸", "1"},
                                                                         {"八宝", "1"},
                                                                         {"白底", "1"},
                                                                         {"八百", "1"},
                                                                         {"巴巴", "1"},
                                                                         {"把", "1"},
                                                                         {"八", "1"},
                                                                         {"釛", "0"}})
        EXPECT_EQ(after.weights.at(text), weight) << text;

    lex::test::writeBytes(folder / "part_extra.dict.yaml",
                          "---\nname: part_extra\nversion: \"1\"\n...\n巴士站\tba shi zhan\t1\n"
                          "八月份\tba yue fen\t1\n");
    lex::test::writeBytes(folder / "test.schema.yaml",
                          "schema:\n  schema_id: test\n  name: test\n  version: \"1\"\n"
                          "engine:\n  translators:\n    - script_translator\n"
                          "translator:\n  dictionary: mine\n");
    std::string log;
    ASSERT_EQ(lex::test::shell(folder, "rime_deployer --compile test.schema.yaml . . build", &log),
              0)
        << log;
    // The preset vocabulary the header names (essay) may not be installed: librime then says so
    // and goes on. Any other complaint is ours.
    std::istringstream said(log);
    for (std::string line; std::getline(said, line);) {
        if (line.find("essay") != std::string::npos)
            continue;
        for (const char *trouble : {"Encode failure", "invalid entry", "duplicate", "rror"})
            EXPECT_EQ(line.find(trouble), std::string::npos) << line;
    }
    EXPECT_TRUE(fs::exists(folder / "build/mine.table.bin"));
    std::set<std::pair<std::string, std::string>> compiled;
    std::istringstream dump(readBytes(folder / "build/mine.table.txt"));
    for (std::string line; std::getline(dump, line);) {
        const size_t tab = line.find('\t'), tab2 = line.find('\t', tab + 1);
        if (!line.starts_with("#") && tab != std::string::npos)
            compiled.insert({line.substr(0, tab), line.substr(tab + 1, tab2 - tab - 1)});
    }
    for (const auto &[text, code, stem] : before.entries)
        EXPECT_TRUE(compiled.count({text, code})) << text << " " << code;
}

// --blend F mixes the counts into the weights the dictionary had: round((1 - F) * weight + F *
// count * scale), scale = the largest weight / the largest count; no weight is 0. A share (a
// reading's part of its character's weight) stays as written, blended or not.
TEST(FreqtuneCli, BlendMixesCountsIntoWeights) {
    ToolDir t;
    t.db.close();
    lex::test::writeBytes(
        t.dir / "mine.dict.yaml",
        "---\nname: mine\nversion: \"1\"\n...\n中\tzhong\t100\n中国\tzhong guo\t50\n"
        "人民\tren min\n北京\tbei jing\t10%\n");
    ASSERT_EQ(cli(t, {"import", (t.dir / "mine.dict.yaml").string()}).status, 0);
    t.article("a.txt", u"中国");
    t.article("b.txt", u"人民中");
    ASSERT_EQ(cli(t, {"count", "--batch"}).status, 0); // 中 2, 中国 1, 人民 1, 北京 0: scale 50
    const std::pair<std::vector<std::string>, const char *> rows[] = {
        {{}, "中\tzhong\t2\n中国\tzhong guo\t1\n人民\tren min\t1\n北京\tbei jing\t10%\n"},
        {{"--blend", "0"},
         "中\tzhong\t100\n中国\tzhong guo\t50\n人民\tren min\t0\n北京\tbei jing\t10%\n"},
        {{"--blend", "0.5"},
         "中\tzhong\t100\n中国\tzhong guo\t50\n人民\tren min\t25\n北京\tbei jing\t10%\n"},
        {{"--blend", "1"},
         "中\tzhong\t100\n中国\tzhong guo\t50\n人民\tren min\t50\n北京\tbei jing\t10%\n"},
        {{"--blend", "0.25", "--freq-only"},
         "中\tzhong\t100\n中国\tzhong guo\t50\n人民\tren min\t13\n"},
    };
    const std::string out = (t.dir / "out.dict.yaml").string();
    for (const auto &[flags, body] : rows) {
        std::vector<std::string> args = {"export", "-o", out, "--format", "rime"};
        args.insert(args.end(), flags.begin(), flags.end());
        const auto run = cli(t, args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readBytes(out), std::string("---\nname: out\nversion: \"1\"\n...\n") + body)
            << testing::PrintToString(flags);
    }
    const std::tuple<std::vector<std::string>, int, std::string> refused[] = {
        {{"--format", "rime", "--blend", "1.5"}, 2, "--blend 需要 0 到 1 之间的数"},
        {{"--format", "rime", "--blend", "x"}, 2, "--blend 需要 0 到 1 之间的数"},
        {{"--format", "fcitx5", "--blend", "0.5"}, 2, "--blend 只用于 --format rime"},
    };
    for (const auto &[flags, status, err] : refused) {
        std::vector<std::string> args = {"export", "-o", out};
        args.insert(args.end(), flags.begin(), flags.end());
        const auto run = cli(t, args);
        EXPECT_EQ(run.status, status) << testing::PrintToString(flags);
        EXPECT_NE(run.err.find(err), std::string::npos) << run.err;
    }
    // Imported from a lexicon of the suite's own, the database has no weights to blend into.
    lex::test::writeLexicon(t.dir / "lexicon.txt", {u"中国"});
    ASSERT_EQ(cli(t, {"import", (t.dir / "lexicon.txt").string()}).status, 0);
    const auto run = cli(t, {"export", "-o", out, "--format", "rime", "--blend", "0.5"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("不是由 Rime 词典导入的"), std::string::npos) << run.err;
}

// A Rime dictionary whose header never ends is refused by name, and the old database stays.
TEST(FreqtuneCli, UnendedRimeHeaderIsRefused) {
    ToolDir t;
    writeInputs(t);
    ASSERT_EQ(cli(t, {"import", (t.dir / "lexicon.txt").string()}).status, 0);
    const fs::path bad = t.dir / "bad.dict.yaml";
    lex::test::writeBytes(bad, "---\nname: bad\nversion: \"1\"\n中\tzhong\t1\n");
    const auto run = cli(t, {"import", bad.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("文件头没有结束行"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(bad.string()), std::string::npos) << run.err;
    t.db.open(t.files.database, t.files.templateFile);
    EXPECT_EQ(tableRows(t.db).size(), 6u);
}

TEST(FreqtuneCli, FailuresAndUsage) {
    ToolDir t;
    writeInputs(t);
    const std::string d = t.dir.path().string(), out = (t.dir / "o.txt").string();
    const std::tuple<std::vector<std::string>, int, std::string> rows[] = {
        {{"import", d + "/gone.txt"}, 1, "找不到词库文件"},
        {{"count", "--batch"}, 1, "词库表无记录！\n"},
        {{"count", d + "/gone.txt"}, 1, "找不到文章"},
        {{"export", "-o", out}, 1, "词库表无记录！\n"},
        {{"export"}, 2, "-o"},
        {{"export", "-o", out, "--length", "a", "3"}, 2, "--length"},
        {{"count"}, 2, "缺少"},
        {{"count", "--batch", d + "/lexicon.txt"}, 2, "太多"},
    };
    for (const auto &[args, status, err] : rows) {
        const auto run = cli(t, args);
        EXPECT_EQ(run.status, status) << testing::PrintToString(args);
        EXPECT_NE(run.err.find(err), std::string::npos) << run.err;
    }
    EXPECT_EQ(readBytes(out), ""); // the export of an empty table leaves an empty file
    EXPECT_EQ(ToolDir::names(t.files.unread).size(), 3u);
    EXPECT_FALSE(t.db.hasRows());
}

// Export, list and count use a database and never make one: a missing database, named or the
// data dir's own, is refused by name, and nothing is created (no database, no output, no log,
// no article moved). Only an import makes it.
TEST(FreqtuneCli, OnlyAnImportCreatesTheDatabase) {
    ToolDir t;
    writeInputs(t);
    t.db.close();
    const fs::path gone = t.dir / "gone.mdb", out = t.dir / "o.txt", log = t.dir / "l.log";
    const std::string article = (t.files.unread / "a0.txt").string();
    const auto listing = ToolDir::names(t.dir.path());
    for (const fs::path &db : {gone, t.files.database}) {
        if (db == t.files.database)
            fs::remove(db);
        const std::vector<std::string> rows[] = {
            {"export", "-o", out.string()},
            {"list", "--log", log.string()},
            {"count", "--batch"},
            {"count", article},
        };
        for (std::vector<std::string> args : rows) {
            if (db == gone)
                args.insert(args.end(), {"--db", gone.string()});
            const auto run = cli(t, args);
            SCOPED_TRACE(testing::PrintToString(args));
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err, "找不到词频数据库：" + db.string() + "\n");
            EXPECT_EQ(run.out, "");
            EXPECT_FALSE(fs::exists(db));
        }
        EXPECT_EQ(ToolDir::names(t.files.unread).size(), 3u);
    }
    EXPECT_EQ(ToolDir::names(t.dir.path()).size(), listing.size() - 1); // the removed default
    const auto run = cli(t, {"import", (t.dir / "lexicon.txt").string(), "--db", gone.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    FrequencyDatabase made(gone, t.files.templateFile, IfMissing::Refuse);
    EXPECT_EQ(tableRows(made).size(), 6u);
}

} // namespace
