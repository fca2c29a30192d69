// The lexcheck window: a run fills the table with the engine's findings, the tick boxes choose
// the checks and are kept, double-click shows the line, 导出 writes the list.

#include "lexcheck/forms/form1.h"

#include "scripted_dialogs.h"
#include "shared/toolshell/program.h"
#include "test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using lex::lexcheck::Form1;
namespace fs = std::filesystem;

class LexcheckFormTest : public QObject {
    Q_OBJECT
    lex::test::TempDir m_dir;

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((m_dir / "config").string()));
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(m_dir.path().string()));
        lex::setToolDir(QString::fromStdString(std::string(SUITE_DIR) + "/lexcheck"));
    }

    void checksListsAndExports() {
        lex::test::ScriptedDialogs dialogs;
        const fs::path planted = fs::path(LEXCHECK_DATA) / "planted.dict.yaml";
        {
            Form1 form;
            QCOMPARE(form.windowTitle(), QStringLiteral("Quillo词库检查 Ver1.00"));
            QCOMPARE(form.Checks.size(), size_t(14));
            QVERIFY(!form.Command3->isEnabled());
            form.Text1->setText(lex::fromPath(planted));
            QVERIFY(form.Command3->isEnabled());
            form.Command3->click();
            QCOMPARE(dialogs.messages.size(), 1);
            QCOMPARE(dialogs.messages[0].title, QStringLiteral("完成！"));
            QVERIFY(dialogs.lastText().contains(QStringLiteral("错误 10 处")));
            // The charset is not checked unless chosen: every other planted finding is listed.
            QCOMPARE(form.Grid1->rowCount(), 17);
            QCOMPARE(form.Grid1->item(0, 0)->text(), QStringLiteral("12"));
            QCOMPARE(form.Grid1->item(0, 1)->text(), QStringLiteral("测试"));
            QCOMPARE(form.Grid1->item(0, 2)->text(), QStringLiteral("无效音节"));

            form.Grid1_DblClick(0);
            QVERIFY(dialogs.lastText().contains(QStringLiteral("第 12 行：\n测试\tCe shi\t10")));

            dialogs.fileAnswers << lex::fromPath(m_dir / "list.txt");
            QVERIFY(form.Command4->isEnabled());
            form.Command4->click();
            const std::string list = lex::test::readBytes(m_dir / "list.txt");
            QVERIFY(list.find(planted.string() + ":12: error: invalid-syllable: ") == 0);

            // Only the info checks, and GB2312 as the charset.
            for (QCheckBox *box : form.Checks)
                box->setChecked(box->objectName() == "Check13" || box->objectName() == "Check14" ||
                                box->objectName() == "Check9");
            form.Combo2->setCurrentIndex(1);
            form.Command3->click();
            QCOMPARE(form.Grid1->rowCount(), 5);
            QVERIFY(form.close());
        }
        Form1 again; // the choices came back from the settings
        QVERIFY(!again.Checks[0]->isChecked());
        QVERIFY(again.Checks[13]->isChecked());
        QCOMPARE(again.Combo2->currentText(), QStringLiteral("GB2312"));

        again.Text1->setText(lex::fromPath(m_dir / "missing.txt"));
        again.Command3->click();
        QVERIFY(dialogs.lastText().contains(QStringLiteral("文件不存在")));
        QCOMPARE(again.Grid1->rowCount(), 0);
    }
};

QTEST_MAIN(LexcheckFormTest)
#include "form1_test.moc"
