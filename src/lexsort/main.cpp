// lexsort: sort a lexicon by length, by another lexicon, by stroke or by pinyin.
#include "lexsort/forms/form_main.h"

#include "shared/toolshell/startup.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    lex::initApplication(app, lex::lexsort::kApplication);
    auto guard = lex::startupGuard(lex::lexsort::kApplication, lex::GuardStyle::Warning);
    if (!guard)
        return 0;
    lex::lexsort::FormMain form;
    form.show();
    return app.exec();
}
