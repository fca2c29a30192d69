#pragma once
// The Dialogs double for form tests: records every message box, answers every file dialog
// from a queue of paths (an empty answer is a cancelled dialog), and can run a callback when a
// message box appears (for example to press a stop button while an operation runs).

#include "shared/toolshell/dialogs.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace lex::test {

struct RecordedMessage {
    QString text;
    QString title;
    MessageIcon icon;
    QMessageBox::StandardButtons buttons;
};

struct RecordedFileDialog {
    QString title;
    bool isSave;
    QString filter;
    QString defaultSuffix;
    QString initialDir;
};

class ScriptedDialogs : public Dialogs {
public:
    ScriptedDialogs() { Dialogs::install(this); }
    ~ScriptedDialogs() override { Dialogs::install(nullptr); }

    QMessageBox::StandardButton message(QWidget *owner, const QString &text, const QString &title,
                                        MessageIcon icon,
                                        QMessageBox::StandardButtons buttons) override;
    QString file(QWidget *owner, const QString &title, bool isSave, const QString &filter,
                 const QString &defaultSuffix, const QString &initialDir) override;

    QList<RecordedMessage> messages;
    QList<RecordedFileDialog> fileDialogs;
    QStringList fileAnswers;                              // taken from the front
    QMessageBox::StandardButton answer = QMessageBox::Ok; // every message box's answer
    std::function<void(const RecordedMessage &)> onMessage;

    // The text of the last message box, or "" when none was shown.
    QString lastText() const { return messages.isEmpty() ? QString() : messages.last().text; }
};

} // namespace lex::test
