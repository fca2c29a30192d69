#include "lexsort/forms/form_main.h"

#include "lexsort/forms/form1.h"
#include "lexsort/forms/form2.h"
#include "lexsort/forms/form4.h"

#include "shared/toolshell/program.h"
#include "shared/toolshell/readme_viewer.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace lex::lexsort {

FormMain::FormMain(QWidget *parent) : ToolForm(parent) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Quillo词库排序 Ver1.06"));
    setMainForm(true);
    auto *layout = new QVBoxLayout(this);
    auto button = [&](const char *name, const QString &caption) {
        auto *b = named(new QPushButton(caption, this), name);
        b->setMinimumWidth(220);
        b->setAutoDefault(false);
        layout->addWidget(b);
        return b;
    };
    Command2 = button("Command2", QStringLiteral("按词条长度排序"));
    Command3 = button("Command3", QStringLiteral("按其它词库排序"));
    Command4 = button("Command4", QStringLiteral("按汉字笔画排序"));
    Command5 = button("Command5", QStringLiteral("按汉字拼音排序"));
    Command1 = button("Command1", QStringLiteral("说明文档"));
    Command7 = button("Command7", QStringLiteral("退出程序"));
    connect(Command2, &QPushButton::clicked, this, &FormMain::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FormMain::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &FormMain::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &FormMain::Command5_Click);
    connect(Command1, &QPushButton::clicked, this, &FormMain::Command1_Click);
    connect(Command7, &QPushButton::clicked, this, &FormMain::Command7_Click);
}

FormMain::~FormMain() = default;

bool FormMain::Form_Unload() {
    if (!ToolForm::Form_Unload())
        return false;
    callerRestart();
    return true;
}

void FormMain::Command2_Click() {
    if (!m_form1)
        m_form1 = std::make_unique<Form1>(this);
    runSubForm(*m_form1);
}

void FormMain::Command3_Click() {
    if (!m_form2)
        m_form2 = std::make_unique<Form2>(this);
    runSubForm(*m_form2);
}

void FormMain::showForm4(int16_t mode) {
    if (!m_form4)
        m_form4 = std::make_unique<Form4>(this);
    m_form4->intF = mode;
    m_form4->Form_Load();
    runSubForm(*m_form4);
}

void FormMain::Command1_Click() {
    ReadmeViewer::showFor(this);
}

void FormMain::Command7_Click() {
    close();
}

} // namespace lex::lexsort
