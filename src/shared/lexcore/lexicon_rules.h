#pragma once
// The lexicon's own rules for a line: its word (entryWord) and its characters (TakeOff).

#include <string>
#include <string_view>

namespace lex {

// The word of an annotated entry: the first character, then every later double-byte
// character.
std::u16string entryWord(std::u16string_view line);
// The same into `word`, whose room is kept from line to line.
void entryWordInto(std::u16string_view line, std::u16string &word);

// Every double-byte character of `s`, in order; single-byte characters are dropped wherever
// they stand (the first character included).
std::u16string TakeOff(std::u16string_view s);

} // namespace lex
