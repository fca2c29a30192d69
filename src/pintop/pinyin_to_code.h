#pragma once
// Rewrites one pinyin syllable through the replacement table (double-pinyin layouts).

#include <string>
#include <string_view>

namespace lex::pintop {

class ReplacementTable;

// The syllable's initial is what stands before its first vowel (a o e i u v, any case):
//   no initial      -> the whole syllable is looked up as "0" + syllable;
//   one letter      -> only the final is looked up, the initial is kept;
//   two letters     -> initial and final are looked up separately;
//   three or more   -> left alone, as is a syllable without a vowel.
std::u16string pinyinToCode(std::u16string_view py, const ReplacementTable &table);

} // namespace lex::pintop
