#pragma once
// Annotation correction against "lw.txt" and extraction of annotated lines.
//
// "lw.txt": one correctly annotated word per line (重chong庆qing). Correction puts its lines
// into the tool's entry set; a lexicon line whose entryWord equals that of a list line is
// replaced by the list line, and the list line is used up, so it corrects only the first such
// lexicon line. Every replacement that changes a line goes to the log as
// "old　→　new". A lexicon line without double-byte characters comes out as ";".

#include "phonetag/foreign_entries.h"
#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace lex::phonetag {

inline constexpr const char *kListFile = "lw.txt";
inline constexpr const char *kLogFile = "log.txt";
inline constexpr const char *kListMissing = "找不到正确注音词表文件“lw.txt”，无法修正注音。";

// The entry set of the tool: the annotation key, with the word index that Hash_ExistsX uses.
EntryHashSet makeEntrySet();

struct CorrectResult {
    bool listFound = false;  // false: nothing was read or written
    bool inputFound = false; // false: nothing was written
    int64_t lines = 0;
    int64_t logged = 0;                   // lines that changed
    std::optional<ForeignResult> foreign; // another program's lexicon, kept in its shape
};

// Clears `set`, fills it with the list, and corrects `input` into `output`, writing the log to
// `log` (replaced). The set keeps what is left of the list. Throws LexError on unreadable
// files or unwritable outputs; neither output is then touched.
CorrectResult correctAnnotation(EntryHashSet &set, const std::filesystem::path &list,
                                const std::filesystem::path &input,
                                const std::filesystem::path &output,
                                const std::filesystem::path &log, EventPump &pump);

struct ExtractResult {
    bool inputFound = false;
    int64_t kept = 0;
    std::optional<ForeignResult> foreign; // another program's lexicon, kept in its shape
};

// Keeps the lines of `input` for which IsDYC holds.
ExtractResult extractAnnotated(const std::filesystem::path &input,
                               const std::filesystem::path &output, EventPump &pump);

// "共计词条：" + lines, title "修正拼音完成！"; "提取注音词条：" + kept, title "完成！".
std::string correctReport(int64_t lines, int startSecondsOfDay);
std::string extractReport(int64_t kept, int startSecondsOfDay);
inline constexpr const char *kCorrectTitle = "修正拼音完成！";

} // namespace lex::phonetag
