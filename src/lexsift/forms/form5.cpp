#include "lexsift/forms/form5.h"

#include "lexsift/forms/form2.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lex::lexsift {

Form5::Form5(Form2 &owner) : ToolForm(&owner), m_owner(owner) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("设置筛选条件"));
    Check1 =
        named(new QCheckBox(QStringLiteral("提取包含“左边文本框中的词”的词条"), this), "Check1");
    Text1 = named(new QPlainTextEdit(this), "Text1");
    Option1 = named(new QRadioButton(QStringLiteral("无限制"), this), "Option1");
    Option2 = named(new QRadioButton(QStringLiteral("限制在词首"), this), "Option2");
    Option3 = named(new QRadioButton(QStringLiteral("限制在词尾"), this), "Option3");
    Check2 = named(new QCheckBox(QStringLiteral("提取的词条长度限制在"), this), "Check2");
    Label1 = named(new QLabel(QStringLiteral("最小"), this), "Label1");
    Text2 = named(new QLineEdit(this), "Text2");
    Label2 = named(new QLabel(QStringLiteral("最大"), this), "Label2");
    Text3 = named(new QLineEdit(this), "Text3");
    Check3 = named(new QCheckBox(QStringLiteral("提取包含“非GB2312汉字”的词条"), this), "Check3");
    Command3 = named(new QPushButton(QStringLiteral("确定"), this), "Command3");
    Command4 = named(new QPushButton(QStringLiteral("取消"), this), "Command4");
    for (QLineEdit *box : {Text2, Text3})
        box->setMaximumWidth(60);

    // The word list on the left, the conditions on the right.
    auto *right = new QVBoxLayout;
    // The options and the range stand indented under the box they belong to.
    right->addWidget(Check1);
    auto *options = new QVBoxLayout;
    options->setContentsMargins(20, 0, 0, 0);
    for (QRadioButton *o : {Option1, Option2, Option3})
        options->addWidget(o);
    right->addLayout(options);
    right->addWidget(Check2);
    auto *range = new QHBoxLayout;
    range->setContentsMargins(20, 0, 0, 0);
    for (QWidget *w : std::initializer_list<QWidget *>{Label1, Text2, Label2, Text3})
        range->addWidget(w);
    range->addStretch();
    right->addLayout(range);
    right->addWidget(Check3);
    right->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command3);
    buttons->addWidget(Command4);
    right->addLayout(buttons);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(Text1);
    layout->addLayout(right);

    // Load: the controls take the values, then the enabling follows the boxes.
    Check1->setChecked(owner.iCheck1 > 0);
    Check2->setChecked(owner.iCheck2 > 0);
    Check3->setChecked(owner.iCheck3 > 0);
    // Only checked buttons are set: an exclusive group cannot be unchecked again.
    Option1->setChecked(owner.bOption1);
    Option2->setChecked(owner.bOption2);
    Option3->setChecked(owner.bOption3);
    QString words = owner.sTxtSet1;
    Text1->setPlainText(words.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    Text2->setText(owner.sTxtSet2);
    Text3->setText(owner.sTxtSet3);
    for (QWidget *w : std::initializer_list<QWidget *>{Text1, Option1, Option2, Option3})
        w->setEnabled(Check1->isChecked());
    Text2->setEnabled(Check2->isChecked());
    Text3->setEnabled(Check2->isChecked());

    connect(Check1, &QCheckBox::toggled, this, &Form5::Check1_Click);
    connect(Check2, &QCheckBox::toggled, this, &Form5::Check2_Click);
    connect(Check3, &QCheckBox::toggled, this, &Form5::Check3_Click);
    connect(Command3, &QPushButton::clicked, this, &Form5::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form5::Command4_Click);
}

void Form5::Check1_Click() {
    const bool on = Check1->isChecked();
    if (on) {
        Check2->setChecked(false);
        Check3->setChecked(false);
    }
    for (QWidget *w : std::initializer_list<QWidget *>{Text1, Option1, Option2, Option3})
        w->setEnabled(on);
}

void Form5::Check2_Click() {
    const bool on = Check2->isChecked();
    if (on) {
        Check1->setChecked(false);
        Check3->setChecked(false);
    }
    Text2->setEnabled(on);
    Text3->setEnabled(on);
}

void Form5::Check3_Click() {
    if (Check3->isChecked()) {
        Check1->setChecked(false);
        Check2->setChecked(false);
    }
}

void Form5::Command3_Click() {
    m_owner.iCheck1 = Check1->isChecked() ? 1 : 0;
    m_owner.iCheck2 = Check2->isChecked() ? 1 : 0;
    m_owner.iCheck3 = Check3->isChecked() ? 1 : 0;
    m_owner.bOption1 = Option1->isChecked();
    m_owner.bOption2 = Option2->isChecked();
    m_owner.bOption3 = Option3->isChecked();
    // The list is kept with CR LF between lines, as the word list is split.
    m_owner.sTxtSet1 = Text1->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    m_owner.sTxtSet2 = Text2->text();
    m_owner.sTxtSet3 = Text3->text();
    if (m_owner.iCheck1 > 0 || m_owner.iCheck2 > 0 || m_owner.iCheck3 > 0)
        m_owner.bForm5 = true;
    accept();
}

} // namespace lex::lexsift
