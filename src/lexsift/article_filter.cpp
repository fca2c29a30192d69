#include "lexsift/article_filter.h"

#include "shared/formats/foreign_lexicon.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/word_automaton.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lex::lexsift {

namespace {
constexpr size_t kYieldRows = 20000;

// The whole article, its line ends kept.
std::u16string readArticle(const std::filesystem::path &article) {
    LineReader reader(article);
    return reader.readAll();
}

// Another program's lexicon: its entries whose word occurs in the article, its header and other
// lines kept.
ArticleResult filterForeign(const std::filesystem::path &source, formats::Format format,
                            const std::filesystem::path &article,
                            const std::filesystem::path &target, EventPump &pump) {
    ArticleResult result;
    result.sourceFound = true;
    const formats::ForeignLexicon lexicon(source, format, pump);
    if (!fileExists(article))
        return result;
    result.articleFound = true;
    const std::u16string text = readArticle(article);
    std::vector<std::u16string_view> words;
    words.reserve(lexicon.entries().size());
    for (const formats::ForeignEntry &e : lexicon.entries())
        words.emplace_back(e.word());
    WordAutomaton automaton;
    const LargeVector<uint32_t> nodes = automaton.build(words, {}, &pump);
    automaton.markOccurrences(text, &pump);
    std::vector<uint32_t> kept;
    for (size_t i = 0; i < words.size(); ++i)
        if (!words[i].empty() && automaton.occurred(nodes[i]))
            kept.push_back(uint32_t(i));
    const auto written = lexicon.write(target, lexicon.entries(), pump, &kept);
    result.written = written.lines;
    result.shape = formats::foreignReport(lexicon, written);
    return result;
}

} // namespace

ArticleResult filterByArticle(const std::filesystem::path &source,
                              const std::filesystem::path &article,
                              const std::filesystem::path &target, EventPump &pump) {
    ArticleResult result;
    if (!fileExists(source))
        return result;
    if (const auto format = formats::foreignFormat(source))
        return filterForeign(source, *format, article, target, pump);
    result.sourceFound = true;

    // The source table: each line as a view into the reader, its word in one shared buffer.
    LineReader reader(source);
    const size_t total = reader.countLines();
    std::vector<std::u16string_view> lines, words;
    lines.reserve(total);
    words.reserve(total);
    std::unique_ptr<char16_t[]> wordText(new char16_t[reader.size() + 1]);
    char16_t *out = wordText.get();
    bool stopped = false;
    const WordUnits units = pump.context().wordUnits();
    for (size_t i = 0; !reader.atEnd(); ++i) {
        const std::u16string_view line = reader.readLineView();
        char16_t *begin = out;
        if (!line.empty()) {
            *out++ = line[0];
            for (size_t k = 1; k < line.size(); ++k)
                if (units.isWord(line[k]))
                    *out++ = line[k];
        }
        lines.push_back(line);
        words.emplace_back(begin, size_t(out - begin));
        if (i % kYieldRows == 0) {
            pump.setProgress(int64_t(i), int64_t(total) * 2);
            if (pump.yield()) {
                stopped = true;
                break;
            }
        }
    }

    if (!fileExists(article))
        return result;
    result.articleFound = true;
    const std::u16string text = readArticle(article);

    LineWriter writer(target, pump.context());
    writer.reserve(reader.size() * 2 + lines.size() * 2 + 16);
    auto write = [&](size_t row) {
        writer.writeLine(lines[row]);
        ++result.written;
    };
    WordAutomaton automaton;
    LargeVector<uint32_t> nodes;
    if (!stopped) {
        nodes = automaton.build(words, {}, &pump);
        stopped = pump.stopRequested() || !automaton.markOccurrences(text, &pump);
    }
    if (stopped) {
        // The writing loop would leave at its first yield point, after the first line: that
        // line alone is searched for, without the automaton.
        if (!lines.empty() && !words[0].empty() && text.find(words[0]) != std::u16string::npos)
            write(0);
    } else {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (automaton.occurred(nodes[i]))
                write(i);
            if (i % kYieldRows == 0) {
                pump.setProgress(int64_t(lines.size() + i), int64_t(lines.size()) * 2);
                if (pump.yield()) {
                    stopped = true;
                    break;
                }
            }
        }
    }
    writer.close();
    result.stopped = stopped;
    return result;
}

} // namespace lex::lexsift
