// pintop's windows driven through the scripted dialogs: FrmMain -> Form1/Form4 and Form2/Form5,
// the settings file and the caller restart.
#include "pintop/forms/form1.h"
#include "pintop/forms/form2.h"
#include "pintop/forms/form4.h"
#include "pintop/forms/form5.h"
#include "pintop/forms/frm_main.h"
#include "shared/toolshell/settings.h"

#include "scripted_dialogs.h"
#include "test_support.h"

#include "shared/toolshell/readme_viewer.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>
#include <QtTest>

#include <deque>
#include <functional>
#include <sstream>

using namespace lex;
using namespace lex::pintop;
using lex::test::gbkLines;
using lex::test::readBytes;
using lex::test::ScriptedDialogs;
using lex::test::TempDir;
using lex::test::writeBytes;
using lex::test::writeLexicon;

namespace {

QString q(const std::filesystem::path &p) {
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

class PintopFormsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;

    std::filesystem::path path(const char *name) const { return *m_dir / name; }
    std::filesystem::path tool() const { return *m_dir / "tool"; }

    // Opens Form1 from the menu, fills both paths through the dialogs and presses Start.
    void generateThroughForm1(FrmMain &main, const std::filesystem::path &in,
                              const std::filesystem::path &out) {
        m_dialogs->fileAnswers = {q(in), q(out)};
        expect<Form1>([](Form1 &f) {
            f.Command1->click();
            f.Command2->click();
            f.Command4->click();
        });
        main.Command1->click();
    }

    void dedupThroughForm2(FrmMain &main, const std::filesystem::path &in,
                           const std::filesystem::path &out) {
        expect<Form2>([&](Form2 &f) {
            f.Text1->setText(q(in));
            f.Text5->setText(q(out));
            f.Command4->click();
        });
        main.Command2->click();
    }

private slots:
    void init() {
        m_dir = std::make_unique<TempDir>();
        std::filesystem::create_directories(tool());
        qputenv("XDG_CONFIG_HOME", q(path("config")).toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", q(path("run")).toLocal8Bit());
        setToolDir(q(tool()));
        writeLexicon(tool() / "dz.lxd", {u"中zhong", u"国guo", u"华hua", u"人ren", u"民min",
                                         u"共gong", u"和he", u"昂ang"});
        writeLexicon(path("in.txt"), {u"中国", u"中华人民", u";注释", u"", u"人min民",
                                      u"中华人民共和国", u"昂", u"中zhong华"});
        writeLexicon(path("table.ini"), {u"zh=v", u"ong=s", u"0ang=ah", u"in=n"});
        m_dialogs = std::make_unique<ScriptedDialogs>();
        g_drivers.clear();
        g_unexpected = 0;
        setModalRunner(driveModal);
    }

    void cleanup() {
        setModalRunner(nullptr);
        m_dialogs.reset();
        QVERIFY2(g_drivers.empty(), "a form that was expected did not open");
        QCOMPARE(g_unexpected, 0);
        m_dir.reset();
    }

    // Esc never unloads the menu; in the working forms it is "退出". After a run the hidden
    // progress row leaves no blank band behind.
    void escapeAndTheProgressRow() {
        FrmMain main(QString{});
        main.Form_Load();
        main.show();
        QTest::keyClick(&main, Qt::Key_Escape);
        QVERIFY(main.isVisible());
        writeLexicon(path("in.txt"), {u"中国"});
        Form1 form(main);
        QVERIFY(form.Form_Load());
        form.show();
        const int height = form.height();
        form.Text1->setText(q(path("in.txt")));
        form.Text5->setText(q(path("out.txt")));
        form.Command4->click();
        QVERIFY(!form.ProgressBar1->isVisible());
        QCOMPARE(form.height(), height);
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(!form.isVisible());
    }

    void startIsEnabledExactlyWhenBothPathsAreFilled() {
        FrmMain main(QString{});
        main.Form_Load();
        m_dialogs->fileAnswers = {q(path("in.txt")), QString(), q(path("out.txt"))};
        expect<Form1>([this](Form1 &f) {
            QCOMPARE(f.windowTitle(), QStringLiteral("标准词库 >> 固顶词库"));
            QVERIFY(!f.Command4->isEnabled());
            f.Command1->click();
            QVERIFY(!f.Command4->isEnabled());
            f.Command2->click(); // cancelled: the box stays empty
            QVERIFY(f.Text5->text().isEmpty());
            f.Command2->click();
            QVERIFY(f.Command4->isEnabled());
            f.Text1->clear();
            QVERIFY(!f.Command4->isEnabled());
            QCOMPARE(m_dialogs->fileDialogs[0].title, QStringLiteral("打开标准词库"));
            QVERIFY(!m_dialogs->fileDialogs[0].isSave);
            QCOMPARE(m_dialogs->fileDialogs[2].title, QStringLiteral("固顶词库保存为"));
            QVERIFY(m_dialogs->fileDialogs[2].isSave);
        });
        main.Command1->click();
    }

    void generationReportsItsCountAndWritesTheFile() {
        FrmMain main(QString{});
        main.Form_Load();
        generateThroughForm1(main, path("in.txt"), path("out.txt"));
        QCOMPARE(m_dialogs->messages.size(), 1);
        const auto &m = m_dialogs->messages[0];
        QCOMPARE(m.title, QStringLiteral("完成！"));
        QVERIFY2(m.text.startsWith(QStringLiteral("固顶词库词条：7\r\n耗费时间：")),
                 qPrintable(m.text));
        QVERIFY(kElapsed.match(m.text).hasMatch());
        QCOMPARE(
            readBytes(path("out.txt")),
            gbkLines({u"zhongguo=中国", u"zhonghuarenmin=中华人民", u";=", u"minmin=人民",
                      u"zhonghuarenmingongheguo=中华人民共和国", u"ang=昂", u"zhonghua=中华"}));
    }

    void oneCharacterCommandLineIsTheSeparator() {
        FrmMain main(QStringLiteral("'"));
        main.Form_Load();
        generateThroughForm1(main, path("in.txt"), path("out.txt"));
        QVERIFY(readBytes(path("out.txt")).rfind(lex::test::gbk(u"zhong'guo=中国\r\n"), 0) == 0);
    }

    void missingInputIsReportedAndTheBoxEmptied() {
        FrmMain main(QString{});
        main.Form_Load();
        expect<Form1>([this](Form1 &f) {
            f.Text1->setText(q(path("gone.txt")));
            f.Text5->setText(q(path("out.txt")));
            f.Command4->click();
            QCOMPARE(m_dialogs->lastText(), QStringLiteral("打开词库失败！"));
            QCOMPARE(m_dialogs->messages.last().title, QString());
            QVERIFY(f.Text1->text().isEmpty());
            QVERIFY(!f.Command4->isEnabled());
            QVERIFY(f.idle());
        });
        main.Command1->click();
        QVERIFY(!std::filesystem::exists(path("out.txt")));
    }

    void missingReadingsFileIsExplainedAndTheFormNotShown() {
        std::filesystem::remove(tool() / "dz.lxd");
        FrmMain main(QString{});
        main.Form_Load();
        main.Command1->click(); // no driver queued: the form must not open
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_dialogs->lastText().contains(QStringLiteral("dz.lxd")));
    }

    void unreadableTableIsReportedAndPlainPinyinUsed() {
        writeBytes(path("bad.ini"), std::string("zh=v\0", 5));
        FrmMain main(QString{});
        main.Form_Load();
        main.options().check2 = true;
        main.options().text1 = q(path("bad.ini"));
        generateThroughForm1(main, path("in.txt"), path("out.txt"));
        QCOMPARE(m_dialogs->messages.size(), 2);
        QVERIFY(m_dialogs->messages[0].text.contains(QStringLiteral("bad.ini")));
        QVERIFY(readBytes(path("out.txt")).rfind(lex::test::gbk(u"zhongguo=中国\r\n"), 0) == 0);
    }

    void optionFormChangesTheCodesAndReloadsTheTable() {
        FrmMain main(QString{});
        main.Form_Load();
        m_dialogs->fileAnswers = {q(path("table.ini"))};
        expect<Form1>([this](Form1 &f) {
            expect<Form4>([this](Form4 &o) {
                QVERIFY(!o.Check1->isChecked());
                QVERIFY(!o.Option1->isEnabled());
                QVERIFY(o.Option1->isChecked());
                QVERIFY(!o.Text1->isEnabled() && !o.Command1->isEnabled());
                o.Check1->click();
                QVERIFY(o.Option3->isEnabled());
                o.Option3->click();
                o.Check2->click();
                QVERIFY(o.Text1->isEnabled());
                o.Command1->click();
                QCOMPARE(m_dialogs->fileDialogs.last().title, QStringLiteral("选择替换表文件"));
                QCOMPARE(m_dialogs->fileDialogs.last().initialDir, q(tool()));
                QCOMPARE(o.Text1->text(), q(path("table.ini")));
                o.Command2->click();
            });
            f.Command3->click();
            f.Text1->setText(q(path("in.txt")));
            f.Text5->setText(q(path("out.txt")));
            f.Command4->click();
        });
        main.Command1->click();
        QVERIFY(main.options().check1 && main.options().option3 && main.options().check2);
        // zh=v, ong=s, 0ang=ah, in=n; four-character words are left out and not counted.
        QCOMPARE(readBytes(path("out.txt")),
                 gbkLines({u"vsguo=中国", u";=", u"mnmn=人民", u"ah=昂", u"vshua=中华"}));
        QVERIFY(m_dialogs->lastText().startsWith(QStringLiteral("固顶词库词条：5\r\n")));
    }

    void cancelledOptionFormChangesNothing() {
        FrmMain main(QString{});
        main.Form_Load();
        const PintopOptions before = main.options();
        expect<Form1>([](Form1 &f) {
            expect<Form4>([](Form4 &o) {
                o.Check1->click();
                o.Option2->click();
                o.Check2->click();
                o.Text1->setText(QStringLiteral("/x.ini"));
                o.Command3->click();
            });
            f.Command3->click();
        });
        main.Command1->click();
        QCOMPARE(main.options().check1, before.check1);
        QCOMPARE(main.options().option2, before.option2);
        QCOMPARE(main.options().check2, before.check2);
        QCOMPARE(main.options().text1, before.text1);
        QVERIFY(main.generateOptions().longWords == LongWords::Keep);
    }

    void dedupKeepsTwoPerCodeAfterForm5() {
        writeLexicon(path("top.txt"), {u"ab=甲", u"ab=乙-丙", u"cd=丁", u"ab=戊", u"无等号"});
        FrmMain main(QString{});
        main.Form_Load();
        expect<Form2>([this](Form2 &f) {
            QCOMPARE(f.windowTitle(), QStringLiteral("去固顶词库的重复编码"));
            m_dialogs->fileAnswers = {q(path("top.txt")), q(path("new.txt"))};
            f.Command1->click();
            f.Command2->click();
            QCOMPARE(m_dialogs->fileDialogs[0].title, QStringLiteral("打开原固顶词库"));
            QCOMPARE(m_dialogs->fileDialogs[1].title, QStringLiteral("新固顶词库保存为"));
            QVERIFY(f.Command4->isEnabled());
            expect<Form5>([](Form5 &o) {
                QVERIFY(o.Option1->isChecked());
                o.Option2->click();
                o.Command1->click();
            });
            f.Command3->click();
            f.Command4->click();
        });
        main.Command2->click();
        QCOMPARE(main.options().keepLimit(), 2);
        QCOMPARE(readBytes(path("new.txt")), gbkLines({u"ab=甲", u"ab=乙丙", u"cd=丁"}));
        QVERIFY(m_dialogs->lastText().startsWith(QStringLiteral("新固顶词库词条：3\r\n")));
        QVERIFY(kElapsed.match(m_dialogs->lastText()).hasMatch());
        QCOMPARE(m_dialogs->messages.last().title, QStringLiteral("完成！"));
    }

    void cancelledForm5ChangesNothingAndMissingInputIsReported() {
        FrmMain main(QString{});
        main.Form_Load();
        expect<Form2>([this](Form2 &f) {
            expect<Form5>([](Form5 &o) {
                o.Option3->click();
                o.Command2->click();
            });
            f.Command3->click();
            f.Text1->setText(q(path("gone.txt")));
            f.Text5->setText(q(path("new.txt")));
            f.Command4->click();
            QCOMPARE(m_dialogs->lastText(), QStringLiteral("打开词库失败！"));
            QVERIFY(f.Text1->text().isEmpty());
        });
        main.Command2->click();
        QCOMPARE(main.options().keepLimit(), 1);
    }

    void formRefusesToCloseWhileGenerating() {
        FrmMain main(QString{});
        main.Form_Load();
        bool closedDuringRun = true;
        bool menuClosedDuringRun = true;
        expect<Form1>([&](Form1 &f) {
            f.Text1->setText(q(path("in.txt")));
            f.Text5->setText(q(path("out.txt")));
            // Runs at the generation's first yield.
            QTimer::singleShot(0, &f, [&] {
                closedDuringRun = f.close();
                menuClosedDuringRun = main.close();
                QVERIFY(!f.idle());
                QVERIFY(!f.Command4->isEnabled());
            });
            f.Command4->click();
            QVERIFY(f.idle());
            QVERIFY(f.Command4->isEnabled());
            QVERIFY(f.close());
        });
        main.Command1->click();
        QVERIFY(!closedDuringRun);
        QVERIFY(!menuClosedDuringRun);
        QVERIFY(std::filesystem::exists(path("out.txt")));
    }

    void settingsAreReadOnLoadAndWrittenOnClose() {
        {
            QSettings s(settingsFile(kApplication), QSettings::IniFormat);
            s.setValue("Form4/Check1", "1");
            s.setValue("Form4/Option1", "False");
            s.setValue("Form4/Option2", "True");
            s.setValue("Form5/Option1", "False");
            s.setValue("Form5/Option3", "True");
        }
        FrmMain main(QString{});
        main.Form_Load();
        QVERIFY(main.generateOptions().longWords == LongWords::First6);
        QCOMPARE(main.options().keepLimit(), 3);
        main.options().check2 = true;
        main.options().text1 = QStringLiteral("/tables/双拼.ini");
        QVERIFY(main.close());
        QSettings s(settingsFile(kApplication), QSettings::IniFormat);
        const QStringList expected = {
            "Form4/Check1=1",      "Form4/Check2=1",      "Form4/Option1=False",
            "Form4/Option2=True",  "Form4/Option3=False", "Form4/Text1=/tables/双拼.ini",
            "Form5/Option1=False", "Form5/Option2=False", "Form5/Option3=True"};
        QStringList got;
        for (const QString &key : s.allKeys())
            got << key + "=" + s.value(key).toString();
        got.sort();
        QCOMPARE(got, expected);
    }

    void defaultsWithoutASettingsFile() {
        FrmMain main(QString{});
        main.Form_Load();
        QVERIFY(main.generateOptions().longWords == LongWords::Keep);
        QVERIFY(main.generateOptions().separator == u'-');
        QCOMPARE(main.options().keepLimit(), 1);
        expect<Form4>([](Form4 &o) {
            QVERIFY(o.Option1->isChecked() && !o.Option2->isChecked() && !o.Option3->isChecked());
            QVERIFY(o.Text1->text().isEmpty());
        });
        Form4 form(main, &main);
        form.Form_Load();
        runModal(form);
    }

    void closingStartsTheStoredCallerProgram() {
        auto marker = path("started");
        auto script = path("caller.sh");
        writeBytes(script, "#!/bin/sh\ntouch '" + marker.string() + "'\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        {
            QSettings s(settingsFile(QStringLiteral("QLCK_Tools")), QSettings::IniFormat);
            s.setValue("Exe/Path", q(script));
        }
        FrmMain main(QString{});
        main.Form_Load();
        main.Command4->click();
        QVERIFY(!main.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(marker), 60000);
    }

    void readmeButtonShowsTheViewer() {
        writeBytes(tool() / "read.me", lex::test::gbk(u"说明文字"));
        FrmMain main(QString{});
        main.Form_Load();
        expect<ReadmeViewer>(
            [](ReadmeViewer &v) { QCOMPARE(v.Text1->toPlainText(), QStringLiteral("说明文字")); });
        main.Command3->click();
        QCOMPARE(main.Command3->text(), QStringLiteral("说    明"));
        QCOMPARE(main.windowTitle(), QStringLiteral("Quillo词库固顶 Ver1.06"));
    }
};

QTEST_MAIN(PintopFormsTest)
#include "pintop_forms_test.moc"
