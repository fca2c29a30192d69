#include "bigseg/forms/form2.h"

#include "bigseg/supplement.h"
#include "bigseg/tool_files.h"
#include "shared/lexcore/atomic_output.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/text_format.h"
#include "shared/toolshell/program.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lex::bigseg {

Form2::Form2(SegmentLexicon &lexicon, std::filesystem::path bcIni, QWidget *owner)
    : ToolForm(owner), m_lexicon(lexicon), m_bc(std::move(bcIni)) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("补充词条"));
    Text1 = named(new QPlainTextEdit(this), "Text1");
    Command1 = named(new QPushButton(QStringLiteral("确定"), this), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("取消"), this), "Command2");
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Text1);
    layout->addLayout(buttons);
    resize(320, 400);
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
}

bool Form2::Form_Load() {
    try {
        if (!fileExists(m_bc) && !std::filesystem::exists(m_bc))
            writeFileAtomically(m_bc, {});
        if (!fileExists(m_bc))
            return true;
        LineReader reader(m_bc, LexiconEncoding::Ansi936);
        if (!reader.atEnd()) {
            // The box holds lines as the user types them; CR LF is the file's business.
            QString text = QString::fromStdU16String(reader.readAll());
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            Text1->setPlainText(text);
        }
    } catch (const std::exception &e) {
        showMessage(parentWidget(), qs(failureText(e)), QString(), MessageIcon::Warning);
        return false;
    }
    return true;
}

void Form2::Command1_Click() {
    Command1->setEnabled(false);
    Command2->setEnabled(false);
    const bool done = runOperation([this](int) {
        const std::filesystem::path ciku = toolFolder().writable(kWordListFile);
        const SupplementResult r =
            applySupplement(Text1->toPlainText().toStdU16String(), m_bc, ciku, m_lexicon, pump());
        if (r.wordListMissing) {
            m_wordListMissing = true;
            return OperationReport::message(missingWordListText(ciku), QString(),
                                            MessageIcon::Critical);
        }
        return OperationReport{};
    });
    Command1->setEnabled(true);
    Command2->setEnabled(true);
    if (done)
        accept();
}

} // namespace lex::bigseg
