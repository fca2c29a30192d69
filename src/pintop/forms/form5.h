#pragma once
// Form5 "选项" of the duplicate-code removal: lines kept per code.
//   Option1 "保留固顶首选词" (1)   Option2 "保留固顶二重码" (2)   Option3 "保留固顶三重码" (3)
//   Command1 "确定"   Command2 "取消"

#include "shared/toolshell/tool_form.h"

class QPushButton;
class QRadioButton;

namespace lex::pintop {

struct PintopOptions;

class Form5 : public ToolForm {
    Q_OBJECT
public:
    Form5(PintopOptions &options, QWidget *owner);

    QRadioButton *Option1;
    QRadioButton *Option2;
    QRadioButton *Option3;
    QPushButton *Command1;
    QPushButton *Command2;

    void Command1_Click();
    void Command2_Click() { close(); }

private:
    PintopOptions &m_options;
};

} // namespace lex::pintop
