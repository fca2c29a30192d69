#include "lexsort/forms/form1.h"

#include "lexsort/length_sort.h"

#include <QLineEdit>
#include <QPushButton>

namespace lex::lexsort {

Form1::Form1(QWidget *owner) : SortForm(owner, QStringLiteral("按词条长度排序")) {
    setObjectName(QStringLiteral("Form1"));
    auto in = addPathRow("Label1", QStringLiteral("原始词库："), "Text1", "Command1",
                         QStringLiteral("打开原始词库"), PathDialog::Open);
    auto out = addPathRow("Label2", QStringLiteral("另存词库："), "Text2", "Command2",
                          QStringLiteral("新词库保存为"), PathDialog::Save);
    std::tie(Label1, Text1, Command1) = std::tie(in.label, in.box, in.browse);
    std::tie(Label2, Text2, Command2) = std::tie(out.label, out.box, out.browse);
    addStartAndExit({Text1, Text2});
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
}

void Form1::Command7_Click() {
    runSort([this] { return sortByLength(toPath(Text1->text()), toPath(Text2->text()), pump()); },
            kOpenFileFailed, {});
}

} // namespace lex::lexsort
