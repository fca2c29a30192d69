#include "pintop/fixed_top.h"

#include "pintop/pinyin_to_code.h"

#include "shared/formats/conversion.h"
#include "shared/formats/foreign_lexicon.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/report.h"

#include <optional>

namespace lex::pintop {
namespace {

char16_t foldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

void appendSyllable(std::u16string &code, const PintopData &data, char16_t prev, bool pending,
                    std::u16string_view ann) {
    if (pending)
        data.readings.appendReading(code, prev);
    else if (data.tableInUse)
        data.table.appendCode(code, ann);
    else
        code += ann;
}

} // namespace

char16_t separatorFromArguments(std::u16string_view argumentText) {
    return argumentText.size() == 1 ? argumentText[0] : u'-';
}

void parseStandardLine(std::u16string_view line, char16_t separator, const PintopData &data,
                       std::u16string &word, std::u16string &code, WordUnits units) {
    word.clear();
    code.clear();
    if (line.empty() || !units.isWord(line[0])) {
        code = u";";
        return;
    }
    char16_t prev = line[0];
    word.push_back(prev);
    bool pending = true;
    // The annotation of a character is always one run of single-byte characters right after it.
    size_t annStart = 0;
    for (size_t i = 1; i < line.size(); ++i) {
        char16_t ch = line[i];
        // A wide word's character beyond the basic plane is one character of two units.
        if (units.isWide() && pending && ch >= 0xDC00 && ch <= 0xDFFF && prev >= 0xD800 &&
            prev <= 0xDBFF) {
            word.push_back(ch);
            continue;
        }
        if (units.isWord(ch)) {
            appendSyllable(code, data, prev, pending, line.substr(annStart, i - annStart));
            code.push_back(separator);
            word.push_back(ch);
            prev = ch;
            pending = true;
        } else if (pending) {
            annStart = i;
            pending = false;
        }
    }
    appendSyllable(code, data, prev, pending, line.substr(annStart));
}

std::u16string initialsCode(std::u16string_view code, char16_t separator) {
    std::u16string out;
    initialsCode(code, separator, out);
    return out;
}

void initialsCode(std::u16string_view code, char16_t separator, std::u16string &out) {
    out.clear();
    if (code.empty())
        return;
    out.push_back(code[0]);
    if (code.size() < 2)
        return;
    const char16_t sep = foldAscii(separator);
    char16_t prev = code[1];
    for (size_t i = 2; i < code.size(); ++i) {
        if (foldAscii(prev) == sep) {
            out.push_back(separator);
            out.push_back(code[i]);
        }
        prev = code[i];
    }
}

bool shapeCode(std::u16string &code, size_t wordLength, LongWords mode, char16_t separator,
               std::u16string &scratch) {
    const bool isLong = wordLength > 3;
    switch (mode) {
    case LongWords::Keep:
        break;
    case LongWords::Initials:
        if (isLong) {
            initialsCode(code, separator, scratch);
            code.swap(scratch);
        }
        break;
    case LongWords::First6:
        std::erase(code, u'-');
        if (isLong && code.size() > 6)
            code.resize(6);
        return true;
    case LongWords::Omit:
        if (isLong)
            return false;
        break;
    }
    std::erase(code, u'-');
    return true;
}

GenerateResult generateFixedTop(const std::filesystem::path &input,
                                const std::filesystem::path &output, const PintopData &data,
                                const GenerateOptions &options, EventPump &pump) {
    GenerateResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    // Another program's lexicon (Rime, fcitx5, ...) gives its entries as the suite's lines.
    std::optional<LineReader> reader;
    std::optional<formats::StandardLines> entries;
    const std::optional<formats::Format> foreign = formats::foreignFormat(input);
    if (foreign)
        entries.emplace(input, *foreign);
    else
        reader.emplace(input);
    // The writer only buffers; the output file is replaced once, at close(), after all input
    // was read, so an output path equal to the input path is safe.
    LineWriter writer(output, pump.context());
    RunContext &run = pump.context();
    const WordUnits units = run.wordUnits();
    // Only text that was not code page 936 can hold characters it lacks.
    const bool noteDropped =
        !units.isWide() && (entries || reader->encoding() != LexiconEncoding::Ansi936);
    std::u16string word, code, scratch, out;
    auto next = [&](std::u16string_view &line) {
        if (entries) {
            if (!entries->next(line))
                return false;
            pump.setProgress(int64_t(entries->bytesRead()), int64_t(entries->size()));
            return true;
        }
        if (reader->atEnd())
            return false;
        line = reader->readLineView();
        reportProgress(pump, *reader);
        return true;
    };
    std::u16string_view line;
    while (next(line)) {
        if (line.empty())
            continue;
        parseStandardLine(line, options.separator, data, word, code, units);
        // One yield per character after the first, taken together once the line is parsed, so
        // a reload of the readings during the yield never lands in the middle of a line.
        if (units.isWord(line[0]))
            pump.yieldMany(int64_t(line.size()) - 1);
        if (!shapeCode(code, word.size(), options.longWords, options.separator, scratch))
            continue;
        out.assign(code);
        out.push_back(u'=');
        out.append(word);
        if (noteDropped && holdsBeyond936(line) && !holdsBeyond936(out))
            run.noteDropped(line);
        writer.writeLine(out);
        ++result.count;
        if (result.count % 20000 == 0)
            pump.yield();
    }
    const auto total = int64_t(entries ? entries->size() : reader->size());
    if (reader)
        reader->close();
    writer.close();
    pump.setProgress(total, total);
    if (foreign)
        result.shape = std::string("格式：") + formats::formatInfo(*foreign).name + "，非词条行 " +
                       std::to_string(entries->skipped()) + " 行未用\r\n";
    return result;
}

std::string generateReport(int64_t count, int startSecondsOfDay) {
    return CompletionText().count("固顶词库词条：", count).text(elapsedText(startSecondsOfDay));
}

} // namespace lex::pintop
