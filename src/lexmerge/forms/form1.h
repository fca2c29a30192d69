#pragma once
// Form1, the lexmerge main window, caption "Quillo词库整理 Ver1.04".
//   Label2 "打开词库一："  Text1 lexicon one   Command4 "…" (open, "打开词库一")
//   Label3 "打开词库二："  Text2 lexicon two   Command5 "…" (open, "打开词库一")
//   Label4 "另存为词库："  Text3 output        Command6 "…" (save, "另存为词库")
//   Command1 "并集"  Command7 "交集"  Command9 "差集"  Command8 "删词"
//   Command3 "说明"  Command2 "退出" / "中断" while an operation runs

#include "lexmerge/set_operations.h"

#include "shared/toolshell/path_form.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace lex::lexmerge {

class Form1 : public ToolForm {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);

    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLineEdit *Text1;
    QLineEdit *Text2;
    QLineEdit *Text3;
    QPushButton *Command1;
    QPushButton *Command2;
    QPushButton *Command3;
    QPushButton *Command4;
    QPushButton *Command5;
    QPushButton *Command6;
    QPushButton *Command7;
    QPushButton *Command8;
    QPushButton *Command9;

    const EntryHashSet &set() const { return m_set; }

    void Form_Load();
    bool Form_Unload() override;
    void Command1_Click() { run(SetOperation::Union); }
    void Command7_Click() { run(SetOperation::Intersection); }
    void Command9_Click() { run(SetOperation::Difference); }
    void Command8_Click() { run(SetOperation::Deletion); }
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Text1_Change();
    void Text2_Change();
    void Text3_Change();

private:
    void run(SetOperation op);
    void setOperationsEnabled(bool enabled);
    void browseInput(QLineEdit *box, QString &field);

    // The path fields mirror the boxes, but a browse stores the dialog's answer even when the
    // box stays empty.
    QString m_path1;
    QString m_path2;
    QString m_path3;
    EntryHashSet m_set = makeMergeSet();
};

} // namespace lex::lexmerge
