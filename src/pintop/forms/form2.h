#pragma once
// Form2 "去固顶词库的重复编码": keeps the first one, two or three lines of every code.
//   Label1 "原固顶词库："  Text1  Command1 "…" (open, "打开原固顶词库")
//   Label2 "新固顶词库："  Text5  Command2 "…" (save, "新固顶词库保存为")
//   Command3 "选项" (Form5)   Command4 "开始"   Command5 "退出"
//   ProgressBar1, Label3 "正在去除重复编码……" while the operation runs

#include "shared/toolshell/path_form.h"

namespace lex::pintop {

class FrmMain;

class Form2 : public PathForm {
    Q_OBJECT
public:
    explicit Form2(FrmMain &main);

    QLabel *Label1, *Label2, *Label3;
    QLineEdit *Text1, *Text5;
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5;
    QProgressBar *ProgressBar1;

    void Command3_Click();
    void Command4_Click();

private:
    FrmMain &m_main;
};

} // namespace lex::pintop
