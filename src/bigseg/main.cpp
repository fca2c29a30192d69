// bigseg: word segmentation, word statistics and the supplement word list.
#include "bigseg/forms/form1.h"

#include "shared/toolshell/startup.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    lex::initApplication(app, lex::bigseg::kApplication);
    auto guard = lex::startupGuard(lex::bigseg::kApplication, lex::GuardStyle::Warning);
    if (!guard)
        return 0;
    lex::bigseg::Form1 form;
    if (!form.Form_Load())
        return 1;
    form.show();
    return app.exec();
}
