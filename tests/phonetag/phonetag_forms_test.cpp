// phonetag's windows driven through the scripted dialogs: the menu Form1 and its working forms
// Form7 (智能注音), Form6 (注音修正) and Form5 (注音优化), against the golden outputs.
#include "phonetag/forms/form1.h"
#include "phonetag/forms/form5.h"
#include "phonetag/forms/form6.h"
#include "phonetag/forms/form7.h"

#include "scripted_dialogs.h"
#include "test_support.h"

#include "shared/toolshell/readme_viewer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <deque>
#include <functional>

using namespace lex;
using namespace lex::phonetag;
using lex::test::readBytes;
using lex::test::ScriptedDialogs;
using lex::test::TempDir;
using lex::test::writeBytes;

namespace fs = std::filesystem;

namespace {

const fs::path kGolden = PHONETAG_GOLDEN;

QString q(const fs::path &p) {
    return QString::fromStdString(p.string());
}

// Drivers for the modal forms, taken in order as the forms open.
std::deque<std::function<void(QDialog &)>> g_drivers;
int g_unexpected = 0;

void driveModal(QDialog &form) {
    if (g_drivers.empty()) {
        ++g_unexpected;
        return;
    }
    auto driver = std::move(g_drivers.front());
    g_drivers.pop_front();
    driver(form);
}

template <typename F> void expect(std::function<void(F &)> driver) {
    g_drivers.push_back([driver](QDialog &d) {
        auto *form = dynamic_cast<F *>(&d);
        QVERIFY2(form, qPrintable("unexpected form " + d.objectName()));
        driver(*form);
    });
}

const QRegularExpression kElapsed(QStringLiteral("\r\n耗费时间：\\d\\d:\\d\\d:\\d\\d$"));

} // namespace

class PhonetagFormsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<Form1> m_main;
    std::vector<fs::path> m_viewed;

    fs::path path(const char *name) const { return *m_dir / name; }
    fs::path tool() const { return *m_dir / "tool"; }

    Form1 &menu() {
        auto dictionary = Form1::loadDictionary();
        if (!dictionary)
            qFatal("no dictionary");
        m_main = std::make_unique<Form1>(std::move(*dictionary));
        m_main->Form_Load();
        return *m_main;
    }

    // Fills both paths of a working form and clicks `start`; returns the report's text.
    QString run(PhonetagForm &f, QPushButton *start, const fs::path &in, const fs::path &out) {
        f.Text1->setText(q(in));
        f.Text2->setText(q(out));
        const auto before = m_dialogs->messages.size();
        start->click();
        return m_dialogs->messages.size() > before ? m_dialogs->lastText() : QString();
    }

    void expectGolden(const fs::path &out, const char *golden) {
        QCOMPARE(readBytes(out), readBytes(kGolden / golden));
    }

private slots:
    void init() {
        m_dir = std::make_unique<TempDir>();
        fs::create_directories(tool());
        qputenv("XDG_CONFIG_HOME", q(path("config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", q(path("data")).toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", q(path("run")).toLocal8Bit());
        setToolDir(q(tool()));
        for (const char *name : {"dz.txt", "zn.lxd", "lw.txt"})
            fs::copy_file(kGolden / name, tool() / name);
        fs::copy_file(kGolden / "lexicon.txt", path("in.txt"));
        m_dialogs = std::make_unique<ScriptedDialogs>();
        g_drivers.clear();
        g_unexpected = 0;
        setModalRunner(driveModal);
        m_viewed.clear();
        Form6::setLogViewer([this](const fs::path &p) {
            m_viewed.push_back(p);
            return true;
        });
    }

    void cleanup() {
        m_main.reset();
        Form6::setLogViewer(nullptr);
        setModalRunner(nullptr);
        m_dialogs.reset();
        QVERIFY2(g_drivers.empty(), "a form that was expected did not open");
        QCOMPARE(g_unexpected, 0);
        m_dir.reset();
    }

    // Guards the menu's captions and that Esc does not close it.
    void menuCaptions() {
        Form1 &main = menu();
        QCOMPARE(main.windowTitle(), QStringLiteral("Quillo词库注音 Ver1.21"));
        QCOMPARE(main.Command2->text(), QStringLiteral("智能注音"));
        QCOMPARE(main.Command3->text(), QStringLiteral("注音优化"));
        QCOMPARE(main.Command4->text(), QStringLiteral("注音修正"));
        QCOMPARE(main.Command1->text(), QStringLiteral("说明文档"));
        QCOMPARE(main.Command7->text(), QStringLiteral("退出程序"));
        QCOMPARE(main.Label1->text(), QStringLiteral("欢迎使用！"));
        main.show();
        QTest::keyClick(&main, Qt::Key_Escape);
        QVERIFY(main.isVisible());
        writeBytes(tool() / "read.me", lex::test::gbk(u"注音说明"));
        expect<ReadmeViewer>(
            [](ReadmeViewer &v) { QCOMPARE(v.Text1->toPlainText(), QStringLiteral("注音说明")); });
        main.Command1->click();
        main.Command7->click();
        QVERIFY(!main.isVisible());
    }

    // Guards the start without "dz.txt": a clear message instead of a silent end.
    void missingDictionaryIsExplained() {
        fs::remove(tool() / "dz.txt");
        QVERIFY(!Form1::loadDictionary());
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_dialogs->lastText().contains(QStringLiteral("dz.txt")));
    }

    // Guards Form7's two operations: the golden bytes, the titles and counts of their reports,
    // the dialogs' titles, and the buttons that follow the two paths.
    void annotationFormAnnotatesAndClears() {
        Form1 &main = menu();
        expect<Form7>([this](Form7 &f) {
            QCOMPARE(f.windowTitle(), QStringLiteral("智能注音"));
            QCOMPARE(f.Label3->text(), QStringLiteral("欢迎使用！"));
            QVERIFY(!f.Command6->isEnabled() && !f.Command4->isEnabled());
            m_dialogs->fileAnswers = {q(path("in.txt")), QString(), q(path("out.txt"))};
            f.Command1->click();
            f.Command2->click(); // cancelled: the box stays empty
            QVERIFY(!f.Command6->isEnabled());
            f.Command2->click();
            QVERIFY(f.Command6->isEnabled() && f.Command4->isEnabled());
            QCOMPARE(m_dialogs->fileDialogs[0].title, QStringLiteral("打开的词库文件为"));
            QVERIFY(!m_dialogs->fileDialogs[0].isSave);
            QCOMPARE(m_dialogs->fileDialogs[2].title, QStringLiteral("保存的词库文件为"));
            QVERIFY(m_dialogs->fileDialogs[2].isSave);

            f.Command6->click();
            QCOMPARE(m_dialogs->messages.last().title, QStringLiteral("自动注音完成！"));
            QVERIFY(m_dialogs->lastText().startsWith(QStringLiteral("共计词条：27\r\n")));
            QVERIFY(kElapsed.match(m_dialogs->lastText()).hasMatch());
            expectGolden(path("out.txt"), "annotate.txt");
            QCOMPARE(f.Label3->text(), QStringLiteral("欢迎使用！"));
            QVERIFY(f.Text1->isEnabled() && f.Command6->isEnabled());

            f.Command4->click();
            QCOMPARE(m_dialogs->messages.last().title, QStringLiteral("清除拼音完成！"));
            QVERIFY(m_dialogs->lastText().startsWith(QStringLiteral("共计词条：27\r\n")));
            expectGolden(path("out.txt"), "clear.txt");
            f.Text2->clear();
            QVERIFY(!f.Command6->isEnabled() && !f.Command4->isEnabled());
        });
        main.Command2->click();
    }

    // Guards the mended load of Form7: without "zn.lxd" it says why instead of vanishing.
    void missingWordTableIsExplainedAndTheFormNotShown() {
        fs::remove(tool() / "zn.lxd");
        Form1 &main = menu();
        main.Command2->click(); // no driver queued: the form must not open
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_dialogs->lastText().contains(QStringLiteral("zn.lxd")));
        QVERIFY(main.idle());
    }

    // Guards a missing input in each form: its message, the input box emptied, nothing written,
    // and the form usable again rather than left with its controls off.
    void missingInputEmptiesTheBoxAndFreesTheForm() {
        Form1 &main = menu();
        auto check = [this](PhonetagForm &f, QPushButton *start, const QString &message,
                            const QString &idleText) {
            QCOMPARE(run(f, start, path("gone.txt"), path("out.txt")), message);
            QCOMPARE(m_dialogs->messages.last().title, QString());
            QVERIFY(f.Text1->text().isEmpty());
            QVERIFY(f.Text1->isEnabled() && f.Command1->isEnabled() && f.Command2->isEnabled());
            QVERIFY(!start->isEnabled());
            QCOMPARE(f.Label3->text(), idleText);
            QVERIFY(f.idle());
            QVERIFY(!fs::exists(path("out.txt")));
        };
        const QString failed = QStringLiteral("打开词库失败！");
        const QString welcome = QStringLiteral("欢迎使用！");
        expect<Form7>([&](Form7 &f) {
            check(f, f.Command6, failed, welcome);
            check(f, f.Command4, failed, welcome);
        });
        main.Command2->click();
        expect<Form6>([&](Form6 &f) {
            check(f, f.Command5, failed, welcome);
            check(f, f.Command6, failed, welcome);
            QVERIFY(f.Command4->isEnabled());
        });
        main.Command4->click();
        expect<Form5>([&](Form5 &f) {
            check(f, f.Command4, failed, QStringLiteral(" 欢迎使用！"));
            check(f, f.Command5, QStringLiteral("打开原始词库失败！"), welcome);
        });
        main.Command3->click();
    }

    // Guards Form6: the corrected lexicon, its log beside the program, viewing that log, and the
    // extraction; the list stays in the tool's one entry set until Form5 empties it.
    void correctionLogsAndExtractionKeepsAnnotatedLines() {
        Form1 &main = menu();
        expect<Form6>([this](Form6 &f) {
            QCOMPARE(f.windowTitle(), QStringLiteral("注音修正"));
            QCOMPARE(f.Command5->text(), QStringLiteral("开始修正注音"));
            QCOMPARE(f.Command6->text(), QStringLiteral("提取注音词条"));
            QCOMPARE(f.Command4->text(), QStringLiteral("查看修正记录"));
            f.Command4->click(); // no log yet
            QVERIFY(m_dialogs->lastText().startsWith(QStringLiteral("还没有修正记录")));
            QVERIFY(m_viewed.empty());

            const QString report = run(f, f.Command5, path("in.txt"), path("out.txt"));
            QVERIFY2(report.startsWith(QStringLiteral("共计词条：27\r\n")), qPrintable(report));
            QCOMPARE(m_dialogs->messages.last().title, QStringLiteral("修正拼音完成！"));
            expectGolden(path("out.txt"), "correct.txt");
            expectGolden(tool() / "log.txt", "correct-log.txt");
            f.Command4->click();
            QCOMPARE(m_viewed, std::vector<fs::path>{tool() / "log.txt"});

            QVERIFY(run(f, f.Command6, path("in.txt"), path("out.txt"))
                        .startsWith(QStringLiteral("提取注音词条：13\r\n")));
            QCOMPARE(m_dialogs->messages.last().title, QStringLiteral("完成！"));
            expectGolden(path("out.txt"), "extract.txt");
        });
        main.Command4->click();
        QVERIFY(main.entrySet().insertedCount() > 0);
        expect<Form5>([](Form5 &) {});
        main.Command3->click();
        QCOMPARE(main.entrySet().insertedCount(), 0);
    }

    // Guards the mended correction without "lw.txt": a message instead of a silent stop, and the
    // old log and output left alone.
    void missingListIsExplained() {
        fs::remove(tool() / "lw.txt");
        writeBytes(tool() / "log.txt", "old");
        Form1 &main = menu();
        expect<Form6>([this](Form6 &f) {
            QVERIFY(run(f, f.Command5, path("in.txt"), path("out.txt"))
                        .contains(QStringLiteral("lw.txt")));
            QCOMPARE(f.Label3->text(), QStringLiteral("欢迎使用！"));
            QVERIFY(f.Command5->isEnabled());
        });
        main.Command4->click();
        QCOMPARE(readBytes(tool() / "log.txt"), std::string("old"));
        QVERIFY(!fs::exists(path("out.txt")));
    }

    // Guards Form5: the adjustment's counters and its one status text with a leading blank, the
    // duplicate removal's counts, and an empty entry set after it.
    void optimisationAdjustsAndRemovesRepeats() {
        Form1 &main = menu();
        expect<Form5>([this, &main](Form5 &f) {
            QCOMPARE(f.windowTitle(), QStringLiteral("注音优化"));
            QCOMPARE(f.Command4->text(), QStringLiteral("调整赘拼欠拼"));
            QCOMPARE(f.Command5->text(), QStringLiteral("删除重复词条"));
            QString report = run(f, f.Command4, path("in.txt"), path("out.txt"));
            QVERIFY2(report.startsWith(QStringLiteral("补充欠拼：33\r\n清除赘拼：1\r\n耗费时间：")),
                     qPrintable(report));
            QCOMPARE(m_dialogs->messages.last().title, QStringLiteral("完成！"));
            QCOMPARE(f.Label3->text(), QStringLiteral(" 欢迎使用！"));
            expectGolden(path("out.txt"), "adjust.txt");

            report = run(f, f.Command5, path("in.txt"), path("out.txt"));
            QVERIFY2(
                report.startsWith(QStringLiteral("删除重复词条：4\r\n剩余词条：23\r\n耗费时间：")),
                qPrintable(report));
            QCOMPARE(f.Label3->text(), QStringLiteral("欢迎使用！"));
            expectGolden(path("out.txt"), "dedup.txt");
            QCOMPARE(main.entrySet().insertedCount(), 0);
        });
        main.Command3->click();
    }

    // Guards the one busy state of the tool: while Form7 annotates, neither it nor the menu
    // closes, and the path controls are off; afterwards both close.
    void nothingClosesWhileAnOperationRuns() {
        std::u16string big;
        for (int i = 0; i < 30'000; ++i)
            big += u"重庆市银行行长\r\n";
        writeBytes(path("big.txt"), lex::test::gbk(big));
        Form1 &main = menu();
        bool formClosed = true, menuClosed = true, boxesOff = false;
        QString status;
        expect<Form7>([&](Form7 &f) {
            QTimer::singleShot(0, &f, [&] {
                formClosed = f.close();
                menuClosed = main.close();
                boxesOff = !f.Text1->isEnabled() && !f.Command1->isEnabled() &&
                           !f.Command6->isEnabled() && f.Command3->isEnabled();
                status = f.Label3->text();
            });
            run(f, f.Command6, path("big.txt"), path("out.txt"));
            QVERIFY(f.idle());
            QVERIFY(f.close());
        });
        main.Command2->click();
        QVERIFY(!formClosed);
        QVERIFY(!menuClosed);
        QVERIFY(boxesOff);
        QCOMPARE(status, QStringLiteral("正在自动注音，请稍候……"));
        QVERIFY(m_dialogs->lastText().startsWith(QStringLiteral("共计词条：30000\r\n")));
        QVERIFY(main.close());
    }
};

QTEST_MAIN(PhonetagFormsTest)
#include "phonetag_forms_test.moc"
