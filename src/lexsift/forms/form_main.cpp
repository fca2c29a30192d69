#include "lexsift/forms/form_main.h"

#include "lexsift/forms/form1.h"
#include "lexsift/forms/form2.h"

#include "shared/toolshell/program.h"
#include "shared/toolshell/readme_viewer.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace lex::lexsift {

FormMain::FormMain(QWidget *parent) : ToolForm(parent) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Quillo词库筛选 Ver1.09"));
    setMainForm(true);
    auto button = [this](const char *name, const QString &caption) {
        auto *b = named(new QPushButton(caption, this), name);
        b->setMinimumWidth(220);
        b->setAutoDefault(false);
        return b;
    };
    Command2 = button("Command2", QStringLiteral("通过文章筛选"));
    Command3 = button("Command3", QStringLiteral("定义条件筛选"));
    Command1 = button("Command1", QStringLiteral("说明文档"));
    Command7 = button("Command7", QStringLiteral("退出程序"));
    auto *layout = new QVBoxLayout(this);
    for (auto *b : {Command2, Command3, Command1, Command7})
        layout->addWidget(b);
    connect(Command1, &QPushButton::clicked, this, &FormMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FormMain::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FormMain::Command3_Click);
    connect(Command7, &QPushButton::clicked, this, &FormMain::Command7_Click);
}

bool FormMain::Form_Unload() {
    if (!ToolForm::Form_Unload())
        return false;
    callerRestart();
    return true;
}

void FormMain::Command1_Click() {
    ReadmeViewer::showFor(this);
}

void FormMain::Command2_Click() {
    Form1 form(this);
    runSubForm(form);
}

void FormMain::Command3_Click() {
    Form2 form(this);
    runSubForm(form);
}

} // namespace lex::lexsift
