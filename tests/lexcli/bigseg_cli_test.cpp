// lexcli bigseg writes exactly the bytes of the engine call and of the window, for the same
// files and options: one row per operation and option set, each run in three copies of one
// data folder (lexcli's --data-dir, the engine's paths, the window's program folder).

#include "cli_harness.h"

#include "bigseg/forms/form1.h"
#include "bigseg/forms/form2.h"
#include "bigseg/forms/form5.h"
#include "bigseg/segmentation.h"
#include "bigseg/supplement.h"
#include "bigseg/word_statistics.h"
#include "scripted_dialogs.h"
#include "shared/lexcore/cp936.h"
#include "test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;
using lex::test::writeLexicon;

// The windows need an application object; the tests run on the offscreen platform.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_app = std::make_unique<QApplication>(m_argc, m_argv); }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "bigseg_cli_test";
    char *m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};
[[maybe_unused]] auto *const g_env = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

lex::NullPump g_pump;

// The data folder every copy starts from: a word list, a supplement list, an article in
// UTF-16, a segmentation result and a supplement text.
void writeData(const fs::path &dir) {
    fs::create_directories(dir);
    writeLexicon(dir / "ciku.lxd", {u"一", u"中国", u"中国人", u"人民", u"共和国", u"和", u"民",
                                    u"我们", u"的", u"世界", u"龟"});
    writeLexicon(dir / "bc.ini", {u"北京", u"", u"中华"});
    writeLexicon(dir / "a.txt",
                 {u"中华人民共和国的首都是北京，我们的ABC世界。", u"好中国人民，人民中国",
                  u"中国人民中国人民好好"},
                 /*utf16=*/true);
    writeLexicon(dir / "fc.txt", {u"", u"中国", u"人民", u"中国", u"abc", u"龟"});
    writeLexicon(dir / "text.txt", {u"上海", u"中国", u"d"});
}

struct Row {
    std::string name;
    std::vector<std::string> args; // after "--data-dir DIR"; "@" stands for the folder
    std::vector<std::string> outputs;
    std::function<void(const fs::path &)> engine;
    std::function<void(const fs::path &)> form;
    std::function<void(const fs::path &)> prepare = {}; // run on every copy first
};

void PrintTo(const Row &r, std::ostream *os) {
    *os << r.name;
}

void engineSegment(const fs::path &dir, lex::bigseg::SegmentOptions options, const fs::path &out) {
    const auto list = lex::bigseg::loadSegmentLexicon(dir / "ciku.lxd", dir / "bc.ini", g_pump);
    lex::bigseg::segmentText(lex::bigseg::readArticle(dir / "a.txt"), out, list, options, g_pump);
}

// The window: the program folder is `dir`; `noSplit` empty leaves the options untouched.
void formSegment(const fs::path &dir, const QString &noSplit) {
    lex::test::ScriptedDialogs dialogs;
    lex::setToolDir(lex::fromPath(dir));
    lex::bigseg::Form1 form;
    ASSERT_TRUE(form.Form_Load());
    if (!noSplit.isEmpty()) {
        lex::setModalRunner([&](QDialog &d) {
            auto &f = dynamic_cast<lex::bigseg::Form5 &>(d);
            f.Check1->setChecked(true);
            f.Text1->setText(noSplit);
            f.Command3->click();
        });
        form.Command9->click();
        lex::setModalRunner({});
    }
    form.Text2->setText(lex::fromPath(dir / "a.txt"));
    form.Command1->click();
    ASSERT_TRUE(dialogs.lastText().startsWith(QStringLiteral("完成！")));
}

void formSupplement(const fs::path &dir) {
    lex::test::ScriptedDialogs dialogs;
    lex::setToolDir(lex::fromPath(dir));
    lex::bigseg::Form1 form;
    ASSERT_TRUE(form.Form_Load());
    const QString text =
        QString::fromStdU16String(lex::bigseg::readArticle(dir / "text.txt")).replace("\r\n", "\n");
    lex::setModalRunner([&](QDialog &d) {
        auto &f = dynamic_cast<lex::bigseg::Form2 &>(d);
        f.Text1->setPlainText(text);
        f.Command1->click();
    });
    form.Command8->click();
    lex::setModalRunner({});
}

std::vector<Row> rows() {
    std::vector<Row> r;
    r.push_back({"segment",
                 {"segment", "@/a.txt"},
                 {"fc.txt", "bc.ini"},
                 [](const fs::path &d) { engineSegment(d, {}, d / "fc.txt"); },
                 [](const fs::path &d) { formSegment(d, {}); }});
    r.push_back({"segment_output",
                 {"segment", "@/a.txt", "-o", "@/out.txt"},
                 {"out.txt"},
                 [](const fs::path &d) { engineSegment(d, {}, d / "out.txt"); },
                 {}});
    for (const char *n : {"6", "99.5", "5", "12"}) {
        const QString value = QString::fromLatin1(n);
        r.push_back({std::string("segment_no_split_") + (n[1] == '9' ? "99_5" : n),
                     {"segment", "@/a.txt", "--no-split-below", n},
                     {"fc.txt"},
                     [n](const fs::path &d) {
                         engineSegment(d, {1, lex::bigseg::noSplitBelowFromText(lex::fromUtf8(n))},
                                       d / "fc.txt");
                     },
                     [value](const fs::path &d) { formSegment(d, value); }});
    }
    r.push_back(
        {"stats",
         {"stats"},
         {"tj.txt"},
         [](const fs::path &d) { lex::bigseg::countWords(d / "fc.txt", d / "tj.txt", g_pump); },
         [](const fs::path &d) {
             lex::test::ScriptedDialogs dialogs;
             lex::setToolDir(lex::fromPath(d));
             lex::bigseg::Form1 form;
             ASSERT_TRUE(form.Form_Load());
             form.Command4->click();
         }});
    r.push_back(
        {"stats_paths",
         {"stats", "--input", "@/text.txt", "-o", "@/out.txt"},
         {"out.txt"},
         [](const fs::path &d) { lex::bigseg::countWords(d / "text.txt", d / "out.txt", g_pump); },
         {}});
    const std::pair<const char *, const char *> supplements[] = {{"keep", "上海\r\n中国\r\n"},
                                                                 {"add", "上海\r\n中国\r\na\r\n"},
                                                                 {"toggle", "上海\r\n中国\r\nd"}};
    for (auto [name, text] : supplements) {
        const std::string bytes = lex::test::gbk(lex::fromUtf8(text));
        r.push_back({std::string("supplement_") + name,
                     {"supplement", "@/text.txt"},
                     {"bc.ini", "ciku.lxd"},
                     [](const fs::path &d) {
                         lex::bigseg::SegmentLexicon list;
                         lex::bigseg::applySupplement(lex::bigseg::readArticle(d / "text.txt"),
                                                      d / "bc.ini", d / "ciku.lxd", list, g_pump);
                     },
                     formSupplement,
                     [bytes](const fs::path &d) { lex::test::writeBytes(d / "text.txt", bytes); }});
    }
    return r;
}

class BigsegCli : public ::testing::TestWithParam<Row> {};

TEST_P(BigsegCli, WritesTheEngineAndWindowBytes) {
    const Row &row = GetParam();
    lex::test::TempDir dir;
    const fs::path cli = dir / "cli", engine = dir / "engine", form = dir / "form";
    for (const auto &d : {cli, engine, form})
        writeData(d);
    if (row.prepare)
        for (const auto &d : {cli, engine, form})
            row.prepare(d);
    std::vector<std::string> args = {"--data-dir", cli.string(), "bigseg"};
    for (const auto &a : row.args)
        args.push_back(a.starts_with("@") ? cli.string() + a.substr(1) : a);
    const lex::test::CliRun run = lex::test::runLexcli(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(run.out.empty());
    row.engine(engine);
    if (row.form)
        row.form(form);
    for (const auto &name : row.outputs) {
        EXPECT_EQ(readBytes(cli / name), readBytes(engine / name)) << name;
        if (row.form) {
            EXPECT_EQ(readBytes(form / name), readBytes(engine / name)) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Bigseg, BigsegCli, ::testing::ValuesIn(rows()),
                         [](const auto &info) { return info.param.name; });

// The tool's own messages with status 1, usage errors with status 2; nothing is written.
TEST(BigsegCliFailures, MessagesAndStatuses) {
    lex::test::TempDir dir;
    writeData(dir.path());
    const std::string d = dir.path().string();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"--data-dir", d, "bigseg", "segment", d + "/gone.txt", "-o", d + "/o.txt"},
         1,
         "没有分词材料！"},
        {{"--data-dir", d, "bigseg", "segment", d + "/a.txt", "-o", d + "/o.txt",
          "--no-split-below", "ten"},
         2,
         "--no-split-below"},
        {{"--data-dir", d + "/nowhere", "bigseg", "segment", d + "/a.txt", "-o", d + "/o.txt"},
         1,
         "ciku.lxd"},
        {{"--data-dir", d, "bigseg", "stats", "--input", d + "/gone.txt", "-o", d + "/o.txt"},
         1,
         "没有统计材料！"},
        {{"--data-dir", d, "bigseg", "supplement", d + "/gone.txt"}, 1, "gone.txt"},
        {{"--data-dir", d, "bigseg", "stats", "extra"}, 2, "太多"},
    };
    for (const Case &c : cases) {
        const lex::test::CliRun run = lex::test::runLexcli(c.args);
        EXPECT_EQ(run.status, c.status) << testing::PrintToString(c.args);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / "o.txt"));
    }
}

} // namespace
