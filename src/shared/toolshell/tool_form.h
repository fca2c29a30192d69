#pragma once
// The base of every form: the busy state that refuses closing, the window's event pump, and the
// operation runner behind every Start button.

#include "shared/toolshell/busy_state.h"
#include "shared/toolshell/dialogs.h"
#include "shared/toolshell/program.h"
#include "shared/toolshell/qt_pump.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <string>

class QCloseEvent;
class QKeyEvent;

namespace lex {

// Controls carry their given name as objectName too: settings keys and tests use it.
template <typename W> W *named(W *widget, const QString &name) {
    widget->setObjectName(name);
    return widget;
}

// What an operation shows when it ends: one message box (none when `text` is empty), then
// `then` (for example emptying the input box after "打开词库失败！").
struct OperationReport {
    std::string text; // UTF-8
    QString title;
    MessageIcon icon = MessageIcon::None;
    std::function<void()> then;

    // The completion report: title "完成！", or "中断！" when the operation was stopped.
    static OperationReport completion(std::string text, bool stopped = false);
    // Any other box, for example a missing input.
    static OperationReport message(std::string text, QString title = QString(),
                                   MessageIcon icon = MessageIcon::None,
                                   std::function<void()> then = {});
};

class ToolForm : public QDialog {
    Q_OBJECT
public:
    explicit ToolForm(QWidget *parent = nullptr);

    BusyState busy() const { return m_busy; }
    bool idle() const { return m_busy == BusyState::Idle; }
    void setBusy(BusyState state) { m_busy = state; }
    QtPump &pump() { return m_pump; }

    // Called for every close request; returns false to refuse. By default a busy form refuses,
    // and so does one whose sub-form (runSubForm) is busy.
    virtual bool Form_Unload() { return idle() && (!m_subForm || m_subForm->idle()); }

protected:
    // A main form is unloaded only by its exit button or its close box: Esc does nothing there.
    // In the smaller dialogs Esc is "cancel" (it still asks Form_Unload).
    void setMainForm(bool main) { m_mainForm = main; }

    // Shows `form` modally over this one, after load() when given and only if it returns true.
    // From before load() until the form has closed, a busy sub-form keeps this one from
    // unloading: a working form yields to the event loop, and its menu must not close under it.
    void runSubForm(ToolForm &form, const std::function<bool()> &load = {});

    // Runs one operation: busy state and start time, then `work` (given the start time of day),
    // then its report box; any exception ends it with a warning box instead (内存不足 when memory
    // ran out). `after` runs in both cases (for example emptying the set); the form is idle
    // again at the end. Does nothing while the form is not idle. Returns whether `work` ended
    // without an exception.
    bool runOperation(const std::function<OperationReport(int start)> &work,
                      const std::function<void()> &after = {});

    // Called when the work has ended, before its report box (hides a progress row).
    virtual void operationFinished() {}

    // The path of the operation's first lexicon input, read when an operation starts: its
    // lexicon outputs take that file's encoding (UTF-8 stays UTF-8). A completion report gains
    // a count line for lines that a code page 936 output could not hold.
    void setLexiconInput(std::function<QString()> path) { m_lexiconInput = std::move(path); }
    bool hasLexiconInput() const { return bool(m_lexiconInput); }

    void closeEvent(QCloseEvent *event) override;
    void reject() override;
    void keyPressEvent(QKeyEvent *event) override;

    BusyState m_busy = BusyState::Idle;
    QtPump m_pump{&m_busy};

private:
    std::function<QString()> m_lexiconInput;
    bool m_mainForm = false;
    ToolForm *m_subForm = nullptr;
};

} // namespace lex
