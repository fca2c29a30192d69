#pragma once
// Form5 "设置筛选条件", the condition dialog of Form2. The three conditions exclude one another.
//   Check1 "提取包含“左边文本框中的词”的词条"  Text1 (the word list, one word per line)
//       Option1 "无限制"  Option2 "限制在词首"  Option3 "限制在词尾"
//   Check2 "提取的词条长度限制在"  Label1 "最小" Text2  Label2 "最大" Text3
//   Check3 "提取包含“非GB2312汉字”的词条"
//   Command3 "确定" (copies the controls into Form2's values)   Command4 "取消"

#include "shared/toolshell/tool_form.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace lex::lexsift {

class Form2;

class Form5 : public ToolForm {
    Q_OBJECT
public:
    explicit Form5(Form2 &owner);

    QCheckBox *Check1, *Check2, *Check3;
    QPlainTextEdit *Text1;
    QRadioButton *Option1, *Option2, *Option3;
    QLabel *Label1, *Label2;
    QLineEdit *Text2, *Text3;
    QPushButton *Command3, *Command4;

    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Command3_Click();
    void Command4_Click() { close(); }

private:
    Form2 &m_owner;
};

} // namespace lex::lexsift
