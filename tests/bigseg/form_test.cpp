// The bigseg windows driven through their controls and the scripted dialogs: start-up with and
// without the word list, browsing, the two runs with their reports, the stop button inside a
// run, the result viewers, the option dialog Form5 and the supplement editor Form2.

#include "bigseg/forms/form1.h"
#include "bigseg/forms/form2.h"
#include "bigseg/forms/form5.h"

#include "counting_pump.h"
#include "scripted_dialogs.h"
#include "shared/lexcore/cp936.h"
#include "test_support.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

using lex::bigseg::Form1;
using lex::bigseg::Form2;
using lex::bigseg::Form5;
using lex::test::gbk;
using lex::test::gbkLines;
using lex::test::readBytes;
using lex::test::writeLexicon;
namespace fs = std::filesystem;

namespace {

QString q(const fs::path &p) {
    return lex::fromPath(p);
}

bool report(const QString &head, const QString &text) {
    return QRegularExpression("^" + head + "\\d\\d:\\d\\d:\\d\\d$").match(text).hasMatch();
}

// Runs the next modal forms through `drive` instead of blocking.
template <class F> void onModal(std::function<void(F &)> drive) {
    lex::setModalRunner([drive](QDialog &d) { drive(dynamic_cast<F &>(d)); });
}

} // namespace

class BigsegFormTest : public QObject {
    Q_OBJECT
public slots:
    void openUrl(const QUrl &url) { m_opened << url.toLocalFile(); }

private:
    lex::test::TempDir m_config;
    QStringList m_opened;
    std::unique_ptr<lex::test::TempDir> m_dir;
    std::unique_ptr<lex::test::ScriptedDialogs> m_dialogs;
    std::unique_ptr<Form1> m_form;

    fs::path dir() const { return m_dir->path(); }
    lex::test::ScriptedDialogs &dialogs() { return *m_dialogs; }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_config.path().string()));
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(m_config.path().string()));
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
    }

    // Each test: a program folder with the word list of the worked examples, and Form1 loaded.
    void init() {
        m_dir = std::make_unique<lex::test::TempDir>();
        writeLexicon(dir() / "ciku.lxd", {u"一", u"中国", u"中国人", u"人民", u"民", u"龟"});
        lex::setToolDir(q(dir()));
        m_dialogs = std::make_unique<lex::test::ScriptedDialogs>();
        m_form = std::make_unique<Form1>();
        QVERIFY(m_form->Form_Load());
        m_form->show();
    }
    void cleanup() {
        lex::setModalRunner({});
        m_form.reset();
        m_dialogs.reset();
        m_dir.reset();
    }

    void loadsIdleAndBrowses() {
        Form1 &form = *m_form;
        QCOMPARE(form.windowTitle(), QStringLiteral("bigseg Ver1.09"));
        QCOMPARE(form.Command2->text(), QStringLiteral("退出程序"));
        QCOMPARE(form.Label3->text(), QStringLiteral("文章："));
        QVERIFY(form.Label2->isHidden() && !form.Command1->isEnabled());
        QCOMPARE(form.lexicon().size(), 6);
        QVERIFY(fs::exists(dir() / "bc.ini")); // created empty at start-up
        writeLexicon(dir() / "a.txt", {u"中国"});
        dialogs().fileAnswers = {q(dir() / "a.txt"), q(dir() / "gone.txt"), QString()};
        for (int i = 0; i < 3; ++i)
            form.Command5->click(); // a missing file and a cancel leave the box as it was
        QCOMPARE(form.Text2->text(), q(dir() / "a.txt"));
        QCOMPARE(dialogs().fileDialogs[0].title, QStringLiteral("打开文章"));
        QVERIFY(form.Command1->isEnabled());
        form.Text2->clear();
        QVERIFY(!form.Command1->isEnabled());
        QTest::keyClick(&form, Qt::Key_Escape); // Esc never closes the main window
        QVERIFY(form.isVisible());
        form.Command2->click();
        QVERIFY(!form.isVisible());
    }

    // The messages of missing inputs and results, the two reports, the viewers.
    void messagesReportsAndViewers() {
        Form1 &form = *m_form;
        form.Text2->setText(q(dir() / "gone.txt"));
        for (QPushButton *b : {form.Command4, form.Command1, form.Command6, form.Command7})
            b->click();
        QStringList texts;
        for (const auto &m : dialogs().messages)
            texts << m.text;
        QCOMPARE(texts, QStringList({"没有统计材料！", "没有分词材料！", "没有分词结果！",
                                     "没有统计结果！"}));
        writeLexicon(dir() / "a.txt", {u"中国人民好，我们的ABC世界，中国"}, /*utf16=*/true);
        form.Text2->setText(q(dir() / "a.txt"));
        form.Command1->click();
        QCOMPARE(readBytes(dir() / "fc.txt"),
                 gbk(u"\r\n中国人\r\n民好\r\n我们的\r\n世界\r\n中国\r\n"));
        QCOMPARE(dialogs().messages.last().title, QString());
        QVERIFY(report("完成！\r\n耗时：", dialogs().lastText()));
        form.Command4->click();
        QCOMPARE(dialogs().messages.last().title, QStringLiteral("完成！"));
        QVERIFY(report("合计词条：5\r\n耗费时间：", dialogs().lastText()));
        QVERIFY(form.idle() && form.Command1->isEnabled());
        m_opened.clear();
        form.Command6->click();
        form.Command7->click();
        QCOMPARE(m_opened, QStringList({q(dir() / "fc.txt"), q(dir() / "tj.txt")}));
    }

    // "停止分词" inside the run: only it, the read-me and the options stay usable, closing is
    // refused; "fc.txt" is still written (as by a run stopped at its first yield) and the report
    // begins with "中断！".
    void stopInsideTheRun() {
        Form1 &form = *m_form;
        const std::u16string article = u"中国人民好，中国人民好，好中国人民";
        writeLexicon(dir() / "a.txt", {article});
        form.Text2->setText(q(dir() / "a.txt"));
        QStringList seen;
        QTimer::singleShot(0, &form, [&] {
            for (auto *b : form.findChildren<QPushButton *>())
                if (b->isEnabled())
                    seen << b->objectName() + b->text();
            seen << (form.Label2->isVisible() ? "Label2" : "");
            form.close();
            seen << (form.isVisible() ? "open" : "closed");
            form.Command2->click();
        });
        form.Command1->click();
        QCOMPARE(seen, QStringList({"Command9设置选项", "Command3相关说明", "Command2停止分词",
                                    "Label2", "open"}));
        QVERIFY(report("中断！\r\n耗时：", dialogs().lastText()));
        lex::test::CountingPump stop(1);
        lex::bigseg::segmentText(article, dir() / "expected.txt", form.lexicon(), {}, stop);
        QCOMPARE(readBytes(dir() / "fc.txt"), readBytes(dir() / "expected.txt"));
        QCOMPARE(readBytes(dir() / "fc.txt"),
                 gbk(u"\r\n中国人民好\r\n中国人民好\r\n好中国人民\r\n"));
        QVERIFY(form.idle() && form.Label2->isHidden());
        QCOMPARE(form.Command2->text(), QStringLiteral("退出程序"));
    }

    // Form5: the length box follows the check box; "确定" takes the length by the dialog's rule
    // (99.5 -> 100, 5 -> 10), "取消" changes nothing.
    void optionDialogSetsTheThreshold() {
        Form1 &form = *m_form;
        QStringList seen;
        auto set = [&](bool check, const QString &n, bool ok) {
            onModal<Form5>([&, check, n, ok](Form5 &f) {
                seen << f.Text1->text() << (f.Text1->isEnabled() ? "on" : "off");
                f.Check1->setChecked(check);
                QCOMPARE(f.Text1->isEnabled(), check);
                f.Text1->setText(n);
                (ok ? f.Command3 : f.Command4)->click();
            });
            form.Command9->click();
        };
        set(true, "99.5", true);
        QCOMPARE(form.options().noSplitBelow, int16_t(100));
        set(true, "5", true);
        set(false, "7", false);
        QCOMPARE(seen, QStringList({"10", "off", "100", "on", "10", "on"}));
        QCOMPARE(form.options().noSplitEnabled, int16_t(1));
        QCOMPARE(form.options().noSplitBelow, int16_t(10));
    }

    // Form2 shows "bc.ini"; "确定" with "a" adds the words to the list at once.
    void supplementEditorAddsAtOnce() {
        Form1 &form = *m_form;
        writeLexicon(dir() / "bc.ini", {u"旧词", u"人民"});
        QVERIFY(form.Form_Load());
        QCOMPARE(form.lexicon().size(), 7);
        QString loaded;
        onModal<Form2>([&](Form2 &f) {
            loaded = f.Text1->toPlainText();
            f.Text1->setPlainText(QStringLiteral("北京\n上海\na\n"));
            f.Command1->click();
        });
        form.Command8->click();
        QCOMPARE(loaded, QStringLiteral("旧词\n人民\n"));
        QCOMPARE(form.lexicon().size(), 8); // 旧词 left with "bc.ini", 北京 and 上海 joined
        QCOMPARE(readBytes(dir() / "bc.ini"), std::string());
    }

    // Without "ciku.lxd" the tool says why and ends, at start-up ("bc.ini" kept) and when the
    // editor applies.
    void missingWordListEndsTheProgram() {
        fs::remove(dir() / "ciku.lxd");
        writeLexicon(dir() / "bc.ini", {u"北京"});
        QVERIFY(!Form1().Form_Load());
        QVERIFY(dialogs().lastText().contains(QStringLiteral("ciku.lxd")));
        QCOMPARE(readBytes(dir() / "bc.ini"), gbkLines({u"北京"}));
        onModal<Form2>([&](Form2 &f) {
            f.Text1->setPlainText(QStringLiteral("北京\na"));
            f.Command1->click();
        });
        m_form->Command8->click();
        QCOMPARE(dialogs().messages.size(), 2);
        QVERIFY(!m_form->isVisible());
        QCOMPARE(readBytes(dir() / "bc.ini"), gbkLines({u"北京"}));
    }
};

QTEST_MAIN(BigsegFormTest)
#include "form_test.moc"
