#include "shared/toolshell/dialogs.h"

#include <QFileDialog>
#include <QFileInfo>

namespace lex {
namespace {

// The real dialogs: QMessageBox and QFileDialog.
class SystemDialogs : public Dialogs {
public:
    QMessageBox::StandardButton message(QWidget *owner, const QString &text, const QString &title,
                                        MessageIcon icon,
                                        QMessageBox::StandardButtons buttons) override {
        QMessageBox box(owner);
        box.setWindowTitle(title);
        box.setText(text);
        box.setStandardButtons(buttons);
        switch (icon) {
        case MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        }
        return QMessageBox::StandardButton(box.exec());
    }

    QString file(QWidget *owner, const QString &title, bool isSave, const QString &filter,
                 const QString &defaultSuffix, const QString &initialDir) override {
        QFileDialog dlg(owner, title, initialDir, filter);
        dlg.setAcceptMode(isSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dlg.setFileMode(isSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dlg.setDefaultSuffix(defaultSuffix);
        dlg.setOption(QFileDialog::ReadOnly, false);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return QString();
        return dlg.selectedFiles().first();
    }
};

SystemDialogs g_system;
Dialogs *g_current = &g_system;

} // namespace

Dialogs &Dialogs::instance() {
    return *g_current;
}

void Dialogs::install(Dialogs *dialogs) {
    g_current = dialogs ? dialogs : &g_system;
}

QMessageBox::StandardButton showMessage(QWidget *owner, const QString &text, const QString &title,
                                        MessageIcon icon, QMessageBox::StandardButtons buttons) {
    return Dialogs::instance().message(owner, text, title, icon, buttons);
}

QString fileDialog(QWidget *owner, const QString &title, bool isSave, const QString &initialDir) {
    return Dialogs::instance().file(owner, title, isSave,
                                    QStringLiteral("文本文件(*.txt);;所有文件 (*.*)"),
                                    QStringLiteral("txt"), initialDir);
}

QString anyLexiconDialog(QWidget *owner, const QString &title, bool isSave) {
    return Dialogs::instance().file(
        owner, title, isSave,
        QStringLiteral("词库文件(*.txt *.dict.yaml *.userdb.txt);;Rime 词典(*.dict.yaml);;"
                       "文本文件(*.txt);;所有文件 (*)"),
        QStringLiteral("txt"), QString());
}

QString iniFileDialog(QWidget *owner, const QString &title, const QString &initialDir) {
    return Dialogs::instance().file(owner, title, false,
                                    QStringLiteral("文件(*.ini);;所有文件 (*.*)"),
                                    QStringLiteral("ini"), initialDir);
}

} // namespace lex
