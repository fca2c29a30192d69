#include "phonetag/forms/form5.h"

#include "phonetag/annotation.h"
#include "phonetag/forms/form1.h"
#include "phonetag/optimisation.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace lex::phonetag {

using namespace pinyin;

Form5::Form5(Form1 &main)
    : PhonetagForm(main, QStringLiteral("Form5"), QStringLiteral("注音优化")) {
    Command4 = addButton("Command4", QStringLiteral("调整赘拼欠拼"));
    Command5 = addButton("Command5", QStringLiteral("删除重复词条"));
    finishLayout({Command4, Command5});
    connect(Command4, &QPushButton::clicked, this, &Form5::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form5::Command5_Click);
}

void Form5::Form_Load() {
    m_busy = BusyState::Busy;
    m_main.entrySet().Clear(pump());
    m_busy = BusyState::Idle;
    Text1->clear();
    Text2->clear();
    Label3->setText(QStringLiteral("欢迎使用！"));
}

void Form5::Command4_Click() {
    // This one status text begins with a blank.
    runTask(QStringLiteral("正在调整赘拼欠拼，请稍候……"), QStringLiteral(" 欢迎使用！"),
            [this](int start) {
                auto r = adjustPinyin(toPath(Text1->text()), toPath(Text2->text()),
                                      m_main.dictionary(), m_main.counters(), pump());
                if (!r.inputFound)
                    return missingInput(kOpenFailed);
                return OperationReport::completion(adjustReport(r.counters, start));
            });
}

void Form5::Command5_Click() {
    runTask(
        QStringLiteral("正在删除重复词条，请稍候……"), QStringLiteral("欢迎使用！"),
        [this](int start) {
            auto r = removeRepeatedEntries(m_main.entrySet(), toPath(Text1->text()),
                                           toPath(Text2->text()), pump());
            if (!r.inputFound)
                return missingInput(kOpenSourceFailed);
            return OperationReport::completion(dedupReport(r, start));
        },
        [this] { m_main.entrySet().Clear(pump()); });
}

} // namespace lex::phonetag
