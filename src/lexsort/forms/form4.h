#pragma once
// Form4, one form for the stroke and the pinyin sort (line_sort.h); intF picks the mode and
// the caption it gets when it loads: 1 "按汉字笔画排序", otherwise "按汉字拼音排序".
//   Label1 "原始词库："  Text1  Command1 "…" (open, "打开原始词库")
//   Label2 "另存词库："  Text2  Command2 "…" (save, "新词库保存为")
//   Label3 status   Command7 "开始"   Command8 "退出"

#include "lexsort/forms/sort_form.h"

#include <cstdint>

namespace lex::lexsort {

class Form4 : public SortForm {
    Q_OBJECT
public:
    explicit Form4(QWidget *owner = nullptr);

    // The sort mode: 1 stroke, any other value pinyin. Set before the form is shown.
    int16_t intF = 1;

    QLabel *Label1, *Label2;
    QLineEdit *Text1, *Text2;
    QPushButton *Command1, *Command2;

    void Form_Load();
    void Command7_Click();
};

} // namespace lex::lexsort
