#pragma once
// Form1 "通过文章筛选": keeps the source lines whose word occurs in an article.
//   Label1 "源词库："    Text1  Command4 "…" (open, "打开源词库"; taken only if the file exists)
//   Label2 "文章："      Text2  Command5 "…" (open, "打开文章"; taken only if the file exists)
//   Label3 "目标词库："  Text3  Command6 "…" (save, "保存目标词库")
//   Command1 "开始"   Command2 "退出", "停止" while an operation runs (requests the stop)
//   ProgressBar1, Label4 "正在筛选……" while the operation runs

#include "shared/toolshell/path_form.h"

namespace lex::lexsift {

class Form1 : public PathForm {
    Q_OBJECT
public:
    explicit Form1(QWidget *owner = nullptr);

    QLabel *Label1, *Label2, *Label3, *Label4;
    QLineEdit *Text1, *Text2, *Text3;
    QPushButton *Command1, *Command2, *Command4, *Command5, *Command6;
    QProgressBar *ProgressBar1;

    void Command1_Click();
    void Command2_Click();

private:
    QPushButton *browseButton(const QString &name, QLineEdit *box, const QString &title,
                              bool isSave);
};

} // namespace lex::lexsift
