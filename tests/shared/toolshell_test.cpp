// The tool frame in a small working form, driven as a user would through the Dialogs double.

#include "scripted_dialogs.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/tool_folder.h"
#include "shared/toolshell/path_form.h"
#include "shared/toolshell/readme_viewer.h"
#include "shared/toolshell/settings.h"
#include "shared/toolshell/startup.h"
#include "test_support.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

using lex::test::ScriptedDialogs;
using lex::test::TempDir;

namespace {

// A working form as the tools build them: input and output boxes with browse buttons, Start
// enabled when both are filled, an operation that yields and ends with the completion report.
class DedupForm : public lex::PathForm {
public:
    DedupForm() : PathForm(nullptr, "去重") {
        auto in =
            addPathRow("Label1", "词库：", "Text1", "Command1", "打开词库", lex::PathDialog::Open);
        auto out =
            addPathRow("Label2", "另存为：", "Text2", "Command2", "另存为", lex::PathDialog::Save);
        Text1 = in.box;
        Text2 = out.box;
        Command1 = in.browse;
        Command2 = out.browse;
        Command3 = addButton("Command3", "开始");
        setStartButtons({Command3}, {Text1, Text2});
        connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    }

    void Command3_Click() {
        runPathOperation([this](int start) {
            if (failWith)
                failWith();
            lex::EntryHashSet set;
            set.setPump(&m_pump);
            lex::LineReader r(lex::toPath(Text1->text()));
            while (!r.atEnd()) {
                std::u16string_view line = r.readLineView();
                if (!set.Contains(line))
                    set.Add(line);
                m_pump.yield();
            }
            lex::LineWriter w(lex::toPath(Text2->text()), m_pump.context());
            for (int32_t i = 0; i < set.insertedCount(); ++i)
                if (set.entry(i).size() > 1)
                    w.writeLine(set.entry(i));
            w.close();
            lex::CompletionText report;
            report.count("词条：", set.insertedCount());
            return lex::OperationReport::completion(report.text(lex::elapsedText(start)));
        });
    }

    using ToolForm::setMainForm;

    QLineEdit *Text1, *Text2;
    QPushButton *Command1, *Command2, *Command3;
    std::function<void()> failWith;
};

} // namespace

class ToolShellTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { init(); }
    void init() {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((m_dir.path() / "config").string()));
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString((m_dir.path() / "run").string()));
        std::filesystem::create_directories(m_dir.path() / "run");
        ::chmod((m_dir.path() / "run").c_str(), 0700);
        lex::setToolDir(lex::fromPath(m_dir.path()));
    }

    // Browse, fill, Start, report; the close request during the run is refused.
    void workingFormEndToEnd() {
        ScriptedDialogs dialogs;
        auto in = m_dir / "in.txt";
        std::u16string text;
        for (int i = 0; i < 30000; ++i)
            text += u"中国" + lex::fromUtf8(std::to_string(i % 20000)) + u"\r\n";
        lex::test::writeBytes(in, lex::test::utf16le(text));
        DedupForm form;
        form.show();
        QVERIFY(!form.Command3->isEnabled());
        dialogs.fileAnswers = {lex::fromPath(in), lex::fromPath(m_dir / "out.txt")};
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        QVERIFY(!form.Command3->isEnabled());
        QTest::mouseClick(form.Command2, Qt::LeftButton);
        QVERIFY(form.Command3->isEnabled());
        QCOMPARE(dialogs.fileDialogs[0].filter, QString("文本文件(*.txt);;所有文件 (*.*)"));
        QCOMPARE(dialogs.fileDialogs[0].defaultSuffix, QString("txt"));
        QVERIFY(!dialogs.fileDialogs[0].isSave);
        QVERIFY(dialogs.fileDialogs[1].isSave);

        bool closeRefused = false;
        QTimer::singleShot(0, &form, [&] { closeRefused = !form.close(); });
        QTest::mouseClick(form.Command3, Qt::LeftButton);
        QVERIFY(closeRefused);
        QVERIFY(form.isVisible());
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].title, QString("完成！"));
        // However long the run took on the machine of the day.
        QVERIFY(QRegularExpression(QStringLiteral("^词条：20000\r\n耗费时间：\\d\\d:\\d\\d:\\d\\d"))
                    .match(dialogs.lastText())
                    .hasMatch());
        QCOMPARE(lex::test::readBytes(m_dir / "out.txt").size(), size_t(20000 * 6) + 88890);
        QVERIFY(form.close());
    }

    // A window's outputs follow its first input box: UTF-8 in gives UTF-8 out with the input's
    // line ends; UTF-16 in gives code page 936 out, and the report counts the lines it lost.
    void outputsFollowTheInputBoxAndLossIsReported() {
        ScriptedDialogs dialogs;
        DedupForm form;
        form.Text1->setText(lex::fromPath(m_dir / "in8.txt"));
        form.Text2->setText(lex::fromPath(m_dir / "out8.txt"));
        lex::test::writeBytes(m_dir / "in8.txt", "\xE4\xB8\xAD\xE5\x9B\xBD\xF0\xA0\xAE\xB7\n");
        form.Command3_Click();
        QCOMPARE(lex::test::readBytes(m_dir / "out8.txt"),
                 "\xE4\xB8\xAD\xE5\x9B\xBD\xF0\xA0\xAE\xB7\n");
        QVERIFY(dialogs.lastText().startsWith("词条：1\r\n耗费时间："));

        lex::test::writeBytes(m_dir / "in16.txt", lex::test::utf16le(u"中国𠮷\r\n人民\r\n"));
        form.Text1->setText(lex::fromPath(m_dir / "in16.txt"));
        form.Command3_Click();
        QCOMPARE(lex::test::readBytes(m_dir / "out8.txt"),
                 "\xD6\xD0\xB9\xFA??\r\n\xC8\xCB\xC3\xF1\r\n");
        QVERIFY(
            dialogs.lastText().startsWith("词条：2\r\n无法用 GBK 表示的字符：1 行\r\n耗费时间："));
    }

    // A file dropped on a path box replaces the box's text with its path, and enables Start as
    // typing would; dropped text that is no file is taken as text.
    void droppedFilesFillPathBoxes() {
        DedupForm form;
        form.show();
        form.Text2->setText("out.txt");
        form.Text1->setText("old");
        auto drop = [&](QMimeData *data) {
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton,
                                  Qt::NoModifier);
            QCoreApplication::sendEvent(form.Text1, &enter);
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(form.Text1, &dropped);
            return enter.isAccepted();
        };
        QMimeData files;
        files.setUrls({QUrl("https://example.org/x.txt"),
                       QUrl::fromLocalFile(lex::fromPath(m_dir / "词库 a.txt"))});
        QVERIFY(drop(&files));
        QCOMPARE(form.Text1->text(), lex::fromPath(m_dir / "词库 a.txt"));
        QVERIFY(form.Command3->isEnabled());
        QMimeData remote;
        remote.setUrls({QUrl("https://example.org/x.txt")});
        drop(&remote);
        QCOMPARE(form.Text1->text(), lex::fromPath(m_dir / "词库 a.txt"));
    }

    // A missing input is a message, not a crash, and the form is idle again.
    void missingInputIsAMessage() {
        ScriptedDialogs dialogs;
        DedupForm form;
        form.Text1->setText(lex::fromPath(m_dir / "missing.txt"));
        form.Text2->setText(lex::fromPath(m_dir / "never.txt"));
        form.Command3_Click();
        QVERIFY(dialogs.lastText().startsWith("文件不存在："));
        QVERIFY(form.idle());
        QVERIFY(!std::filesystem::exists(m_dir / "never.txt"));
    }

    // Whatever escapes the work ends the operation with a warning box, out of memory included,
    // and the form is idle and usable again.
    void runnerTurnsEveryExceptionIntoAMessage() {
        ScriptedDialogs dialogs;
        DedupForm form;
        form.Text1->setText(lex::fromPath(m_dir / "in.txt"));
        form.Text2->setText(lex::fromPath(m_dir / "o.txt"));
        form.failWith = [] { throw std::bad_alloc(); };
        form.Command3_Click();
        QVERIFY(dialogs.lastText().startsWith("内存不足"));
        QCOMPARE(dialogs.messages.last().icon, lex::MessageIcon::Warning);
        form.failWith = [] { throw std::runtime_error("坏了"); };
        form.Command3_Click();
        QCOMPARE(dialogs.lastText(), QString("坏了"));
        QVERIFY(form.idle());
        QVERIFY(form.Command3->isEnabled());
    }

    // Esc is "cancel" in a dialog but never unloads a main form.
    void escapeClosesDialogsButNotMainForms() {
        DedupForm dialog;
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        DedupForm main;
        main.setMainForm(true);
        main.show();
        QTest::keyClick(&main, Qt::Key_Escape);
        QVERIFY(main.isVisible());
    }

    // Qt's own texts read Chinese once the translations are installed.
    void standardButtonsReadChinese() {
        QVERIFY(lex::installChineseTranslations());
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                             QDialogButtonBox::Open | QDialogButtonBox::Yes | QDialogButtonBox::No);
        QCOMPARE(box.button(QDialogButtonBox::Ok)->text(), QString("确定"));
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QString("取消"));
        QVERIFY(box.button(QDialogButtonBox::Open)->text().contains("打开"));
        QVERIFY(box.button(QDialogButtonBox::Yes)->text().contains("是"));
        QVERIFY(box.button(QDialogButtonBox::No)->text().contains("否"));
    }

    // A tool writes beside itself when it may, else into the user's data folder, where a
    // shipped file it edits is copied first.
    void writableFolderFallsBackToTheUserFolder() {
        const auto program = m_dir / "prog", data = m_dir / "xdg";
        std::filesystem::create_directories(program);
        lex::test::writeBytes(program / "ciku.lxd", "shipped");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data.string()));
        lex::ToolFolder folder(program, "bigseg");
        QCOMPARE(folder.writable("ciku.lxd"), program / "ciku.lxd");
        if (::geteuid() != 0) { // root writes everywhere
            ::chmod(program.c_str(), 0555);
            const auto copy = folder.writable("ciku.lxd");
            QCOMPARE(copy, data / "quillo-lexicon-tools" / "bigseg" / "ciku.lxd");
            QCOMPARE(lex::test::readBytes(copy), std::string("shipped"));
            lex::test::writeBytes(copy, "edited");
            QCOMPARE(lex::test::readBytes(folder.writable("ciku.lxd")), std::string("edited"));
            QCOMPARE(folder.writable("fc.txt"),
                     data / "quillo-lexicon-tools" / "bigseg" / "fc.txt");
            ::chmod(program.c_str(), 0755);
        }
        QCOMPARE(lex::ToolFolder::single(data).writable("x"), data / "x");
    }

    void settingsRoundTripAsIniFile() {
        lex::saveSetting("pintop", "Form4", "Check1", "1");
        lex::saveSetting("pintop", "Form4", "Text1", "/路径/表.ini");
        QCOMPARE(lex::getSetting("pintop", "Form4", "Check1", "0"), QString("1"));
        QCOMPARE(lex::getSetting("pintop", "Form4", "Text1"), QString("/路径/表.ini"));
        QCOMPARE(lex::getSetting("pintop", "Form5", "Option1", "True"), QString("True"));
        QVERIFY(QFileInfo(lex::settingsFile("pintop")).fileName() == "pintop.ini");
        QVERIFY(QFileInfo::exists(lex::settingsFile("pintop")));
    }

    void secondInstanceIsRefusedWithItsMessage() {
        ScriptedDialogs dialogs;
        auto first = lex::startupGuard("lexmerge", lex::GuardStyle::Warning);
        QVERIFY(first);
        // QLockFile refuses a second lock from the same process as it would from another.
        auto second = lex::startupGuard("lexmerge", lex::GuardStyle::Warning);
        QVERIFY(!second);
        QCOMPARE(dialogs.lastText(), QString("本程序已经运行，不能再次装载。"));
        QCOMPARE(dialogs.messages.last().icon, lex::MessageIcon::Warning);
        auto third = lex::startupGuard("lexmerge", lex::GuardStyle::Exclamation, "freqtune");
        QVERIFY(!third);
        QCOMPARE(dialogs.lastText(), QString("本程序已经运行，不能再次装载！"));
        QCOMPARE(dialogs.messages.last().title, QString("freqtune"));
        QCOMPARE(dialogs.messages.last().icon, lex::MessageIcon::None);
        first.reset();
        QVERIFY(lex::startupGuard("lexmerge", lex::GuardStyle::Warning));
    }

    void readmeViewerShowsCodePage936Text() {
        lex::test::writeBytes(m_dir / "read.me", lex::test::gbk(u"说明\r\n第二行"));
        lex::ReadmeViewer viewer;
        QCOMPARE(viewer.Text1->toPlainText(), QString("说明\n第二行"));
        QCOMPARE(viewer.windowTitle(), QString("readme"));
        lex::test::writeBytes(m_dir / "read.me", "");
        lex::ReadmeViewer empty;
        QVERIFY(empty.Text1->toPlainText().isEmpty());
    }

    void callerRestartStartsOnlyAnExistingProgram() {
        QVERIFY(!lex::callerRestart()); // nothing stored
        auto marker = m_dir / "started.txt";
        auto script = m_dir / "caller.sh";
        lex::test::writeBytes(script, "#!/bin/sh\necho started > '" + marker.string() + "'\n");
        ::chmod(script.c_str(), 0755);
        lex::saveSetting("QLCK_Tools", "Exe", "Path", lex::fromPath(m_dir / "gone.sh"));
        QVERIFY(!lex::callerRestart());
        lex::saveSetting("QLCK_Tools", "Exe", "Path", lex::fromPath(script));
        QVERIFY(lex::callerRestart());
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(marker), 60000);
    }

private:
    TempDir m_dir;
};

QTEST_MAIN(ToolShellTest)
#include "toolshell_test.moc"
