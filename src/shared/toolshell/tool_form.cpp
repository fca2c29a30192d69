#include "shared/toolshell/tool_form.h"

#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/text_format.h"
#include "shared/toolshell/program.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include <exception>

namespace lex {

OperationReport OperationReport::completion(std::string text, bool stopped) {
    return {std::move(text),
            stopped ? QStringLiteral("中断！") : QStringLiteral("完成！"),
            MessageIcon::None,
            {}};
}

OperationReport OperationReport::message(std::string text, QString title, MessageIcon icon,
                                         std::function<void()> then) {
    return {std::move(text), std::move(title), icon, std::move(then)};
}

ToolForm::ToolForm(QWidget *parent) : QDialog(parent) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

bool ToolForm::runOperation(const std::function<OperationReport(int start)> &work,
                            const std::function<void()> &after) {
    if (!idle())
        return false;
    m_busy = BusyState::Busy;
    m_pump.resetStop();
    m_pump.setProgress(0, 0);
    const int start = timeOfDayNow();
    OperationReport report;
    bool ok = true;
    {
        // Each operation starts from the windows' plain context, its outputs following its first
        // lexicon input.
        RunContext run;
        if (m_lexiconInput)
            run.setFirstInput(toPath(m_lexiconInput()));
        m_pump.setContext(std::move(run));
        try {
            report = work(start);
        } catch (const std::exception &e) {
            ok = false;
            report = OperationReport::message(failureText(e), QString(), MessageIcon::Warning);
        }
        if (ok && !report.text.empty())
            report.text = withLossyLine(report.text, m_pump.context().lostLines());
    }
    operationFinished();
    if (!report.text.empty())
        showMessage(this, qs(report.text), report.title, report.icon);
    if (report.then)
        report.then();
    try {
        if (after)
            after();
    } catch (const std::exception &e) {
        showMessage(this, qs(failureText(e)), QString(), MessageIcon::Warning);
    }
    m_busy = BusyState::Idle;
    return ok;
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

void ToolForm::keyPressEvent(QKeyEvent *event) {
    if (m_mainForm && event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ToolForm::runSubForm(ToolForm &form, const std::function<bool()> &load) {
    m_subForm = &form;
    struct Reset {
        ToolForm *&sub;
        ~Reset() { sub = nullptr; }
    } reset{m_subForm};
    if (!load || load())
        runModal(form);
}

} // namespace lex
