#pragma once
// Pinyin as the converter handles it. The suite's form of a syllable is toneless lower-case
// a–z with ü written v, and üe after l and n written ue (lue, nue), as the shipped readings
// have it. Codes from other programs are brought to that form on the way in (tone digits and
// tone marks dropped, ü / u: / v unified, j q x y + v read as u) and spelled in each target's
// own convention on the way out.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lex::pinyin {

using Syllables = std::vector<std::string>;

// How a target writes the üe of lüe and nüe.
enum class UeSpelling { Ue, Ve };

// True for a syllable of the suite's form (the readings of the shipped data and of the Rime
// dictionaries: standard Mandarin, m, n, ng, hm, hng, r, ê as eh, and a few rare ones).
bool isSyllable(std::string_view syllable);

// Every way of reading `code` as exactly `count` syllables, the split with the longest first
// syllables first, at most `limit` of them. Spaces, apostrophes (' and ’), hyphens and tone
// digits 1–5 end a syllable, and a code that has them holds one syllable between each two; a
// code without any is split into syllables (custom phrases, fixed-top codes: xian is one
// syllable for one character, xi an for two). Tone marks, upper case, ü and u: are allowed.
// Empty when no reading has that many syllables or the code holds anything else.
// With `joined` false a code without separators is one syllable (the formats that always
// separate them).
std::vector<Syllables> splitCode(std::u16string_view code, size_t count, size_t limit = 8,
                                 bool joined = true);

// The quick path for a code with separators: its syllables into `out` (Done), NotPinyin when a
// part is none, OneRun when the code is a single run of letters (for splitCode to read).
enum class SplitResult { Done, NotPinyin, OneRun };
SplitResult splitSeparated(std::u16string_view code, Syllables &out);
// A run of letters (tone digit or marks allowed) that is one syllable.
std::optional<std::string> singleSyllable(std::u16string_view run);

// The syllables of `code` whatever their number (the count a split without limit gives first);
// empty when `code` is no pinyin.
Syllables splitCodeAnyCount(std::u16string_view code);

// Whether libime's pinyin table holds `syllable` (suite form): it lacks a few rare ones of the
// Rime dictionaries (hm, hng, eh, cei, ...).
bool libimeKnows(std::string_view syllable);

// `syllable` (suite form) in a target's spelling.
std::string spell(std::string_view syllable, UeSpelling ue);

// The syllables joined by `separator`, each spelled for the target; `trailing` adds one more
// separator at the end (Baidu's exports), `leading` one at the start (Sogou's).
std::string joinSyllables(const Syllables &syllables, std::string_view separator, UeSpelling ue,
                          bool leading = false, bool trailing = false);

} // namespace lex::pinyin
