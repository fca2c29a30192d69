#include "bigseg/forms/form1.h"

#include "bigseg/forms/form2.h"
#include "bigseg/forms/form5.h"
#include "bigseg/tool_files.h"
#include "bigseg/word_statistics.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/report.h"
#include "shared/toolshell/path_box.h"
#include "shared/toolshell/path_form.h"
#include "shared/toolshell/program.h"
#include "shared/toolshell/readme_viewer.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace lex::bigseg {

Form1::Form1(QWidget *parent) : ToolForm(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("bigseg Ver1.09"));
    setMainForm(true);
    Label3 = named(new QLabel(QStringLiteral("文章："), this), "Label3");
    Text2 = named(new PathBox(this), "Text2");
    Command5 = named(new QPushButton(QStringLiteral("…"), this), "Command5");
    Command1 = named(new QPushButton(QStringLiteral("开始分词"), this), "Command1");
    Command4 = named(new QPushButton(QStringLiteral("开始统计"), this), "Command4");
    Command6 = named(new QPushButton(QStringLiteral("分词结果"), this), "Command6");
    Command7 = named(new QPushButton(QStringLiteral("统计结果"), this), "Command7");
    Command8 = named(new QPushButton(QStringLiteral("补充词条"), this), "Command8");
    Command9 = named(new QPushButton(QStringLiteral("设置选项"), this), "Command9");
    Command3 = named(new QPushButton(QStringLiteral("相关说明"), this), "Command3");
    Command2 = named(new QPushButton(QStringLiteral("退出程序"), this), "Command2");
    Label2 = named(new QLabel(QStringLiteral("正在处理，请稍候……"), this), "Label2");
    Progress = named(new QProgressBar(this), "Progress");
    Progress->setRange(0, 1000);
    Progress->setTextVisible(false);
    Command5->setFixedWidth(PathForm::kBrowseWidth);

    auto *path = new QHBoxLayout;
    path->addWidget(Label3);
    path->addWidget(Text2);
    path->addWidget(Command5);
    auto *grid = new QGridLayout;
    QPushButton *buttons[] = {Command1, Command4, Command6, Command7,
                              Command8, Command9, Command3, Command2};
    for (int i = 0; i < 8; ++i) {
        buttons[i]->setAutoDefault(false);
        grid->addWidget(buttons[i], i / 4, i % 4);
    }
    Command5->setAutoDefault(false);
    auto *status = new QHBoxLayout;
    status->addWidget(Label2);
    status->addWidget(Progress, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(path);
    layout->addLayout(grid);
    layout->addLayout(status);
    resize(480, 150);

    Command1->setEnabled(false);
    Label2->setVisible(false);
    Progress->setVisible(false);
    pump().setProgressBar(Progress);

    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
}

bool Form1::Form_Load() {
    m_busy = BusyState::Busy;
    try {
        const ToolFolder folder = toolFolder();
        m_fc = folder.writable(kSegmentFile);
        m_tj = folder.writable(kStatsFile);
        m_bc = folder.writable(kSupplementFile);
        m_lexicon = loadSegmentLexicon(folder.writable(kWordListFile), m_bc, pump());
    } catch (const std::exception &e) {
        m_busy = BusyState::Idle;
        showMessage(this, qs(failureText(e)), QString(), MessageIcon::Critical);
        return false;
    }
    m_options = SegmentOptions{};
    m_busy = BusyState::Idle;
    return true;
}

void Form1::Text2_Change() {
    Command1->setEnabled(idle() && !Text2->text().isEmpty());
}

void Form1::Command5_Click() {
    const QString path = fileDialog(this, QStringLiteral("打开文章"), false);
    if (fileExists(toPath(path)))
        Text2->setText(path);
}

void Form1::setRunning(const QString &stopCaption) {
    Command1->setEnabled(false);
    Command2->setText(stopCaption);
    for (QPushButton *b : {Command4, Command5, Command6, Command7, Command8})
        b->setEnabled(false);
    Progress->setValue(0);
    Label2->setVisible(true);
    Progress->setVisible(true);
}

void Form1::operationFinished() {
    Command1->setEnabled(!Text2->text().isEmpty());
    Command2->setText(QStringLiteral("退出程序"));
    for (QPushButton *b : {Command4, Command5, Command6, Command7, Command8})
        b->setEnabled(true);
    Label2->setVisible(false);
    Progress->setVisible(false);
}

void Form1::Command1_Click() {
    // Text2 stays editable during a run and enables this button again; one run at a time.
    if (!idle())
        return;
    setLexiconInput([this] { return Text2->text(); });
    runOperation([this](int start) {
        const std::u16string text = readArticle(toPath(Text2->text()));
        if (text.empty())
            return OperationReport::message(std::string(kNoArticle));
        setRunning(QStringLiteral("停止分词"));
        const SegmentResult r = segmentText(text, m_fc, m_lexicon, m_options, pump());
        const bool stopped = r.stopped || m_busy == BusyState::StopRequested;
        return OperationReport::message(segmentReport(stopped, elapsedText(start)));
    });
}

void Form1::Command4_Click() {
    if (!idle())
        return;
    setLexiconInput([this] { return fromPath(m_fc); });
    runOperation([this](int start) {
        if (!fileExists(m_fc))
            return OperationReport::message(std::string(kNoStatsInput));
        setRunning(QStringLiteral("停止统计"));
        StatsResult r = countWords(m_fc, m_tj, pump());
        r.stopped = r.stopped || m_busy == BusyState::StopRequested;
        if (r.stopped)
            return OperationReport::message(statsReport(r, {}));
        return OperationReport::completion(statsReport(r, elapsedText(start)));
    });
}

void Form1::Command6_Click() {
    if (fileExists(m_fc))
        openWithViewer(m_fc);
    else
        showMessage(this, qs(std::string(kNoSegmentResult)));
}

void Form1::Command7_Click() {
    if (fileExists(m_tj))
        openWithViewer(m_tj);
    else
        showMessage(this, qs(std::string(kNoStatsResult)));
}

void Form1::Command8_Click() {
    Form2 form(m_lexicon, m_bc, this);
    if (!form.Form_Load())
        return;
    runModal(form);
    // Without its word list the tool cannot go on (Form2 has said why).
    if (form.wordListMissing() && idle())
        close();
}

void Form1::Command9_Click() {
    Form5 form(m_options, this);
    runModal(form);
}

void Form1::Command3_Click() {
    ReadmeViewer::showFor(this);
}

void Form1::Command2_Click() {
    if (!idle())
        m_busy = BusyState::StopRequested;
    else
        close();
}

} // namespace lex::bigseg
