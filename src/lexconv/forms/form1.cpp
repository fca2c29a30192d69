#include "lexconv/forms/form1.h"

#include "shared/formats/format_detection.h"
#include "shared/formats/format_reader.h"
#include "shared/formats/format_writer.h"
#include "shared/lexcore/report.h"
#include "shared/toolshell/program.h"
#include "shared/toolshell/readme_viewer.h"
#include "shared/toolshell/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace lex::lexconv {

using namespace formats;

Form1::Form1(QWidget *parent) : PathForm(parent, QStringLiteral("Quillo词库转换 Ver1.00")) {
    setMainForm(true);
    offerEveryFormat();
    auto in = addPathRow("Label1", QStringLiteral("源词库："), "Text1", "Command1",
                         QStringLiteral("打开源词库"), PathDialog::Open);
    auto out = addPathRow("Label2", QStringLiteral("目标词库："), "Text2", "Command2",
                          QStringLiteral("目标词库保存为"), PathDialog::Save);
    Text1 = in.box;
    Text2 = out.box;
    Command1 = in.browse;
    Command2 = out.browse;

    Label3 = named(new QLabel(QStringLiteral("源格式："), this), "Label3");
    Label4 = named(new QLabel(QStringLiteral("目标格式："), this), "Label4");
    Combo1 = named(new QComboBox(this), "Combo1");
    Combo2 = named(new QComboBox(this), "Combo2");
    Combo1->addItem(QStringLiteral("自动识别"), QString());
    for (const FormatInfo &f : allFormats()) {
        Combo1->addItem(QString::fromUtf8(f.caption), QString::fromUtf8(f.name));
        if (f.writable)
            Combo2->addItem(QString::fromUtf8(f.caption), QString::fromUtf8(f.name));
    }
    const int row = m_grid->rowCount();
    m_grid->addWidget(Label3, row, 0);
    m_grid->addWidget(Combo1, row, 1);
    m_grid->addWidget(Label4, row + 1, 0);
    m_grid->addWidget(Combo2, row + 1, 1);
    Check1 = named(new QCheckBox(QStringLiteral("合并重复词条（保留较大的权重）"), this), "Check1");
    Check2 = named(new QCheckBox(QStringLiteral("标准词库保留权重（Tab 之后）"), this), "Check2");
    Check3 =
        named(new QCheckBox(QStringLiteral("转到 Rime 时也合并 import_tables 所列的词典"), this),
              "Check3");
    Check4 = named(new QCheckBox(QStringLiteral("无编码的多音词写出每个读音"), this), "Check4");
    m_grid->addWidget(Check1, row + 2, 1);
    m_grid->addWidget(Check2, row + 3, 1);
    m_grid->addWidget(Check3, row + 4, 1);
    m_grid->addWidget(Check4, row + 5, 1);

    addProgressRow("ProgressBar1", "Label5", QStringLiteral("正在转换，请稍候……"));
    Command3 = addButton("Command3", QStringLiteral("开始"));
    Command4 = addButton("Command4", QStringLiteral("说明"));
    Command5 = addButton("Command5", QStringLiteral("退出"));
    setStartButtons({Command3}, {Text1, Text2});
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, [this] { ReadmeViewer::showFor(this); });
    connect(Command5, &QPushButton::clicked, this, &QWidget::close);
    loadSettings();
}

std::optional<Format> Form1::sourceFormat() const {
    return formatByName(Combo1->currentData().toString().toStdString());
}

Format Form1::targetFormat() const {
    return formatByName(Combo2->currentData().toString().toStdString()).value_or(Format::Quillo);
}

void Form1::loadSettings() {
    const SettingsSection s(kApplication, QStringLiteral("Form1"));
    const int from = Combo1->findData(s.text(QStringLiteral("Combo1")));
    Combo1->setCurrentIndex(from >= 0 ? from : 0);
    const int to = Combo2->findData(s.text(QStringLiteral("Combo2"), QStringLiteral("rime")));
    Combo2->setCurrentIndex(to >= 0 ? to : 0);
    Check1->setChecked(s.check(QStringLiteral("Check1"), true));
    Check2->setChecked(s.check(QStringLiteral("Check2"), false));
    Check3->setChecked(s.check(QStringLiteral("Check3"), false));
    Check4->setChecked(s.check(QStringLiteral("Check4"), false));
}

void Form1::saveSettings() const {
    const SettingsSection s(kApplication, QStringLiteral("Form1"));
    s.saveText(QStringLiteral("Combo1"), Combo1->currentData().toString());
    s.saveText(QStringLiteral("Combo2"), Combo2->currentData().toString());
    s.saveCheck(QStringLiteral("Check1"), Check1->isChecked());
    s.saveCheck(QStringLiteral("Check2"), Check2->isChecked());
    s.saveCheck(QStringLiteral("Check3"), Check3->isChecked());
    s.saveCheck(QStringLiteral("Check4"), Check4->isChecked());
}

bool Form1::Form_Unload() {
    if (!PathForm::Form_Unload())
        return false;
    saveSettings();
    return true;
}

void Form1::Command3_Click() {
    runPathOperation([this](int start) {
        ConvertOptions options;
        options.from = sourceFormat();
        options.to = targetFormat();
        options.dedup = Check1->isChecked();
        options.quilloWeights = Check2->isChecked();
        options.followImports = Check3->isChecked();
        options.allReadings = Check4->isChecked();
        const ToolFolder folder = toolFolder();
        Annotator annotator(folder.programDir(), pump());
        const ConvertResult r = convertLexicon(toPath(Text1->text()), toPath(Text2->text()),
                                               options, annotator, pump());
        if (!r.inputFound)
            return OperationReport::message(kOpenFailed, {}, MessageIcon::None,
                                            [this] { Text1->clear(); });
        return OperationReport::completion(convertReport(r, elapsedText(start)));
    });
}

} // namespace lex::lexconv
