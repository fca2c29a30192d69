#pragma once
// The working-form pattern shared by Form1 and Form2: an input and an output path, "选项",
// "开始" (enabled exactly when both paths are filled) and "退出".
//   Label1 / Text1 / Command1 "…"   input path, open dialog
//   Label2 / Text5 / Command2 "…"   output path, save dialog
//   Command3 "选项"   Command4 "开始"   Command5 "退出"
//   ProgressBar1, Label3              shown while an operation runs

#include "lexcore/event_pump.h"

#include "toolshell/tool_shell.h"

#include <filesystem>
#include <string>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace lex::pintop {

class FrmMain;

// The window's pump that also moves the progress bar when it polls.
class ProgressPump : public QtPump {
public:
    explicit ProgressPump(const BusyState *busy) : QtPump(busy) {}
    void setBar(QProgressBar *bar) { m_bar = bar; }

protected:
    bool poll() override;

private:
    QProgressBar *m_bar = nullptr;
};

struct PathFormTexts {
    QString caption, inputLabel, inputTitle, outputLabel, outputTitle, working;
};

class PathForm : public ToolForm {
    Q_OBJECT
public:
    PathForm(FrmMain &main, const PathFormTexts &texts);

    QLabel *Label1;
    QLineEdit *Text1;
    QPushButton *Command1;
    QLabel *Label2;
    QLineEdit *Text5;
    QPushButton *Command2;
    QPushButton *Command3;
    QPushButton *Command4;
    QPushButton *Command5;
    QProgressBar *ProgressBar1;
    QLabel *Label3;

    void Command1_Click();
    void Command2_Click();
    virtual void Command3_Click() = 0;
    void Command4_Click();
    void Command5_Click() { close(); }

protected:
    struct Outcome {
        bool inputFound = false;
        std::string report;
    };
    // The operation behind "开始"; throws LexError on a platform failure.
    virtual Outcome run(const std::filesystem::path &input, const std::filesystem::path &output,
                        EventPump &pump, int startSecondsOfDay) = 0;

    FrmMain &m_main;

private:
    void Text_Change();

    PathFormTexts m_texts;
    ProgressPump m_progress;
};

} // namespace lex::pintop
