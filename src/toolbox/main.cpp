// The launcher: one window that starts the suite's tools from below its own folder.
#include "toolbox/tool_table.h"
#include "toolbox/toolbox_dialog.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    // The window's class (WM_CLASS) whatever name started it: its desktop entry says "toolbox".
    QApplication::setApplicationName(QStringLiteral("toolbox"));
    toolbox::ToolboxDialog window(toolbox::launcherFolder(QCoreApplication::applicationDirPath()));
    window.show();
    return app.exec();
}
