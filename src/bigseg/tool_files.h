#pragma once
// The files of bigseg, all in its writable folder (see ToolFolder): the word list "ciku.lxd"
// and the supplement list "bc.ini" ship with the tool and are edited by the supplement editor;
// "fc.txt" holds the last segmentation, "tj.txt" the last statistics.

namespace lex::bigseg {

inline constexpr const char *kWordListFile = "ciku.lxd";
inline constexpr const char *kSupplementFile = "bc.ini";
inline constexpr const char *kSegmentFile = "fc.txt";
inline constexpr const char *kStatsFile = "tj.txt";

} // namespace lex::bigseg
