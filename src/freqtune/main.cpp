// freqtune: the word-frequency window.
#include "freqtune/forms/form1.h"

#include "shared/toolshell/startup.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    lex::initApplication(app, QStringLiteral("freqtune"));
    auto guard = lex::startupGuard(QStringLiteral("freqtune"), lex::GuardStyle::Warning,
                                   QStringLiteral("freqtune"));
    if (!guard)
        return 0;
    lex::freqtune::Form1 form;
    if (!form.loaded())
        return 1; // without its database the tool cannot go on; the message was shown
    form.show();
    return app.exec();
}
