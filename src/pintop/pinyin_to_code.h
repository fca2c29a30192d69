#pragma once
// Rewrites one pinyin syllable through the replacement table (double-pinyin layouts).

#include <cstdint>
#include <string>
#include <string_view>

namespace lex::pintop {

class ReplacementTable;

// One part of a syllable's code: a value of the table, or a part of the syllable itself.
struct CodePiece {
    const std::u16string *value = nullptr; // else py[offset, offset + length)
    uint32_t offset = 0;
    uint32_t length = 0;
    std::u16string_view in(std::u16string_view py) const {
        return value ? std::u16string_view(*value) : py.substr(offset, length);
    }
};

// A syllable's code as at most two pieces (initial and final). Table values may be long; held
// as pieces, a value is stored once in the table instead of once per character that uses it.
struct SyllableCode {
    CodePiece head;
    CodePiece tail;
    void appendTo(std::u16string &out, std::u16string_view py) const {
        out += head.in(py);
        out += tail.in(py);
    }
};

// The syllable's initial is what stands before its first vowel (a o e i u v, any case):
//   no initial      -> the whole syllable is looked up as "0" + syllable;
//   one letter      -> only the final is looked up, the initial is kept;
//   two letters     -> initial and final are looked up separately;
//   three or more   -> left alone, as is a syllable without a vowel.
std::u16string pinyinToCode(std::u16string_view py, const ReplacementTable &table);
// The same code in pieces that point into `py` and into the table.
SyllableCode pinyinToCodeParts(std::u16string_view py, const ReplacementTable &table);

} // namespace lex::pintop
