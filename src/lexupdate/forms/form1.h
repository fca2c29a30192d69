#pragma once
// Form1, the lexupdate main window, caption "Quillo词库更新 Ver1.06".
//   Label1 "原始词库（加）："  Text1 base lexicon      Command1 "…" (open, "打开原始词库")
//   Label2 "废词库　（减）："  Text2 waste lexicon     Command2 "…" (open, "打开废词库")
//   Label3 "用户词库（加）："  Text3 user lexicon      Command3 "…" (open, "打开用户词库")
//   Label4 "私人词库（减）："  Text4 private lexicon   Command4 "…" (open, "打开私人词库")
//   Label5 "新词库　（存）："  Text5 new lexicon       Command5 "…" (save, "新词库保存为")
//   Command6 "开始"  Command7 "选项"  Command8 "帮助"  Command9 "退出"
// Settings (application lexupdate): Form1/Text1..Text4, saved when the form unloads.

#include "lexupdate/lexicon_update.h"

#include "shared/toolshell/path_form.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace lex::lexupdate {

class Form1 : public ToolForm {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);

    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLineEdit *Text1;
    QLineEdit *Text2;
    QLineEdit *Text3;
    QLineEdit *Text4;
    QLineEdit *Text5;
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
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click() { close(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void browse(QLineEdit *box, const QString &title, bool isSave);
    void updateStart();

    EntryHashSet m_set{KeyVariant::Standard};
};

} // namespace lex::lexupdate
