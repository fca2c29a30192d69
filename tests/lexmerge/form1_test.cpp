// The lexmerge window driven through its controls and the scripted dialogs: browsing, the
// buttons' enabling, a full run, the "中断" stop pressed from inside a yield, a hand-typed
// missing input, and lexcli writing the same bytes.

#include "lexmerge/forms/form1.h"

#include "scripted_dialogs.h"
#include "shared/lexcore/cp936.h"
#include "test_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

using lex::lexmerge::Form1;
using lex::test::gbkLines;
using lex::test::readBytes;
using lex::test::writeLexicon;
namespace fs = std::filesystem;

namespace {

QString q(const fs::path &p) {
    return lex::fromPath(p);
}

// A character whose lone key lies ten slots before the yield point 460,000 (see the engine
// tests): the 11th distinct line starting with it is the first whose probe yields.
const std::u16string X = lex::decode936("\xB3\xAF");

} // namespace

class LexmergeFormTest : public QObject {
    Q_OBJECT
private:
    lex::test::TempDir m_config;

    void fill(Form1 &form, const fs::path &one, const fs::path &two, const fs::path &out) {
        form.Text1->setText(q(one));
        form.Text2->setText(two.empty() ? QString() : q(two));
        form.Text3->setText(q(out));
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

    void loadsIdleWithOperationsDisabled() {
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Quillo词库整理 Ver1.04"));
        QCOMPARE(form.findChild<QLabel *>("Label2")->text(), QStringLiteral("打开词库一："));
        for (const char *name : {"Command1", "Command7", "Command8", "Command9"})
            QVERIFY(!form.findChild<QPushButton *>(name)->isEnabled());
        QCOMPARE(form.Command2->text(), QStringLiteral("退出"));
        QCOMPARE(form.set().probePosition(), lex::EntryHashSet::kSlots);

        form.Text1->setText("a.txt");
        QVERIFY(!form.Command1->isEnabled());
        form.Text2->setText("b.txt"); // lexicon two changes no button
        QVERIFY(!form.Command1->isEnabled());
        form.Text3->setText("o.txt");
        QVERIFY(form.Command1->isEnabled() && form.Command7->isEnabled() &&
                form.Command8->isEnabled() && form.Command9->isEnabled());
        form.Text3->clear();
        QVERIFY(!form.Command8->isEnabled());
    }

    void browseFillsOnlyExistingInputs() {
        lex::test::TempDir dir;
        writeLexicon(dir / "a.txt", {u"中国"});
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.Text1->setText("old");
        dialogs.fileAnswers = {q(dir / "a.txt"), q(dir / "gone.txt"), q(dir / "out.txt")};
        form.Command4->click();
        QCOMPARE(form.Text1->text(), q(dir / "a.txt"));
        form.Command5->click();
        QCOMPARE(form.Text2->text(), QString()); // cleared, and the answer does not exist
        form.Command6->click();
        QCOMPARE(form.Text3->text(), q(dir / "out.txt"));
        QCOMPARE(dialogs.fileDialogs.size(), 3);
        QCOMPARE(dialogs.fileDialogs[0].title, QStringLiteral("打开词库一"));
        QCOMPARE(dialogs.fileDialogs[1].title, QStringLiteral("打开词库一"));
        QCOMPARE(dialogs.fileDialogs[2].title, QStringLiteral("另存为词库"));
        QVERIFY(!dialogs.fileDialogs[0].isSave && dialogs.fileDialogs[2].isSave);
        form.Command4->click(); // cancelled: the box stays empty
        QCOMPARE(form.Text1->text(), QString());
    }

    void unionReportsAndReturnsToIdleWithAnEmptySet() {
        lex::test::TempDir dir;
        writeLexicon(dir / "a.txt", {u"中国", u"abc", u"中国"});
        writeLexicon(dir / "b.txt", {u"人民", u""}, /*utf16=*/true);
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        fill(form, dir / "a.txt", dir / "b.txt", dir / "o.txt");
        form.Command1->click();
        QCOMPARE(readBytes(dir / "o.txt"), gbkLines({u"中国", u"", u"人民"}));
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("完成！"));
        QVERIFY(
            QRegularExpression(QStringLiteral("^并集词条：3\r\n耗费时间：\\d\\d:\\d\\d:\\d\\d$"))
                .match(dialogs.messages[0].text)
                .hasMatch());
        QVERIFY(form.idle());
        QCOMPARE(form.set().insertedCount(), 0);
        QCOMPARE(form.Command2->text(), QStringLiteral("退出"));
        QVERIFY(form.Command4->isEnabled() && form.Command1->isEnabled());

        form.Command8->click(); // the next operation starts from an empty set
        QCOMPARE(readBytes(dir / "o.txt"), gbkLines({u"中国"}));
        QCOMPARE(dialogs.lastText().left(7), QStringLiteral("剩余词条：1\r"));
    }

    // Two Rime dictionaries through the window: the first one's header, entries by word and
    // code, the larger weight; the bytes lexcli writes.
    void unionOfRimeDictionariesKeepsTheirShape() {
        lex::test::TempDir dir;
        const fs::path shape = SHAPE_DIR;
        for (const char *name : {"mine.dict.yaml", "two.dict.yaml"})
            fs::copy_file(shape / name, dir / name);
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        fill(form, dir / "mine.dict.yaml", dir / "two.dict.yaml", dir / "out.dict.yaml");
        form.Command1->click();
        QCOMPARE(readBytes(dir / "out.dict.yaml"),
                 readBytes(shape / "expected" / "union.out.dict.yaml"));
        QCOMPARE(dialogs.lastText().left(7), QStringLiteral("并集词条：6\r"));
    }

    void stopDuringARunStillWritesAndReportsOnlyTheTime() {
        lex::test::TempDir dir;
        std::string bytes;
        for (int i = 0; i < 16; ++i)
            bytes += lex::test::gbk(i == 0 ? X : X + char16_t(u'a' + i)) + "\r\n";
        lex::test::writeBytes(dir / "a.txt", bytes);
        writeLexicon(dir / "b.txt", {u"中国"});
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.show();
        fill(form, dir / "a.txt", dir / "b.txt", dir / "o.txt");

        bool closedWhileBusy = true;
        QString captionWhileBusy;
        // Runs at the first yield of the operation, as a user's clicks would.
        QTimer::singleShot(0, &form, [&] {
            captionWhileBusy = form.Command2->text();
            form.close();
            closedWhileBusy = !form.isVisible();
            form.Text1->setText(q(dir / "a.txt") + " "); // typing enables the buttons again
            form.Command7->click();                      // but a second operation must not start
            form.Command2->click();
        });
        form.Command1->click();

        QCOMPARE(captionWhileBusy, QStringLiteral("中断"));
        QVERIFY(!closedWhileBusy);
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("中断！"));
        QVERIFY(QRegularExpression(QStringLiteral("^耗费时间：\\d\\d:\\d\\d:\\d\\d$"))
                    .match(dialogs.messages[0].text)
                    .hasMatch());
        // The ten lines before the first yield, then the lines whose probe never yields.
        std::string expected = bytes;
        size_t cut = 0;
        for (int i = 0; i < 10; ++i)
            cut = expected.find("\r\n", cut) + 2;
        expected = expected.substr(0, cut) + gbkLines({u"中国"});
        QCOMPARE(readBytes(dir / "o.txt"), expected);
        QVERIFY(form.idle());
        QCOMPARE(form.set().insertedCount(), 0);
        QCOMPARE(form.Command2->text(), QStringLiteral("退出"));
        QVERIFY(form.isVisible());
    }

    void missingTypedInputGivesAMessageAndAnEmptySet() {
        lex::test::TempDir dir;
        writeLexicon(dir / "a.txt", {u"中国"});
        lex::test::writeBytes(dir / "o.txt", "old");
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        fill(form, dir / "a.txt", dir / "missing.txt", dir / "o.txt");
        form.Command9->click();
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.lastText().contains(q(dir / "missing.txt")));
        QCOMPARE(readBytes(dir / "o.txt"), std::string("old"));
        QVERIFY(form.idle());
        QCOMPARE(form.set().insertedCount(), 0);
        QVERIFY(form.Command9->isEnabled());
    }

    void exitClosesWhenIdle() {
        lex::test::ScriptedDialogs dialogs;
        Form1 form;
        form.show();
        form.Command2->click();
        QVERIFY(!form.isVisible());
    }
};

QTEST_MAIN(LexmergeFormTest)
#include "form1_test.moc"
