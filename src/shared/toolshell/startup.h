#pragma once
// The start of every tool program: the application name, Qt's own texts in Chinese (standard
// buttons, file dialogs), and the single-instance guard.

#include <QLockFile>
#include <QString>

#include <memory>

class QApplication;

namespace lex {

// Names the application (its settings file and user data folder) and loads Qt's Chinese
// translations, so that standard buttons read 确定, 取消, 打开 whatever the locale.
void initApplication(QApplication &app, const QString &application);

// Loads Qt's Chinese translations into the running application (idempotent); false when they
// are not installed.
bool installChineseTranslations();

// Single-instance guard. Returns the held lock, or nullptr after showing the message when
// another instance of `application` runs.
enum class GuardStyle {
    Exclamation, // "本程序已经运行，不能再次装载！", no icon
    Warning,     // "本程序已经运行，不能再次装载。", warning icon
};
std::unique_ptr<QLockFile> startupGuard(const QString &application, GuardStyle style,
                                        const QString &title = QStringLiteral("提示"));

} // namespace lex
