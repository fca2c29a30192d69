#include "form2.h"

#include "code_dedup.h"
#include "form5.h"
#include "frm_main.h"

namespace lex::pintop {

Form2::Form2(FrmMain &main)
    : PathForm(main, {QStringLiteral("去固顶词库的重复编码"), QStringLiteral("原固顶词库："),
                      QStringLiteral("打开原固顶词库"), QStringLiteral("新固顶词库："),
                      QStringLiteral("新固顶词库保存为"), QStringLiteral("正在去除重复编码……")}) {
    setObjectName(QStringLiteral("Form2"));
}

void Form2::Command3_Click() {
    Form5 form(m_main.options(), this);
    runModal(form);
}

PathForm::Outcome Form2::run(const std::filesystem::path &input,
                             const std::filesystem::path &output, EventPump &pump, int start) {
    auto r = removeDuplicateCodes(input, output, m_main.options().keepLimit(), pump);
    return {r.inputFound, r.inputFound ? dedupReport(r.kept, start) : std::string()};
}

} // namespace lex::pintop
