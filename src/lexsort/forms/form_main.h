#pragma once
// FormMain, the menu form of lexsort (caption "Quillo词库排序 Ver1.06"). Each working form is
// made on first use and kept; the menu shows it modally.
//   Command2 "按词条长度排序"   Form1
//   Command3 "按其它词库排序"   Form2
//   Command4 "按汉字笔画排序"   Form4, intF 1
//   Command5 "按汉字拼音排序"   Form4, intF 2
//   Command1 "说明文档"         the read-me viewer
//   Command7 "退出程序"         closes the menu; starts the caller program

#include "shared/toolshell/tool_form.h"

#include <memory>

class QPushButton;

namespace lex::lexsort {

inline const QString kApplication = QStringLiteral("lexsort");

class Form1;
class Form2;
class Form4;

class FormMain : public ToolForm {
    Q_OBJECT
public:
    explicit FormMain(QWidget *parent = nullptr);
    ~FormMain() override;

    QPushButton *Command2;
    QPushButton *Command3;
    QPushButton *Command4;
    QPushButton *Command5;
    QPushButton *Command1;
    QPushButton *Command7;

    bool Form_Unload() override;
    void Command2_Click();
    void Command3_Click();
    void Command4_Click() { showForm4(1); }
    void Command5_Click() { showForm4(2); }
    void Command1_Click();
    void Command7_Click();

private:
    void showForm4(int16_t mode);
    std::unique_ptr<Form1> m_form1;
    std::unique_ptr<Form2> m_form2;
    std::unique_ptr<Form4> m_form4;
};

} // namespace lex::lexsort
