#pragma once
// Form2 "按其它词库排序": the base lexicon's distinct lines in the order of a reference
// lexicon (reference_sort.h). The entry set lives as long as the form and is empty whenever
// the form is idle.
//   Label1 "原始词库："  Text1  Command1 "…" (open, "打开原始词库")
//   Label2 "参照词库："  Text2  Command2 "…" (open, "打开其它词库")
//   Label4 "另存词库："  Text3  Command3 "…" (save, "新词库保存为")
//   Label3 status   Command7 "开始"   Command8 "退出"

#include "lexsort/forms/sort_form.h"

#include "shared/lexcore/entry_hash_set.h"

namespace lex::lexsort {

class Form2 : public SortForm {
    Q_OBJECT
public:
    explicit Form2(QWidget *owner = nullptr);

    QLabel *Label1, *Label2, *Label4;
    QLineEdit *Text1, *Text2, *Text3;
    QPushButton *Command1, *Command2, *Command3;

    const EntryHashSet &set() const { return m_set; }

    void Command7_Click();

private:
    EntryHashSet m_set{KeyVariant::Standard};
};

} // namespace lex::lexsort
