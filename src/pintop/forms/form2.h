#pragma once
// Form2 "去固顶词库的重复编码": keeps the first one, two or three lines of every code.
//   Text1 "原固顶词库：" (dialog "打开原固顶词库"), Text5 "新固顶词库：" (dialog
//   "新固顶词库保存为"), Command3 "选项" opens Form5, Command4 "开始", Command5 "退出".

#include "path_form.h"

namespace lex::pintop {

class Form2 : public PathForm {
    Q_OBJECT
public:
    explicit Form2(FrmMain &main);

    void Command3_Click() override;

protected:
    Outcome run(const std::filesystem::path &input, const std::filesystem::path &output,
                EventPump &pump, int startSecondsOfDay) override;
};

} // namespace lex::pintop
