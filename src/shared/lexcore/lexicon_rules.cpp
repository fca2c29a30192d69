#include "shared/lexcore/lexicon_rules.h"

#include "shared/lexcore/cp936.h"

namespace lex {
std::u16string entryWord(std::u16string_view line, WordUnits units) {
    std::u16string word;
    entryWordInto(line, word, units);
    return word;
}

void entryWordInto(std::u16string_view line, std::u16string &word, WordUnits units) {
    word.resize(line.size());
    size_t n = 0;
    if (!line.empty())
        word[n++] = line[0];
    for (size_t i = 1; i < line.size(); ++i)
        if (units.isWord(line[i]))
            word[n++] = line[i];
    word.resize(n);
}

std::u16string TakeOff(std::u16string_view s, WordUnits units) {
    std::u16string word;
    word.reserve(s.size());
    for (char16_t c : s)
        if (units.isWord(c))
            word.push_back(c);
    return word;
}

} // namespace lex
