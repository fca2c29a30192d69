#include "form1.h"

#include "form4.h"
#include "frm_main.h"

namespace lex::pintop {

Form1::Form1(FrmMain &main)
    : PathForm(main, {QStringLiteral("标准词库 >> 固顶词库"), QStringLiteral("标准词库："),
                      QStringLiteral("打开标准词库"), QStringLiteral("固顶词库："),
                      QStringLiteral("固顶词库保存为"), QStringLiteral("正在生成固顶词库……")}) {
    setObjectName(QStringLiteral("Form1"));
}

bool Form1::Form_Load() {
    m_busy = BusyState::Busy;
    bool loaded = m_main.reloadData(this);
    m_busy = BusyState::Idle;
    return loaded;
}

void Form1::Command3_Click() {
    Form4 form(m_main, this);
    form.Form_Load();
    runModal(form);
}

PathForm::Outcome Form1::run(const std::filesystem::path &input,
                             const std::filesystem::path &output, EventPump &pump, int start) {
    auto r = generateFixedTop(input, output, m_main.data(), m_main.generateOptions(), pump);
    return {r.inputFound, r.inputFound ? generateReport(r.count, start) : std::string()};
}

} // namespace lex::pintop
