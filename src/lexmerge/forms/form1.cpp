#include "lexmerge/forms/form1.h"

#include "shared/lexcore/file_io.h"
#include "shared/lexcore/report.h"
#include "shared/toolshell/path_box.h"
#include "shared/toolshell/program.h"
#include "shared/toolshell/readme_viewer.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace lex::lexmerge {

Form1::Form1(QWidget *parent) : ToolForm(parent) {
    setWindowTitle(QStringLiteral("Quillo词库整理 Ver1.04"));
    setMainForm(true);
    Label2 = named(new QLabel(QStringLiteral("打开词库一："), this), "Label2");
    Label3 = named(new QLabel(QStringLiteral("打开词库二："), this), "Label3");
    Label4 = named(new QLabel(QStringLiteral("另存为词库："), this), "Label4");
    Text1 = named(new PathBox(this), "Text1");
    Text2 = named(new PathBox(this), "Text2");
    Text3 = named(new PathBox(this), "Text3");
    setLexiconInput([this] { return Text1->text(); });
    Command4 = named(new QPushButton(QStringLiteral("…"), this), "Command4");
    Command5 = named(new QPushButton(QStringLiteral("…"), this), "Command5");
    Command6 = named(new QPushButton(QStringLiteral("…"), this), "Command6");
    Command1 = named(new QPushButton(QStringLiteral("并集"), this), "Command1");
    Command7 = named(new QPushButton(QStringLiteral("交集"), this), "Command7");
    Command9 = named(new QPushButton(QStringLiteral("差集"), this), "Command9");
    Command8 = named(new QPushButton(QStringLiteral("删词"), this), "Command8");
    Command3 = named(new QPushButton(QStringLiteral("说明"), this), "Command3");
    Command2 = named(new QPushButton(QStringLiteral("退出"), this), "Command2");
    for (QPushButton *b :
         {Command1, Command2, Command3, Command4, Command5, Command6, Command7, Command8, Command9})
        b->setAutoDefault(false);

    auto *grid = new QGridLayout;
    QLabel *labels[] = {Label2, Label3, Label4};
    QLineEdit *boxes[] = {Text1, Text2, Text3};
    QPushButton *browse[] = {Command4, Command5, Command6};
    for (int row = 0; row < 3; ++row) {
        grid->addWidget(labels[row], row, 0);
        grid->addWidget(boxes[row], row, 1);
        grid->addWidget(browse[row], row, 2);
        browse[row]->setFixedWidth(PathForm::kBrowseWidth);
    }
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {Command1, Command7, Command9, Command8, Command3, Command2})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(520, 160);

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    connect(Text3, &QLineEdit::textChanged, this, &Form1::Text3_Change);
    m_set.setPump(&pump());
    Form_Load();
}

void Form1::Form_Load() {
    m_set.Clear();
    setOperationsEnabled(false);
    Command2->setText(QStringLiteral("退出"));
}

bool Form1::Form_Unload() {
    if (!idle())
        return false;
    callerRestart();
    return true;
}

void Form1::setOperationsEnabled(bool enabled) {
    for (QPushButton *b : {Command1, Command7, Command8, Command9})
        b->setEnabled(enabled);
}

void Form1::browseInput(QLineEdit *box, QString &field) {
    box->clear();
    QString path = fileDialog(this, QStringLiteral("打开词库一"), false);
    field = path;
    if (fileExists(toPath(path)))
        box->setText(path);
}

void Form1::Command4_Click() {
    browseInput(Text1, m_path1);
}
void Form1::Command5_Click() {
    browseInput(Text2, m_path2);
}

void Form1::Command6_Click() {
    Text3->clear();
    m_path3 = fileDialog(this, QStringLiteral("另存为词库"), true);
    Text3->setText(m_path3);
}

void Form1::Text1_Change() {
    m_path1 = Text1->text();
    setOperationsEnabled(!Text1->text().isEmpty() && !Text3->text().isEmpty());
}

void Form1::Text2_Change() {
    m_path2 = Text2->text();
}

void Form1::Text3_Change() {
    m_path3 = Text3->text();
    setOperationsEnabled(!Text1->text().isEmpty() && !Text3->text().isEmpty());
}

void Form1::Command2_Click() {
    if (m_busy == BusyState::Idle)
        close();
    else if (m_busy == BusyState::Busy)
        m_busy = BusyState::StopRequested;
}

void Form1::Command3_Click() {
    ReadmeViewer::showFor(this);
}

void Form1::run(SetOperation op) {
    // The path boxes stay editable during an operation and may enable these buttons again.
    if (!idle())
        return;
    const auto controls = {Command1, Command4, Command5, Command6, Command7, Command8, Command9};
    for (QPushButton *b : controls)
        b->setEnabled(false);
    Command2->setText(QStringLiteral("中断"));
    runOperation(
        [this, op](int start) {
            MergePaths paths{[this] { return toPath(m_path1); }, [this] { return toPath(m_path2); },
                             [this] { return toPath(m_path3); }};
            MergeResult result = runSetOperation(op, m_set, paths, pump());
            result.stopped = result.stopped || m_busy == BusyState::StopRequested;
            return OperationReport::completion(reportText(op, result, elapsedText(start)),
                                               result.stopped);
        },
        [this] { m_set.Clear(pump()); });
    for (QPushButton *b : controls)
        b->setEnabled(true);
    Command2->setText(QStringLiteral("退出"));
}

} // namespace lex::lexmerge
