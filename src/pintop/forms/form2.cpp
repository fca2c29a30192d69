#include "pintop/forms/form2.h"

#include "pintop/code_dedup.h"
#include "pintop/fixed_top.h"
#include "pintop/forms/form5.h"
#include "pintop/forms/frm_main.h"

#include <QLineEdit>
#include <QPushButton>

namespace lex::pintop {

Form2::Form2(FrmMain &main)
    : PathForm(&main, QStringLiteral("去固顶词库的重复编码")), m_main(main) {
    setObjectName(QStringLiteral("Form2"));
    auto in = addPathRow("Label1", QStringLiteral("原固顶词库："), "Text1", "Command1",
                         QStringLiteral("打开原固顶词库"), PathDialog::Open);
    auto out = addPathRow("Label2", QStringLiteral("新固顶词库："), "Text5", "Command2",
                          QStringLiteral("新固顶词库保存为"), PathDialog::Save);
    std::tie(Label1, Text1, Command1) = std::tie(in.label, in.box, in.browse);
    std::tie(Label2, Text5, Command2) = std::tie(out.label, out.box, out.browse);
    Command3 = addButton("Command3", QStringLiteral("选项"));
    Command4 = addButton("Command4", QStringLiteral("开始"));
    Command5 = addButton("Command5", QStringLiteral("退出"));
    auto progress = addProgressRow("ProgressBar1", "Label3", QStringLiteral("正在去除重复编码……"));
    std::tie(ProgressBar1, Label3) = std::tie(progress.bar, progress.label);
    setStartButtons({Command4}, {Text1, Text5});
    connect(Command3, &QPushButton::clicked, this, &Form2::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form2::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &QWidget::close);
}

void Form2::Command3_Click() {
    Form5 form(m_main.options(), this);
    runModal(form);
}

void Form2::Command4_Click() {
    runPathOperation([this](int start) {
        auto r = removeDuplicateCodes(toPath(Text1->text()), toPath(Text5->text()),
                                      m_main.options().keepLimit(), pump());
        if (!r.inputFound)
            return OperationReport::message(kOpenFailed, {}, MessageIcon::None,
                                            [this] { Text1->clear(); });
        return OperationReport::completion(dedupReport(r.kept, start));
    });
}

} // namespace lex::pintop
