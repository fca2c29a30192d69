#pragma once
// Form1, the bigseg main window, caption "bigseg Ver1.09". It owns what lives for the whole
// run: the word list, the options and the paths of the tool's files.
//   Label3 "文章："   Text2 article path   Command5 "…" (open, "打开文章")
//   Command1 "开始分词"   Command4 "开始统计"   Command6 "分词结果"   Command7 "统计结果"
//   Command8 "补充词条" (Form2)   Command9 "设置选项" (Form5)   Command3 "相关说明"
//   Command2 "退出程序"; "停止分词" / "停止统计" while a run goes (requests the stop)
//   Label2 "正在处理，请稍候……" and a progress bar, shown only while a run goes

#include "bigseg/segment_lexicon.h"
#include "bigseg/segmentation.h"

#include "shared/toolshell/tool_form.h"

#include <filesystem>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace lex::bigseg {

inline const QString kApplication = QStringLiteral("bigseg");

class Form1 : public ToolForm {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);

    QLabel *Label3;
    QLineEdit *Text2;
    QPushButton *Command5;
    QPushButton *Command1;
    QPushButton *Command4;
    QPushButton *Command6;
    QPushButton *Command7;
    QPushButton *Command8;
    QPushButton *Command9;
    QPushButton *Command3;
    QPushButton *Command2;
    QLabel *Label2;
    QProgressBar *Progress;

    // Builds the word list from "ciku.lxd" and "bc.ini". Without a word list the tool cannot
    // run: shows why and returns false (the program then ends).
    bool Form_Load();
    void Text2_Change();
    void Command5_Click();
    void Command1_Click();
    void Command4_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command3_Click();
    void Command2_Click();

    const SegmentLexicon &lexicon() const { return m_lexicon; }
    SegmentOptions &options() { return m_options; }
    const std::filesystem::path &segmentFile() const { return m_fc; }
    const std::filesystem::path &statsFile() const { return m_tj; }

protected:
    void operationFinished() override;

private:
    void setRunning(const QString &stopCaption);

    SegmentLexicon m_lexicon;
    SegmentOptions m_options;
    std::filesystem::path m_fc;
    std::filesystem::path m_tj;
    std::filesystem::path m_bc;
};

} // namespace lex::bigseg
