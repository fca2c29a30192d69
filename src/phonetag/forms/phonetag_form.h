#pragma once
// The shape that phonetag's three working forms share:
//   Label1 "打开的词库："  Text1  Command1 "…" (open, "打开的词库文件为")
//   Label2 "保存的词库："  Text2  Command2 "…" (save, "保存的词库文件为")
//   the form's operation buttons, then Command3 "退出"
//   Label3 status text, "欢迎使用！" when idle; ProgressBar1 while an operation runs
// The operation buttons are enabled exactly when both paths hold text and the form is idle.

#include "shared/toolshell/path_form.h"

#include <initializer_list>
#include <vector>

namespace lex::phonetag {

class Form1;

class PhonetagForm : public PathForm {
    Q_OBJECT
public:
    PhonetagForm(Form1 &main, const QString &name, const QString &caption);
    ~PhonetagForm() override;

    QLabel *Label1, *Label2, *Label3;
    QLineEdit *Text1, *Text2;
    QPushButton *Command1, *Command2, *Command3;
    QProgressBar *ProgressBar1;

protected:
    // Adds Command3 after the operation buttons; `locked` are further buttons disabled while an
    // operation runs.
    void finishLayout(std::initializer_list<QPushButton *> operations,
                      std::initializer_list<QPushButton *> locked = {});
    // Runs one operation with the path controls disabled and Label3 showing `busyText`; after
    // it, also after a failure, the controls are usable again and Label3 shows `idleText`.
    void runTask(const QString &busyText, const QString &idleText,
                 const std::function<OperationReport(int start)> &work,
                 const std::function<void()> &after = {});
    // The report of a missing input: the message, then the input box emptied.
    OperationReport missingInput(const char *message);

    void operationFinished() override;

    Form1 &m_main;

private:
    std::vector<QWidget *> m_locked;
};

} // namespace lex::phonetag
