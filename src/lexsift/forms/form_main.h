#pragma once
// FormMain, the menu form of lexsift (caption "Quillo词库筛选 Ver1.09").
//   Command2  "通过文章筛选"   Form1, modal
//   Command3  "定义条件筛选"   Form2, modal
//   Command1  "说明文档"       the read-me viewer
//   Command7  "退出程序"       closes: starts the caller program

#include "shared/toolshell/tool_form.h"

class QPushButton;

namespace lex::lexsift {

inline const QString kApplication = QStringLiteral("lexsift");

class FormMain : public ToolForm {
    Q_OBJECT
public:
    explicit FormMain(QWidget *parent = nullptr);

    QPushButton *Command1;
    QPushButton *Command2;
    QPushButton *Command3;
    QPushButton *Command7;

    bool Form_Unload() override;
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command7_Click() { close(); }
};

} // namespace lex::lexsift
