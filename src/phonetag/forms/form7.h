#pragma once
// Form7 "智能注音": automatic annotation and clearing pinyin. Loads the word table of "zn.lxd"
// each time it opens, with "dy.txt" and "cp.txt" for the review list "待审词条.txt" that every
// annotation writes beside "log.txt".
//   Label1 "打开的词库："  Text1  Command1 "…"      Label2 "保存的词库："  Text2  Command2 "…"
//   Command6 "自动注音"   Command4 "清除拼音"   Command3 "退出"   Label3 status text

#include "phonetag/forms/phonetag_form.h"
#include "phonetag/review.h"
#include "shared/pinyin/word_table.h"

namespace lex::phonetag {

class Form7 : public PhonetagForm {
    Q_OBJECT
public:
    explicit Form7(Form1 &main);

    QPushButton *Command6, *Command4;

    // Loads the word table (busy meanwhile); false, after saying why, when it cannot.
    bool Form_Load();
    void Command6_Click();
    void Command4_Click();

    const pinyin::WordTable &wordTable() const { return m_table; }

private:
    pinyin::WordTable m_table;
    pinyin::ReviewData m_review;
};

} // namespace lex::phonetag
