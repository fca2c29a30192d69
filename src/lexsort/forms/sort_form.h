#pragma once
// What lexsort's three working forms share: their path rows (each form adds its own), and
//   Label3   "欢迎使用！" when idle, "正在处理，请稍候……" while a sort runs
//   ProgressBar1  shown while a sort runs
//   Command7 "开始"  enabled exactly when every path box holds text (and the form is idle)
//   Command8 "退出"  closes the form (refused while busy)

#include "lexsort/sort_result.h"

#include "shared/toolshell/path_form.h"

#include <functional>
#include <initializer_list>

namespace lex::lexsort {

class SortForm : public PathForm {
    Q_OBJECT
public:
    QLabel *Label3;
    QProgressBar *ProgressBar1;
    QPushButton *Command7;
    QPushButton *Command8;

protected:
    SortForm(QWidget *owner, const QString &caption);

    // Adds Start and Exit below the path rows; Start needs every box of `needed`.
    void addStartAndExit(std::initializer_list<QLineEdit *> needed);

    // Runs one sort: `sort` returns the result or throws; a missing base lexicon shows
    // `missingText`, then `onMissing`. `after` runs once the report was shown, in every case.
    void runSort(const std::function<SortResult()> &sort, std::string_view missingText,
                 const std::function<void()> &onMissing, const std::function<void()> &after = {});

    void operationFinished() override;
};

} // namespace lex::lexsort
