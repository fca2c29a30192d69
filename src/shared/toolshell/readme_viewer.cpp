#include "shared/toolshell/readme_viewer.h"

#include "shared/toolshell/program.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/text_format.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lex {

ReadmeViewer::ReadmeViewer(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("readme"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(640, 480);

    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Command1 = new QPushButton(QStringLiteral("确定"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Text1);
    layout->addWidget(Command1, 0, Qt::AlignHCenter);

    // A missing, empty or unreadable read.me leaves the box empty.
    auto path = toolFile(QStringLiteral("read.me"));
    if (fileExists(path)) {
        try {
            std::u16string text = readWholeText(path, LexiconEncoding::Ansi936);
            Text1->setPlainText(QString::fromStdU16String(text));
        } catch (const LexError &) {
        }
    }
}

void ReadmeViewer::showFor(QWidget *owner) {
    ReadmeViewer viewer(owner);
    runModal(viewer);
}

} // namespace lex
