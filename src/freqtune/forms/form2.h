#pragma once
// form2, the option dialog, caption "选项设置".
//   Check1 "导出的词库只包括有词频的词条"
//   Check2 "导出的词库只包括长度从"  Text4 (L1)  Label5 "到"  Text5 (L2)  Label6 "的词"
//   Check3 "批量处理“未阅文章”文件夹"  (takes effect at once; "取消" does not undo it)
//   Command3 "确定" copies the boxes into the options   Command4 "取消"

#include "freqtune/frequency_database.h"

#include "shared/toolshell/tool_form.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lex::freqtune {

class Form2 : public ToolForm {
    Q_OBJECT
public:
    Form2(ExportOptions &options, bool &batchArticles, QWidget *parent = nullptr);

    QCheckBox *Check1;
    QCheckBox *Check2;
    QCheckBox *Check3;
    QLineEdit *Text4;
    QLineEdit *Text5;
    QLabel *Label5;
    QLabel *Label6;
    QPushButton *Command3;
    QPushButton *Command4;

    void Form_Load();
    void Check2_Click();
    void Check3_Click();
    void Command3_Click();
    void Command4_Click() { close(); }

private:
    ExportOptions &m_options;
    bool &m_batchArticles;
};

} // namespace lex::freqtune
