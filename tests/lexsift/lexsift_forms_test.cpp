// lexsift's windows driven through the scripted dialogs: the menu, Form1 with its stop button,
// Form2 with the condition dialog Form5.
#include "lexsift/forms/form1.h"
#include "lexsift/forms/form2.h"
#include "lexsift/forms/form5.h"
#include "lexsift/forms/form_main.h"

#include "scripted_dialogs.h"
#include "test_support.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

using namespace lex;
using namespace lex::lexsift;
using lex::test::gbk;
using lex::test::gbkLines;
using lex::test::readBytes;
namespace fs = std::filesystem;

namespace {

// The driver of the next modal form; a form opened without one fails the test.
std::function<void(QDialog &)> g_driver;

template <typename F> void expect(std::function<void(F &)> driver) {
    g_driver = [driver](QDialog &d) {
        QVERIFY2(dynamic_cast<F *>(&d), qPrintable("unexpected form " + d.objectName()));
        driver(static_cast<F &>(d));
    };
}

bool isReport(const QString &text, int count) {
    return QRegularExpression(
               QStringLiteral("^本次筛出词条：%1\r\n\r\n耗时：\\d\\d:\\d\\d:\\d\\d$").arg(count))
        .match(text)
        .hasMatch();
}

} // namespace

class LexsiftFormsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<lex::test::TempDir> m_dir;
    std::unique_ptr<lex::test::ScriptedDialogs> m_dialogs;

    QString path(const char *name) const { return fromPath(*m_dir / name); }
    std::string bytes(const char *name) const { return readBytes(*m_dir / name); }

    // Opens Form5 from Form2, lets `edit` change it, then "确定" (or "取消").
    void conditions(Form2 &form, std::function<void(Form5 &)> edit, bool confirm = true) {
        expect<Form5>([=](Form5 &f) {
            edit(f);
            (confirm ? f.Command3 : f.Command4)->click();
        });
        form.Command2->click();
    }

private slots:
    void init() {
        m_dir = std::make_unique<lex::test::TempDir>();
        qputenv("XDG_CONFIG_HOME", path("config").toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", path("run").toLocal8Bit());
        lex::test::writeLexicon(*m_dir / "src.txt",
                                {u"中国zhongguo", u"人中", u"中华人民", u"中国", u"a中"});
        lex::test::writeLexicon(*m_dir / "art.txt", {u"我们是中国人", u"人民"});
        m_dialogs = std::make_unique<lex::test::ScriptedDialogs>();
        setModalRunner([](QDialog &d) {
            QVERIFY2(g_driver, qPrintable("unexpected form " + d.objectName()));
            std::exchange(g_driver, nullptr)(d);
        });
    }

    void cleanup() {
        setModalRunner(nullptr);
        m_dialogs.reset();
        QVERIFY2(!g_driver, "a form that was expected did not open");
    }

    // The menu opens each working form modally; Esc does not close it, "退出程序" does.
    void menuOpensTheWorkingForms() {
        FormMain main;
        main.show();
        QCOMPARE(main.windowTitle(), QStringLiteral("Quillo词库筛选 Ver1.09"));
        QTest::keyClick(&main, Qt::Key_Escape);
        QVERIFY(main.isVisible());
        expect<Form1>([](Form1 &f) { QCOMPARE(f.windowTitle(), QStringLiteral("通过文章筛选")); });
        main.Command2->click();
        expect<Form2>([](Form2 &f) { QCOMPARE(f.windowTitle(), QStringLiteral("定义条件筛选")); });
        main.Command3->click();
        main.Command7->click();
        QVERIFY(!main.isVisible());
    }

    // Open dialogs take only existing files; Start needs all three boxes; a run writes what
    // lexcli writes; a missing article creates no target.
    void articleFilter() {
        Form1 form;
        m_dialogs->fileAnswers = {path("gone.txt"), path("src.txt"), path("art.txt"),
                                  path("out.txt")};
        form.Command4->click();
        QCOMPARE(form.Text1->text(), QString());
        form.Command4->click();
        form.Command5->click();
        QVERIFY(!form.Command1->isEnabled());
        form.Command6->click();
        QCOMPARE(m_dialogs->fileDialogs[3].title, QStringLiteral("保存目标词库"));
        form.Command1->click();
        QCOMPARE(bytes("out.txt"), gbkLines({u"中国zhongguo", u"中国"}));
        QCOMPARE(m_dialogs->messages[0].title, QStringLiteral("完成！"));
        QVERIFY(isReport(m_dialogs->lastText(), 2));

        form.Text2->setText(path("gone.txt"));
        form.Text3->setText(path("new.txt"));
        form.Command1->click();
        QCOMPARE(m_dialogs->lastText(), QStringLiteral("打开文件失败！"));
        QVERIFY(!fs::exists(*m_dir / "new.txt"));
        QVERIFY(form.idle() && form.Command1->isEnabled());
    }

    // "停止" pressed during the first yield: reading stops, the first line alone is tested,
    // the report is titled "中断！"; closing is refused meanwhile.
    void articleFilterStops() {
        std::string source;
        for (int i = 0; i < 41000; ++i)
            source += gbk(u"中国\r\n");
        lex::test::writeBytes(*m_dir / "big.txt", source);
        Form1 form;
        form.show();
        form.Text1->setText(path("big.txt"));
        form.Text2->setText(path("art.txt"));
        form.Text3->setText(path("out.txt"));
        QString caption;
        QTimer::singleShot(0, &form, [&] {
            caption = form.Command2->text();
            form.close();
            form.Command2->click();
        });
        form.Command1->click();
        QCOMPARE(caption, QStringLiteral("停止"));
        QCOMPARE(m_dialogs->messages[0].title, QStringLiteral("中断！"));
        QVERIFY(isReport(m_dialogs->lastText(), 1));
        QCOMPARE(bytes("out.txt"), gbkLines({u"中国"}));
        QCOMPARE(form.Command2->text(), QStringLiteral("退出"));
        QVERIFY(form.isVisible() && form.idle() && form.Command1->isEnabled());
    }

    // Start waits for "确定"; the boxes exclude one another; a cleared word list keeps the one
    // in force; "取消" copies nothing; a bad bound and a missing input end with a message.
    void conditionFilter() {
        Form2 form;
        form.Text1->setText(path("src.txt"));
        form.Text5->setText(path("out.txt"));
        QVERIFY(!form.Command7->isEnabled());
        conditions(form, [](Form5 &f) {
            QVERIFY(f.Check1->isChecked() && f.Text1->isEnabled() && f.Option1->isChecked());
            QVERIFY(!f.Text2->isEnabled() && f.Text2->text() == "2" && f.Text3->text() == "10");
        });
        form.Command7->click(); // an empty list keeps nothing
        QCOMPARE(bytes("out.txt"), std::string());
        QVERIFY(isReport(m_dialogs->lastText(), 0));

        conditions(form, [](Form5 &f) {
            f.Text1->setPlainText(QStringLiteral("中\n\n"));
            f.Option2->click();
        });
        conditions(form, [](Form5 &f) {
            QCOMPARE(f.Text1->toPlainText(), QStringLiteral("中\n\n"));
            f.Text1->clear();
        });
        conditions(
            form,
            [](Form5 &f) {
                f.Check2->click();
                QVERIFY(!f.Check1->isChecked() && !f.Text1->isEnabled() && f.Text2->isEnabled());
                f.Check3->click();
                QVERIFY(!f.Check2->isChecked() && !f.Text2->isEnabled());
            },
            /*confirm=*/false);
        form.Command7->click();
        const std::string starts = gbkLines({u"中国zhongguo", u"中华人民", u"中国"});
        QCOMPARE(bytes("out.txt"), starts);

        conditions(form, [](Form5 &f) {
            f.Check2->click();
            f.Text3->setText(QStringLiteral("十"));
        });
        form.Command7->click();
        QVERIFY(m_dialogs->lastText().contains(QStringLiteral("不是数字")));
        QCOMPARE(bytes("out.txt"), starts);
        QVERIFY(form.idle() && form.Command2->isEnabled() && form.Command7->isEnabled());
        form.Text1->setText(path("gone.txt"));
        form.Command7->click();
        QCOMPARE(m_dialogs->lastText(), QStringLiteral("打开词库失败！"));
        QCOMPARE(form.Text1->text(), QString());
    }
};

QTEST_MAIN(LexsiftFormsTest)
#include "lexsift_forms_test.moc"
