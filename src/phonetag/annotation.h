#pragma once
// Automatic annotation and clearing pinyin, the two operations of the annotation form.
// Automatic annotation runs shared/pinyin/annotate_line.h over every line; clearing pinyin
// keeps entryWord of every line.

#include "phonetag/foreign_entries.h"
#include "shared/lexcore/event_pump.h"
#include "shared/pinyin/char_dictionary.h"
#include "shared/pinyin/word_table.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lex {
class LineStream;
}

namespace lex::phonetag {

inline constexpr const char *kOpenFailed = "打开词库失败！";
inline constexpr const char *kDictionaryMissing = "找不到单字表文件“dz.txt”，程序无法运行。";
inline constexpr const char *kWordTableMissing = "找不到词表文件“zn.lxd”，无法智能注音。";

struct LineCountResult {
    bool inputFound = false; // false: nothing was read or written
    int64_t lines = 0;
    std::optional<ForeignResult> foreign; // another program's lexicon, kept in its shape
};

// Annotates `input` (either encoding) into `output` (code page 936, CR LF after every line); a
// lexicon of another program's format goes to annotateForeign (foreign_entries.h), as it goes
// to clearForeign and dedupForeign in clearPinyin and removeRepeatedEntries.
// The counters grow by what FixPinyin counted. Throws LexError on unreadable input or
// unwritable output; the output is then left as it was. `opened`, if given, is a stream already
// opened on `input` (a caller that starts decoding it while it loads the data).
LineCountResult autoAnnotate(const std::filesystem::path &input,
                             const std::filesystem::path &output,
                             const pinyin::CharDictionary &dict, const pinyin::WordTable &table,
                             pinyin::PinyinCounters &counters, EventPump &pump,
                             LineStream *opened = nullptr);

// Writes entryWord of every line of `input` to `output`.
LineCountResult clearPinyin(const std::filesystem::path &input, const std::filesystem::path &output,
                            EventPump &pump);

// "共计词条：" + lines, then the elapsed time since `startSecondsOfDay`; the titles of the two
// reports are "自动注音完成！" and "清除拼音完成！".
std::string lineCountReport(int64_t lines, int startSecondsOfDay);
inline constexpr const char *kAnnotateTitle = "自动注音完成！";
inline constexpr const char *kClearTitle = "清除拼音完成！";

} // namespace lex::phonetag
