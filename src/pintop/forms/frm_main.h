#pragma once
// FrmMain, the menu form of pintop (caption "Quillo词库固顶 Ver1.06"). It owns what lives for
// the whole run: the nine settings, the syllable separator and the character readings.
//   Command1  "标准词库 >> 固顶词库"   Form1, modal
//   Command2  "去固顶词库的重复编码"   Form2, modal
//   Command3  "说    明"              the read-me viewer
//   Command4  "退    出"              closes: saves the settings, starts the caller program

#include "pintop/char_readings.h"
#include "pintop/fixed_top.h"

#include "shared/toolshell/tool_form.h"

class QPushButton;

namespace lex::pintop {

// The option values, as the settings store keeps them (section Form4 and Form5).
struct PintopOptions {
    bool check1 = false;  // long words are an exception
    bool check2 = false;  // replacement table in use
    bool option1 = true;  // initials
    bool option2 = false; // first six letters
    bool option3 = false; // left out
    QString text1;        // replacement-table path
    bool keep1 = true;    // Form5 Option1..3: lines kept per code
    bool keep2 = false;
    bool keep3 = false;

    LongWords longWords() const;
    int keepLimit() const; // 0 when no keep option is set

    void read();
    void save() const;
};

inline const QString kApplication = QStringLiteral("pintop");

class FrmMain : public ToolForm {
    Q_OBJECT
public:
    // `argumentText`: the program's arguments joined by spaces.
    explicit FrmMain(const QString &argumentText, QWidget *parent = nullptr);

    QPushButton *Command1;
    QPushButton *Command2;
    QPushButton *Command3;
    QPushButton *Command4;

    void Form_Load();
    bool Form_Unload() override;
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();

    PintopOptions &options() { return m_options; }
    // Copies the options into the values a running generation reads.
    void applyOptions();
    const GenerateOptions &generateOptions() const { return m_generate; }
    const PintopData &data() const { return m_data; }
    // Loads "dz.lxd" and the replacement table of the current options; on failure shows why
    // over `owner` and keeps what was loaded before.
    bool reloadData(QWidget *owner);

private:
    PintopOptions m_options;
    GenerateOptions m_generate;
    PintopData m_data;
};

} // namespace lex::pintop
