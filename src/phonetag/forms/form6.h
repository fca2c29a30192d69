#pragma once
// Form6 "注音修正": correction against "lw.txt" with the log "log.txt", viewing the log, and
// extracting the annotated lines.
//   Label1 "打开的词库："  Text1  Command1 "…"      Label2 "保存的词库："  Text2  Command2 "…"
//   Command5 "开始修正注音"   Command6 "提取注音词条"   Command4 "查看修正记录"
//   Command3 "退出"   Label3 status text

#include "phonetag/forms/phonetag_form.h"

#include <filesystem>
#include <functional>

namespace lex::phonetag {

class Form6 : public PhonetagForm {
    Q_OBJECT
public:
    explicit Form6(Form1 &main);

    QPushButton *Command5, *Command6, *Command4;

    void Form_Load();
    void Command5_Click();
    void Command6_Click();
    void Command4_Click();

    // Opens the log with the desktop's viewer; tests put their own opener here.
    static void setLogViewer(std::function<bool(const std::filesystem::path &)> viewer);
};

} // namespace lex::phonetag
