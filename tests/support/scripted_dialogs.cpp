#include "scripted_dialogs.h"

namespace lex::test {

QMessageBox::StandardButton ScriptedDialogs::message(QWidget *, const QString &text,
                                                     const QString &title, MessageIcon icon,
                                                     QMessageBox::StandardButtons buttons) {
    messages.append({text, title, icon, buttons});
    if (onMessage)
        onMessage(messages.last());
    return answer;
}

QString ScriptedDialogs::file(QWidget *, const QString &title, bool isSave, const QString &filter,
                              const QString &defaultSuffix, const QString &initialDir) {
    fileDialogs.append({title, isSave, filter, defaultSuffix, initialDir});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

} // namespace lex::test
