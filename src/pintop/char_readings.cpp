#include "pintop/char_readings.h"

#include "pintop/pinyin_to_code.h"

#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_reader.h"

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

} // namespace lex::pintop
