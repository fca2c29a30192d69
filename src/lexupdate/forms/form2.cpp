#include "lexupdate/forms/form2.h"

#include "shared/toolshell/settings.h"

#include <QCheckBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace lex::lexupdate {

Form2::Form2(QWidget *parent) : ToolForm(parent) {
    setWindowTitle(QStringLiteral("选项"));
    Check1 = new QCheckBox(QStringLiteral("处理后自动删除废词文件"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Command1 = new QPushButton(QStringLiteral("确定"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Check1);
    layout->addWidget(Command1);
    Check1->setChecked(deleteWasteOption());
    connect(Command1, &QPushButton::clicked, this, [this] { close(); });
}

bool Form2::Form_Unload() {
    saveSetting(QStringLiteral("lexupdate"), QStringLiteral("Form2"), QStringLiteral("Check1"),
                Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    return true;
}

bool deleteWasteOption() {
    return getSetting(QStringLiteral("lexupdate"), QStringLiteral("Form2"),
                      QStringLiteral("Check1"), QStringLiteral("0")) != QStringLiteral("0");
}

} // namespace lex::lexupdate
