// lexcheck: finds what is wrong in a lexicon and lists it line by line.
#include "lexcheck/forms/form1.h"

#include "shared/toolshell/startup.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    lex::initApplication(app, lex::lexcheck::kApplication);
    auto guard = lex::startupGuard(lex::lexcheck::kApplication, lex::GuardStyle::Warning);
    if (!guard)
        return 0;
    lex::lexcheck::Form1 form;
    form.show();
    return app.exec();
}
