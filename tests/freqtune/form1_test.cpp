// The freqtune windows driven through their controls and the scripted dialogs: start-up, the
// option dialog and the settings, import and export with their boxes, the statistics in both
// modes with the results form and its log, the stop button, closing during operations.

#include "freqtune/forms/form1.h"
#include "freqtune/forms/form2.h"
#include "freqtune/forms/form4.h"
#include "shared/toolshell/settings.h"

#include "freqtune_fixture.h"
#include "scripted_dialogs.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QtTest>

using lex::freqtune::Form1;
using lex::freqtune::Form2;
using lex::freqtune::Form4;
using lex::test::gbkLines;
using lex::test::readBytes;
namespace fs = std::filesystem;

namespace {

QString q(const fs::path &p) {
    return lex::fromPath(p);
}

QString setting(const QString &key) {
    return lex::getSetting("freqtune", "option", key, "<absent>");
}

// One test's window over a program folder that holds the template only, as installed, with
// the scripted dialogs and modal forms: form2 gets `options`, the results form `results`.
struct Window {
    lex::test::TempDir dir;
    lex::test::ScriptedDialogs dialogs;
    std::function<void(Form2 &)> options;
    std::function<void(Form4 &)> results;
    QStringList items; // the last results
    int shown = 0;
    std::unique_ptr<Form1> form;

    // `leftOver`: a file some earlier program left in the folder.
    explicit Window(bool withTemplate = true, const char *leftOver = nullptr) {
        if (withTemplate)
            fs::copy_file(lex::test::builtTemplate(), dir / "freqtune.mmm");
        if (leftOver)
            lex::test::writeBytes(dir / leftOver, "");
        lex::setToolDir(q(dir.path()));
        lex::setModalRunner([this](QDialog &d) {
            if (auto *f = dynamic_cast<Form2 *>(&d); f && options)
                options(*f);
            if (auto *f = dynamic_cast<Form4 *>(&d)) {
                ++shown;
                items = f->items();
                if (results)
                    results(*f);
            }
        });
        form = std::make_unique<Form1>();
        form->show();
    }
    ~Window() { lex::setModalRunner(nullptr); }
    fs::path operator/(const std::string &name) const { return dir / name; }
    fs::path unread() const { return dir.path() / fs::u8path("未阅文章"); }
    fs::path read() const { return dir.path() / fs::u8path("已阅文章"); }

    void importText(std::u16string_view lexicon) {
        lex::test::writeBytes(dir / "lexicon.txt", lex::test::gbk(lexicon));
        dialogs.fileAnswers = {q(dir / "lexicon.txt")};
        form->Command3->click();
    }
    void setBatch() {
        options = [](Form2 &f) {
            f.Check3->setChecked(true);
            f.Command4->click(); // "取消" keeps the batch box all the same
        };
        form->Command2->click();
    }
};

} // namespace

class FreqtuneFormTest : public QObject {
    Q_OBJECT
private:
    lex::test::TempDir m_config;

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_config.path().string()));
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(m_config.path().string()));
    }
    void cleanup() { QFile::remove(lex::settingsFile("freqtune")); }

    // Start-up copies the template, makes the folders and removes the copy a killed import
    // left; the stop button waits for a run; Esc does not close the window. Without the
    // template the tool names it and stops.
    void startsWithItsFiles() {
        {
            Window none(false);
            QVERIFY(!none.form->loaded() && none.dialogs.lastText().contains("freqtune.mmm"));
            QCOMPARE(none.dialogs.messages[0].title, QStringLiteral("freqtune"));
        }
        Window w(true, ".freqtune.mdb.Killed");
        QVERIFY(!fs::exists(w / ".freqtune.mdb.Killed"));
        Form1 &form = *w.form;
        QVERIFY(form.loaded() && w.dialogs.messages.isEmpty());
        QCOMPARE(form.windowTitle(), QStringLiteral("Quillo词库调频 Ver1.07"));
        QCOMPARE(form.Command8->text(), QStringLiteral("统计中断 "));
        QVERIFY(!form.Command8->isEnabled() && form.Label1->isHidden());
        QCOMPARE(readBytes(w / "freqtune.mdb"), readBytes(w / "freqtune.mmm"));
        QVERIFY(fs::is_directory(w.unread()) && fs::is_directory(w.read()));
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(form.isVisible());
    }

    // Options come from the settings, form2 shows and clamps them ("取消" copies nothing), and
    // they go back at exit; the batch box is never stored.
    void optionsRoundTrip() {
        {
            QSettings ini(lex::settingsFile("freqtune"), QSettings::IniFormat);
            ini.setValue("option/Check1", "1");
            ini.setValue("option/L1", "3");
            ini.setValue("option/L2", "x");
        }
        Window w;
        Form1 &form = *w.form;
        bool lengthsFollowCheck2 = false;
        w.options = [&](Form2 &f) {
            QVERIFY(f.Check1->isChecked() && !f.Check2->isChecked());
            QCOMPARE(f.Text4->text() + f.Text5->text(), QStringLiteral("310"));
            lengthsFollowCheck2 = !f.Text4->isEnabled();
            f.Check2->setChecked(true);
            lengthsFollowCheck2 = lengthsFollowCheck2 && f.Text5->isEnabled();
            f.Check1->setChecked(false);
            f.Text4->setText("5");
            f.Text5->setText("3");
            f.Command3->click();
        };
        form.Command2->click();
        QVERIFY(lengthsFollowCheck2);
        w.options = [](Form2 &f) {
            f.Text4->setText("11");
            f.Command4->click();
        };
        form.Command2->click();
        QCOMPARE(form.exportOptions().l1 * 100 + form.exportOptions().l2, 505);
        w.options = [](Form2 &f) {
            f.Text4->setText("1");
            f.Command3->click();
        };
        form.Command2->click();
        w.setBatch();
        QVERIFY(form.batchArticles());
        form.Command7->click();
        QVERIFY(!form.isVisible());
        QCOMPARE(setting("Check1") + setting("Check2") + setting("L1") + setting("L2"),
                 QStringLiteral("0125"));
        QCOMPARE(setting("Check3"), QStringLiteral("<absent>"));
    }

    // Import: its dialog, closing refused meanwhile, "完成！" titled "导入词库"; export:
    // "词库表无记录！" with an empty file, then the lines by frequency; cancelled dialogs.
    void importAndExport() {
        Window w;
        Form1 &form = *w.form;
        auto &dialogs = w.dialogs;
        const Window &p = w;
        dialogs.fileAnswers = {q(p / "out.txt")};
        form.Command4->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("词库表无记录！"));
        QCOMPARE(dialogs.messages.last().title, QStringLiteral("导出词库"));
        QCOMPARE(readBytes(p / "out.txt"), std::string());

        bool closed = true, running = false;
        QTimer::singleShot(0, &form, [&] {
            running = form.Label1->isVisible() && !form.Command7->isEnabled();
            form.close();
            closed = !form.isVisible();
        });
        w.importText(u";注释\r\n中zhong国guo\r\n人民\r\n中\r\n北京\r\n");
        QVERIFY(!closed && running);
        QCOMPARE(dialogs.fileDialogs.last().title, QStringLiteral("导入的词库文件为"));
        QCOMPARE(dialogs.fileDialogs.last().initialDir, q(w.dir.path()));
        QCOMPARE(dialogs.lastText() + dialogs.messages.last().title,
                 QStringLiteral("完成！导入词库"));
        QVERIFY(form.Label1->isHidden() && form.Command7->isEnabled() && form.idle());

        form.database().exec("UPDATE WordLib SET Freq = 4 WHERE SeqNo = 3");
        dialogs.fileAnswers = {q(p / "out.txt"), "", ""};
        form.Command4->click();
        QCOMPARE(dialogs.fileDialogs.last().title, QStringLiteral("导出的词库文件为"));
        QCOMPARE(readBytes(p / "out.txt"), gbkLines({u"北京", u"中zhong国guo", u"人民"}));
        const int messages = dialogs.messages.size();
        form.Command3->click();
        form.Command4->click();
        QCOMPARE(dialogs.messages.size(), messages);

        // Another program (lexcli) imports meanwhile: the window works on the new file.
        lex::freqtune::FrequencyDatabase other(p / "freqtune.mdb", p / "freqtune.mmm");
        lex::test::writeLexicon(p / "new.txt", {u"上海"});
        lex::NullPump pump;
        importLexicon(other, p / "new.txt", p / "freqtune.mmm", pump);
        dialogs.fileAnswers = {q(p / "out.txt")};
        form.Command4->click();
        QCOMPARE(readBytes(p / "out.txt"), gbkLines({u"上海"}));
    }

    // Both modes: the results form lists the words (no completion box), its close box writes
    // no log, "确定" writes "词频.log"; an empty table is reported before any dialog.
    void statisticsAndTheResultsForm() {
        Window w;
        Form1 &form = *w.form;
        auto &dialogs = w.dialogs;
        const Window &p = w;
        form.Command5->click();
        QCOMPARE(dialogs.lastText() + dialogs.messages.last().title,
                 QStringLiteral("词库表无记录！词频统计"));
        w.importText(u"中国\r\n人民\r\n北京\r\n");

        lex::test::writeBytes(p / "mine.txt", lex::test::gbk(u"中国人民"));
        dialogs.fileAnswers = {""};
        form.Command5->click(); // cancelled
        QCOMPARE(dialogs.fileDialogs.last().title, QStringLiteral("统计词频的文章为"));
        QCOMPARE(dialogs.fileDialogs.last().initialDir, q(p.unread()));
        dialogs.fileAnswers = {q(p / "mine.txt")};
        bool refused = false;
        w.results = [&](Form4 &f) {
            QCOMPARE(f.windowTitle(), QStringLiteral("词频统计结果"));
            form.close();
            refused = form.isVisible() && form.Command8->isEnabled();
            f.close();
        };
        const int messages = dialogs.messages.size();
        form.Command5->click();
        QVERIFY(refused && w.shown == 1 && dialogs.messages.size() == messages);
        QCOMPARE(w.items, QStringList({"中国    1", "人民    1"}));
        QVERIFY(!fs::exists(p / "mine.txt") && fs::exists(p.read() / "mine.txt"));
        QVERIFY(!fs::exists(p / "词频.log"));

        w.setBatch();
        lex::test::writeBytes(p.unread() / "a.txt", lex::test::gbk(u"中国"));
        w.results = [](Form4 &f) { f.Command1->click(); };
        form.Command5->click();
        QCOMPARE(readBytes(p / "词频.log"), gbkLines({u"中国    2", u"人民    1"}));
        QVERIFY(fs::is_empty(p.unread()) && !form.Command8->isEnabled());
    }

    // "统计中断 " stops after the row being handled: that article moves, the rest stay, the
    // results form follows; a close asked for during the stop happens once the run is over.
    void stopButtonEndsTheRun() {
        Window w;
        Form1 &form = *w.form;
        // Enough rows that the window's pump looks at its events within the first article.
        std::u16string lexicon = u"中国\r\n人民\r\n";
        for (char16_t c = u'甲'; c < u'甲' + 100; ++c)
            lexicon += std::u16string{c, c} + u"\r\n";
        w.importText(lexicon);
        w.setBatch();
        for (const char *name : {"a.txt", "b.txt", "c.txt"})
            lex::test::writeBytes(w.unread() / name, lex::test::gbk(u"中国人民"));
        QTest::qWait(20); // the pump looks at events at most every 15 ms
        bool refused = false;
        QTimer::singleShot(0, &form, [&] {
            form.close();
            refused = form.isVisible();
            form.Command8->click();
            form.close();
        });
        form.Command5->click();
        QVERIFY(refused && w.shown == 1);
        QCOMPARE(w.items.value(0), QStringLiteral("中国    1")); // the first row walked
        QCOMPARE(lex::test::ToolDir::names(w.read()), std::vector<std::string>{"a.txt"});
        QCOMPARE(lex::test::ToolDir::names(w.unread()).size(), size_t(2));
        QVERIFY(!form.isVisible()); // the close waited for the run
    }
};

QTEST_MAIN(FreqtuneFormTest)
#include "form1_test.moc"
