#include "lexsift/forms/form2.h"

#include "lexsift/forms/form5.h"
#include "lexsift/sift_report.h"

#include <QLineEdit>
#include <QPushButton>

namespace lex::lexsift {

Form2::Form2(QWidget *owner) : PathForm(owner, QStringLiteral("定义条件筛选")) {
    setObjectName(QStringLiteral("Form2"));
    auto in = addPathRow("Label1", QStringLiteral("打开词库："), "Text1", "Command1",
                         QStringLiteral("打开词库"), PathDialog::Open);
    auto out = addPathRow("Label5", QStringLiteral("结果保存："), "Text5", "Command5",
                          QStringLiteral("结果保存"), PathDialog::Save);
    std::tie(Label1, Text1, Command1) = std::tie(in.label, in.box, in.browse);
    std::tie(Label5, Text5, Command5) = std::tie(out.label, out.box, out.browse);
    Command2 = addButton("Command2", QStringLiteral("条件"));
    Command7 = addButton("Command7", QStringLiteral("开始"));
    Command8 = addButton("Command8", QStringLiteral("退出"));
    auto progress = addProgressRow("ProgressBar1", "Label2", QStringLiteral("正在筛选……"));
    std::tie(ProgressBar1, Label2) = std::tie(progress.bar, progress.label);
    connect(Text1, &QLineEdit::textChanged, this, &Form2::updateStart);
    connect(Text5, &QLineEdit::textChanged, this, &Form2::updateStart);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(Command7, &QPushButton::clicked, this, &Form2::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &QWidget::close);
    updateStart();
}

void Form2::updateStart() {
    Command7->setEnabled(idle() && bForm5 && !Text1->text().isEmpty() && !Text5->text().isEmpty());
}

Conditions Form2::conditions() const {
    Conditions c;
    if (iCheck1 > 0) {
        c.test = bOption1   ? ConditionTest::Contains
                 : bOption2 ? ConditionTest::Starts
                 : bOption3 ? ConditionTest::Ends
                            : ConditionTest::None;
    } else if (iCheck2 > 0) {
        c.test = ConditionTest::Length;
    } else if (iCheck3 > 0) {
        c.test = ConditionTest::NonGb2312;
    }
    c.words = m_words;
    c.minText = sTxtSet2.toStdU16String();
    c.maxText = sTxtSet3.toStdU16String();
    return c;
}

void Form2::Command2_Click() {
    Form5 form(*this);
    runModal(form);
    // A cleared box keeps the list in force.
    if (!sTxtSet1.isEmpty())
        m_words = splitWordList(sTxtSet1.toStdU16String());
    updateStart();
}

void Form2::Command7_Click() {
    if (!idle())
        return;
    Command2->setEnabled(false);
    Command7->setEnabled(false);
    runPathOperation([this](int start) {
        const ConditionResult r =
            filterByConditions(toPath(Text1->text()), toPath(Text5->text()), conditions(), pump());
        if (!r.inputFound)
            return OperationReport::message(kOpenLexiconFailed, {}, MessageIcon::None,
                                            [this] { Text1->clear(); });
        return OperationReport::completion(siftReport(r.written, start));
    });
    Command2->setEnabled(true);
    updateStart();
}

} // namespace lex::lexsift
