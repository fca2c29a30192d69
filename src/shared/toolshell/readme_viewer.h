#pragma once
// The read-me viewer (form Form3, caption "readme"): the text of "read.me" from the program's
// folder, read as code page 936, and "确定".
//   Text1     multi-line text, read only
//   Command1  "确定"  closes the viewer

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace lex {

class ReadmeViewer : public QDialog {
    Q_OBJECT
public:
    explicit ReadmeViewer(QWidget *owner = nullptr);

    QPlainTextEdit *Text1;
    QPushButton *Command1;

    // Shows the viewer modally over `owner`.
    static void showFor(QWidget *owner);
};

} // namespace lex
