// The bigseg windows driven through their controls and the scripted dialogs: start-up with and
// without the word list, browsing, a segmentation and a statistics run with their reports, the
// stop button inside a run, the result viewers, the option dialog Form5 and the supplement
// editor Form2.

#include "bigseg/forms/form1.h"
#include "bigseg/forms/form2.h"
#include "bigseg/forms/form5.h"

#include "counting_pump.h"
#include "scripted_dialogs.h"
#include "test_support.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
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

bool matches(const QString &pattern, const QString &text) {
    return QRegularExpression(pattern).match(text).hasMatch();
}

const QString kElapsed = QStringLiteral("\\d\\d:\\d\\d:\\d\\d$");

} // namespace

class BigsegFormTest : public QObject {
    Q_OBJECT
public slots:
    void openUrl(const QUrl &url) { m_opened << url.toLocalFile(); }

private:
    lex::test::TempDir m_config;
    QStringList m_opened;

    // A program folder with the word list of the worked examples.
    void shipWordList(const lex::test::TempDir &dir) {
        writeLexicon(dir / "ciku.lxd", {u"一", u"中国", u"中国人", u"人民", u"民", u"龟"});
        lex::setToolDir(q(dir.path()));
    }

    // Runs the next modal form through `drive` instead of blocking.
    template <class F> void onModal(std::function<void(F &)> drive) {
        lex::setModalRunner([drive](QDialog &d) {
            auto *form = qobject_cast<F *>(&d);
            QVERIFY(form);
            drive(*form);
        });
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_config.path().string()));
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(m_config.path().string()));
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
    }
    void cleanup() { lex::setModalRunner({}); }

    void loadsIdleWithItsCaptions() {
        lex::test::TempDir dir;
        shipWordList(dir);
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        QVERIFY(form.Form_Load());
        QCOMPARE(form.windowTitle(), QStringLiteral("bigseg Ver1.09"));
        const std::pair<const char *, const char *> captions[] = {
            {"Command1", "开始分词"}, {"Command4", "开始统计"}, {"Command6", "分词结果"},
            {"Command7", "统计结果"}, {"Command8", "补充词条"}, {"Command9", "设置选项"},
            {"Command3", "相关说明"}, {"Command2", "退出程序"}, {"Command5", "…"}};
        for (auto [name, caption] : captions)
            QCOMPARE(form.findChild<QPushButton *>(name)->text(), QString::fromUtf8(caption));
        QCOMPARE(form.findChild<QLabel *>("Label3")->text(), QStringLiteral("文章："));
        QCOMPARE(form.Label2->text(), QStringLiteral("正在处理，请稍候……"));
        QVERIFY(form.Label2->isHidden());
        QVERIFY(!form.Command1->isEnabled());
        QCOMPARE(form.lexicon().size(), 6);
        QVERIFY(fs::exists(dir / "bc.ini")); // created empty at start-up
        QVERIFY(dialogs.messages.isEmpty());

        form.Text2->setText("a.txt");
        QVERIFY(form.Command1->isEnabled());
        form.Text2->clear();
        QVERIFY(!form.Command1->isEnabled());
    }

    // Without "ciku.lxd" the tool says why and does not start; "bc.ini" stays as it was.
    void missingWordListEndsTheStart() {
        lex::test::TempDir dir;
        lex::setToolDir(q(dir.path()));
        writeLexicon(dir / "bc.ini", {u"北京"});
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        QVERIFY(!form.Form_Load());
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.lastText().contains(QStringLiteral("ciku.lxd")));
        QCOMPARE(readBytes(dir / "bc.ini"), gbkLines({u"北京"}));
    }

    void browseTakesOnlyExistingFiles() {
        lex::test::TempDir dir;
        shipWordList(dir);
        writeLexicon(dir / "a.txt", {u"中国"});
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Form_Load();
        dialogs.fileAnswers = {q(dir / "a.txt"), q(dir / "gone.txt"), QString()};
        form.Command5->click();
        QCOMPARE(form.Text2->text(), q(dir / "a.txt"));
        form.Command5->click(); // a path that does not exist leaves the box as it was
        form.Command5->click(); // so does a cancelled dialog
        QCOMPARE(form.Text2->text(), q(dir / "a.txt"));
        QCOMPARE(dialogs.fileDialogs.size(), 3);
        QCOMPARE(dialogs.fileDialogs[0].title, QStringLiteral("打开文章"));
        QVERIFY(!dialogs.fileDialogs[0].isSave);
    }

    void segmentationWritesAndReports() {
        lex::test::TempDir dir;
        shipWordList(dir);
        writeLexicon(dir / "a.txt", {u"中国人民好，我们的ABC世界"}, /*utf16=*/true);
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Form_Load();
        form.Text2->setText(q(dir / "a.txt"));
        form.Command1->click();
        QCOMPARE(readBytes(dir / "fc.txt"), gbk(u"\r\n中国人\r\n民好\r\n我们的\r\n世界\r\n"));
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].title, QString());
        QVERIFY(matches(QStringLiteral("^完成！\r\n耗时：") + kElapsed, dialogs.lastText()));
        QVERIFY(form.idle());
        QVERIFY(form.Command1->isEnabled() && form.Command4->isEnabled());

        form.Text2->setText(q(dir / "gone.txt")); // missing, like an empty article
        form.Command1->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("没有分词材料！"));
        QVERIFY(form.idle());
    }

    // "停止分词" inside the run: the search ends at its first miss, the runs after the first
    // stay whole, "fc.txt" is still written and the report begins with "中断！". While the run
    // goes the window refuses to close and only the read-me and options stay usable.
    void stopDuringSegmentation() {
        lex::test::TempDir dir;
        shipWordList(dir);
        const std::u16string article = u"中国人民好，中国人民好，好中国人民";
        writeLexicon(dir / "a.txt", {article});
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Form_Load();
        form.show();
        form.Text2->setText(q(dir / "a.txt"));
        QString caption;
        bool labelShown = false, closed = true;
        QStringList enabled;
        QTimer::singleShot(0, &form, [&] {
            caption = form.Command2->text();
            labelShown = form.Label2->isVisible() && form.Progress->isVisible();
            for (auto *b : form.findChildren<QPushButton *>())
                if (b->isEnabled())
                    enabled << b->objectName();
            form.close();
            closed = !form.isVisible();
            form.Command2->click();
        });
        form.Command1->click();
        QCOMPARE(caption, QStringLiteral("停止分词"));
        QVERIFY(labelShown);
        enabled.sort();
        QCOMPARE(enabled, QStringList({"Command2", "Command3", "Command9"}));
        QVERIFY(!closed);
        QVERIFY(matches(QStringLiteral("^中断！\r\n耗时：") + kElapsed, dialogs.lastText()));
        // The same as a run whose first yield asks to stop.
        lex::test::CountingPump stop(1);
        lex::bigseg::segmentText(article, dir / "expected.txt", form.lexicon(), {}, stop);
        QCOMPARE(readBytes(dir / "fc.txt"), readBytes(dir / "expected.txt"));
        QCOMPARE(readBytes(dir / "fc.txt"), gbk(u"\r\n中国人民好\r\n中国人民好\r\n好中国人民\r\n"));
        QVERIFY(form.idle());
        QCOMPARE(form.Command2->text(), QStringLiteral("退出程序"));
        QVERIFY(form.Label2->isHidden());
        QVERIFY(form.isVisible());
    }

    void statisticsWritesAndReports() {
        lex::test::TempDir dir;
        shipWordList(dir);
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Form_Load();
        form.Command4->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("没有统计材料！"));
        QVERIFY(!fs::exists(dir / "tj.txt"));

        writeLexicon(dir / "fc.txt", {u"", u"中国", u"人民", u"中国", u"", u"中国"});
        form.Command4->click();
        QCOMPARE(readBytes(dir / "tj.txt"), gbkLines({u"000003\t中国", u"000001\t人民"}));
        QCOMPARE(dialogs.messages.last().title, QStringLiteral("完成！"));
        QVERIFY(
            matches(QStringLiteral("^合计词条：2\r\n耗费时间：") + kElapsed, dialogs.lastText()));
        QVERIFY(form.idle());
    }

    // "停止统计": the lines built before the stop are written, and "用户中断！" has no title.
    void stopDuringStatistics() {
        lex::test::TempDir dir;
        shipWordList(dir);
        writeLexicon(dir / "fc.txt", {u"中国", u"人民", u"中国"});
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Form_Load();
        form.show();
        QString caption;
        QTimer::singleShot(0, &form, [&] {
            caption = form.Command2->text();
            form.Command2->click();
        });
        form.Command4->click();
        QCOMPARE(caption, QStringLiteral("停止统计"));
        QCOMPARE(dialogs.lastText(), QStringLiteral("用户中断！"));
        QCOMPARE(dialogs.messages.last().title, QString());
        QCOMPARE(readBytes(dir / "tj.txt"), gbkLines({u"000002\t中国"}));
        QVERIFY(form.idle());
        QCOMPARE(form.Command2->text(), QStringLiteral("退出程序"));
    }

    void resultButtonsOpenTheFilesOrSaySo() {
        lex::test::TempDir dir;
        shipWordList(dir);
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Form_Load();
        m_opened.clear();
        form.Command6->click();
        form.Command7->click();
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(dialogs.messages[0].text, QStringLiteral("没有分词结果！"));
        QCOMPARE(dialogs.messages[1].text, QStringLiteral("没有统计结果！"));
        lex::test::writeBytes(dir / "fc.txt", "");
        lex::test::writeBytes(dir / "tj.txt", "");
        form.Command6->click();
        form.Command7->click();
        QCOMPARE(m_opened, QStringList({q(dir / "fc.txt"), q(dir / "tj.txt")}));
        QCOMPARE(dialogs.messages.size(), 2);
    }

    // Form5: the length box follows the check box; "确定" takes the length by the dialog's
    // rule (99.5 -> 100), "取消" changes nothing; the next run uses the new values.
    void optionDialogSetsTheThreshold() {
        lex::test::TempDir dir;
        shipWordList(dir);
        writeLexicon(dir / "a.txt", {u"中国人民好"});
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Form_Load();
        QString shown;
        bool boxEnabled = true;
        onModal<Form5>([&](Form5 &f) {
            QCOMPARE(f.windowTitle(), QStringLiteral("选项"));
            QCOMPARE(f.Check1->text(), QStringLiteral("长度小于"));
            QCOMPARE(f.Label1->text(), QStringLiteral("的短句不分"));
            shown = f.Text1->text();
            boxEnabled = f.Text1->isEnabled();
            f.Check1->setChecked(true);
            QVERIFY(f.Text1->isEnabled());
            f.Text1->setText("99.5");
            f.Command3->click();
        });
        form.Command9->click();
        QCOMPARE(shown, QStringLiteral("10"));
        QVERIFY(!boxEnabled);
        QCOMPARE(form.options().noSplitEnabled, int16_t(1));
        QCOMPARE(form.options().noSplitBelow, int16_t(100));

        onModal<Form5>([&](Form5 &f) {
            QCOMPARE(f.Text1->text(), QStringLiteral("100"));
            QVERIFY(f.Check1->isChecked() && f.Text1->isEnabled());
            f.Text1->setText("5"); // out of range: 10
            f.Command3->click();
        });
        form.Command9->click();
        QCOMPARE(form.options().noSplitBelow, int16_t(10));
        onModal<Form5>([&](Form5 &f) {
            f.Check1->setChecked(false);
            f.Text1->setText("7");
            f.Command4->click();
        });
        form.Command9->click();
        QCOMPARE(form.options().noSplitEnabled, int16_t(1));
        QCOMPARE(form.options().noSplitBelow, int16_t(10));

        form.Text2->setText(q(dir / "a.txt"));
        form.Command1->click(); // five characters, below ten: whole
        QCOMPARE(readBytes(dir / "fc.txt"), gbkLines({u"中国人民好"}));
    }

    // Form2 shows "bc.ini"; "确定" with "a" adds the words to "ciku.lxd" and the list at once.
    void supplementEditorAddsAtOnce() {
        lex::test::TempDir dir;
        shipWordList(dir);
        writeLexicon(dir / "bc.ini", {u"旧词", u"人民"});
        writeLexicon(dir / "a.txt", {u"北京上海"});
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Form_Load();
        QCOMPARE(form.lexicon().size(), 7);
        QString loaded;
        onModal<Form2>([&](Form2 &f) {
            QCOMPARE(f.windowTitle(), QStringLiteral("补充词条"));
            loaded = f.Text1->toPlainText();
            f.Text1->setPlainText(QStringLiteral("北京\n上海\na\n"));
            f.Command1->click();
            QCOMPARE(f.result(), int(QDialog::Accepted));
        });
        form.Command8->click();
        QCOMPARE(loaded, QStringLiteral("旧词\n人民\n"));
        QCOMPARE(readBytes(dir / "bc.ini"), std::string());
        QCOMPARE(readBytes(dir / "ciku.lxd"),
                 gbkLines({u"一", u"上海", u"中国", u"中国人", u"人民", u"北京", u"民", u"龟"}));
        form.Text2->setText(q(dir / "a.txt"));
        form.Command1->click();
        QCOMPARE(readBytes(dir / "fc.txt"), gbk(u"\r\n北京\r\n上海\r\n"));

        onModal<Form2>([&](Form2 &f) {
            f.Text1->setPlainText(QStringLiteral("龟"));
            f.Command2->click();
        });
        form.Command8->click();
        QCOMPARE(readBytes(dir / "bc.ini"), std::string());
        QVERIFY(dialogs.messages.size() == 1);
    }

    // The word list gone when the editor applies: a message, and the program ends.
    void supplementWithoutWordListEndsTheProgram() {
        lex::test::TempDir dir;
        shipWordList(dir);
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Form_Load();
        form.show();
        fs::remove(dir / "ciku.lxd");
        onModal<Form2>([&](Form2 &f) {
            f.Text1->setPlainText(QStringLiteral("北京\na"));
            f.Command1->click();
        });
        form.Command8->click();
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.lastText().contains(QStringLiteral("ciku.lxd")));
        QVERIFY(!form.isVisible());
        QCOMPARE(readBytes(dir / "bc.ini"), std::string());
    }

    void escapeDoesNotCloseButExitDoes() {
        lex::test::TempDir dir;
        shipWordList(dir);
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Form_Load();
        form.show();
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(form.isVisible());
        form.Command2->click();
        QVERIFY(!form.isVisible());
    }
};

QTEST_MAIN(BigsegFormTest)
#include "form_test.moc"
