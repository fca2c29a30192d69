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
// A Rime user re-ranks a dictionary in three commands: its words come in with their pinyin,
// articles count them, and the export writes the frequencies as Rime or fcitx5 weights.
TEST(FreqtuneCli, RimeDictionaryImportCountExport) {
    ToolDir t;
    t.db.close();
    lex::test::writeBytes(t.dir / "mine.dict.yaml",
                          "---\nname: mine\nversion: \"1\"\n...\n中\tzhong\t9\n中国\tzhong guo\t5\n"
                          "人民\tren min\t7\n北京\n");
    for (const char *dz : {"dz.txt", "zn.lxd"})
        fs::copy_file(fs::path(SUITE_DIR) / "lexconv" / dz, t.dir / dz);
    ASSERT_EQ(cli(t, {"import", (t.dir / "mine.dict.yaml").string()}).status, 0);
    t.article("a.txt", u"中国人民，人民");
    ASSERT_EQ(cli(t, {"count", "--batch"}).status, 0);
    auto r = cli(t, {"export", "-o", (t.dir / "out.dict.yaml").string(), "--format", "rime"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string rime = readBytes(t.dir / "out.dict.yaml");
    // Falling frequency, then import order; the word without pinyin got it by annotation.
    EXPECT_TRUE(rime.ends_with("name: out\nversion: \"1.0\"\nsort: by_weight\n...\n"
                               "中国\tzhong guo\t1\n人民\tren min\t1\n北京\tbei jing\t0\n"))
        << rime;
    r = cli(t, {"export", "-o", (t.dir / "out.txt").string(), "--format", "fcitx5", "--freq-only"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes(t.dir / "out.txt"), "中国 zhong'guo 0\n人民 ren'min 0\n");
    EXPECT_EQ(cli(t, {"export", "-o", (t.dir / "x.txt").string(), "--format", "qq"}).status, 2);
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
