#pragma once
// The lexicon update: base lexicon + the user lexicon's new lines − the waste lexicon's lines
// − the private lexicon's lines, in first-occurrence order, through one entry set with the
// standard key. Lines the key rejects fold into the placeholder ";", which is counted but
// never written.

#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace lex::lexupdate {

struct UpdatePaths {
    std::filesystem::path base;
    std::filesystem::path waste;          // optional: a missing file is skipped
    std::filesystem::path user;           // optional
    std::filesystem::path privateLexicon; // optional
    std::filesystem::path output;
    bool deleteWaste = false; // delete the waste lexicon once the new lexicon is written
};

struct UpdateResult {
    bool baseMissing = false; // nothing was read or written
    int64_t baseCount = 0;
    int64_t added = 0;
    int64_t deleted = 0; // removals by the waste lexicon
    int64_t newCount = 0;
    bool wasteDeleted = false;
    std::string wasteDeleteError; // set when the waste lexicon could not be deleted
    // A base lexicon of another program's format, kept in its shape: the report's lines about it.
    std::string shape;
};

// A base lexicon of another program's format (foreign_lexicon.h) is updated entry by entry, by
// word and code, and written in its shape.
// Runs the update on `set` (empty on entry) and leaves it filled. Read and write failures and
// a full set throw LexError; nothing is written then and the waste lexicon stays.
UpdateResult runUpdate(EntryHashSet &set, const UpdatePaths &paths, EventPump &pump);

// The six-line report, with its empty line before the elapsed time.
std::string reportText(const UpdateResult &result, std::string_view elapsed);

inline constexpr std::string_view kBaseMissing = "打开原始词库失败！";

} // namespace lex::lexupdate
