#include "lexsort/forms/sort_form.h"

#include "shared/lexcore/report.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace lex::lexsort {
namespace {

const QString kIdleText = QStringLiteral("欢迎使用！");
const QString kBusyText = QStringLiteral("正在处理，请稍候……");

} // namespace

SortForm::SortForm(QWidget *owner, const QString &caption) : PathForm(owner, caption) {
    Label3 = named(new QLabel(kIdleText, this), "Label3");
    ProgressBar1 = named(new QProgressBar(this), "ProgressBar1");
    ProgressBar1->setRange(0, 1000);
    ProgressBar1->setMaximumWidth(160);
    ProgressBar1->hide();
    // In the button row, so that showing and hiding the bar never changes the form's height.
    m_buttons->insertWidget(0, Label3);
    m_buttons->insertWidget(1, ProgressBar1);
    m_pump.setProgressBar(ProgressBar1);
}

void SortForm::addStartAndExit(std::initializer_list<QLineEdit *> needed) {
    Command7 = addButton("Command7", QStringLiteral("开始"));
    Command8 = addButton("Command8", QStringLiteral("退出"));
    setStartButtons({Command7}, needed);
    connect(Command8, &QPushButton::clicked, this, &QWidget::close);
}

void SortForm::runSort(const std::function<SortResult()> &sort, std::string_view missingText,
                       const std::function<void()> &onMissing, const std::function<void()> &after) {
    if (!idle())
        return;
    bool missing = false;
    Label3->setText(kBusyText);
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    runPathOperation(
        [&](int start) {
            const SortResult result = sort();
            if (!result.inputFound) {
                missing = true;
                return OperationReport::message(std::string(missingText), {}, MessageIcon::None,
                                                onMissing);
            }
            return OperationReport::completion(reportText(result.count, elapsedText(start)));
        },
        [&] {
            Label3->setText(kIdleText);
            if (after)
                after();
        });
    // After a missing base lexicon Start waits for the next change of a path box.
    if (missing)
        Command7->setEnabled(false);
}

void SortForm::operationFinished() {
    PathForm::operationFinished();
    ProgressBar1->hide();
}

} // namespace lex::lexsort
