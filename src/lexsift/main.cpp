// lexsift: filter a lexicon by an article or by conditions.
#include "lexsift/forms/form_main.h"

#include "shared/toolshell/startup.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    lex::initApplication(app, lex::lexsift::kApplication);
    auto guard = lex::startupGuard(lex::lexsift::kApplication, lex::GuardStyle::Warning);
    if (!guard)
        return 0;
    lex::lexsift::FormMain form;
    form.show();
    return app.exec();
}
