#include "lexsift/forms/form1.h"

#include "lexsift/article_filter.h"
#include "lexsift/sift_report.h"
#include "shared/lexcore/file_io.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace lex::lexsift {

Form1::Form1(QWidget *owner) : PathForm(owner, QStringLiteral("通过文章筛选")) {
    setObjectName(QStringLiteral("Form1"));
    // The browse buttons are the form's own: an open dialog's answer counts only when it names
    // an existing file.
    auto source =
        addPathRow("Label1", QStringLiteral("源词库："), "Text1", {}, {}, PathDialog::None);
    auto article =
        addPathRow("Label2", QStringLiteral("文章："), "Text2", {}, {}, PathDialog::None);
    auto target =
        addPathRow("Label3", QStringLiteral("目标词库："), "Text3", {}, {}, PathDialog::None);
    std::tie(Label1, Text1) = std::tie(source.label, source.box);
    std::tie(Label2, Text2) = std::tie(article.label, article.box);
    std::tie(Label3, Text3) = std::tie(target.label, target.box);
    Command4 = browseButton("Command4", Text1, QStringLiteral("打开源词库"), false);
    Command5 = browseButton("Command5", Text2, QStringLiteral("打开文章"), false);
    Command6 = browseButton("Command6", Text3, QStringLiteral("保存目标词库"), true);
    Command1 = addButton("Command1", QStringLiteral("开始"));
    Command2 = addButton("Command2", QStringLiteral("退出"));
    auto progress = addProgressRow("ProgressBar1", "Label4", QStringLiteral("正在筛选……"));
    std::tie(ProgressBar1, Label4) = std::tie(progress.bar, progress.label);
    setStartButtons({Command1}, {Text1, Text2, Text3});
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
}

QPushButton *Form1::browseButton(const QString &name, QLineEdit *box, const QString &title,
                                 bool isSave) {
    auto *b = named(new QPushButton(QStringLiteral("…"), this), name);
    b->setAutoDefault(false);
    b->setFixedWidth(kBrowseWidth);
    for (int row = 0; row < m_grid->rowCount(); ++row)
        if (m_grid->itemAtPosition(row, 1) && m_grid->itemAtPosition(row, 1)->widget() == box)
            m_grid->addWidget(b, row, 2);
    connect(b, &QPushButton::clicked, this, [this, box, title, isSave] {
        const QString path = fileDialog(this, title, isSave);
        if (isSave ? !path.isEmpty() : fileExists(toPath(path)))
            box->setText(path);
    });
    return b;
}

void Form1::Command1_Click() {
    if (!idle())
        return;
    Command2->setText(QStringLiteral("停止"));
    runPathOperation([this](int start) {
        const ArticleResult r = filterByArticle(toPath(Text1->text()), toPath(Text2->text()),
                                                toPath(Text3->text()), pump());
        if (!r.sourceFound || !r.articleFound)
            return OperationReport::message(kOpenFileFailed);
        return OperationReport::completion(siftReport(r.written, start),
                                           r.stopped || busy() == BusyState::StopRequested);
    });
    Command2->setText(QStringLiteral("退出"));
}

void Form1::Command2_Click() {
    if (idle())
        close();
    else if (busy() == BusyState::Busy)
        setBusy(BusyState::StopRequested);
}

} // namespace lex::lexsift
