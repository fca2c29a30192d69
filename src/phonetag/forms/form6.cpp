#include "phonetag/forms/form6.h"

#include "phonetag/annotation.h"
#include "phonetag/correction.h"
#include "phonetag/forms/form1.h"

#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace lex::phonetag {

using namespace pinyin;
namespace {

std::function<bool(const std::filesystem::path &)> g_viewer;

} // namespace

void Form6::setLogViewer(std::function<bool(const std::filesystem::path &)> viewer) {
    g_viewer = std::move(viewer);
}

Form6::Form6(Form1 &main)
    : PhonetagForm(main, QStringLiteral("Form6"), QStringLiteral("注音修正")) {
    Command5 = addButton("Command5", QStringLiteral("开始修正注音"));
    Command6 = addButton("Command6", QStringLiteral("提取注音词条"));
    Command4 = addButton("Command4", QStringLiteral("查看修正记录"));
    finishLayout({Command5, Command6}, {Command4});
    connect(Command5, &QPushButton::clicked, this, &Form6::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form6::Command6_Click);
    connect(Command4, &QPushButton::clicked, this, &Form6::Command4_Click);
}

void Form6::Form_Load() {
    Text1->clear();
    Text2->clear();
    Label3->setText(QStringLiteral("欢迎使用！"));
}

void Form6::Command5_Click() {
    runTask(QStringLiteral("正在修正注音，请稍候……"), QStringLiteral("欢迎使用！"),
            [this](int start) {
                const ToolFolder folder = toolFolder();
                auto r = correctAnnotation(m_main.entrySet(), folder.shipped(kListFile),
                                           toPath(Text1->text()), toPath(Text2->text()),
                                           folder.writable(kLogFile), pump());
                if (!r.listFound)
                    return OperationReport::message(kListMissing, {}, MessageIcon::Warning);
                if (!r.inputFound)
                    return missingInput(kOpenFailed);
                return OperationReport::message(correctReport(r.lines, start),
                                                QString::fromUtf8(kCorrectTitle));
            });
}

void Form6::Command6_Click() {
    runTask(QStringLiteral("正在提取注音词条，请稍候……"), QStringLiteral("欢迎使用！"),
            [this](int start) {
                auto r = extractAnnotated(toPath(Text1->text()), toPath(Text2->text()), pump());
                if (!r.inputFound)
                    return missingInput(kOpenFailed);
                return OperationReport::completion(extractReport(r.kept, start));
            });
}

void Form6::Command4_Click() {
    std::filesystem::path log;
    try {
        log = toolFolder().writable(kLogFile);
    } catch (const std::exception &e) {
        showMessage(this, qs(failureText(e)), QString(), MessageIcon::Warning);
        return;
    }
    if (!fileExists(log)) {
        showMessage(this, QStringLiteral("还没有修正记录：") + fromPath(log));
        return;
    }
    const bool opened = g_viewer ? g_viewer(log) : openWithViewer(log);
    if (!opened)
        showMessage(this, QStringLiteral("无法打开修正记录：") + fromPath(log), QString(),
                    MessageIcon::Warning);
}

} // namespace lex::phonetag
