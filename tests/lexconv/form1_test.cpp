// The lexconv window: boxes and format lists, a run with its report, the settings kept, a
// missing input.

#include "lexconv/forms/form1.h"

#include "scripted_dialogs.h"
#include "shared/lexcore/cp936.h"
#include "shared/toolshell/program.h"
#include "test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using lex::lexconv::Form1;
namespace fs = std::filesystem;

class LexconvFormTest : public QObject {
    Q_OBJECT
    lex::test::TempDir m_dir;

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((m_dir / "config").string()));
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(m_dir.path().string()));
        lex::setToolDir(QString::fromStdString(std::string(SUITE_DIR) + "/lexconv"));
    }

    // Both browse buttons offer the formats the window converts, Rime dictionaries among them.
    void browsingOffersEveryFormat() {
        lex::test::ScriptedDialogs dialogs;
        dialogs.fileAnswers = {QStringLiteral("/x/mine.dict.yaml"), QStringLiteral("/x/o.txt")};
        Form1 form;
        form.Command1->click();
        form.Command2->click();
        QCOMPARE(dialogs.fileDialogs.size(), 2);
        for (const auto &d : dialogs.fileDialogs)
            QVERIFY(d.filter.contains(QStringLiteral("*.dict.yaml")));
        QCOMPARE(form.Text1->text(), QStringLiteral("/x/mine.dict.yaml"));
        QVERIFY(form.close());
    }

    void convertsWithTheChosenFormatsAndKeepsThem() {
        lex::test::ScriptedDialogs dialogs;
        lex::test::writeBytes(m_dir / "in.txt",
                              lex::test::gbk(u"重庆\r\n中zhong国guo\r\n重庆\r\n"));
        {
            Form1 form;
            QCOMPARE(form.windowTitle(), QStringLiteral("Quillo词库转换 Ver1.00"));
            QVERIFY(!form.Command3->isEnabled());
            form.Text1->setText(lex::fromPath(m_dir / "in.txt"));
            form.Text2->setText(lex::fromPath(m_dir / "out.txt"));
            QVERIFY(form.Command3->isEnabled());
            form.Combo2->setCurrentIndex(form.Combo2->findData(QStringLiteral("fcitx5")));
            QCOMPARE(form.sourceFormat(), std::nullopt); // 自动识别
            form.Command3->click();
            QCOMPARE(lex::test::readBytes(m_dir / "out.txt"),
                     std::string("重庆 chong'qing 0\n中国 zhong'guo 0\n"));
            QCOMPARE(dialogs.messages.size(), 1);
            QCOMPARE(dialogs.messages[0].title, QStringLiteral("完成！"));
            QVERIFY(dialogs.lastText().contains(QStringLiteral("转换词条：2\r\n合并重复：1\r\n")));
            form.Check1->setChecked(false);
            QVERIFY(form.close());
        }
        Form1 again; // the choices came back from the settings
        QCOMPARE(again.targetFormat(), lex::formats::Format::Fcitx5);
        QVERIFY(!again.Check1->isChecked());

        again.Text1->setText(lex::fromPath(m_dir / "missing.txt"));
        again.Text2->setText(lex::fromPath(m_dir / "out.txt"));
        again.Command3->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("打开词库失败！"));
        QCOMPARE(again.Text1->text(), QString());
    }

    // The two Rime rules of the window reach the engine and come back from the settings: the
    // imported dictionary is converted into the Rime output, the codeless word gets each reading.
    void followsImportsAndWritesEveryReading() {
        lex::test::ScriptedDialogs dialogs;
        lex::test::writeBytes(m_dir / "main.dict.yaml",
                              "---\nname: main\nversion: \"1\"\nimport_tables: [more]\n...\n"
                              "重\tchong\t1\n重\tzhong\t1\n庆\tqing\n");
        lex::test::writeBytes(m_dir / "more.dict.yaml",
                              "---\nname: more\nversion: \"1\"\n...\n重庆\n");
        {
            Form1 form;
            form.Text1->setText(lex::fromPath(m_dir / "main.dict.yaml"));
            form.Text2->setText(lex::fromPath(m_dir / "out.txt"));
            form.Combo2->setCurrentIndex(form.Combo2->findData(QStringLiteral("libpinyin")));
            form.Check3->setChecked(true);
            form.Check4->setChecked(true);
            form.Command3->click();
            QCOMPARE(
                lex::test::readBytes(m_dir / "out.txt"),
                std::string("重 chong 1\n重 zhong 1\n庆 qing\n重庆 chong'qing\n重庆 zhong'qing\n"));
            QVERIFY(
                dialogs.lastText().contains(QStringLiteral("导入的词典：more.dict.yaml（2 条）")));
            QVERIFY(form.close());
        }
        Form1 again;
        QVERIFY(again.Check3->isChecked());
        QVERIFY(again.Check4->isChecked());
        QVERIFY(again.close());
    }
};

QTEST_MAIN(LexconvFormTest)
#include "form1_test.moc"
