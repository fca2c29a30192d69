#include "freqtune/forms/form2.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lex::freqtune {

Form2::Form2(ExportOptions &options, bool &batchArticles, QWidget *parent)
    : ToolForm(parent), m_options(options), m_batchArticles(batchArticles) {
    setWindowTitle(QStringLiteral("选项设置"));
    Check1 = named(new QCheckBox(QStringLiteral("导出的词库只包括有词频的词条"), this), "Check1");
    Check2 = named(new QCheckBox(QStringLiteral("导出的词库只包括长度从"), this), "Check2");
    Text4 = named(new QLineEdit(QStringLiteral("2"), this), "Text4");
    Label5 = named(new QLabel(QStringLiteral("到"), this), "Label5");
    Text5 = named(new QLineEdit(QStringLiteral("10"), this), "Text5");
    Label6 = named(new QLabel(QStringLiteral("的词"), this), "Label6");
    Check3 = named(new QCheckBox(QStringLiteral("批量处理“未阅文章”文件夹"), this), "Check3");
    Command3 = named(new QPushButton(QStringLiteral("确定"), this), "Command3");
    Command4 = named(new QPushButton(QStringLiteral("取消"), this), "Command4");
    for (QLineEdit *box : {Text4, Text5})
        box->setFixedWidth(40);

    auto *lengths = new QHBoxLayout;
    lengths->addWidget(Check2);
    lengths->addWidget(Text4);
    lengths->addWidget(Label5);
    lengths->addWidget(Text5);
    lengths->addWidget(Label6);
    lengths->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command3);
    buttons->addWidget(Command4);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Check1);
    layout->addLayout(lengths);
    layout->addWidget(Check3);
    layout->addLayout(buttons);

    connect(Check2, &QCheckBox::toggled, this, &Form2::Check2_Click);
    connect(Check3, &QCheckBox::toggled, this, &Form2::Check3_Click);
    connect(Command3, &QPushButton::clicked, this, &Form2::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form2::Command4_Click);
    Form_Load();
}

void Form2::Form_Load() {
    Check1->setChecked(m_options.freqOnly);
    Check2->setChecked(m_options.lengthRange);
    Check3->setChecked(m_batchArticles);
    Text4->setText(QString::number(m_options.l1));
    Text5->setText(QString::number(m_options.l2));
    Check2_Click();
}

void Form2::Check2_Click() {
    Text4->setEnabled(Check2->isChecked());
    Text5->setEnabled(Check2->isChecked());
}

void Form2::Check3_Click() {
    m_batchArticles = Check3->isChecked();
}

void Form2::Command3_Click() {
    m_options.freqOnly = Check1->isChecked();
    m_options.lengthRange = Check2->isChecked();
    clampLengths(Text4->text().toStdString(), Text5->text().toStdString(), m_options.l1,
                 m_options.l2);
    close();
}

} // namespace lex::freqtune
