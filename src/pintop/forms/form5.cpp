#include "pintop/forms/form5.h"

#include "pintop/forms/frm_main.h"
#include "shared/toolshell/program.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lex::pintop {

Form5::Form5(PintopOptions &options, QWidget *owner) : ToolForm(owner), m_options(options) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("选项"));
    Option1 = named(new QRadioButton(QStringLiteral("保留固顶首选词"), this), "Option1");
    Option2 = named(new QRadioButton(QStringLiteral("保留固顶二重码"), this), "Option2");
    Option3 = named(new QRadioButton(QStringLiteral("保留固顶三重码"), this), "Option3");
    Command1 = named(new QPushButton(QStringLiteral("确定"), this), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("取消"), this), "Command2");

    auto *layout = new QVBoxLayout(this);
    for (auto *o : {Option1, Option2, Option3})
        layout->addWidget(o);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    layout->addLayout(buttons);
    connect(Command1, &QPushButton::clicked, this, &Form5::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form5::Command2_Click);

    // Only checked buttons are set: an exclusive group cannot be unchecked again.
    Option1->setChecked(options.keep1);
    Option2->setChecked(options.keep2);
    Option3->setChecked(options.keep3);
}

void Form5::Command1_Click() {
    m_options.keep1 = Option1->isChecked();
    m_options.keep2 = Option2->isChecked();
    m_options.keep3 = Option3->isChecked();
    accept();
}

} // namespace lex::pintop
