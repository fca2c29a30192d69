#pragma once
// Form1 "按词条长度排序": the lines ordered by word length (length_sort.h).
//   Label1 "原始词库："  Text1  Command1 "…" (open, "打开原始词库")
//   Label2 "另存词库："  Text2  Command2 "…" (save, "新词库保存为")
//   Label3 status   Command7 "开始"   Command8 "退出"

#include "lexsort/forms/sort_form.h"

namespace lex::lexsort {

class Form1 : public SortForm {
    Q_OBJECT
public:
    explicit Form1(QWidget *owner = nullptr);

    QLabel *Label1, *Label2;
    QLineEdit *Text1, *Text2;
    QPushButton *Command1, *Command2;

    void Command7_Click();
};

} // namespace lex::lexsort
