#pragma once
// Form1, the lexconv main window, caption "Quillo词库转换 Ver1.00".
//   Label1 "源词库："    Text1 input    Command1 "…" (open, "打开源词库")
//   Label2 "目标词库："  Text2 output   Command2 "…" (save, "目标词库保存为")
//   Label3 "源格式："    Combo1 "自动识别" and every format
//   Label4 "目标格式："  Combo2 every format that can be written
//   Check1 "合并重复词条（保留较大的权重）"   Check2 "标准词库保留权重（Tab 之后）"
//   Check3 "转到 Rime 时也合并 import_tables 所列的词典"   Check4 "无编码的多音词写出每个读音"
//   Command3 "开始"  Command4 "说明"  Command5 "退出"
// The formats and the check boxes are kept in the settings (section "Form1").

#include "shared/formats/conversion.h"

#include "shared/toolshell/path_form.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lex::lexconv {

inline const QString kApplication = QStringLiteral("lexconv");

class Form1 : public PathForm {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);

    QLineEdit *Text1;
    QLineEdit *Text2;
    QPushButton *Command1;
    QPushButton *Command2;
    QLabel *Label3;
    QLabel *Label4;
    QComboBox *Combo1;
    QComboBox *Combo2;
    QCheckBox *Check1;
    QCheckBox *Check2;
    QCheckBox *Check3;
    QCheckBox *Check4;
    QPushButton *Command3;
    QPushButton *Command4;
    QPushButton *Command5;

    bool Form_Unload() override;
    void Command3_Click();

    // The formats chosen (nullopt: told from the file).
    std::optional<formats::Format> sourceFormat() const;
    formats::Format targetFormat() const;

private:
    void loadSettings();
    void saveSettings() const;
};

} // namespace lex::lexconv
