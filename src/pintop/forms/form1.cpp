#include "pintop/forms/form1.h"

#include "pintop/fixed_top.h"
#include "pintop/forms/form4.h"
#include "pintop/forms/frm_main.h"

#include <QLineEdit>
#include <QPushButton>

namespace lex::pintop {

Form1::Form1(FrmMain &main)
    : PathForm(&main, QStringLiteral("标准词库 >> 固顶词库")), m_main(main) {
    setObjectName(QStringLiteral("Form1"));
    auto in = addPathRow("Label1", QStringLiteral("标准词库："), "Text1", "Command1",
                         QStringLiteral("打开标准词库"), PathDialog::Open);
    auto out = addPathRow("Label2", QStringLiteral("固顶词库："), "Text5", "Command2",
                          QStringLiteral("固顶词库保存为"), PathDialog::Save);
    std::tie(Label1, Text1, Command1) = std::tie(in.label, in.box, in.browse);
    std::tie(Label2, Text5, Command2) = std::tie(out.label, out.box, out.browse);
    Command3 = addButton("Command3", QStringLiteral("选项"));
    Command4 = addButton("Command4", QStringLiteral("开始"));
    Command5 = addButton("Command5", QStringLiteral("退出"));
    auto progress = addProgressRow("ProgressBar1", "Label3", QStringLiteral("正在生成固顶词库……"));
    std::tie(ProgressBar1, Label3) = std::tie(progress.bar, progress.label);
    setStartButtons({Command4}, {Text1, Text5});
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &QWidget::close);
}

bool Form1::Form_Load() {
    m_busy = BusyState::Busy;
    const bool loaded = m_main.reloadData(this);
    m_busy = BusyState::Idle;
    return loaded;
}

void Form1::Command3_Click() {
    Form4 form(m_main, this);
    form.Form_Load();
    runModal(form);
}

void Form1::Command4_Click() {
    runPathOperation([this](int start) {
        auto r = generateFixedTop(toPath(Text1->text()), toPath(Text5->text()), m_main.data(),
                                  m_main.generateOptions(), pump());
        if (!r.inputFound)
            return OperationReport::message(kOpenFailed, {}, MessageIcon::None,
                                            [this] { Text1->clear(); });
        return OperationReport::completion(r.shape + generateReport(r.count, start));
    });
}

} // namespace lex::pintop
