#pragma once
// Form1, the lexcheck main window, caption "Quillo词库检查 Ver1.00".
//   Label1 "词库："    Text1 input    Command1 "…" (open, "打开词库")
//   Label3 "格式："    Combo1 "自动识别" and every format
//   Label4 "字符集："  Combo2 "不检查", "GB2312", "GBK"
//   Check1 … Check14   one per check, in the order of allChecks(), captioned as it is
//   Grid1 the findings: 行, 词, 检查, 说明 (double-click shows the line)
//   Command3 "开始"  Command4 "导出"  Command5 "说明"  Command6 "退出"
// The format, the charset and the check boxes are kept in the settings (section "Form1").

#include "lexcheck/lexicon_check.h"

#include "shared/toolshell/path_form.h"

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace lex::lexcheck {

inline const QString kApplication = QStringLiteral("lexcheck");

class Form1 : public PathForm {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);

    QLineEdit *Text1;
    QPushButton *Command1;
    QLabel *Label3;
    QLabel *Label4;
    QComboBox *Combo1;
    QComboBox *Combo2;
    std::vector<QCheckBox *> Checks; // Check1 … Check14
    QTableWidget *Grid1;
    QPushButton *Command3;
    QPushButton *Command4;
    QPushButton *Command5;
    QPushButton *Command6;

    bool Form_Unload() override;
    void Command3_Click();
    void Command4_Click();
    void Grid1_DblClick(int row);

    CheckOptions options() const;
    const CheckResult &result() const { return m_result; }

private:
    void showFindings();
    void loadSettings();
    void saveSettings() const;

    CheckResult m_result;
    std::filesystem::path m_checked;
};

} // namespace lex::lexcheck
