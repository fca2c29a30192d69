#include "pintop/char_readings.h"

#include "pintop/pinyin_to_code.h"

#include "shared/lexcore/lexicon_files.h"

namespace lex::pintop {

void CharReadings::applyTable(const ReplacementTable &table) {
    m_codes.assign(m_spans.size(), SyllableCode{});
    for (size_t ch = 0; ch < m_spans.size(); ++ch)
        if (m_present[ch])
            m_codes[ch] = pinyinToCodeParts(raw(char16_t(ch)), table);
}

bool CharReadings::add(char16_t ch, std::u16string_view reading) {
    if (m_present[ch])
        return false;
    m_present[ch] = true;
    m_spans[ch] = Span{uint32_t(m_text.size()), uint32_t(reading.size())};
    m_text += reading;
    ++m_count;
    return true;
}

void ReplacementTable::addLine(std::u16string_view line) {
    size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos || eq == 0)
        return;
    m_map.try_emplace(std::u16string(line.substr(0, eq)), line.substr(eq + 1));
    m_memo.clear();
}

const std::u16string *ReplacementTable::find(std::u16string_view key) const {
    auto it = m_map.find(key);
    return it == m_map.end() ? nullptr : &it->second;
}

std::unique_ptr<PintopData> loadPintopData(const std::filesystem::path &readingsFile,
                                           const std::filesystem::path &tablePath) {
    if (!fileExists(readingsFile))
        throw LexError("找不到汉字读音文件“dz.lxd”，无法生成固顶词库：" + readingsFile.string(),
                       readingsFile);
    auto data = std::make_unique<PintopData>();
    LineReader dz(readingsFile);
    while (!dz.atEnd()) {
        std::u16string_view line = dz.readLineView();
        if (!line.empty())
            data->readings.add(line[0], line.substr(1));
    }
    dz.close();
    if (fileExists(tablePath)) {
        data->tableInUse = true;
        LineReader table(tablePath);
        while (!table.atEnd())
            data->table.addLine(table.readLineView());
        table.close();
        data->readings.applyTable(data->table);
    }
    return data;
}

void ReplacementTable::appendCode(std::u16string &out, std::u16string_view py) const {
    // Up to seven ASCII letters pack into one key: 7 bits each, the length in the low bits.
    uint64_t key = 0;
    if (!py.empty() && py.size() <= 7) {
        key = py.size();
        for (char16_t c : py) {
            if (c == 0 || c >= 0x80) {
                key = 0;
                break;
            }
            key = key << 7 | c;
        }
    }
    if (key == 0)
        return pinyinToCodeParts(py, *this).appendTo(out, py);
    constexpr size_t kMemoSize = 4096;
    if (m_memo.empty())
        m_memo.resize(kMemoSize);
    // The key is the syllable itself, so pieces that point into it hold for the next one too.
    Memo &m = m_memo[(key * 0x9E3779B97F4A7C15ULL) >> 52];
    if (m.key != key) {
        m.key = key;
        m.code = pinyinToCodeParts(py, *this);
    }
    m.code.appendTo(out, py);
}

} // namespace lex::pintop
