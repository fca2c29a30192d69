#pragma once
// Form4, the results of the statistics, caption "词频统计结果".
//   List1     every word with a frequency: the word, four blanks, the frequency
//   Command1  "确定" writes the list to "词频.log" and closes; the close box writes nothing

#include "shared/toolshell/tool_form.h"

#include <QStringList>

#include <filesystem>

class QListView;
class QPushButton;
class QStringListModel;

namespace lex::freqtune {

class Form4 : public ToolForm {
    Q_OBJECT
public:
    Form4(const QStringList &items, std::filesystem::path log, QWidget *parent = nullptr);

    QListView *List1;
    QPushButton *Command1;

    QStringList items() const;
    void Command1_Click();

private:
    QStringListModel *m_model;
    std::filesystem::path m_log;
};

} // namespace lex::freqtune
