#pragma once
// Form2 "定义条件筛选": keeps the lines whose word passes the condition chosen in Form5.
//   Label1 "打开词库："  Text1  Command1 "…" (open, "打开词库")
//   Label5 "结果保存："  Text5  Command5 "…" (save, "结果保存")
//   Command2 "条件" (Form5)   Command7 "开始"   Command8 "退出"
//   ProgressBar1, Label2 "正在筛选……" while the operation runs
// Start needs both paths and a condition confirmed at least once with "确定".

#include "lexsift/condition_filter.h"

#include "shared/toolshell/path_form.h"

namespace lex::lexsift {

class Form2 : public PathForm {
    Q_OBJECT
public:
    explicit Form2(QWidget *owner = nullptr);

    QLabel *Label1, *Label2, *Label5;
    QLineEdit *Text1, *Text5;
    QPushButton *Command1, *Command2, *Command5, *Command7, *Command8;
    QProgressBar *ProgressBar1;

    // The condition values, written by Form5 on "确定"; they live as long as this form.
    int iCheck1 = 1;      // the word-list condition
    int iCheck2 = 0;      // the length condition
    int iCheck3 = 0;      // the non-GB2312 condition
    bool bOption1 = true; // word list: anywhere, at the start, at the end of the word
    bool bOption2 = false;
    bool bOption3 = false;
    QString sTxtSet1; // the word list as typed, lines joined by CR LF
    QString sTxtSet2 = QStringLiteral("2");
    QString sTxtSet3 = QStringLiteral("10");
    bool bForm5 = false; // a condition was confirmed since the form loaded

    // The word list in force: rebuilt after Form5 only when its box held text.
    const std::vector<std::u16string> &words() const { return m_words; }
    // The test and its values as Start runs them.
    Conditions conditions() const;

    void Command2_Click();
    void Command7_Click();

private:
    void updateStart();

    std::vector<std::u16string> m_words;
};

} // namespace lex::lexsift
