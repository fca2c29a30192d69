// lexmerge: the set-operations window.
#include "lexmerge/forms/form1.h"

#include "shared/toolshell/startup.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    lex::initApplication(app, QStringLiteral("lexmerge"));
    auto guard = lex::startupGuard(QStringLiteral("lexmerge"), lex::GuardStyle::Warning);
    if (!guard)
        return 0;
    lex::lexmerge::Form1 form;
    form.show();
    return app.exec();
}
