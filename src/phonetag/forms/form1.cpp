#include "phonetag/forms/form1.h"

#include "phonetag/annotation.h"
#include "phonetag/correction.h"
#include "phonetag/forms/form5.h"
#include "phonetag/forms/form6.h"
#include "phonetag/forms/form7.h"

#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/lex_error.h"
#include "shared/pinyin/annotation_data.h"
#include "shared/toolshell/program.h"
#include "shared/toolshell/readme_viewer.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace lex::phonetag {

using namespace pinyin;
namespace {

QPushButton *button(QWidget *owner, const char *name, const QString &caption) {
    auto *b = named(new QPushButton(caption, owner), name);
    b->setMinimumWidth(200);
    b->setAutoDefault(false);
    return b;
}

} // namespace

Form1::Form1(CharDictionary dictionary, QWidget *parent)
    : ToolForm(parent), m_dictionary(std::move(dictionary)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quillo词库注音 Ver1.21"));
    setMainForm(true);
    Label1 = named(new QLabel(QStringLiteral("欢迎使用！"), this), "Label1");
    Label1->setAlignment(Qt::AlignCenter);
    Command2 = button(this, "Command2", QStringLiteral("智能注音"));
    Command3 = button(this, "Command3", QStringLiteral("注音优化"));
    Command4 = button(this, "Command4", QStringLiteral("注音修正"));
    Command1 = button(this, "Command1", QStringLiteral("说明文档"));
    Command7 = button(this, "Command7", QStringLiteral("退出程序"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    for (auto *b : {Command2, Command3, Command4, Command1, Command7})
        layout->addWidget(b);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
}

Form1::~Form1() = default;

std::unique_ptr<CharDictionary> Form1::loadDictionary() {
    try {
        NullPump pump;
        AnnotationData data = loadAnnotationData(AnnotationFiles::in(toolFolder().programDir()),
                                                 {.dictionary = Need::Yes}, pump);
        if (!data.missing)
            return std::make_unique<CharDictionary>(std::move(*data.dictionary));
        showMessage(nullptr, QString::fromUtf8(kDictionaryMissing), QStringLiteral("提示"),
                    MessageIcon::Warning);
    } catch (const std::exception &e) {
        showMessage(nullptr, qs(failureText(e)), QStringLiteral("提示"), MessageIcon::Warning);
    }
    return nullptr;
}

void Form1::Form_Load() {
    m_busy = BusyState::Idle;
}

bool Form1::Form_Unload() {
    if (!ToolForm::Form_Unload())
        return false;
    callerRestart();
    return true;
}

void Form1::Command1_Click() {
    ReadmeViewer::showFor(this);
}

void Form1::Command2_Click() {
    Form7 form(*this);
    // Without its word table the form cannot work: it is not shown.
    runSubForm(form, [&] { return form.Form_Load(); });
}

void Form1::Command3_Click() {
    Form5 form(*this);
    runSubForm(form, [&] {
        form.Form_Load();
        return true;
    });
}

void Form1::Command4_Click() {
    Form6 form(*this);
    form.Form_Load();
    runSubForm(form);
}

void Form1::Command7_Click() {
    close();
}

} // namespace lex::phonetag
