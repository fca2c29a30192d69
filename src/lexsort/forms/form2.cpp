#include "lexsort/forms/form2.h"

#include "lexsort/reference_sort.h"

#include <QLineEdit>
#include <QPushButton>

namespace lex::lexsort {

Form2::Form2(QWidget *owner) : SortForm(owner, QStringLiteral("按其它词库排序")) {
    setObjectName(QStringLiteral("Form2"));
    auto in = addPathRow("Label1", QStringLiteral("原始词库："), "Text1", "Command1",
                         QStringLiteral("打开原始词库"), PathDialog::Open);
    auto ref = addPathRow("Label2", QStringLiteral("参照词库："), "Text2", "Command2",
                          QStringLiteral("打开其它词库"), PathDialog::Open);
    auto out = addPathRow("Label4", QStringLiteral("另存词库："), "Text3", "Command3",
                          QStringLiteral("新词库保存为"), PathDialog::Save);
    std::tie(Label1, Text1, Command1) = std::tie(in.label, in.box, in.browse);
    std::tie(Label2, Text2, Command2) = std::tie(ref.label, ref.box, ref.browse);
    std::tie(Label4, Text3, Command3) = std::tie(out.label, out.box, out.browse);
    addStartAndExit({Text1, Text2, Text3});
    connect(Command7, &QPushButton::clicked, this, &Form2::Command7_Click);
    setBusy(BusyState::Busy);
    m_set.Clear();
    setBusy(BusyState::Idle);
}

void Form2::Command7_Click() {
    runSort(
        [this] {
            return sortByReference(m_set, toPath(Text1->text()), toPath(Text2->text()),
                                   toPath(Text3->text()), pump());
        },
        kOpenLexiconFailed, [this] { Text1->clear(); }, [this] { m_set.Clear(pump()); });
}

} // namespace lex::lexsort
