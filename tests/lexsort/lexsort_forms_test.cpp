// lexsort's windows through the scripted dialogs: the menu opening Form1, Form2 and Form4 (one
// form, two modes), path boxes and Start, the status label, reports and failure messages. The
// bytes the forms write are compared with lexcli's in tests/lexcli/lexsort_cli_test.cpp.
#include "lexsort/forms/form1.h"
#include "lexsort/forms/form2.h"
#include "lexsort/forms/form4.h"
#include "lexsort/forms/form_main.h"

#include "scripted_dialogs.h"
#include "test_support.h"

#include "shared/toolshell/readme_viewer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <deque>
#include <functional>

using namespace lex;
using namespace lex::lexsort;
using lex::test::gbkLines;
using lex::test::readBytes;

namespace {

QString q(const std::filesystem::path &p) {
    return QString::fromStdString(p.string());
}

// The modal forms in the order they open, each with its driver.
std::deque<std::function<void(QDialog &)>> g_drivers;

template <typename F> void expect(std::function<void(F &)> driver) {
    g_drivers.push_back([driver](QDialog &d) {
        auto *form = dynamic_cast<F *>(&d);
        QVERIFY2(form, qPrintable("unexpected form " + d.objectName()));
        driver(*form);
    });
}

const QString kIdle = QStringLiteral("欢迎使用！");

} // namespace

class LexsortFormsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<lex::test::TempDir> m_dir;
    std::unique_ptr<lex::test::ScriptedDialogs> m_dialogs;

    QString path(const char *name) const { return q(*m_dir / name); }

    // The count of the last message box when it is a completion report, else -1.
    int reportedCount() const {
        static const QRegularExpression report(
            QStringLiteral("^处理词条：(\\d+)\r\n耗费时间：\\d\\d:\\d\\d:\\d\\d$"));
        const auto m = report.match(m_dialogs->lastText());
        const bool done = m_dialogs->messages.last().title == QStringLiteral("完成！");
        return m.hasMatch() && done ? m.captured(1).toInt() : -1;
    }

    // While the report is up, Label3 is busy and neither the form nor the menu may close.
    void expectBusyAtReport(SortForm &form, FormMain &main) {
        m_dialogs->onMessage = [this, &form, &main](const lex::test::RecordedMessage &) {
            QCOMPARE(form.Label3->text(), QStringLiteral("正在处理，请稍候……"));
            QVERIFY(!form.Form_Unload() && !main.Form_Unload());
            m_dialogs->onMessage = nullptr;
        };
    }

private slots:
    void init() {
        m_dir = std::make_unique<lex::test::TempDir>();
        qputenv("XDG_CONFIG_HOME", path("config").toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", path("run").toLocal8Bit());
        setToolDir(path(""));
        lex::test::writeLexicon(*m_dir / "in.txt",
                                {u";注释", u"中华人民", u"中国", u"好", u"中国"});
        lex::test::writeLexicon(*m_dir / "ref.txt", {u"好", u"中国", u"北京"});
        m_dialogs = std::make_unique<lex::test::ScriptedDialogs>();
        g_drivers.clear();
        setModalRunner([](QDialog &d) {
            QVERIFY2(!g_drivers.empty(), qPrintable("unexpected form " + d.objectName()));
            auto driver = std::move(g_drivers.front());
            g_drivers.pop_front();
            driver(d);
        });
    }

    void cleanup() {
        setModalRunner(nullptr);
        m_dialogs.reset();
        QVERIFY2(g_drivers.empty(), "a form that was expected did not open");
        m_dir.reset();
    }

    void menu() {
        FormMain main;
        main.show();
        QCOMPARE(main.windowTitle(), QStringLiteral("Quillo词库排序 Ver1.06"));
        QString captions;
        for (auto *b : {main.Command2, main.Command3, main.Command4, main.Command5, main.Command1,
                        main.Command7})
            captions += b->text() + "|";
        QCOMPARE(captions,
                 "按词条长度排序|按其它词库排序|按汉字笔画排序|按汉字拼音排序|说明文档|退出程序|");
        QTest::keyClick(&main, Qt::Key_Escape);
        QVERIFY(main.isVisible());
        expect<ReadmeViewer>([](ReadmeViewer &) {});
        main.Command1->click();
        main.Command7->click();
        QVERIFY(!main.isVisible());
    }

    void form1SortsByLength() {
        FormMain main;
        m_dialogs->fileAnswers = {path("in.txt"), QString(), path("out.txt")};
        expect<Form1>([&](Form1 &f) {
            QCOMPARE(f.windowTitle(), QStringLiteral("按词条长度排序"));
            QCOMPARE(f.Label3->text(), kIdle);
            f.Command1->click();
            f.Command2->click(); // cancelled: the box stays empty
            QVERIFY(f.Text2->text().isEmpty() && !f.Command7->isEnabled());
            f.Command2->click();
            QVERIFY(f.Command7->isEnabled());
            QCOMPARE(m_dialogs->fileDialogs[0].title, QStringLiteral("打开原始词库"));
            QCOMPARE(m_dialogs->fileDialogs[2].title, QStringLiteral("新词库保存为"));
            QVERIFY(!m_dialogs->fileDialogs[0].isSave && m_dialogs->fileDialogs[2].isSave);
            expectBusyAtReport(f, main);
            f.Command7->click();
            QCOMPARE(reportedCount(), 4);
            QCOMPARE(f.Label3->text(), kIdle);
            QVERIFY(f.Command7->isEnabled());
            f.Command8->click();
        });
        main.Command2->click();
        QCOMPARE(readBytes(*m_dir / "out.txt"), gbkLines({u"中国", u"中国", u"中华人民", u"好"}));
    }

    // After "打开原始文件失败！" Start waits for a change of a path box; the status is idle again.
    void missingInputInForm1AndForm4() {
        FormMain main;
        auto check = [this](SortForm &f, QLineEdit *in, QLineEdit *out) {
            in->setText(path("gone.txt"));
            out->setText(path("out.txt"));
            f.Command7->click();
            QCOMPARE(m_dialogs->lastText(), QStringLiteral("打开原始文件失败！"));
            QCOMPARE(m_dialogs->messages.last().title, QString());
            QVERIFY(!f.Command7->isEnabled() && f.idle());
            QCOMPARE(f.Label3->text(), kIdle);
            in->setText(path("in.txt"));
            QVERIFY(f.Command7->isEnabled());
        };
        expect<Form1>([&](Form1 &f) { check(f, f.Text1, f.Text2); });
        main.Command2->click();
        expect<Form4>([&](Form4 &f) { check(f, f.Text1, f.Text2); });
        main.Command5->click();
        QVERIFY(!std::filesystem::exists(*m_dir / "out.txt"));
    }

    // Form2 is made once, keeps its boxes, and leaves its set empty after every run.
    void form2SortsByReference() {
        FormMain main;
        m_dialogs->fileAnswers = {path("in.txt"), path("ref.txt"), path("out.txt")};
        Form2 *form = nullptr;
        expect<Form2>([&](Form2 &f) {
            form = &f;
            QCOMPARE(f.windowTitle(), QStringLiteral("按其它词库排序"));
            for (QPushButton *b : {f.Command1, f.Command2, f.Command3}) {
                QVERIFY(!f.Command7->isEnabled());
                b->click();
            }
            QCOMPARE(m_dialogs->fileDialogs[1].title, QStringLiteral("打开其它词库"));
            expectBusyAtReport(f, main);
            f.Command7->click();
            // 中华人民, 中国 and the placeholder of the comment line and of 好.
            QCOMPARE(reportedCount(), 3);
            QCOMPARE(f.set().insertedCount(), 0);
        });
        main.Command3->click();
        QCOMPARE(readBytes(*m_dir / "out.txt"), gbkLines({u"中国", u"中华人民"}));
        expect<Form2>([&](Form2 &f) {
            QCOMPARE(&f, form);
            f.Text1->setText(path("gone.txt"));
            f.Command7->click();
            QCOMPARE(m_dialogs->lastText(), QStringLiteral("打开原始词库失败！"));
            QVERIFY(f.Text1->text().isEmpty() && !f.Command7->isEnabled());
            QCOMPARE(f.Label3->text(), kIdle);
        });
        main.Command3->click();
    }

    // One Form4 for both modes: each menu button sets intF and the caption before showing it.
    // Ab and ab compare equal in pinyin mode; the quicksort's steps turn them round.
    void form4SortsByStrokeAndPinyin() {
        lex::test::writeLexicon(*m_dir / "in.txt", {u"中", u"Ab", u"一", u"啊", u"ab", u"丁"});
        FormMain main;
        Form4 *form = nullptr;
        auto run = [&](int16_t mode, const QString &caption, const char *out) {
            expect<Form4>([&, mode, caption, out](Form4 &f) {
                QVERIFY(!form || form == &f);
                form = &f;
                QVERIFY(f.intF == mode && f.windowTitle() == caption);
                f.Text1->setText(path("in.txt"));
                f.Text2->setText(path(out));
                f.Command7->click();
                QCOMPARE(reportedCount(), 6);
            });
        };
        run(1, QStringLiteral("按汉字笔画排序"), "stroke.txt");
        main.Command4->click();
        run(2, QStringLiteral("按汉字拼音排序"), "pinyin.txt");
        main.Command5->click();
        QCOMPARE(readBytes(*m_dir / "stroke.txt"),
                 gbkLines({u"Ab", u"ab", u"一", u"丁", u"中", u"啊"}));
        QCOMPARE(readBytes(*m_dir / "pinyin.txt"),
                 gbkLines({u"啊", u"丁", u"一", u"中", u"ab", u"Ab"}));
    }
};

QTEST_MAIN(LexsortFormsTest)
#include "lexsort_forms_test.moc"
