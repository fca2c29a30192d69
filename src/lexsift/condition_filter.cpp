#include "lexsift/condition_filter.h"

#include "shared/formats/foreign_lexicon.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/lexicon_rules.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/word_automaton.h"

#include <charconv>
#include <cmath>

namespace lex::lexsift {

std::vector<std::u16string> splitWordList(std::u16string_view typed) {
    std::vector<std::u16string> words;
    for (;;) {
        const size_t end = typed.find(u"\r\n");
        const std::u16string_view piece = typed.substr(0, end);
        if (!piece.empty())
            words.emplace_back(piece);
        if (end == std::u16string_view::npos)
            return words;
        typed.remove_prefix(end + 2);
    }
}

std::optional<double> lengthBound(std::u16string_view typed) {
    while (!typed.empty() && (typed.front() == u' ' || typed.front() == u'\t'))
        typed.remove_prefix(1);
    while (!typed.empty() && (typed.back() == u' ' || typed.back() == u'\t'))
        typed.remove_suffix(1);
    std::string ascii;
    for (char16_t c : typed) {
        // Only what a decimal number is written with: no "inf", "nan" or hexadecimal.
        if (!((c >= u'0' && c <= u'9') || c == u'.' || c == u'e' || c == u'E' || c == u'+' ||
              c == u'-'))
            return std::nullopt;
        ascii.push_back(char(c));
    }
    size_t skip = ascii.starts_with('+') ? 1 : 0;
    double value = 0;
    const char *end = ascii.data() + ascii.size();
    auto [ptr, ec] = std::from_chars(ascii.data() + skip, end, value);
    if (ascii.size() == skip || ec != std::errc() || ptr != end || !std::isfinite(value) ||
        (skip && ascii[1] == '-'))
        return std::nullopt;
    return value;
}

bool outsideGb2312(char16_t ch) {
    const auto code = uint16_t(ansiCode(ch));
    if (code > 0xFF)
        return (code >> 8) < 0xA1 || (code & 0xFF) < 0xA1;
    return code < 0xA1;
}

namespace {

double boundOrThrow(const std::u16string &typed, const char *label) {
    if (auto value = lengthBound(typed))
        return *value;
    throw LexError(std::string("长度限制的“") + label + "”不是数字：“" + toUtf8(typed) + "”");
}

} // namespace

ConditionResult filterByConditions(const std::filesystem::path &input,
                                   const std::filesystem::path &output,
                                   const Conditions &conditions, EventPump &pump) {
    ConditionResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    double minLength = 0, maxLength = 0;
    if (conditions.test == ConditionTest::Length) {
        minLength = boundOrThrow(conditions.minText, "最小");
        maxLength = boundOrThrow(conditions.maxText, "最大");
    }
    // The word-list tests run one automaton over each word instead of one search per list word.
    WordAutomaton automaton;
    const bool listTest = conditions.test == ConditionTest::Contains ||
                          conditions.test == ConditionTest::Starts ||
                          conditions.test == ConditionTest::Ends;
    if (listTest) {
        std::vector<std::u16string_view> views(conditions.words.begin(), conditions.words.end());
        automaton.build(views, {.reversed = conditions.test == ConditionTest::Ends});
    }
    auto accepts = [&](std::u16string_view w) {
        switch (conditions.test) {
        case ConditionTest::Contains:
            return automaton.containsAny(w);
        case ConditionTest::Starts:
            return automaton.startsWithAny(w);
        case ConditionTest::Ends:
            return automaton.endsWithAny(w);
        case ConditionTest::Length:
            return minLength <= double(w.size()) && double(w.size()) <= maxLength;
        case ConditionTest::NonGb2312:
            for (char16_t c : w)
                if (outsideGb2312(c))
                    return true;
            return false;
        case ConditionTest::None:
            break;
        }
        return false;
    };

    // Another program's lexicon: its entries are filtered, its header and other lines stay.
    if (const auto format = formats::foreignFormat(input)) {
        const auto filtered = formats::ForeignLexicon::filter(
            input, *format, output,
            [&](const formats::ForeignEntry &e) { return accepts(e.word()); }, pump);
        result.written = filtered.written.lines;
        result.shape = filtered.report;
        return result;
    }
    // The lines are filtered while the rest of a big input is still being decoded.
    LineReader reader(input);
    LineWriter writer(output, pump.context());
    const WordUnits units = pump.context().wordUnits();
    std::u16string word;
    for (int64_t i = 0; !reader.atEnd(); ++i) {
        const std::u16string_view line = reader.readLineView();
        entryWordInto(line, word, units);
        if (!word.empty() && accepts(word)) {
            writer.writeLine(line);
            ++result.written;
        }
        if (i % 20000 == 0) {
            reportProgress(pump, reader);
            pump.yield();
        }
    }
    writer.close();
    return result;
}

} // namespace lex::lexsift
