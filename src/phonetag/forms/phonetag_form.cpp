#include "phonetag/forms/phonetag_form.h"

#include "phonetag/forms/form1.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace lex::phonetag {

PhonetagForm::PhonetagForm(Form1 &main, const QString &name, const QString &caption)
    : PathForm(&main, caption), m_main(main) {
    setObjectName(name);
    auto in = addPathRow("Label1", QStringLiteral("打开的词库："), "Text1", "Command1",
                         QStringLiteral("打开的词库文件为"), PathDialog::Open);
    auto out = addPathRow("Label2", QStringLiteral("保存的词库："), "Text2", "Command2",
                          QStringLiteral("保存的词库文件为"), PathDialog::Save);
    std::tie(Label1, Text1, Command1) = std::tie(in.label, in.box, in.browse);
    std::tie(Label2, Text2, Command2) = std::tie(out.label, out.box, out.browse);
    ProgressBar1 = named(new QProgressBar(this), "ProgressBar1");
    ProgressBar1->setRange(0, 1000);
    ProgressBar1->setVisible(false);
    Label3 = named(new QLabel(QStringLiteral("欢迎使用！"), this), "Label3");
    m_layout->insertWidget(1, ProgressBar1);
    m_layout->addWidget(Label3);
    m_pump.setProgressBar(ProgressBar1);
    Command3 = nullptr;
}

PhonetagForm::~PhonetagForm() {
    // The entry set outlives the form; its lookups must not reach this form's pump.
    m_main.entrySet().setPump(nullptr);
}

void PhonetagForm::finishLayout(std::initializer_list<QPushButton *> operations,
                                std::initializer_list<QPushButton *> locked) {
    Command3 = addButton("Command3", QStringLiteral("退出"));
    connect(Command3, &QPushButton::clicked, this, &QWidget::close);
    m_locked = {Command1, Text1, Command2, Text2};
    m_locked.insert(m_locked.end(), locked.begin(), locked.end());
    setStartButtons(operations, {Text1, Text2});
}

void PhonetagForm::runTask(const QString &busyText, const QString &idleText,
                           const std::function<OperationReport(int start)> &work,
                           const std::function<void()> &after) {
    if (!idle())
        return;
    for (QWidget *w : m_locked)
        w->setEnabled(false);
    Label3->setText(busyText);
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(true);
    runPathOperation(work, after);
    for (QWidget *w : m_locked)
        w->setEnabled(true);
    Label3->setText(idleText);
}

OperationReport PhonetagForm::missingInput(const char *message) {
    return OperationReport::message(message, {}, MessageIcon::None, [this] { Text1->clear(); });
}

void PhonetagForm::operationFinished() {
    ProgressBar1->setVisible(false);
}

} // namespace lex::phonetag
