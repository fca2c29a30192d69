// phonetag: automatic annotation, correction, extraction and optimisation of pinyin.
#include "phonetag/forms/form1.h"

#include "shared/toolshell/startup.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    lex::initApplication(app, lex::phonetag::kApplication);
    auto guard = lex::startupGuard(lex::phonetag::kApplication, lex::GuardStyle::Exclamation);
    if (!guard)
        return 0;
    auto dictionary = lex::phonetag::Form1::loadDictionary();
    if (!dictionary)
        return 1;
    lex::phonetag::Form1 form(std::move(*dictionary));
    form.Form_Load();
    form.show();
    return app.exec();
}
