#pragma once
// Decoding a file's bytes into lines, a chunk at a time: what LineReader and LineStream share.

#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/text_format.h"

#include <cstddef>
#include <string_view>

namespace lex {

// Drops the mark of `encoding` from the first bytes of a file: once, so that text that begins
// with the same bytes again keeps them.
void dropMark(std::string_view &bytes, LexiconEncoding encoding);

// Decodes `bytes` behind the first `units` units of `text`, which has room for bytes.size()
// more, appending every LF (counted from `text`) to `ends` and setting `sawNul` at a NUL;
// returns the units of text now. `consumed` gets the bytes used: all but a character cut at the
// end, unless `final`.
size_t decodeChunk(LexiconEncoding encoding, std::string_view bytes, bool final, char16_t *text,
                   size_t units, size_t &consumed, bool &sawNul, LineEnds &ends);

} // namespace lex
