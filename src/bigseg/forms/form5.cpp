#include "bigseg/forms/form5.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lex::bigseg {

Form5::Form5(SegmentOptions &options, QWidget *owner) : ToolForm(owner), m_options(options) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("选项"));
    Check1 = named(new QCheckBox(QStringLiteral("长度小于"), this), "Check1");
    Text1 = named(new QLineEdit(QStringLiteral("10"), this), "Text1");
    Label1 = named(new QLabel(QStringLiteral("的短句不分"), this), "Label1");
    Command3 = named(new QPushButton(QStringLiteral("确定"), this), "Command3");
    Command4 = named(new QPushButton(QStringLiteral("取消"), this), "Command4");
    Text1->setEnabled(false);
    Text1->setFixedWidth(48);
    Command3->setAutoDefault(false);
    Command4->setAutoDefault(false);

    auto *sentence = new QHBoxLayout;
    sentence->addWidget(Check1);
    sentence->addWidget(Text1);
    sentence->addWidget(Label1);
    sentence->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command3);
    buttons->addWidget(Command4);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(sentence);
    layout->addLayout(buttons);

    connect(Check1, &QCheckBox::toggled, this, &Form5::Check1_Click);
    connect(Command3, &QPushButton::clicked, this, &Form5::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form5::Command4_Click);
    Form_Load();
}

void Form5::Form_Load() {
    Text1->setText(QString::number(m_options.noSplitBelow));
    Check1->setChecked(m_options.noSplitEnabled == 1);
    Check1_Click();
}

void Form5::Check1_Click() {
    Text1->setEnabled(Check1->isChecked());
}

void Form5::Command3_Click() {
    // The length is taken whether or not the box is checked.
    m_options.noSplitBelow = noSplitBelowFromText(Text1->text().toStdU16String());
    m_options.noSplitEnabled = Check1->isChecked() ? 1 : 0;
    accept();
}

} // namespace lex::bigseg
