// The lexupdate windows driven through their controls: settings file round trips, the option
// form, a full run with its six-line report, a missing base lexicon, and lexcli writing the
// same bytes.

#include "lexupdate/forms/form1.h"
#include "lexupdate/forms/form2.h"
#include "shared/toolshell/settings.h"

#include "scripted_dialogs.h"
#include "test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

using lex::lexupdate::Form1;
using lex::lexupdate::Form2;
using lex::test::gbkLines;
using lex::test::readBytes;
using lex::test::writeLexicon;
namespace fs = std::filesystem;

namespace {

QString q(const fs::path &p) {
    return lex::fromPath(p);
}

QString setting(const QString &section, const QString &key) {
    return lex::getSetting("lexupdate", section, key, "<absent>");
}

} // namespace

class LexupdateFormTest : public QObject {
    Q_OBJECT
private:
    lex::test::TempDir m_config;

    // The four input boxes from base/waste/user/private.txt in `dir`, the output `out` there.
    void fill(Form1 &form, const lex::test::TempDir &dir, const char *out) {
        form.Text1->setText(q(dir / "base.txt"));
        form.Text2->setText(q(dir / "waste.txt"));
        form.Text3->setText(q(dir / "user.txt"));
        form.Text4->setText(q(dir / "private.txt"));
        form.Text5->setText(q(dir / out));
    }

    void setOption(bool deleteWaste) {
        lex::setModalRunner([deleteWaste](QDialog &d) {
            auto &options = dynamic_cast<Form2 &>(d);
            options.Check1->setChecked(deleteWaste);
            options.Command1->click();
        });
    }

private slots:
    // Esc never unloads the main window; only "退出" or the close box do.
    void escapeDoesNotCloseTheMainWindow() {
        Form1 form;
        form.show();
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(form.isVisible());
    }

    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_config.path().string()));
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(m_config.path().string()));
    }
    void cleanup() {
        lex::setModalRunner(nullptr);
        QFile::remove(lex::settingsFile("lexupdate"));
    }

    void pathsComeFromAndGoToTheSettingsFile() {
        lex::test::ScriptedDialogs dialogs;
        {
            QSettings ini(lex::settingsFile("lexupdate"), QSettings::IniFormat);
            ini.setValue("Form1/Text1", "/x/base.txt");
            ini.setValue("Form1/Text3", "/x/user.txt");
        }
        Form1 form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Quillo词库更新 Ver1.06"));
        QCOMPARE(form.Text1->text(), QStringLiteral("/x/base.txt"));
        QCOMPARE(form.Text2->text(), QString());
        QCOMPARE(form.Text3->text(), QStringLiteral("/x/user.txt"));
        QVERIFY(!form.Command6->isEnabled()); // the output path is never stored
        form.Text5->setText("/x/new.txt");
        QVERIFY(form.Command6->isEnabled());
        form.Text1->clear();
        QVERIFY(!form.Command6->isEnabled());

        form.Text2->setText("/x/waste.txt");
        form.Text4->setText("/x/private.txt");
        form.show();
        form.Command9->click();
        QVERIFY(!form.isVisible());
        QCOMPARE(setting("Form1", "Text1"), QString());
        QCOMPARE(setting("Form1", "Text2"), QStringLiteral("/x/waste.txt"));
        QCOMPARE(setting("Form1", "Text3"), QStringLiteral("/x/user.txt"));
        QCOMPARE(setting("Form1", "Text4"), QStringLiteral("/x/private.txt"));
        QCOMPARE(setting("Form1", "Text5"), QStringLiteral("<absent>"));
    }

    void optionFormStoresItsBoxWhenItCloses() {
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        setOption(true);
        form.Command7->click();
        QCOMPARE(setting("Form2", "Check1"), QStringLiteral("1"));
        Form2 again;
        QVERIFY(again.Check1->isChecked());
        QCOMPARE(again.windowTitle(), QStringLiteral("选项"));
        QCOMPARE(again.Check1->text(), QStringLiteral("处理后自动删除废词文件"));
        again.Check1->setChecked(false);
        again.close(); // any way of closing stores it
        QCOMPARE(setting("Form2", "Check1"), QStringLiteral("0"));
    }

    void updateWritesReportsAndDeletesTheWasteWhenAsked() {
        lex::test::TempDir dir;
        writeLexicon(dir / "base.txt", {u"中国", u"人民", u";注释", u"中国"});
        writeLexicon(dir / "user.txt", {u"北京", u"中国"}, /*utf16=*/true);
        writeLexicon(dir / "waste.txt", {u"人民"});
        writeLexicon(dir / "private.txt", {u"北京"});
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        fill(form, dir, "new.txt");
        setOption(true);
        form.Command7->click();
        form.Command6->click();

        QCOMPARE(readBytes(dir / "new.txt"), gbkLines({u"中国"}));
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("完成！"));
        QVERIFY(
            QRegularExpression(QStringLiteral("^原始词库词条：3\r\n增加词条：0\r\n删除词条：1\r\n"
                                              "新词库词条：2\r\n\r\n"
                                              "耗费时间：\\d\\d:\\d\\d:\\d\\d$"))
                .match(dialogs.messages[0].text)
                .hasMatch());
        QVERIFY(!fs::exists(dir / "waste.txt"));
        QVERIFY(fs::exists(dir / "private.txt"));
        QVERIFY(form.idle());
        QCOMPARE(form.set().insertedCount(), 0);
        QVERIFY(form.Command6->isEnabled());
    }

    void missingBaseEmptiesTheBoxAndWritesNothing() {
        lex::test::TempDir dir;
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Text1->setText(q(dir / "none.txt"));
        form.Text5->setText(q(dir / "new.txt"));
        form.Command6->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("打开原始词库失败！"));
        QCOMPARE(dialogs.messages[0].title, QString());
        QCOMPARE(form.Text1->text(), QString());
        QVERIFY(!fs::exists(dir / "new.txt"));
        QVERIFY(form.idle());
    }

    void unwritableOutputGivesAMessageAndKeepsTheWaste() {
        lex::test::TempDir dir;
        writeLexicon(dir / "base.txt", {u"中国"});
        writeLexicon(dir / "waste.txt", {u"中国"});
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Text1->setText(q(dir / "base.txt"));
        form.Text2->setText(q(dir / "waste.txt"));
        form.Text5->setText(q(dir / "missing-folder" / "new.txt"));
        setOption(true);
        form.Command7->click();
        form.Command6->click();
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.lastText().contains("new.txt"));
        QVERIFY(fs::exists(dir / "waste.txt"));
        QCOMPARE(form.set().insertedCount(), 0);
        QVERIFY(form.idle());
    }

    void focusSelectsTheOptionalPaths() {
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.show();
        QApplication::setActiveWindow(&form);
        form.Text3->setText("/x/user.txt");
        form.Text3->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(form.Text3->selectedText(), QStringLiteral("/x/user.txt"), 60000);
    }
};

QTEST_MAIN(LexupdateFormTest)
#include "form1_test.moc"
