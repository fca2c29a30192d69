#include "lexcheck/forms/form1.h"

#include "lexcheck/check_report.h"

#include "shared/lexcore/atomic_output.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/report.h"
#include "shared/toolshell/dialogs.h"
#include "shared/toolshell/program.h"
#include "shared/toolshell/readme_viewer.h"
#include "shared/toolshell/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lex::lexcheck {

using namespace formats;

Form1::Form1(QWidget *parent) : PathForm(parent, QStringLiteral("Quillo词库检查 Ver1.00")) {
    setMainForm(true);
    auto in = addPathRow("Label1", QStringLiteral("词库："), "Text1", "Command1",
                         QStringLiteral("打开词库"), PathDialog::Open);
    Text1 = in.box;
    Command1 = in.browse;

    Label3 = named(new QLabel(QStringLiteral("格式："), this), "Label3");
    Label4 = named(new QLabel(QStringLiteral("字符集："), this), "Label4");
    Combo1 = named(new QComboBox(this), "Combo1");
    Combo2 = named(new QComboBox(this), "Combo2");
    Combo1->addItem(QStringLiteral("自动识别"), QString());
    for (const FormatInfo &f : allFormats())
        Combo1->addItem(QString::fromUtf8(f.caption), QString::fromUtf8(f.name));
    Combo2->addItem(QStringLiteral("不检查"), int(Charset::Any));
    Combo2->addItem(QStringLiteral("GB2312"), int(Charset::Gb2312));
    Combo2->addItem(QStringLiteral("GBK"), int(Charset::Gbk));
    int row = m_grid->rowCount();
    m_grid->addWidget(Label3, row, 0);
    m_grid->addWidget(Combo1, row, 1);
    m_grid->addWidget(Label4, row + 1, 0);
    m_grid->addWidget(Combo2, row + 1, 1);

    auto *boxes = new QGridLayout;
    int i = 0;
    for (const CheckInfo &c : allChecks()) {
        auto *box = named(new QCheckBox(QString::fromUtf8(c.caption), this),
                          QStringLiteral("Check%1").arg(i + 1));
        box->setToolTip(QString::fromUtf8(c.id));
        boxes->addWidget(box, i / 3, i % 3);
        Checks.push_back(box);
        ++i;
    }
    m_grid->addLayout(boxes, row + 2, 0, 1, 2);

    Grid1 = named(new QTableWidget(0, 4, this), "Grid1");
    Grid1->setHorizontalHeaderLabels({QStringLiteral("行"), QStringLiteral("词"),
                                      QStringLiteral("检查"), QStringLiteral("说明")});
    Grid1->horizontalHeader()->setStretchLastSection(true);
    Grid1->verticalHeader()->setVisible(false);
    Grid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid1->setMinimumSize(640, 240);
    m_layout->insertWidget(1, Grid1, 1);

    addProgressRow("ProgressBar1", "Label5", QStringLiteral("正在检查，请稍候……"));
    Command3 = addButton("Command3", QStringLiteral("开始"));
    Command4 = addButton("Command4", QStringLiteral("导出"));
    Command5 = addButton("Command5", QStringLiteral("说明"));
    Command6 = addButton("Command6", QStringLiteral("退出"));
    Command4->setEnabled(false);
    setStartButtons({Command3}, {Text1});
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, [this] { ReadmeViewer::showFor(this); });
    connect(Command6, &QPushButton::clicked, this, &QWidget::close);
    connect(Grid1, &QTableWidget::cellDoubleClicked, this,
            [this](int r, int) { Grid1_DblClick(r); });
    loadSettings();
}

CheckOptions Form1::options() const {
    CheckOptions o;
    o.from = formatByName(Combo1->currentData().toString().toStdString());
    o.charset = Charset(Combo2->currentData().toInt());
    for (size_t i = 0; i < Checks.size(); ++i)
        o.checks[i] = Checks[i]->isChecked();
    return o;
}

void Form1::loadSettings() {
    const SettingsSection s(kApplication, QStringLiteral("Form1"));
    const int from = Combo1->findData(s.text(QStringLiteral("Combo1")));
    Combo1->setCurrentIndex(from >= 0 ? from : 0);
    const int charset = Combo2->findText(s.text(QStringLiteral("Combo2")));
    Combo2->setCurrentIndex(charset >= 0 ? charset : 0);
    for (QCheckBox *box : Checks)
        box->setChecked(s.check(box->objectName(), true));
}

void Form1::saveSettings() const {
    const SettingsSection s(kApplication, QStringLiteral("Form1"));
    s.saveText(QStringLiteral("Combo1"), Combo1->currentData().toString());
    s.saveText(QStringLiteral("Combo2"), Combo2->currentText());
    for (QCheckBox *box : Checks)
        s.saveCheck(box->objectName(), box->isChecked());
}

bool Form1::Form_Unload() {
    if (!PathForm::Form_Unload())
        return false;
    saveSettings();
    return true;
}

void Form1::Command3_Click() {
    const std::filesystem::path input = toPath(Text1->text());
    const bool done = runPathOperation([this, input](int start) {
        m_result = {};
        const CheckData data = loadCheckData(toolFolder().programDir(), pump());
        LexiconCheck run(options(), data, pump());
        run.checkFile(input, pathText(input));
        m_result = run.takeResult();
        m_checked = input;
        return OperationReport::completion(summaryText(m_result, options().checks) + "\r\n" +
                                               elapsedText(start),
                                           m_result.stopped);
    });
    if (!done)
        m_result = {};
    showFindings();
}

void Form1::showFindings() {
    Grid1->setRowCount(0);
    Grid1->setRowCount(int(m_result.findings.size()));
    int row = 0;
    for (const Finding &f : m_result.findings) {
        const CheckInfo &c = checkInfo(f.check);
        const QString items[] = {QString::number(f.line), QString::fromStdU16String(f.word),
                                 QString::fromUtf8(c.caption), QString::fromStdString(f.message)};
        for (int col = 0; col < 4; ++col) {
            auto *item = new QTableWidgetItem(items[col]);
            if (col == 2)
                item->setToolTip(QString::fromUtf8(severityName(c.severity)) + u' ' +
                                 QString::fromUtf8(c.id));
            Grid1->setItem(row, col, item);
        }
        ++row;
    }
    Command4->setEnabled(!m_result.findings.empty());
}

void Form1::Command4_Click() {
    const QString path = fileDialog(this, QStringLiteral("导出检查结果"), true);
    if (path.isEmpty())
        return;
    try {
        writeFileAtomically(toPath(path),
                            reportText(m_result, ReportFormat::Text, options().checks));
        showMessage(this, QStringLiteral("已导出 %1 条检查结果。").arg(m_result.findings.size()),
                    QStringLiteral("完成！"));
    } catch (const std::exception &e) {
        showMessage(this, QString::fromStdString(failureText(e)), QString(), MessageIcon::Warning);
    }
}

void Form1::Grid1_DblClick(int row) {
    if (row < 0 || size_t(row) >= m_result.findings.size())
        return;
    const Finding &f = m_result.findings[size_t(row)];
    try {
        const std::u16string text = lineAt(m_checked, f.line);
        showMessage(this,
                    QStringLiteral("第 %1 行：\n%2\n\n%3")
                        .arg(f.line)
                        .arg(QString::fromStdU16String(text), QString::fromStdString(f.message)),
                    QString::fromUtf8(checkInfo(f.check).caption));
    } catch (const std::exception &e) {
        showMessage(this, QString::fromStdString(failureText(e)), QString(), MessageIcon::Warning);
    }
}

} // namespace lex::lexcheck
