// lexupdate: the lexicon update window.
#include "lexupdate/forms/form1.h"

#include "shared/toolshell/startup.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    lex::initApplication(app, QStringLiteral("lexupdate"));
    auto guard = lex::startupGuard(QStringLiteral("lexupdate"), lex::GuardStyle::Warning);
    if (!guard)
        return 0;
    lex::lexupdate::Form1 form;
    form.show();
    return app.exec();
}
