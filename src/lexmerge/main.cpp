// lexmerge: the set-operations window.
#include "forms/form1.h"

#include "toolshell/tool_shell.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    auto guard = lex::startupGuard(QStringLiteral("lexmerge"), lex::GuardStyle::Warning);
    if (!guard)
        return 0;
    lex::merge::Form1 form;
    form.show();
    return app.exec();
}
