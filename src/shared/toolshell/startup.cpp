#include "shared/toolshell/startup.h"

#include "shared/toolshell/dialogs.h"

#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace lex {

bool installChineseTranslations() {
    static QTranslator *installed = nullptr;
    if (installed)
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

namespace {

// An exception that escapes an event handler (out of memory while a form loads, say) ends the
// program: with a Chinese message and status 1 instead of "std::bad_alloc" and an abort, and
// without leaving a temporary file beside an output.
[[noreturn]] void onUncaughtException() {
    removeTemporaryFiles();
    std::string text = "程序出错，已经退出。";
    if (std::exception_ptr e = std::current_exception()) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception &x) {
            text = failureText(x);
        } catch (...) {
        }
    }
    std::fprintf(stderr, "%s\n", text.c_str());
    std::_Exit(1);
}

} // namespace

void initApplication(QApplication &app, const QString &application) {
    app.setApplicationName(application);
    installChineseTranslations();
    installTemporaryFileCleanup();
    std::set_terminate(onUncaughtException);
}

std::unique_ptr<QLockFile> startupGuard(const QString &application, GuardStyle style,
                                        const QString &title) {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    auto lock = std::make_unique<QLockFile>(dir + "/quillo-" + application + ".lock");
    lock->setStaleLockTime(0); // a lock whose process is gone is stale at once
    if (lock->tryLock(0))
        return lock;
    if (style == GuardStyle::Exclamation)
        showMessage(nullptr, QStringLiteral("本程序已经运行，不能再次装载！"), title);
    else
        showMessage(nullptr, QStringLiteral("本程序已经运行，不能再次装载。"), title,
                    MessageIcon::Warning);
    return nullptr;
}

} // namespace lex
