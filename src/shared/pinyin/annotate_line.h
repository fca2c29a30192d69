#pragma once
// Automatic annotation of one lexicon line: InsBlank marks the annotated characters, the word
// table puts in the readings of the words it knows (a marker between two characters keeps an
// already annotated character out of every word), every "0" is deleted (the markers and any
// digit 0 of the lexicon), and FixPinyin gives the remaining bare characters their dictionary
// readings.

#include "shared/pinyin/char_dictionary.h"
#include "shared/pinyin/word_table.h"

#include <string>
#include <string_view>

namespace lex::pinyin {

// One lexicon line through the whole annotation. `scratch` is working space.
// `units` say which units are characters of the word (cp936.h).
void annotateLine(std::u16string_view line, const CharDictionary &dict, const WordTable &table,
                  PinyinCounters &counters, std::u16string &out, std::u16string &scratch,
                  WordUnits units = WordUnits::narrow());
// annotateLine, appended to `out`; `work` is working space too.
void appendAnnotatedLine(std::u16string_view line, const CharDictionary &dict,
                         const WordTable &table, PinyinCounters &counters, std::u16string &out,
                         std::u16string &scratch, std::u16string &work,
                         WordUnits units = WordUnits::narrow());

} // namespace lex::pinyin
