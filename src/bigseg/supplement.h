#pragma once
// The supplement editor's "确定": the typed lines are words, optionally followed by a command
// line "a" (add the words to "ciku.lxd" for good) or "d" (toggle them in "ciku.lxd": remove the
// words it holds, add those it lacks). Without a command the words become the supplement list
// "bc.ini", united with "ciku.lxd" at every start. With a command "bc.ini" is left empty. The
// word list in memory is rebuilt at once.
//
// Lines are read from the last one up: empty lines are passed over, "a" and "d" set the mode
// (the topmost command counts), and the first other line ends the commands; it and every line
// above it are words, sorted, without repeats and empty lines.

#include "bigseg/segment_lexicon.h"
#include "shared/lexcore/event_pump.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lex::bigseg {

enum class SupplementMode { Keep, Add, Toggle };

struct SupplementResult {
    SupplementMode mode = SupplementMode::Keep;
    bool hadWords = false;        // false: "bc.ini" was emptied and nothing else changed
    size_t words = 0;             // distinct words applied
    bool wordListMissing = false; // "ciku.lxd" is gone: nothing was rebuilt, the tool must end
    int32_t lexiconSize = 0;      // entries of the rebuilt word list
};

// The text's lines, split at CR LF, LF or CR; an empty text has no lines.
std::vector<std::u16string> splitLines(std::u16string_view text);

// Applies `text` as typed. "ciku.lxd" is checked before a command empties "bc.ini", so that a
// missing word list costs no supplement words. Files are replaced atomically; `lexicon` is
// replaced only once they are written. Throws LexError on unreadable or unwritable files.
SupplementResult applySupplement(std::u16string_view text, const std::filesystem::path &bcIni,
                                 const std::filesystem::path &ciku, SegmentLexicon &lexicon,
                                 EventPump &pump);

// What lexcli prints: the words and where they went, and the size of the word list.
std::string supplementReport(const SupplementResult &result);

} // namespace lex::bigseg
