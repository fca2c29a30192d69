#pragma once
// Annotation optimisation: adjusting extra and missing pinyin (FixPinyin over every line) and
// deleting repeated lines through the tool's entry set (first occurrence kept; lines without
// double-byte characters all become the one entry ";").

#include "shared/pinyin/char_dictionary.h"

#include "phonetag/foreign_entries.h"
#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace lex::phonetag {

inline constexpr const char *kOpenSourceFailed = "打开原始词库失败！";

struct AdjustResult {
    bool inputFound = false;
    int64_t lines = 0;
    pinyin::PinyinCounters counters; // what this run counted
};

// Resets `counters`, writes FixPinyin of every line of `input` to `output` and leaves in
// `counters` what it counted. Throws LexError on unreadable input or unwritable output.
AdjustResult adjustPinyin(const std::filesystem::path &input, const std::filesystem::path &output,
                          const pinyin::CharDictionary &dict, pinyin::PinyinCounters &counters,
                          EventPump &pump);

struct DedupResult {
    bool inputFound = false;
    int64_t repeated = 0;
    int64_t remaining = 0;                // the set's inserted count
    std::optional<ForeignResult> foreign; // another program's lexicon, kept in its shape
};

// Adds every new line of `input` to `set` and writes its entries in insertion order. The set
// holds views of the input while it runs and is empty when it returns (a set left filled by
// someone else is cleared first). Throws LexError on unreadable input, an unwritable output,
// or more distinct lines than the set holds.
DedupResult removeRepeatedEntries(EntryHashSet &set, const std::filesystem::path &input,
                                  const std::filesystem::path &output, EventPump &pump);

// "补充欠拼：" + supplemented, "清除赘拼：" + cleared; "删除重复词条：" + repeated,
// "剩余词条：" + remaining; both titled "完成！".
std::string adjustReport(const pinyin::PinyinCounters &counters, int startSecondsOfDay);
std::string dedupReport(const DedupResult &result, int startSecondsOfDay);

} // namespace lex::phonetag
