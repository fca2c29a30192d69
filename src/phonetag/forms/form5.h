#pragma once
// Form5 "注音优化": adjusting extra and missing pinyin, and deleting repeated lines. The tool's
// entry set is empty whenever this form is idle.
//   Label1 "打开的词库："  Text1  Command1 "…"      Label2 "保存的词库："  Text2  Command2 "…"
//   Command4 "调整赘拼欠拼"   Command5 "删除重复词条"   Command3 "退出"   Label3 status text

#include "phonetag/forms/phonetag_form.h"

namespace lex::phonetag {

class Form5 : public PhonetagForm {
    Q_OBJECT
public:
    explicit Form5(Form1 &main);

    QPushButton *Command4, *Command5;

    // Empties the entry set (busy meanwhile).
    void Form_Load();
    void Command4_Click();
    void Command5_Click();
};

} // namespace lex::phonetag
