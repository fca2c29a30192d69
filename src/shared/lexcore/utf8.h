#pragma once
// UTF-8 lexicon text: the strict validation that tells a UTF-8 file from a code page 936 one,
// and the chunked decoder and encoder of the readers and writers. Strict means RFC 3629: no
// overlong forms, no surrogates, nothing past U+10FFFF.

#include "shared/lexcore/large_buffer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lex {

// Validates UTF-8 a chunk at a time; a sequence may be split between two chunks.
class Utf8Validator {
public:
    // Checks the next bytes; false once an invalid sequence was seen (then and after).
    bool feed(std::string_view bytes);
    // The text so far is valid and ends on a whole sequence.
    bool complete() const { return m_ok && m_state == 0; }
    // Some sequence of two or more bytes was seen.
    bool sawMultibyte() const { return m_multibyte; }

private:
    bool m_ok = true;
    bool m_multibyte = false;
    uint8_t m_state = 0; // where the last chunk left a sequence (0: between two)
};

// True when `bytes` are valid UTF-8 holding at least one multi-byte sequence: such text is read
// as UTF-8 even without the mark.
bool looksUtf8(std::string_view bytes);

// Decodes one chunk of UTF-8 into `dst`, which has room for bytes.size() units; returns the end.
// `consumed` gets the bytes used: all but an unfinished sequence at the end when `final` is
// false (it may go on in the next chunk). Invalid bytes become U+FFFD, one per maximal
// ill-formed part; characters past U+FFFF become surrogate pairs. Sets `sawNul` when a NUL byte
// occurs and appends the position of every LF, in units from `textStart`, to `lineEnds`.
char16_t *decodeUtf8Lines(std::string_view bytes, char16_t *dst, bool final, size_t &consumed,
                          bool &sawNul, const char16_t *textStart, LineEnds &lineEnds);
void decodeUtf8(std::string_view bytes, std::u16string &out);

// Encodes into `dst`, which has room for 3 * text.size() + 1 bytes; returns the end. A lone
// surrogate becomes U+FFFD. With `dropCrBeforeLf`, a CR directly before an LF is left out (CR LF
// line ends written as LF).
char *encodeUtf8To(std::u16string_view text, char *dst, bool dropCrBeforeLf = false);
// `text` as UTF-8 in `out` (replaced; its room is kept), by encodeUtf8To.
void toUtf8Into(std::u16string_view text, std::string &out);

} // namespace lex
