#include "lexupdate/forms/form1.h"

#include "lexupdate/forms/form2.h"

#include "shared/lexcore/report.h"
#include "shared/toolshell/path_box.h"
#include "shared/toolshell/program.h"
#include "shared/toolshell/readme_viewer.h"
#include "shared/toolshell/settings.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace lex::lexupdate {
namespace {

SettingsSection settings() {
    return {QStringLiteral("lexupdate"), QStringLiteral("Form1")};
}

} // namespace

Form1::Form1(QWidget *parent) : ToolForm(parent) {
    setWindowTitle(QStringLiteral("Quillo词库更新 Ver1.06"));
    setMainForm(true);
    const QString captions[] = {
        QStringLiteral("原始词库（加）："), QStringLiteral("废词库　（减）："),
        QStringLiteral("用户词库（加）："), QStringLiteral("私人词库（减）："),
        QStringLiteral("新词库　（存）：")};
    QLabel **labels[] = {&Label1, &Label2, &Label3, &Label4, &Label5};
    QLineEdit **boxes[] = {&Text1, &Text2, &Text3, &Text4, &Text5};
    QPushButton **browsers[] = {&Command1, &Command2, &Command3, &Command4, &Command5};
    auto *grid = new QGridLayout;
    for (int i = 0; i < 5; ++i) {
        const QString n = QString::number(i + 1);
        *labels[i] = named(new QLabel(captions[i], this), "Label" + n);
        *boxes[i] = named(new PathBox(this), "Text" + n);
        *browsers[i] = named(new QPushButton(QStringLiteral("…"), this), "Command" + n);
        grid->addWidget(*labels[i], i, 0);
        grid->addWidget(*boxes[i], i, 1);
        grid->addWidget(*browsers[i], i, 2);
        (*browsers[i])->setFixedWidth(PathForm::kBrowseWidth);
    }
    setLexiconInput([this] { return Text1->text(); });
    Command6 = named(new QPushButton(QStringLiteral("开始"), this), QStringLiteral("Command6"));
    Command7 = named(new QPushButton(QStringLiteral("选项"), this), QStringLiteral("Command7"));
    Command8 = named(new QPushButton(QStringLiteral("帮助"), this), QStringLiteral("Command8"));
    Command9 = named(new QPushButton(QStringLiteral("退出"), this), QStringLiteral("Command9"));
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {Command6, Command7, Command8, Command9})
        buttons->addWidget(b);
    for (QPushButton *b :
         {Command1, Command2, Command3, Command4, Command5, Command6, Command7, Command8, Command9})
        b->setAutoDefault(false);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(520, 220);

    connect(Command1, &QPushButton::clicked, this,
            [this] { browse(Text1, QStringLiteral("打开原始词库"), false); });
    connect(Command2, &QPushButton::clicked, this,
            [this] { browse(Text2, QStringLiteral("打开废词库"), false); });
    connect(Command3, &QPushButton::clicked, this,
            [this] { browse(Text3, QStringLiteral("打开用户词库"), false); });
    connect(Command4, &QPushButton::clicked, this,
            [this] { browse(Text4, QStringLiteral("打开私人词库"), false); });
    connect(Command5, &QPushButton::clicked, this,
            [this] { browse(Text5, QStringLiteral("新词库保存为"), true); });
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::updateStart);
    connect(Text5, &QLineEdit::textChanged, this, &Form1::updateStart);
    for (QLineEdit *box : {Text2, Text3, Text4})
        box->installEventFilter(this);
    m_set.setPump(&pump());
    Form_Load();
}

void Form1::Form_Load() {
    m_busy = BusyState::Busy;
    const SettingsSection stored = settings();
    for (QLineEdit *box : {Text1, Text2, Text3, Text4})
        box->setText(stored.text(box->objectName()));
    updateStart();
    m_set.Clear(pump());
    m_busy = BusyState::Idle;
}

bool Form1::Form_Unload() {
    if (!idle())
        return false;
    const SettingsSection stored = settings();
    for (QLineEdit *box : {Text1, Text2, Text3, Text4})
        stored.saveText(box->objectName(), box->text());
    return true;
}

bool Form1::eventFilter(QObject *watched, QEvent *event) {
    // A click that gives the focus would deselect again, so select once it is handled.
    if (event->type() == QEvent::FocusIn) {
        if (auto *box = qobject_cast<QLineEdit *>(watched))
            QTimer::singleShot(0, box, &QLineEdit::selectAll);
    }
    return ToolForm::eventFilter(watched, event);
}

void Form1::browse(QLineEdit *box, const QString &title, bool isSave) {
    QString path = fileDialog(this, title, isSave);
    if (!path.isEmpty())
        box->setText(path);
}

void Form1::updateStart() {
    Command6->setEnabled(!Text1->text().isEmpty() && !Text5->text().isEmpty());
}

void Form1::Command6_Click() {
    if (!idle())
        return;
    Command6->setEnabled(false);
    runOperation(
        [this](int start) {
            UpdatePaths paths;
            paths.base = toPath(Text1->text());
            paths.waste = toPath(Text2->text());
            paths.user = toPath(Text3->text());
            paths.privateLexicon = toPath(Text4->text());
            paths.output = toPath(Text5->text());
            paths.deleteWaste = deleteWasteOption();
            const UpdateResult result = runUpdate(m_set, paths, pump());
            if (result.baseMissing)
                return OperationReport::message(std::string(kBaseMissing), {}, MessageIcon::None,
                                                [this] { Text1->clear(); });
            auto report = OperationReport::completion(reportText(result, elapsedText(start)));
            if (!result.wasteDeleteError.empty())
                report.then = [this, why = result.wasteDeleteError] {
                    showMessage(this, qs(why), QString(), MessageIcon::Warning);
                };
            return report;
        },
        [this] { m_set.Clear(pump()); });
    updateStart();
}

void Form1::Command7_Click() {
    Form2 options(this);
    runModal(options);
}

void Form1::Command8_Click() {
    ReadmeViewer::showFor(this);
}

} // namespace lex::lexupdate
