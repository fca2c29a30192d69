#include "bigseg/supplement.h"

#include "shared/lexcore/atomic_output.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/text_format.h"

namespace lex::bigseg {
namespace fs = std::filesystem;

std::vector<std::u16string> splitLines(std::u16string_view text) {
    std::vector<std::u16string> lines;
    if (text.empty())
        return lines;
    size_t from = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        lines.emplace_back(text.substr(from, i - from));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        from = i + 1;
    }
    lines.emplace_back(text.substr(from));
    return lines;
}

namespace {

void writeWords(const fs::path &path, const std::vector<std::u16string> &words, RunContext &run) {
    LineWriter writer(path, TextFormat::gbk(), &run); // a data file of the tool
    for (const auto &w : words)
        writer.writeLine(w);
    writer.close();
}

} // namespace

SupplementResult applySupplement(std::u16string_view text, const fs::path &bcIni,
                                 const fs::path &ciku, SegmentLexicon &lexicon, EventPump &pump) {
    SupplementResult result;
    std::vector<std::u16string> words = splitLines(text);
    size_t wordEnd = 0; // words are lines [0, wordEnd)
    for (size_t i = words.size(); i-- > 0;) {
        const std::u16string &line = words[i];
        if (line.empty())
            continue;
        if (line == u"a") {
            result.mode = SupplementMode::Add;
        } else if (line == u"d") {
            result.mode = SupplementMode::Toggle;
        } else {
            wordEnd = i + 1;
            break;
        }
    }
    if (wordEnd == 0) {
        writeFileAtomically(bcIni, {}, &pump.context());
        return result;
    }
    result.hadWords = true;
    words.resize(wordEnd);
    sortAscending(words, pump);
    removeDuplicates(words);
    result.words = words.size();

    if (result.mode == SupplementMode::Keep)
        writeWords(bcIni, words, pump.context());
    if (!fileExists(ciku)) {
        result.wordListMissing = true;
        return result;
    }
    SegmentLexicon main = readWordList(ciku, &pump);
    SegmentLexicon rebuilt = result.mode == SupplementMode::Toggle
                                 ? symmetricDifference(main, words)
                                 : unionOf(main, words);
    if (result.mode != SupplementMode::Keep) {
        LineWriter writer(ciku, TextFormat::gbk(), &pump.context());
        for (int32_t i = 0; i < rebuilt.size(); ++i) {
            writer.writeLine(rebuilt[i]);
            if (i % 20000 == 0)
                pump.yield();
        }
        writer.close();
        // Emptied only once the words are safe in "ciku.lxd".
        writeFileAtomically(bcIni, {}, &pump.context());
    }
    result.lexiconSize = rebuilt.size();
    lexicon = std::move(rebuilt);
    return result;
}

std::string supplementReport(const SupplementResult &result) {
    const std::string n = std::to_string(result.words);
    std::string text;
    if (!result.hadWords)
        text = "补充词表 bc.ini 已清空。";
    else if (result.mode == SupplementMode::Keep)
        text = "补充词条：" + n + "（写入 bc.ini）";
    else if (result.mode == SupplementMode::Add)
        text = "加入词条：" + n + "（写入 ciku.lxd，bc.ini 已清空）";
    else
        text = "切换词条：" + n + "（写入 ciku.lxd，bc.ini 已清空）";
    if (result.hadWords)
        text += "\r\n词库词条：" + std::to_string(result.lexiconSize);
    return text;
}

} // namespace lex::bigseg
