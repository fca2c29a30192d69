// A windowed program in miniature for toolshell_exit_test: the start-up every tool makes, then
// one fault. "oom": out of memory escapes an event handler. "term PATH": a temporary file
// registered as the writer registers it, then SIGTERM.
#include "shared/lexcore/interrupt.h"
#include "shared/toolshell/startup.h"

#include <QApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <new>
#include <string>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    lex::initApplication(app, QStringLiteral("toolshell_child"));
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "oom") {
        QTimer::singleShot(0, [] { throw std::bad_alloc(); });
    } else if (mode == "term" && argc > 2) {
        std::FILE *f = std::fopen(argv[2], "w");
        std::fclose(f);
        lex::registerTemporaryFile(argv[2]);
        std::raise(SIGTERM);
        return 0; // not reached: the signal keeps its default action
    }
    QTimer::singleShot(0, &app, &QApplication::quit);
    return app.exec();
}
