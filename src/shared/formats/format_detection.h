#pragma once
// Telling the format of a lexicon file from its name and its first lines.

#include "shared/formats/lexicon_format.h"
#include "shared/lexcore/text_format.h"

#include <filesystem>
#include <optional>

namespace lex::formats {

// The format of a file judged from its name and first lines (for --from auto); nullopt when no
// format reads them.
// `encoding`: the file's, when the caller has told it already (telling it reads the whole of a
// UTF-8 file).
std::optional<Format> detectFormat(const std::filesystem::path &path,
                                   std::optional<LexiconEncoding> encoding = std::nullopt);
// A Rime dictionary for sure: its name ends in ".dict.yaml", or it opens with a header that
// ends in "...".
bool isRimeDictionary(const std::filesystem::path &path);

} // namespace lex::formats
