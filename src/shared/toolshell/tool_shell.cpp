#include "tool_shell.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
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

void setToolDir(const QString &dir) { g_toolDir = dir; }

std::filesystem::path toolFile(const QString &name) { return toPath(toolDir() + "/" + name); }

std::filesystem::path toPath(const QString &path) {
    return std::filesystem::path(path.toStdString());
}

QString fromPath(const std::filesystem::path &path) { return QString::fromStdString(path.string()); }

QString settingsFile(const QString &application) {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + "/.config";
    return base + "/quillo-lexicon-tools/" + application + ".ini";
}

QString getSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue) {
    QSettings s(settingsFile(application), QSettings::IniFormat);
    return s.value(section + "/" + key, defaultValue).toString();
}

void saveSetting(const QString &application, const QString &section, const QString &key,
                 const QString &value) {
    QSettings s(settingsFile(application), QSettings::IniFormat);
    s.setValue(section + "/" + key, value);
    s.sync();
}

std::unique_ptr<QLockFile> startupGuard(const QString &application, GuardStyle style,
                                        const QString &title) {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    auto lock = std::make_unique<QLockFile>(dir + "/quillo-" + application + ".lock");
    lock->setStaleLockTime(0); // a lock whose process is gone is stale at once
    if (lock->tryLock(0))
        return lock;
    if (style == GuardStyle::Exclamation)
        showMessage(nullptr, QStringLiteral("本程序已经运行，不能再次装载！"), title);
    else
        showMessage(nullptr, QStringLiteral("本程序已经运行，不能再次装载。"), title,
                    MessageIcon::Warning);
    return nullptr;
}

bool callerRestart() {
    QString path = getSetting(QStringLiteral("QLCK_Tools"), QStringLiteral("Exe"),
                              QStringLiteral("Path"));
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    return QProcess::startDetached(path, {});
}

bool openWithViewer(const std::filesystem::path &path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(fromPath(path)));
}

void runModal(QDialog &form) {
    if (g_modalRunner)
        g_modalRunner(form);
    else
        form.exec();
}

void setModalRunner(std::function<void(QDialog &)> runner) { g_modalRunner = std::move(runner); }

void showCompletion(QWidget *owner, const std::string &text, bool stopped) {
    showMessage(owner, qs(text), stopped ? QStringLiteral("中断！") : QStringLiteral("完成！"));
}

bool QtPump::poll() {
    // Events at most every ~15 ms: a yield point in a tight loop stays a countdown.
    qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - m_lastEvents >= 15) {
        m_lastEvents = now;
        if (onProgress)
            onProgress(progressDone(), progressTotal());
        QCoreApplication::processEvents();
    }
    return m_busy && m_busy->value() == BusyState::StopRequested;
}

ToolForm::ToolForm(QWidget *parent) : QDialog(parent) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void ToolForm::closeEvent(QCloseEvent *event) {
    if (Form_Unload())
        event->accept();
    else
        event->ignore();
}

void ToolForm::reject() {
    if (Form_Unload())
        QDialog::reject();
}

} // namespace lex
