#pragma once
// Duplicate-code removal: of the lines "code=word" of a fixed-top lexicon, each code keeps its
// first one, two or three lines, in input order.
//
// The lines of a code take the slot keys code, code + "-" and code + "--"; keys compare
// exactly, so a line whose code ends in "-" competes with the later lines of the shorter code.
// With two or three lines per code every "-" is removed from the output.

#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace lex::pintop {

struct DedupResult {
    bool inputFound = false; // false: nothing was read or written
    int64_t kept = 0;        // lines written
};

// `keepLimit` 1, 2 or 3; 0 (no keep option set) keeps nothing. Throws LexError on unreadable
// input or unwritable output; the output is then left as it was.
DedupResult removeDuplicateCodes(const std::filesystem::path &input,
                                 const std::filesystem::path &output, int keepLimit,
                                 EventPump &pump);

// "新固顶词库词条：" + kept, then the elapsed time since `startSecondsOfDay`.
std::string dedupReport(int64_t kept, int startSecondsOfDay);

} // namespace lex::pintop
