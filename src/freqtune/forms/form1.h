#pragma once
// Form1, the freqtune main window, caption "Quillo词库调频 Ver1.07".
//   Command3 "导入词库"   Command4 "导出词库"   Command5 "词频统计"
//   Command8 "统计中断 "  stop request, enabled only while the statistics run
//   Command2 "选项设置"   the option dialog form2     Command1 "说明文档"   read.me
//   Command7 "退出程序"   Label1 "正在处理，请稍候……" and a progress bar, shown while an
//   operation runs
// Settings (application freqtune, section "option"): Check1, Check2, L1, L2 as decimal text,
// read at start-up and written at exit. BatchArticles starts at 0 on every start.

#include "freqtune/article_stats.h"
#include "freqtune/frequency_database.h"

#include "shared/toolshell/tool_form.h"

#include <initializer_list>

class QLabel;
class QProgressBar;
class QPushButton;

namespace lex::freqtune {

class Form1 : public ToolForm {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    QPushButton *Command1;
    QPushButton *Command2;
    QPushButton *Command3;
    QPushButton *Command4;
    QPushButton *Command5;
    QPushButton *Command7;
    QPushButton *Command8;
    QLabel *Label1;
    QProgressBar *Progress;

    // False when start-up failed (its message was shown): the program ends.
    bool loaded() const { return m_loaded; }
    ExportOptions &exportOptions() { return m_options; }
    bool batchArticles() const { return m_batchArticles; }
    const ToolFiles &files() const { return m_files; }
    FrequencyDatabase &database() { return m_db; }

    bool Form_Load();
    bool Form_Unload() override;
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command7_Click() { close(); }
    void Command8_Click();

private:
    // Disables `off` and shows Label1 for a running operation; idle() undoes it.
    void setRunning(std::initializer_list<QPushButton *> off);
    void setIdleButtons();
    FrequencyDatabase &openDatabase();
    void ShowFrequencies();

    ToolFiles m_files;
    FrequencyDatabase m_db;
    ExportOptions m_options;
    bool m_batchArticles = false;
    bool m_loaded = false;
    bool m_statsRunning = false;
    bool m_closeAfterRun = false;
};

} // namespace lex::freqtune
