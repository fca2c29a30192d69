// lexcli bigseg writes exactly the bytes of the engine call and of the window, for the same
// files and options, in three copies of one data folder.

#include "cli_harness.h"

#include "bigseg/forms/form1.h"
#include "bigseg/forms/form2.h"
#include "bigseg/forms/form5.h"
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

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;
using lex::test::writeLexicon;

// The windows need an application object (offscreen).
class QtEnvironment : public ::testing::Environment {
    int m_argc = 1;
    char m_name[16] = "bigseg_cli_test";
    char *m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;

public:
    void SetUp() override { m_app = std::make_unique<QApplication>(m_argc, m_argv); }
    void TearDown() override { m_app.reset(); }
};
[[maybe_unused]] auto *const g_env = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

lex::NullPump g_pump;

// A word list, a supplement list, an article in UTF-16, a segmentation result, a text file.
void writeData(const fs::path &dir, const std::string &text) {
    fs::create_directories(dir);
    writeLexicon(dir / "ciku.lxd", {u"一", u"中国", u"中国人", u"人民", u"共和国", u"和", u"民",
                                    u"我们", u"的", u"世界", u"龟"});
    writeLexicon(dir / "bc.ini", {u"北京", u"", u"中华"});
    writeLexicon(dir / "a.txt",
                 {u"中华人民共和国的首都是北京，我们的ABC世界。", u"好中国人民，人民中国",
                  u"中国人民中国人民好好"},
                 /*utf16=*/true);
    writeLexicon(dir / "fc.txt", {u"", u"中国", u"人民", u"中国", u"abc", u"龟"});
    lex::test::writeBytes(dir / "text.txt", lex::test::gbk(lex::fromUtf8(text)));
}

// Three copies of the data: lexcli's --data-dir, the engine's paths, the window's program
// folder; `same(name)` compares a file of the three.
struct Copies {
    lex::test::TempDir dir;
    fs::path cli = dir / "cli", engine = dir / "engine", form = dir / "form";

    explicit Copies(const std::string &text) {
        for (const auto &d : {cli, engine, form})
            writeData(d, text);
    }
    // lexcli with "@" standing for its folder.
    void lexcli(std::vector<std::string> args) {
        for (auto &a : args)
            a = a.starts_with("@") ? cli.string() + a.substr(1) : a;
        args.insert(args.begin(), {"--data-dir", cli.string(), "bigseg"});
        const lex::test::CliRun run = lex::test::runLexcli(args);
        ASSERT_EQ(run.status, 0) << run.err;
    }
    // The window with its program folder; `drive` clicks through it.
    void window(const std::function<void(lex::bigseg::Form1 &)> &drive) {
        lex::test::ScriptedDialogs dialogs;
        lex::setToolDir(lex::fromPath(form));
        lex::bigseg::Form1 f;
        ASSERT_TRUE(f.Form_Load());
        drive(f);
        lex::setModalRunner({});
    }
    void same(const std::string &name) {
        EXPECT_EQ(readBytes(cli / name), readBytes(engine / name)) << name;
        EXPECT_EQ(readBytes(form / name), readBytes(engine / name)) << name;
    }
};

// Segmentation, plain and with the option dialog's length (--no-split-below N).
TEST(BigsegCli, SegmentWritesTheEngineAndWindowBytes) {
    for (std::string n : {"", "6", "99.5", "5"}) {
        Copies c("");
        c.lexcli(n.empty() ? std::vector<std::string>{"segment", "@/a.txt"}
                           : std::vector<std::string>{"segment", "@/a.txt", "--no-split-below", n});
        lex::bigseg::SegmentOptions options;
        if (!n.empty())
            options = {1, lex::bigseg::noSplitBelowFromText(lex::fromUtf8(n))};
        const auto list =
            lex::bigseg::loadSegmentLexicon(c.engine / "ciku.lxd", c.engine / "bc.ini", g_pump);
        lex::bigseg::segmentText(lex::bigseg::readArticle(c.engine / "a.txt"), c.engine / "fc.txt",
                                 list, options, g_pump);
        c.window([&](lex::bigseg::Form1 &form) {
            lex::setModalRunner([&](QDialog &d) {
                auto &f = dynamic_cast<lex::bigseg::Form5 &>(d);
                f.Check1->setChecked(true);
                f.Text1->setText(QString::fromStdString(n));
                f.Command3->click();
            });
            if (!n.empty())
                form.Command9->click();
            form.Text2->setText(lex::fromPath(c.form / "a.txt"));
            form.Command1->click();
        });
        c.same("fc.txt");
        c.same("bc.ini");
    }
}

TEST(BigsegCli, StatsWritesTheEngineAndWindowBytes) {
    Copies c("中国\r\nabc\r\n中国");
    c.lexcli({"stats"});
    c.lexcli({"stats", "--input", "@/text.txt", "-o", "@/out.txt"});
    lex::bigseg::countWords(c.engine / "fc.txt", c.engine / "tj.txt", g_pump);
    lex::bigseg::countWords(c.engine / "text.txt", c.engine / "out.txt", g_pump);
    c.window([](lex::bigseg::Form1 &form) { form.Command4->click(); });
    c.same("tj.txt");
    EXPECT_EQ(readBytes(c.cli / "out.txt"), readBytes(c.engine / "out.txt"));
}

// The statistics read bytes of their own: a UTF-8 segmentation result, with the mark or without,
// counts as its code page 936 twin, is written back in UTF-8 with its line ends, and keeps the
// characters code page 936 cannot hold.
TEST(BigsegCli, StatsReadUtf8AsTheirCodePage936Twin) {
    lex::test::TempDir dir;
    const std::u16string text = u"中国\n人\n中国\n\n中国\nabc\n";
    auto stats = [&](const std::string &bytes) {
        lex::test::writeBytes(dir / "in.txt", bytes);
        const lex::test::CliRun run =
            lex::test::runLexcli({"bigseg", "stats", "--input", (dir / "in.txt").string(), "-o",
                                  (dir / "tj.txt").string()});
        EXPECT_EQ(run.status, 0) << run.err;
        return lex::test::readBytes(dir / "tj.txt");
    };
    std::u16string twin = lex::decode936(stats(lex::test::gbk(text)));
    for (size_t cr; (cr = twin.find(u'\r')) != std::u16string::npos;)
        twin.erase(cr, 1);
    for (const std::string mark : {"", "\xEF\xBB\xBF"})
        EXPECT_EQ(stats(mark + lex::toUtf8(text)), lex::toUtf8(twin));
    EXPECT_EQ(stats("\xE4\xB8\xAD\xF0\xA0\xAE\xB7\r\n\xE4\xB8\xAD\xF0\xA0\xAE\xB7\r\n"),
              "000002\t\xE4\xB8\xAD\xF0\xA0\xAE\xB7\r\n");
}

// The supplement text without a command, with "a" and with "d".
TEST(BigsegCli, SupplementWritesTheEngineAndWindowBytes) {
    for (const char *text : {"上海\r\n中国\r\n", "上海\r\n中国\r\na\r\n", "上海\r\n中国\r\nd"}) {
        Copies c(text);
        c.lexcli({"supplement", "@/text.txt"});
        lex::bigseg::SegmentLexicon list;
        lex::bigseg::applySupplement(lex::fromUtf8(text), c.engine / "bc.ini",
                                     c.engine / "ciku.lxd", list, g_pump);
        c.window([&](lex::bigseg::Form1 &form) {
            lex::setModalRunner([&](QDialog &d) {
                auto &f = dynamic_cast<lex::bigseg::Form2 &>(d);
                f.Text1->setPlainText(QString::fromUtf8(text).replace("\r\n", "\n"));
                f.Command1->click();
            });
            form.Command8->click();
        });
        c.same("bc.ini");
        c.same("ciku.lxd");
    }
}

// The tool's own messages with status 1, a usage error with status 2; nothing is written.
TEST(BigsegCliFailures, MessagesAndStatuses) {
    lex::test::TempDir dir;
    writeData(dir.path(), "");
    const std::string d = dir.path().string(), o = d + "/o.txt";
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"bigseg", "segment", d + "/gone.txt", "-o", o}, 1, "没有分词材料！"},
        {{"bigseg", "segment", d + "/a.txt", "-o", o, "--no-split-below", "x"}, 2, "--no-split"},
        {{"--data-dir", d + "/none", "bigseg", "segment", d + "/a.txt", "-o", o}, 1, "ciku.lxd"},
        {{"bigseg", "stats", "--input", d + "/gone.txt", "-o", o}, 1, "没有统计材料！"}};
    for (const auto &[args, status, err] : cases) {
        const lex::test::CliRun run = lex::test::runLexcli(args);
        EXPECT_EQ(run.status, status);
        EXPECT_NE(run.err.find(err), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(o));
    }
}

} // namespace
