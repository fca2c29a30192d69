// lexcli lexsort writes exactly the bytes of the window that runs the same sort, and prints its
// report; failures give the window's message and write nothing.
#include "cli_harness.h"

#include "lexsort/forms/form1.h"
#include "lexsort/forms/form2.h"
#include "lexsort/forms/form4.h"

#include "scripted_dialogs.h"
#include "test_support.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <functional>

using lex::test::readBytes;
using lex::test::runLexcli;
using lex::test::writeLexicon;
namespace fs = std::filesystem;

namespace {

QString q(const fs::path &p) {
    return QString::fromStdString(p.string());
}

} // namespace

class LexsortCliTest : public QObject {
    Q_OBJECT

    std::unique_ptr<lex::test::TempDir> m_dir;
    std::unique_ptr<lex::test::ScriptedDialogs> m_dialogs;

    fs::path path(const char *name) const { return *m_dir / name; }

    // Runs lexcli with `args` + "-o cli.txt", then `form` writing form.txt; both must agree.
    void compare(std::vector<std::string> args, const std::function<void(const fs::path &)> &form) {
        args.insert(args.end(), {"-o", path("cli.txt").string()});
        const auto run = runLexcli(args);
        QCOMPARE(run.status, 0);
        form(path("form.txt"));
        QVERIFY(fs::exists(path("cli.txt")));
        QCOMPARE(readBytes(path("cli.txt")), readBytes(path("form.txt")));
        // The report is the window's message, LF for CR LF (the elapsed time may differ).
        QCOMPARE(QString::fromStdString(run.out).section(QLatin1Char('\n'), 0, 0),
                 m_dialogs->lastText().section(QStringLiteral("\r\n"), 0, 0));
    }

    template <class F>
    static void start(F &f, QLineEdit *in, QLineEdit *out, const fs::path &i, const fs::path &o) {
        in->setText(q(i));
        out->setText(q(o));
        f.Command7->click();
    }

private slots:
    void init() {
        m_dir = std::make_unique<lex::test::TempDir>();
        m_dialogs = std::make_unique<lex::test::ScriptedDialogs>();
        writeLexicon(path("in.txt"), {u";注释", u"中华人民", u"Ab", u"中国", u"", u"好", u"中国",
                                      u"ab", u"中zhong国", u"啊"});
        writeLexicon(path("ref.txt"), {u"中国", u"啊", u"北京", u"中华人民"}, /*utf16=*/true);
    }

    void cleanup() {
        m_dialogs.reset();
        m_dir.reset();
    }

    void lengthAsForm1() {
        compare({"lexsort", "length", path("in.txt").string()}, [this](const fs::path &out) {
            lex::lexsort::Form1 f;
            start(f, f.Text1, f.Text2, path("in.txt"), out);
        });
    }

    void referenceAsForm2() {
        for (const char *ref : {"ref.txt", "gone.txt"}) {
            compare({"lexsort", "reference", path("in.txt").string(), path(ref).string()},
                    [this, ref](const fs::path &out) {
                        lex::lexsort::Form2 f;
                        f.Text2->setText(q(path(ref)));
                        start(f, f.Text1, f.Text3, path("in.txt"), out);
                    });
        }
        // The command says that the reference is gone, where a script sees it apart from the
        // report: on standard error, with status 0 (the window says nothing).
        const auto run = runLexcli({"lexsort", "reference", path("in.txt").string(),
                                    path("gone.txt").string(), "-o", path("x.txt").string()});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.err,
                 "参照词库不存在，按原始词库的顺序输出：" + path("gone.txt").string() + "\n");
        QVERIFY(run.out.starts_with("处理词条："));
        QVERIFY(run.out.find("参照词库") == std::string::npos);
        const auto help = runLexcli({"lexsort", "reference", "--help"});
        QVERIFY(help.out.find("标准错误上给出“参照词库不存在") != std::string::npos);
    }

    void strokeAndPinyinAsForm4() {
        const std::pair<const char *, int16_t> modes[] = {{"stroke", 1}, {"pinyin", 2}};
        for (auto [name, mode] : modes) {
            compare({"lexsort", name, path("in.txt").string()}, [&](const fs::path &out) {
                lex::lexsort::Form4 f;
                f.intF = mode;
                f.Form_Load();
                start(f, f.Text1, f.Text2, path("in.txt"), out);
            });
        }
    }

    void failuresWriteNothing() {
        const std::string gone = path("gone.txt").string(), in = path("in.txt").string(),
                          out = path("o.txt").string();
        struct Row {
            std::vector<std::string> args;
            int status;
            const char *err;
        };
        const Row rows[] = {
            {{"lexsort", "length", gone, "-o", out}, 1, "打开原始文件失败！文件不存在："},
            {{"lexsort", "pinyin", path("").string(), "-o", out},
             1,
             "打开原始文件失败！不是文件："},
            {{"lexsort", "reference", gone, in, "-o", out}, 1, "打开原始词库失败！文件不存在："},
            {{"lexsort", "reference", in, "-o", out}, 2, "lexsort reference"},
            {{"lexsort", "pinyin", in}, 2, "-o"},
        };
        for (const Row &row : rows) {
            const auto run = runLexcli(row.args);
            QCOMPARE(run.status, row.status);
            QVERIFY2(run.err.find(row.err) != std::string::npos, run.err.c_str());
            QVERIFY(!fs::exists(out));
        }
    }
};

QTEST_MAIN(LexsortCliTest)
#include "lexsort_cli_test.moc"
