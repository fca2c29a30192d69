#pragma once
// Form5, the option dialog, caption "选项"; its controls read as one sentence, 长度小于 N
// 的短句不分.
//   Check1 "长度小于"   Text1 N (enabled only while Check1 is checked)   Label1 "的短句不分"
//   Command3 "确定"  copies the values (N outside 5 < N < 100 gives 10)
//   Command4 "取消"  closes without change

#include "bigseg/segmentation.h"

#include "shared/toolshell/tool_form.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lex::bigseg {

class Form5 : public ToolForm {
    Q_OBJECT
public:
    Form5(SegmentOptions &options, QWidget *owner);

    QCheckBox *Check1;
    QLineEdit *Text1;
    QLabel *Label1;
    QPushButton *Command3;
    QPushButton *Command4;

    void Form_Load();
    void Check1_Click();
    void Command3_Click();
    void Command4_Click() { close(); }

private:
    SegmentOptions &m_options;
};

} // namespace lex::bigseg
