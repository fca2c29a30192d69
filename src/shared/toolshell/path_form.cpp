#include "shared/toolshell/path_form.h"

#include "shared/toolshell/path_box.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace lex {

PathForm::PathForm(QWidget *owner, const QString &caption) : ToolForm(owner) {
    setWindowTitle(caption);
    m_layout = new QVBoxLayout(this);
    m_grid = new QGridLayout;
    m_buttons = new QHBoxLayout;
    m_buttons->addStretch();
    m_layout->addLayout(m_grid);
    m_layout->addLayout(m_buttons);
}

PathRow PathForm::addPathRow(const QString &labelName, const QString &labelText,
                             const QString &boxName, const QString &browseName,
                             const QString &dialogTitle, PathDialog dialog) {
    const int row = m_grid->rowCount();
    PathRow r{named(new QLabel(labelText, this), labelName), named(new PathBox(this), boxName),
              nullptr};
    r.box->setMinimumWidth(360);
    // The first box that is read (not saved to) names the operation's first lexicon input.
    if (dialog != PathDialog::Save && !hasLexiconInput()) {
        QLineEdit *in = r.box;
        setLexiconInput([in] { return in->text(); });
    }
    m_grid->addWidget(r.label, row, 0);
    m_grid->addWidget(r.box, row, 1);
    if (dialog != PathDialog::None) {
        r.browse = named(new QPushButton(QStringLiteral("…"), this), browseName);
        r.browse->setAutoDefault(false);
        r.browse->setFixedWidth(kBrowseWidth);
        m_grid->addWidget(r.browse, row, 2);
        QLineEdit *box = r.box;
        connect(r.browse, &QPushButton::clicked, this, [this, box, dialogTitle, dialog] {
            const bool save = dialog == PathDialog::Save;
            const QString path = m_everyFormat ? anyLexiconDialog(this, dialogTitle, save)
                                               : fileDialog(this, dialogTitle, save);
            if (!path.isEmpty())
                box->setText(path);
        });
    }
    return r;
}

QPushButton *PathForm::addButton(const QString &name, const QString &caption) {
    auto *b = named(new QPushButton(caption, this), name);
    b->setAutoDefault(false);
    m_buttons->addWidget(b);
    return b;
}

ProgressRow PathForm::addProgressRow(const QString &barName, const QString &labelName,
                                     const QString &text) {
    m_bar = named(new QProgressBar(this), barName);
    m_bar->setRange(0, 1000);
    m_status = named(new QLabel(text, this), labelName);
    m_layout->insertWidget(1, m_bar);
    m_buttons->insertWidget(0, m_status);
    m_pump.setProgressBar(m_bar);
    setProgressVisible(false);
    return {m_bar, m_status};
}

void PathForm::setProgressVisible(bool visible) {
    if (!m_bar)
        return;
    m_bar->setValue(0);
    m_bar->setVisible(visible);
    m_status->setVisible(visible);
    // Hidden again, the row must not leave a blank band behind.
    if (!visible && isVisible()) {
        m_layout->activate();
        resize(width(), sizeHint().height());
    }
}

void PathForm::setStartButtons(std::initializer_list<QPushButton *> starts,
                               std::initializer_list<QLineEdit *> needed) {
    m_starts.assign(starts);
    m_needed.assign(needed);
    for (QLineEdit *box : m_needed)
        connect(box, &QLineEdit::textChanged, this, &PathForm::updateStartButtons);
    updateStartButtons();
}

void PathForm::updateStartButtons() {
    bool ready = idle();
    for (QLineEdit *box : m_needed)
        ready = ready && !box->text().isEmpty();
    for (QPushButton *b : m_starts)
        b->setEnabled(ready);
}

bool PathForm::runPathOperation(const std::function<OperationReport(int start)> &work,
                                const std::function<void()> &after) {
    if (!idle())
        return false;
    for (QPushButton *b : m_starts)
        b->setEnabled(false);
    setProgressVisible(true);
    const bool ok = runOperation(work, after);
    updateStartButtons();
    return ok;
}

} // namespace lex
