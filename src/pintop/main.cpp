// pintop: fixed-top lexicon generation and duplicate-code removal.
#include "pintop/forms/frm_main.h"

#include "shared/toolshell/startup.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    lex::initApplication(app, lex::pintop::kApplication);
    auto guard = lex::startupGuard(lex::pintop::kApplication, lex::GuardStyle::Exclamation);
    if (!guard)
        return 0;
    // The whole argument text, as the platform's command line holds it, may name the separator.
    QStringList args = QApplication::arguments();
    args.removeFirst();
    lex::pintop::FrmMain form(args.join(QLatin1Char(' ')));
    form.Form_Load();
    form.show();
    return app.exec();
}
