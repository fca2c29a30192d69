#include "shared/toolshell/program.h"

#include "shared/toolshell/settings.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace lex {
namespace {

QString g_toolDir;
std::function<void(QDialog &)> g_modalRunner;

} // namespace

QString toolDir() {
    if (!g_toolDir.isEmpty())
        return g_toolDir;
    return QCoreApplication::applicationDirPath();
}

void setToolDir(const QString &dir) {
    g_toolDir = dir;
}

std::filesystem::path toolFile(const QString &name) {
    return toPath(toolDir() + "/" + name);
}

ToolFolder toolFolder() {
    return ToolFolder(toPath(toolDir()), QCoreApplication::applicationName().toStdString());
}

std::filesystem::path toPath(const QString &path) {
    return std::filesystem::path(path.toStdString());
}

QString fromPath(const std::filesystem::path &path) {
    return QString::fromStdString(path.string());
}

void runModal(QDialog &form) {
    if (g_modalRunner)
        g_modalRunner(form);
    else
        form.exec();
}

void setModalRunner(std::function<void(QDialog &)> runner) {
    g_modalRunner = std::move(runner);
}

bool openWithViewer(const std::filesystem::path &path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(fromPath(path)));
}

bool callerRestart() {
    QString path =
        getSetting(QStringLiteral("QLCK_Tools"), QStringLiteral("Exe"), QStringLiteral("Path"));
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    return QProcess::startDetached(path, {});
}

} // namespace lex
