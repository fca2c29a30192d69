#pragma once
// Form1 "标准词库 >> 固顶词库": standard lexicon in, fixed-top lexicon out.
//   Label1 "标准词库："  Text1  Command1 "…" (open, "打开标准词库")
//   Label2 "固顶词库："  Text5  Command2 "…" (save, "固顶词库保存为")
//   Command3 "选项" (Form4)   Command4 "开始"   Command5 "退出"
//   ProgressBar1, Label3 "正在生成固顶词库……" while the operation runs

#include "shared/toolshell/path_form.h"

namespace lex::pintop {

class FrmMain;

class Form1 : public PathForm {
    Q_OBJECT
public:
    explicit Form1(FrmMain &main);

    QLabel *Label1, *Label2, *Label3;
    QLineEdit *Text1, *Text5;
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5;
    QProgressBar *ProgressBar1;

    // Loads the readings (busy meanwhile); false when the form cannot work without them.
    bool Form_Load();
    void Command3_Click();
    void Command4_Click();

private:
    FrmMain &m_main;
};

} // namespace lex::pintop
