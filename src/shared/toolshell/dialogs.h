#pragma once
// Every message box and file dialog of the suite goes through Dialogs, so that tests can
// install a scripted double that records messages and answers dialogs.

#include <QMessageBox>
#include <QString>

class QWidget;

namespace lex {

enum class MessageIcon { None, Information, Warning, Critical, Question };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    virtual QMessageBox::StandardButton message(QWidget *owner, const QString &text,
                                                const QString &title, MessageIcon icon,
                                                QMessageBox::StandardButtons buttons) = 0;
    // An open (isSave false) or save dialog; returns the chosen path or "" when cancelled.
    virtual QString file(QWidget *owner, const QString &title, bool isSave, const QString &filter,
                         const QString &defaultSuffix, const QString &initialDir) = 0;

    // The dialogs in use; the real ones unless a test installed others.
    static Dialogs &instance();
    // Installs `dialogs` (not owned); nullptr restores the real ones.
    static void install(Dialogs *dialogs);
};

// A message box with an OK button (the suite's usual box).
QMessageBox::StandardButton showMessage(QWidget *owner, const QString &text,
                                        const QString &title = QString(),
                                        MessageIcon icon = MessageIcon::None,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// The lexicon file dialog: filters "文本文件(*.txt)" then "所有文件 (*.*)", default extension
// "txt"; the save dialog asks before overwriting.
QString fileDialog(QWidget *owner, const QString &title, bool isSave,
                   const QString &initialDir = QString());
// The same with the filters of every lexicon format the suite reads ("*.dict.yaml" first among
// them), for the tools that read and write those formats.
QString anyLexiconDialog(QWidget *owner, const QString &title, bool isSave);

// The settings-file dialog: always an open dialog, filters "文件(*.ini)" then
// "所有文件 (*.*)", default extension "ini".
QString iniFileDialog(QWidget *owner, const QString &title, const QString &initialDir);

} // namespace lex
