#include "pintop/forms/form4.h"

#include "pintop/forms/frm_main.h"
#include "shared/toolshell/path_box.h"
#include "shared/toolshell/program.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lex::pintop {
Form4::Form4(FrmMain &main, QWidget *owner) : ToolForm(owner), m_main(main) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("选项"));
    Check1 = named(new QCheckBox(QStringLiteral("长度大于三字的词条作为例外："), this), "Check1");
    Option1 =
        named(new QRadioButton(QStringLiteral("使用单字的拼音首字母简拼编码"), this), "Option1");
    Option2 =
        named(new QRadioButton(QStringLiteral("使用整词的拼音前六字母编码（适用于双拼）"), this),
              "Option2");
    Option3 = named(new QRadioButton(QStringLiteral("不加入固顶词库"), this), "Option3");
    Check2 = named(new QCheckBox(QStringLiteral("使用自定义替换表文件："), this), "Check2");
    Text1 = named(new PathBox(this), "Text1");
    Command1 = named(new QPushButton(QStringLiteral("…"), this), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("确定"), this), "Command2");
    Command3 = named(new QPushButton(QStringLiteral("取消"), this), "Command3");
    Text1->setMinimumWidth(320);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Check1);
    for (auto *o : {Option1, Option2, Option3})
        layout->addWidget(o);
    layout->addWidget(Check2);
    auto *path = new QHBoxLayout;
    path->addWidget(Text1);
    path->addWidget(Command1);
    layout->addLayout(path);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command2);
    buttons->addWidget(Command3);
    layout->addLayout(buttons);

    connect(Check1, &QCheckBox::toggled, this, &Form4::Check1_Click);
    connect(Check2, &QCheckBox::toggled, this, &Form4::Check2_Click);
    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form4::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form4::Command3_Click);
    connect(Text1, &QLineEdit::textChanged, this, [this] { m_pathChanged = true; });
}

void Form4::Form_Load() {
    const PintopOptions &o = m_main.options();
    Check1->setChecked(o.check1);
    // Only checked buttons are set: an exclusive group cannot be unchecked again.
    Option1->setChecked(o.option1);
    Option2->setChecked(o.option2);
    Option3->setChecked(o.option3);
    Check2->setChecked(o.check2);
    Check1_Click();
    Check2_Click();
    if (o.check2)
        Text1->setText(o.text1);
    m_pathChanged = false;
}

void Form4::Check1_Click() {
    for (auto *o : {Option1, Option2, Option3})
        o->setEnabled(Check1->isChecked());
}

void Form4::Check2_Click() {
    if (!Check2->isChecked())
        Text1->clear();
    Text1->setEnabled(Check2->isChecked());
    Command1->setEnabled(Check2->isChecked());
}

void Form4::Command1_Click() {
    QString path = iniFileDialog(this, QStringLiteral("选择替换表文件"), toolDir());
    if (!path.isEmpty())
        Text1->setText(path);
}

void Form4::Command2_Click() {
    PintopOptions &o = m_main.options();
    o.check1 = Check1->isChecked();
    o.check2 = Check2->isChecked();
    o.option1 = Option1->isChecked();
    o.option2 = Option2->isChecked();
    o.option3 = Option3->isChecked();
    o.text1 = Text1->text();
    m_main.applyOptions();
    if (m_pathChanged) {
        m_busy = BusyState::Busy;
        m_main.reloadData(this);
        m_busy = BusyState::Idle;
    }
    accept();
}

} // namespace lex::pintop
