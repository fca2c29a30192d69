#pragma once
// The working-form pattern: path boxes, each with a label and a browse button "…" (the open or
// the save dialog, with its own title; a chosen path replaces the box's text, a cancelled dialog
// changes nothing), a row of buttons, an optional progress row, and Start buttons that are
// enabled exactly when the boxes they need hold text and the form is idle.
//
// A tool's form builds its controls with addPathRow() / addButton() in its constructor, under
// the names its tool gives them, and runs its operation through runPathOperation().

#include "shared/toolshell/tool_form.h"

#include <initializer_list>
#include <vector>

class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace lex {

enum class PathDialog { Open, Save, None };

struct PathRow {
    QLabel *label;
    QLineEdit *box;
    QPushButton *browse; // nullptr for PathDialog::None
};

struct ProgressRow {
    QProgressBar *bar;
    QLabel *label;
};

class PathForm : public ToolForm {
    Q_OBJECT
public:
    // The one width of every browse button "…".
    static constexpr int kBrowseWidth = 32;

    explicit PathForm(QWidget *owner, const QString &caption);

protected:
    // A label, a path box and its browse button, named as the tool names them.
    PathRow addPathRow(const QString &labelName, const QString &labelText, const QString &boxName,
                       const QString &browseName, const QString &dialogTitle, PathDialog dialog);
    // A push button in the bottom row (never a default button: Enter in a box starts nothing).
    QPushButton *addButton(const QString &name, const QString &caption);
    // A progress bar and a status text shown only while an operation runs.
    ProgressRow addProgressRow(const QString &barName, const QString &labelName,
                               const QString &text);
    // `starts` are enabled exactly when every box of `needed` holds text and the form is idle;
    // re-evaluated on every change of those boxes.
    void setStartButtons(std::initializer_list<QPushButton *> starts,
                         std::initializer_list<QLineEdit *> needed);
    void updateStartButtons();
    // Browse buttons offer every lexicon format (anyLexiconDialog), not text files only.
    void offerEveryFormat() { m_everyFormat = true; }

    // runOperation() with the Start buttons disabled and the progress row shown meanwhile.
    bool runPathOperation(const std::function<OperationReport(int start)> &work,
                          const std::function<void()> &after = {});

    QVBoxLayout *m_layout;
    QGridLayout *m_grid;
    QHBoxLayout *m_buttons;

    void operationFinished() override { setProgressVisible(false); }

private:
    void setProgressVisible(bool visible);

    bool m_everyFormat = false;
    std::vector<QPushButton *> m_starts;
    std::vector<QLineEdit *> m_needed;
    QProgressBar *m_bar = nullptr;
    QLabel *m_status = nullptr;
};

} // namespace lex
