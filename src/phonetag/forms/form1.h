#pragma once
// Form1, the menu form of phonetag (caption "Quillo词库注音 Ver1.21"). It owns what lives for
// the whole run: the character dictionary with its counters and the tool's entry set.
//   Command2  "智能注音"   Form7, modal
//   Command3  "注音优化"   Form5, modal
//   Command4  "注音修正"   Form6, modal
//   Command1  "说明文档"   the read-me viewer
//   Command7  "退出程序"   closes: starts the caller program
//   Label1    "欢迎使用！"

#include "phonetag/correction.h"
#include "shared/pinyin/char_dictionary.h"

#include "shared/lexcore/entry_hash_set.h"
#include "shared/toolshell/tool_form.h"

#include <memory>

class QLabel;
class QPushButton;

namespace lex::phonetag {

inline const QString kApplication = QStringLiteral("phonetag");

class Form1 : public ToolForm {
    Q_OBJECT
public:
    explicit Form1(pinyin::CharDictionary dictionary, QWidget *parent = nullptr);
    ~Form1() override;

    // The dictionary of "dz.txt" in the program's folder; nullptr after telling the user why
    // the program cannot run without it.
    static std::unique_ptr<pinyin::CharDictionary> loadDictionary();

    QPushButton *Command1, *Command2, *Command3, *Command4, *Command7;
    QLabel *Label1;

    void Form_Load();
    bool Form_Unload() override;
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command7_Click();

    const pinyin::CharDictionary &dictionary() const { return m_dictionary; }
    pinyin::PinyinCounters &counters() { return m_counters; }
    EntryHashSet &entrySet() { return m_set; }

private:
    pinyin::CharDictionary m_dictionary;
    pinyin::PinyinCounters m_counters;
    EntryHashSet m_set = makeEntrySet();
};

} // namespace lex::phonetag
