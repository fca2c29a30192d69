#pragma once
// Form2, the lexupdate option form, caption "选项".
//   Check1 "处理后自动删除废词文件"  (setting Form2/Check1, "0" or "1", stored on unload)
//   Command1 "确定"

#include "shared/toolshell/tool_form.h"

class QCheckBox;
class QPushButton;

namespace lex::lexupdate {

class Form2 : public ToolForm {
    Q_OBJECT
public:
    explicit Form2(QWidget *parent = nullptr);

    QCheckBox *Check1;
    QPushButton *Command1;

    bool Form_Unload() override;
};

// The stored option: delete the waste lexicon after a successful update.
bool deleteWasteOption();

} // namespace lex::lexupdate
