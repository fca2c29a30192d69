#pragma once
// Form4 "选项" of the generation.
//   Check1  "长度大于三字的词条作为例外："  enables Option1..Option3
//   Option1 "使用单字的拼音首字母简拼编码"
//   Option2 "使用整词的拼音前六字母编码（适用于双拼）"
//   Option3 "不加入固顶词库"
//   Check2  "使用自定义替换表文件："        enables Text1 and Command1; clearing empties Text1
//   Text1   replacement-table path         Command1 "…" (dialog "选择替换表文件")
//   Command2 "确定"   Command3 "取消"

#include "shared/toolshell/tool_form.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace lex::pintop {

class FrmMain;

class Form4 : public ToolForm {
    Q_OBJECT
public:
    Form4(FrmMain &main, QWidget *owner);

    QCheckBox *Check1;
    QRadioButton *Option1;
    QRadioButton *Option2;
    QRadioButton *Option3;
    QCheckBox *Check2;
    QLineEdit *Text1;
    QPushButton *Command1;
    QPushButton *Command2;
    QPushButton *Command3;

    void Form_Load();
    void Check1_Click();
    void Check2_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click() { close(); }

private:
    FrmMain &m_main;
    bool m_pathChanged = false;
};

} // namespace lex::pintop
