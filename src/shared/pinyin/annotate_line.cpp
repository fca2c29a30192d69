#include "shared/pinyin/annotate_line.h"

#include <algorithm>

namespace lex::pinyin {

void annotateLine(std::u16string_view line, const CharDictionary &dict, const WordTable &table,
                  PinyinCounters &counters, std::u16string &out, std::u16string &scratch,
                  WordUnits units) {
    thread_local std::u16string work;
    out.clear();
    appendAnnotatedLine(line, dict, table, counters, out, scratch, work, units);
}

void appendAnnotatedLine(std::u16string_view line, const CharDictionary &dict,
                         const WordTable &table, PinyinCounters &counters, std::u16string &out,
                         std::u16string &scratch, std::u16string &work, WordUnits units) {
    if (!table.mayChange(line)) {
        // No word occurs: the markers InsBlank would insert are deleted again with every other
        // "0", and FixPinyin sees the line without its zeros.
        if (line.find(u'0') == std::u16string_view::npos) {
            appendFixedPinyin(line, dict, counters, out, units);
            return;
        }
        scratch.assign(line);
        std::erase(scratch, u'0');
        appendFixedPinyin(scratch, dict, counters, out, units);
        return;
    }
    InsBlank(line, scratch, units);
    table.apply(scratch, work);
    std::erase(scratch, u'0');
    appendFixedPinyin(scratch, dict, counters, out, units);
}

} // namespace lex::pinyin
