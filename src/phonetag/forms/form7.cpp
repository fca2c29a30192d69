#include "phonetag/forms/form7.h"

#include "phonetag/annotation.h"
#include "phonetag/forms/form1.h"

#include "shared/lexcore/lex_error.h"
#include "shared/pinyin/annotation_data.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace lex::phonetag {

using namespace pinyin;

Form7::Form7(Form1 &main)
    : PhonetagForm(main, QStringLiteral("Form7"), QStringLiteral("智能注音")) {
    Command6 = addButton("Command6", QStringLiteral("自动注音"));
    Command4 = addButton("Command4", QStringLiteral("清除拼音"));
    finishLayout({Command6, Command4});
    connect(Command6, &QPushButton::clicked, this, &Form7::Command6_Click);
    connect(Command4, &QPushButton::clicked, this, &Form7::Command4_Click);
}

bool Form7::Form_Load() {
    QString problem;
    m_busy = BusyState::Busy;
    try {
        // Without its data files the review list still names the words that the table reads in
        // two ways.
        AnnotationData data =
            loadAnnotationData(AnnotationFiles::in(toolFolder().programDir()),
                               {.wordTable = Need::Yes, .review = Need::IfPresent}, pump());
        if (data.missing) {
            problem = QString::fromUtf8(kWordTableMissing);
        } else {
            m_table = std::move(*data.wordTable);
            m_review = data.review ? std::move(*data.review) : ReviewData();
        }
    } catch (const std::exception &e) {
        problem = qs(failureText(e));
    }
    m_busy = BusyState::Idle;
    if (!problem.isEmpty()) {
        showMessage(parentWidget(), problem, QString(), MessageIcon::Warning);
        return false;
    }
    Text1->clear();
    Text2->clear();
    Label3->setText(QStringLiteral("欢迎使用！"));
    return true;
}

void Form7::Command6_Click() {
    runTask(QStringLiteral("正在自动注音，请稍候……"), QStringLiteral("欢迎使用！"),
            [this](int start) {
                auto r = autoAnnotate(toPath(Text1->text()), toPath(Text2->text()),
                                      toolFolder().writable(kReviewFile), m_main.dictionary(),
                                      m_table, m_review, m_main.counters(), pump());
                if (!r.inputFound)
                    return missingInput(kOpenFailed);
                return OperationReport::message(lineCountReport(r.lines, start),
                                                QString::fromUtf8(kAnnotateTitle));
            });
}

void Form7::Command4_Click() {
    runTask(QStringLiteral("正在清除拼音，请稍候……"), QStringLiteral("欢迎使用！"),
            [this](int start) {
                auto r = clearPinyin(toPath(Text1->text()), toPath(Text2->text()), pump());
                if (!r.inputFound)
                    return missingInput(kOpenFailed);
                return OperationReport::message(lineCountReport(r.lines, start),
                                                QString::fromUtf8(kClearTitle));
            });
}

} // namespace lex::phonetag
