#pragma once
// Form1 "标准词库 >> 固顶词库": standard lexicon in, fixed-top lexicon out.
//   Text1 "标准词库：" (dialog "打开标准词库"), Text5 "固顶词库：" (dialog "固顶词库保存为"),
//   Command3 "选项" opens Form4, Command4 "开始", Command5 "退出".

#include "path_form.h"

namespace lex::pintop {

class Form1 : public PathForm {
    Q_OBJECT
public:
    explicit Form1(FrmMain &main);

    // Loads the readings (busy meanwhile); false when the form cannot work without them.
    bool Form_Load();
    void Command3_Click() override;

protected:
    Outcome run(const std::filesystem::path &input, const std::filesystem::path &output,
                EventPump &pump, int startSecondsOfDay) override;
};

} // namespace lex::pintop
