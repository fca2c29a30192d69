#pragma once
// Pinyin for words that lack it, by phonetag's automatic annotation over the shipped readings
// ("dz.txt") and word table ("zn.lxd"): the same engine as the annotation window, loaded the
// first time a word needs it.

#include "lexconv/pinyin.h"

#include "shared/lexcore/event_pump.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lex::phonetag {
class CharDictionary;
class WordTable;
} // namespace lex::phonetag

namespace lex::lexconv {

class Annotator {
public:
    // The data files; they are read when the first word needs them.
    Annotator(std::filesystem::path dictionary, std::filesystem::path wordTable, EventPump &pump);
    ~Annotator();

    // The syllables of `word` (one per character) with those of `known` kept ("" where a
    // character has none yet); nullopt when some character gets no reading. Throws LexError when
    // the data files are missing.
    std::optional<Syllables> annotate(std::u16string_view word, const Syllables &known);

private:
    void load();
    std::optional<Syllables> annotateRun(std::u16string_view run, const Syllables &known);

    std::filesystem::path m_dictionaryFile, m_wordTableFile;
    EventPump &m_pump;
    std::unique_ptr<phonetag::CharDictionary> m_dictionary;
    std::unique_ptr<phonetag::WordTable> m_table;
    std::u16string m_line, m_out, m_scratch;
};

} // namespace lex::lexconv
