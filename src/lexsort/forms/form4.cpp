#include "lexsort/forms/form4.h"

#include "lexsort/line_sort.h"

#include <QLineEdit>
#include <QPushButton>

namespace lex::lexsort {

Form4::Form4(QWidget *owner) : SortForm(owner, QString()) {
    setObjectName(QStringLiteral("Form4"));
    auto in = addPathRow("Label1", QStringLiteral("原始词库："), "Text1", "Command1",
                         QStringLiteral("打开原始词库"), PathDialog::Open);
    auto out = addPathRow("Label2", QStringLiteral("另存词库："), "Text2", "Command2",
                          QStringLiteral("新词库保存为"), PathDialog::Save);
    std::tie(Label1, Text1, Command1) = std::tie(in.label, in.box, in.browse);
    std::tie(Label2, Text2, Command2) = std::tie(out.label, out.box, out.browse);
    addStartAndExit({Text1, Text2});
    connect(Command7, &QPushButton::clicked, this, &Form4::Command7_Click);
    Form_Load();
}

void Form4::Form_Load() {
    setWindowTitle(intF == 1 ? QStringLiteral("按汉字笔画排序") : QStringLiteral("按汉字拼音排序"));
}

void Form4::Command7_Click() {
    const SortMode mode = intF == 1 ? SortMode::Stroke : SortMode::Pinyin;
    runSort(
        [this, mode] {
            return sortLines(toPath(Text1->text()), toPath(Text2->text()), mode, pump());
        },
        kOpenFileFailed, {});
}

} // namespace lex::lexsort
