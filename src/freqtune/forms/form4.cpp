#include "freqtune/forms/form4.h"

#include "freqtune/frequency_database.h"

#include "shared/lexcore/lex_error.h"

#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

namespace lex::freqtune {

Form4::Form4(const QStringList &items, std::filesystem::path log, QWidget *parent)
    : ToolForm(parent), m_log(std::move(log)) {
    setWindowTitle(QStringLiteral("词频统计结果"));
    List1 = named(new QListView(this), "List1");
    m_model = new QStringListModel(items, this);
    List1->setModel(m_model);
    List1->setUniformItemSizes(true); // a list of a million words stays quick
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Command1 = named(new QPushButton(QStringLiteral("确定"), this), "Command1");
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(List1);
    layout->addWidget(Command1);
    resize(320, 420);
    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
}

QStringList Form4::items() const {
    return m_model->stringList();
}

void Form4::Command1_Click() {
    std::vector<std::u16string> lines;
    for (const QString &item : m_model->stringList())
        lines.push_back(item.toStdU16String());
    try {
        writeFrequencyLog(m_log, lines);
    } catch (const std::exception &e) {
        showMessage(this, qs(failureText(e)), QString(), MessageIcon::Warning);
        return;
    }
    accept();
}

} // namespace lex::freqtune
