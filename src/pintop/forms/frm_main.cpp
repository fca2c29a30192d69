#include "pintop/forms/frm_main.h"

#include "pintop/forms/form1.h"
#include "pintop/forms/form2.h"

#include "shared/lexcore/lex_error.h"

#include "shared/toolshell/program.h"
#include "shared/toolshell/readme_viewer.h"
#include "shared/toolshell/settings.h"

#include <QPushButton>
#include <QVBoxLayout>

#include <new>

namespace lex::pintop {
namespace {

const SettingsSection form4() {
    return {kApplication, QStringLiteral("Form4")};
}
const SettingsSection form5() {
    return {kApplication, QStringLiteral("Form5")};
}

QPushButton *button(QWidget *owner, const char *name, const QString &caption) {
    auto *b = named(new QPushButton(caption, owner), name);
    b->setMinimumWidth(220);
    return b;
}

} // namespace

LongWords PintopOptions::longWords() const {
    if (!check1)
        return LongWords::Keep;
    if (option1)
        return LongWords::Initials;
    if (option2)
        return LongWords::First6;
    return LongWords::Omit;
}

int PintopOptions::keepLimit() const {
    return keep1 ? 1 : keep2 ? 2 : keep3 ? 3 : 0;
}

void PintopOptions::read() {
    const SettingsSection f4 = form4(), f5 = form5();
    check1 = f4.check("Check1", false);
    check2 = f4.check("Check2", false);
    option1 = f4.option("Option1", true);
    option2 = f4.option("Option2", false);
    option3 = f4.option("Option3", false);
    text1 = f4.text("Text1");
    keep1 = f5.option("Option1", true);
    keep2 = f5.option("Option2", false);
    keep3 = f5.option("Option3", false);
}

void PintopOptions::save() const {
    const SettingsSection f4 = form4(), f5 = form5();
    f4.saveCheck("Check1", check1);
    f4.saveCheck("Check2", check2);
    f4.saveOption("Option1", option1);
    f4.saveOption("Option2", option2);
    f4.saveOption("Option3", option3);
    f4.saveText("Text1", text1);
    f5.saveOption("Option1", keep1);
    f5.saveOption("Option2", keep2);
    f5.saveOption("Option3", keep3);
}
FrmMain::FrmMain(const QString &argumentText, QWidget *parent) : ToolForm(parent) {
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Quillo词库固顶 Ver1.06"));
    setMainForm(true);
    Command1 = button(this, "Command1", QStringLiteral("标准词库 >> 固顶词库"));
    Command2 = button(this, "Command2", QStringLiteral("去固顶词库的重复编码"));
    Command3 = button(this, "Command3", QStringLiteral("说    明"));
    Command4 = button(this, "Command4", QStringLiteral("退    出"));
    auto *layout = new QVBoxLayout(this);
    for (auto *b : {Command1, Command2, Command3, Command4})
        layout->addWidget(b);
    connect(Command1, &QPushButton::clicked, this, &FrmMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmMain::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FrmMain::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &FrmMain::Command4_Click);
    m_generate.separator = separatorFromArguments(argumentText.toStdU16String());
}

void FrmMain::Form_Load() {
    m_options.read();
    applyOptions();
}

bool FrmMain::Form_Unload() {
    if (!ToolForm::Form_Unload())
        return false;
    m_options.save();
    callerRestart();
    return true;
}

void FrmMain::applyOptions() {
    m_generate.longWords = m_options.longWords();
}

bool FrmMain::reloadData(QWidget *owner) {
    const auto readings = toolFile(QString::fromLatin1(kReadingsFile));
    const auto table = toPath(m_options.text1);
    std::unique_ptr<PintopData> loaded;
    try {
        loaded = loadPintopData(readings, table);
    } catch (const std::bad_alloc &e) {
        showMessage(owner, qs(failureText(e)), QStringLiteral("提示"), MessageIcon::Warning);
        return false;
    } catch (const LexError &e) {
        showMessage(owner, qs(e.message()), QStringLiteral("提示"), MessageIcon::Warning);
        // An unreadable table must not lock the user out of the form where it is changed:
        // go on with plain pinyin.
        if (table.empty() || e.path() != table)
            return false;
        try {
            loaded = loadPintopData(readings, {});
        } catch (const LexError &again) {
            showMessage(owner, qs(again.message()), QStringLiteral("提示"), MessageIcon::Warning);
            return false;
        }
    }
    m_data = std::move(*loaded);
    return true;
}

void FrmMain::Command1_Click() {
    Form1 form(*this);
    // Without its readings the form could not work: it is not shown at all.
    if (form.Form_Load())
        runSubForm(form);
}

void FrmMain::Command2_Click() {
    Form2 form(*this);
    runSubForm(form);
}

void FrmMain::Command3_Click() {
    ReadmeViewer::showFor(this);
}

void FrmMain::Command4_Click() {
    close();
}

} // namespace lex::pintop
