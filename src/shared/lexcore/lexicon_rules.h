#pragma once
// The lexicon's own rules for a line: its word (entryWord) and its characters (TakeOff). Which
// units are characters of a word is given by WordUnits (cp936.h): code page 936's double-byte
// characters unless the run's outputs hold every character.

#include "shared/lexcore/cp936.h"

#include <string>
#include <string_view>

namespace lex {

// The word of an annotated entry: the first character, then every later word unit.
std::u16string entryWord(std::u16string_view line, WordUnits units = WordUnits::narrow());
// The same into `word`, whose room is kept from line to line.
void entryWordInto(std::u16string_view line, std::u16string &word,
                   WordUnits units = WordUnits::narrow());

// Every word unit of `s`, in order; the others are dropped wherever they stand (the first
// character included).
std::u16string TakeOff(std::u16string_view s, WordUnits units = WordUnits::narrow());

} // namespace lex
