// phonetag's windows driven through the scripted dialogs: the menu Form1 and its working forms
// Form7 (智能注音), Form6 (注音修正) and Form5 (注音优化), against the golden outputs.
#include "phonetag/forms/form1.h"
#include "phonetag/forms/form5.h"
#include "phonetag/forms/form6.h"
#include "phonetag/forms/form7.h"

#include "scripted_dialogs.h"
#include "test_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <deque>
#include <functional>

using namespace lex;
using namespace lex::phonetag;
using namespace lex::pinyin;
using lex::test::readBytes;
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

template <typename F> void expect(std::function<void(F &)> driver) {
    g_drivers.push_back([driver](QDialog &d) {
        auto *form = dynamic_cast<F *>(&d);
        QVERIFY2(form, qPrintable("unexpected form " + d.objectName()));
        driver(*form);
    });
}

} // namespace

class PhonetagFormsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<lex::test::TempDir> m_dir;
    std::unique_ptr<lex::test::ScriptedDialogs> m_dialogs;
    std::unique_ptr<Form1> m_main;
    std::vector<fs::path> m_viewed;

    fs::path path(const char *name) const { return *m_dir / name; }
    fs::path tool() const { return *m_dir / "tool"; }

    Form1 &menu() {
        auto dictionary = Form1::loadDictionary();
        m_main = std::make_unique<Form1>(std::move(*dictionary));
        m_main->Form_Load();
        return *m_main;
    }

    // Fills both paths, clicks `start` and checks the report's title and first lines and the
    // output against its golden file.
    void run(PhonetagForm &f, QPushButton *start, const QString &title, const QString &counts,
             const char *golden) {
        f.Text1->setText(q(path("in.txt")));
        f.Text2->setText(q(path("out.txt")));
        start->click();
        QCOMPARE(m_dialogs->messages.last().title, title);
        QVERIFY2(m_dialogs->lastText().startsWith(counts + QStringLiteral("\r\n耗费时间：")),
                 qPrintable(m_dialogs->lastText()));
        QCOMPARE(readBytes(path("out.txt")), readBytes(kGolden / golden));
    }

private slots:
    void init() {
        m_dir = std::make_unique<lex::test::TempDir>();
        fs::create_directories(tool());
        qputenv("XDG_CONFIG_HOME", q(path("config")).toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", q(path("run")).toLocal8Bit());
        setToolDir(q(tool()));
        for (const char *name : {"dz.txt", "zn.lxd", "lw.txt"})
            fs::copy_file(kGolden / name, tool() / name);
        fs::copy_file(kGolden / "lexicon.txt", path("in.txt"));
        m_dialogs = std::make_unique<lex::test::ScriptedDialogs>();
        g_drivers.clear();
        g_unexpected = 0;
        setModalRunner([](QDialog &form) {
            if (g_drivers.empty())
                return void(++g_unexpected);
            auto driver = std::move(g_drivers.front());
            g_drivers.pop_front();
            driver(form);
        });
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

    // Guards the mended silences: without "dz.txt" the program says why before it ends,
    // without "zn.lxd" Form7 says why instead of vanishing, without "lw.txt" the correction
    // says why and leaves the old log and the form usable.
    void missingDataFilesAreExplained() {
        writeBytes(tool() / "log.txt", "old");
        fs::remove(tool() / "zn.lxd");
        fs::remove(tool() / "lw.txt");
        Form1 &main = menu();
        main.Command2->click(); // no driver queued: Form7 must not open
        QVERIFY(m_dialogs->lastText().contains(QStringLiteral("zn.lxd")));
        expect<Form6>([this](Form6 &f) {
            f.Text1->setText(q(path("in.txt")));
            f.Text2->setText(q(path("out.txt")));
            f.Command5->click();
            QVERIFY(m_dialogs->lastText().contains(QStringLiteral("lw.txt")));
            QCOMPARE(f.Label3->text(), QStringLiteral("欢迎使用！"));
            QVERIFY(f.Command5->isEnabled() && f.Text1->isEnabled());
        });
        main.Command4->click();
        QCOMPARE(readBytes(tool() / "log.txt"), std::string("old"));
        QVERIFY(!fs::exists(path("out.txt")));
        fs::remove(tool() / "dz.txt");
        QVERIFY(!Form1::loadDictionary());
        QVERIFY(m_dialogs->lastText().contains(QStringLiteral("dz.txt")));
    }

    // Guards Form7: the dialogs' titles, the buttons that follow the two paths, and both
    // operations' bytes and reports.
    void annotationFormAnnotatesAndClears() {
        Form1 &main = menu();
        expect<Form7>([this](Form7 &f) {
            QCOMPARE(f.windowTitle(), QStringLiteral("智能注音"));
            QVERIFY(!f.Command6->isEnabled() && !f.Command4->isEnabled());
            m_dialogs->fileAnswers = {q(path("in.txt")), QString(), q(path("x.txt"))};
            f.Command1->click();
            f.Command2->click(); // cancelled: the box stays empty
            QVERIFY(!f.Command6->isEnabled());
            f.Command2->click();
            QVERIFY(f.Command6->isEnabled() && f.Command4->isEnabled());
            QCOMPARE(m_dialogs->fileDialogs[0].title, QStringLiteral("打开的词库文件为"));
            QCOMPARE(m_dialogs->fileDialogs[2].title, QStringLiteral("保存的词库文件为"));
            QVERIFY(!m_dialogs->fileDialogs[0].isSave && m_dialogs->fileDialogs[2].isSave);
            run(f, f.Command6, QStringLiteral("自动注音完成！"), QStringLiteral("共计词条：19"),
                "annotate.txt");
            QCOMPARE(f.Label3->text(), QStringLiteral("欢迎使用！"));
            // The report box is the specified one; the review list lies beside "log.txt" (here
            // without "dy.txt" and "cp.txt": only the word that the table reads in two ways).
            QCOMPARE(m_dialogs->lastText().count(QStringLiteral("\r\n")), 1);
            QCOMPARE(readBytes(tool() / "待审词条.txt"),
                     lex::test::gbkLines({u"#10 1:xing/hang", u"行xing长zhang大da"}));
            run(f, f.Command4, QStringLiteral("清除拼音完成！"), QStringLiteral("共计词条：19"),
                "clear.txt");
        });
        main.Command2->click();
    }

    // Guards a missing input in each form: its message, the input box emptied, nothing written,
    // and the form usable again rather than left with its controls off.
    void missingInputEmptiesTheBoxAndFreesTheForm() {
        Form1 &main = menu();
        auto check = [this](PhonetagForm &f, QPushButton *start, const QString &message,
                            const QString &idleText) {
            f.Text1->setText(q(path("gone.txt")));
            f.Text2->setText(q(path("out.txt")));
            start->click();
            QCOMPARE(m_dialogs->lastText(), message);
            QCOMPARE(m_dialogs->messages.last().title, QString());
            QVERIFY(f.Text1->text().isEmpty() && !start->isEnabled());
            QVERIFY(f.Text1->isEnabled() && f.Command1->isEnabled() && f.Command2->isEnabled());
            QCOMPARE(f.Label3->text(), idleText);
            QVERIFY(f.idle() && !fs::exists(path("out.txt")));
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
        });
        main.Command4->click();
        expect<Form5>([&](Form5 &f) {
            check(f, f.Command4, failed, QStringLiteral(" 欢迎使用！"));
            check(f, f.Command5, QStringLiteral("打开原始词库失败！"), welcome);
        });
        main.Command3->click();
    }

    // Guards Form6: the corrected lexicon, its log beside the program and viewing it, the
    // extraction; the list stays in the tool's one entry set until Form5 empties it.
    void correctionLogsAndExtractionKeepsAnnotatedLines() {
        Form1 &main = menu();
        expect<Form6>([this](Form6 &f) {
            QCOMPARE(f.windowTitle(), QStringLiteral("注音修正"));
            f.Command4->click(); // no log yet
            QVERIFY(m_dialogs->lastText().startsWith(QStringLiteral("还没有修正记录")));
            run(f, f.Command5, QStringLiteral("修正拼音完成！"), QStringLiteral("共计词条：19"),
                "correct.txt");
            QCOMPARE(readBytes(tool() / "log.txt"), readBytes(kGolden / "correct-log.txt"));
            f.Command4->click();
            QCOMPARE(m_viewed, std::vector<fs::path>{tool() / "log.txt"});
            run(f, f.Command6, QStringLiteral("完成！"), QStringLiteral("提取注音词条：10"),
                "extract.txt");
        });
        main.Command4->click();
        QVERIFY(main.entrySet().insertedCount() > 0);
        expect<Form5>([](Form5 &) {});
        main.Command3->click();
        QCOMPARE(main.entrySet().insertedCount(), 0);
    }

    // Guards Form5: the adjustment's counters and its one status text with a leading blank, the
    // duplicate removal's counts, and an empty entry set after it.
    void optimisationAdjustsAndRemovesRepeats() {
        Form1 &main = menu();
        expect<Form5>([this, &main](Form5 &f) {
            QCOMPARE(f.windowTitle(), QStringLiteral("注音优化"));
            run(f, f.Command4, QStringLiteral("完成！"),
                QStringLiteral("补充欠拼：21\r\n清除赘拼：1"), "adjust.txt");
            QCOMPARE(f.Label3->text(), QStringLiteral(" 欢迎使用！"));
            run(f, f.Command5, QStringLiteral("完成！"),
                QStringLiteral("删除重复词条：2\r\n剩余词条：17"), "dedup.txt");
            QCOMPARE(f.Label3->text(), QStringLiteral("欢迎使用！"));
            QCOMPARE(main.entrySet().insertedCount(), 0);
        });
        main.Command3->click();
    }

    // Guards the one busy state of the tool: while Form7 annotates, neither it nor the menu
    // closes, and the path controls are off; afterwards both close ("退出程序", not Esc).
    void nothingClosesWhileAnOperationRuns() {
        // Long lines, so that the run outlasts the pump's event interval on a fast machine.
        std::u16string line;
        for (int i = 0; i < 12; ++i)
            line += u"重庆市银行行长";
        std::u16string big;
        for (int i = 0; i < 30'000; ++i)
            big += line + u"\r\n";
        writeBytes(path("in.txt"), lex::test::gbk(big));
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
            f.Text1->setText(q(path("in.txt")));
            f.Text2->setText(q(path("out.txt")));
            f.Command6->click();
            QVERIFY(f.close());
        });
        main.Command2->click();
        QVERIFY(!formClosed && !menuClosed && boxesOff);
        QCOMPARE(status, QStringLiteral("正在自动注音，请稍候……"));
        QVERIFY(m_dialogs->lastText().startsWith(QStringLiteral("共计词条：30000\r\n")));
        main.show();
        QTest::keyClick(&main, Qt::Key_Escape); // Esc never closes the menu
        QVERIFY(main.isVisible());
        main.Command7->click();
        QVERIFY(!main.isVisible());
    }
};

QTEST_MAIN(PhonetagFormsTest)
#include "phonetag_forms_test.moc"
