// lexconv: converts lexicons between the suite's formats and those of other input methods.
#include "lexconv/forms/form1.h"

#include "shared/toolshell/startup.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    lex::initApplication(app, lex::lexconv::kApplication);
    auto guard = lex::startupGuard(lex::lexconv::kApplication, lex::GuardStyle::Warning);
    if (!guard)
        return 0;
    lex::lexconv::Form1 form;
    form.show();
    return app.exec();
}
