#pragma once
// The frame every tool window is built on: start-up guard, settings, busy state, completion
// report, caller restart, opening files, modal forms.

#include "dialogs.h"

#include "lexcore/event_pump.h"

#include <QDialog>
#include <QLockFile>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class QCloseEvent;
class QKeyEvent;
class QSettings;

namespace lex {

// The program's own folder, where its data files and read.me live. Tests may point it
// elsewhere.
QString toolDir();
void setToolDir(const QString &dir);
std::filesystem::path toolFile(const QString &name);

std::filesystem::path toPath(const QString &path);
QString fromPath(const std::filesystem::path &path);
inline QString qs(const std::string &utf8) { return QString::fromStdString(utf8); }

// Settings: one INI file per application, $XDG_CONFIG_HOME/quillo-lexicon-tools/<app>.ini.
QString settingsFile(const QString &application);
QString getSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue = QString());
void saveSetting(const QString &application, const QString &section, const QString &key,
                 const QString &value);

// Single-instance guard. Returns the held lock, or nullptr after showing the message when
// another instance of `application` runs.
enum class GuardStyle {
    Exclamation, // "本程序已经运行，不能再次装载！", no icon
    Warning,     // "本程序已经运行，不能再次装载。", warning icon
};
std::unique_ptr<QLockFile> startupGuard(const QString &application, GuardStyle style,
                                        const QString &title = QStringLiteral("提示"));

// Starts the program stored under QLCK_Tools / Exe / Path, if that file exists; returns
// whether one was started.
bool callerRestart();

// Opens a file with the desktop's viewer for its type.
bool openWithViewer(const std::filesystem::path &path);

// Runs a form modally. Tests install a runner that drives the form instead of blocking.
void runModal(QDialog &form);
void setModalRunner(std::function<void(QDialog &)> runner);

// The completion report: "完成！", or "中断！" when the operation was stopped.
void showCompletion(QWidget *owner, const std::string &text, bool stopped = false);

// 0 idle, 1 busy, 2 stop requested.
class BusyState {
public:
    enum : int { Idle = 0, Busy = 1, StopRequested = 2 };
    int value() const { return m_value; }
    void set(int value) { m_value = value; }
    bool idle() const { return m_value == Idle; }
    operator int() const { return m_value; }
    BusyState &operator=(int value) {
        m_value = value;
        return *this;
    }

private:
    int m_value = Idle;
};

// The event pump of a window: processes pending events at most every ~15 ms (otherwise a
// countdown), and reports a stop once the form's busy state asks for one.
class QtPump : public EventPump {
public:
    explicit QtPump(const BusyState *busy = nullptr) : EventPump(256), m_busy(busy) {}

    // Called with (done, total) each time events are processed, e.g. to move a progress bar.
    std::function<void(int64_t, int64_t)> onProgress;

protected:
    bool poll() override;

private:
    const BusyState *m_busy;
    qint64 m_lastEvents = 0;
};

// Base of every form: refuses to close while busy (Form_Unload may refuse for other reasons),
// and Escape does not bypass that.
class ToolForm : public QDialog {
    Q_OBJECT
public:
    explicit ToolForm(QWidget *parent = nullptr);

    BusyState &busy() { return m_busy; }
    QtPump &pump() { return m_pump; }

    // Called for every close request; returns false to refuse.
    virtual bool Form_Unload() { return m_busy.idle(); }

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

    BusyState m_busy;
    QtPump m_pump{&m_busy};
};

} // namespace lex
