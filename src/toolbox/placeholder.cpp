// Stands in for a tool whose own program is not part of this build yet, so that its launcher
// button says so instead of failing. The tool's name is the program's own file name.
#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QString tool = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QMessageBox box(QMessageBox::Information, QStringLiteral("尚未构建"),
                    QStringLiteral("“%1”尚未构建：这个工具还不在本次构建之中。").arg(tool),
                    QMessageBox::Ok);
    box.exec();
    return 0;
}
