#include "path_form.h"

#include "fixed_top.h"
#include "frm_main.h"
#include "named.h"

#include "lexcore/lexicon_files.h"
#include "lexcore/report.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace lex::pintop {
bool ProgressPump::poll() {
    if (m_bar && progressTotal() > 0)
        m_bar->setValue(int(progressDone() * 1000 / progressTotal()));
    return QtPump::poll();
}

PathForm::PathForm(FrmMain &main, const PathFormTexts &texts)
    : ToolForm(&main), m_main(main), m_texts(texts), m_progress(&m_busy) {
    setWindowTitle(texts.caption);
    Label1 = named(new QLabel(texts.inputLabel, this), "Label1");
    Text1 = named(new QLineEdit(this), "Text1");
    Command1 = named(new QPushButton(QStringLiteral("…"), this), "Command1");
    Label2 = named(new QLabel(texts.outputLabel, this), "Label2");
    Text5 = named(new QLineEdit(this), "Text5");
    Command2 = named(new QPushButton(QStringLiteral("…"), this), "Command2");
    Command3 = named(new QPushButton(QStringLiteral("选项"), this), "Command3");
    Command4 = named(new QPushButton(QStringLiteral("开始"), this), "Command4");
    Command5 = named(new QPushButton(QStringLiteral("退出"), this), "Command5");
    ProgressBar1 = named(new QProgressBar(this), "ProgressBar1");
    Label3 = named(new QLabel(texts.working, this), "Label3");
    ProgressBar1->setRange(0, 1000);
    ProgressBar1->setVisible(false);
    Label3->setVisible(false);
    m_progress.setBar(ProgressBar1);
    Text1->setMinimumWidth(360);

    auto *grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Text1, 0, 1);
    grid->addWidget(Command1, 0, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Text5, 1, 1);
    grid->addWidget(Command2, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Label3);
    buttons->addStretch();
    buttons->addWidget(Command3);
    buttons->addWidget(Command4);
    buttons->addWidget(Command5);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(ProgressBar1);
    layout->addLayout(buttons);

    connect(Command1, &QPushButton::clicked, this, &PathForm::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &PathForm::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command4, &QPushButton::clicked, this, &PathForm::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &PathForm::Command5_Click);
    connect(Text1, &QLineEdit::textChanged, this, &PathForm::Text_Change);
    connect(Text5, &QLineEdit::textChanged, this, &PathForm::Text_Change);
    Text_Change();
}

void PathForm::Text_Change() {
    Command4->setEnabled(!Text1->text().isEmpty() && !Text5->text().isEmpty() && m_busy.idle());
}

void PathForm::Command1_Click() {
    QString path = fileDialog(this, m_texts.inputTitle, false);
    if (!path.isEmpty())
        Text1->setText(path);
}

void PathForm::Command2_Click() {
    QString path = fileDialog(this, m_texts.outputTitle, true);
    if (!path.isEmpty())
        Text5->setText(path);
}

void PathForm::Command4_Click() {
    m_busy = BusyState::Busy;
    const int start = timeOfDayNow();
    Command4->setEnabled(false);
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(true);
    Label3->setVisible(true);
    m_progress.setProgress(0, 0);
    Outcome outcome;
    std::string failure;
    try {
        outcome = run(toPath(Text1->text()), toPath(Text5->text()), m_progress, start);
    } catch (const LexError &e) {
        failure = e.message();
    }
    ProgressBar1->setVisible(false);
    Label3->setVisible(false);
    if (!failure.empty()) {
        showMessage(this, qs(failure), QString(), MessageIcon::Warning);
    } else if (!outcome.inputFound) {
        showMessage(this, qs(kOpenFailed));
        Text1->clear();
    } else {
        showCompletion(this, outcome.report);
    }
    m_busy = BusyState::Idle;
    Text_Change();
}

} // namespace lex::pintop
