#pragma once
// Telling the encoding of a lexicon: UTF-16LE behind the mark FF FE, UTF-8 (behind its mark
// EF BB BF, or valid UTF-8 holding a multi-byte sequence), or code page 936 (everything else).

#include "shared/lexcore/text_format.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace lex {

// Tells the encoding: FF FE is UTF-16LE, EF BB BF is UTF-8; a file without a mark is UTF-8 when
// all its bytes are valid UTF-8 and some character takes more than one byte, else code page 936
// (a pure ASCII file reads the same either way) -- unless its bytes are UTF-8 with a bad byte
// here and there: of the lines of its first 4 MiB that are not ASCII, two thirds or more valid
// UTF-8 make it UTF-8 all the same (findInvalidUtf8 counts the others). A code page 936 file is
// told after its first 4 MiB at most; a UTF-8 one is validated to its end.
LexiconEncoding detectEncoding(const std::filesystem::path &path);
// Code page 936 or UTF-8 only, for inputs that are code page 936 whatever their first bytes
// but may be UTF-8: a UTF-16 mark counts for nothing there.
LexiconEncoding detectUtf8(const std::filesystem::path &path);
// Both for text in memory (articles read whole), without the allowance for bad bytes; `utf16`
// false as for detectUtf8.
LexiconEncoding detectEncoding(std::string_view bytes, bool utf16 = true);
// Decodes text in memory by the encoding detectEncoding(bytes, utf16) gives, the mark removed.
std::u16string decodeText(std::string_view bytes, bool utf16 = true);

// The lines of a file read as UTF-8 (its mark, or as detectEncoding tells it) that hold bytes
// that are no UTF-8, which read as U+FFFD: how many, and the first of them (its number, and its
// text as UTF-8 with U+FFFD for the bad bytes). Nothing for a file read otherwise.
struct InvalidUtf8Lines {
    int64_t lines = 0;
    int64_t firstLine = 0;
    std::string firstText;
};
// `readAsUtf8`: the file is read as UTF-8 whatever its bytes (a format that has no other
// encoding), not only when detectEncoding says so.
InvalidUtf8Lines findInvalidUtf8(const std::filesystem::path &path, bool readAsUtf8 = false);

// Whether `bytes` begin with `mark`.
inline bool startsWithMark(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
}

} // namespace lex
