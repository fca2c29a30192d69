#pragma once
// Form2, the supplement editor, caption "补充词条": one word per line, optionally followed by a
// command line "a" (add to "ciku.lxd") or "d" (toggle in "ciku.lxd").
//   Text1     multi-line text, filled from "bc.ini" at load
//   Command1  "确定"  applies the text and rebuilds the word list at once
//   Command2  "取消"  closes without change

#include "bigseg/segment_lexicon.h"

#include "shared/toolshell/tool_form.h"

#include <filesystem>

class QPlainTextEdit;
class QPushButton;

namespace lex::bigseg {

class Form2 : public ToolForm {
    Q_OBJECT
public:
    Form2(SegmentLexicon &lexicon, std::filesystem::path bcIni, QWidget *owner);

    QPlainTextEdit *Text1;
    QPushButton *Command1;
    QPushButton *Command2;

    // Reads "bc.ini" (created empty when missing) into Text1; false after a message when it
    // cannot be read.
    bool Form_Load();
    void Command1_Click();
    void Command2_Click() { close(); }

    // The word list was missing when the text was applied: the tool must end.
    bool wordListMissing() const { return m_wordListMissing; }

private:
    SegmentLexicon &m_lexicon;
    std::filesystem::path m_bc;
    bool m_wordListMissing = false;
};

} // namespace lex::bigseg
