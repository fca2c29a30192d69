// The line-by-line application of the word table against the literal model: the whole lexicon
// joined into one text, one replace-all pass per pair from the last to the first, the zeros
// deleted, the text split again and FixPinyin run over every line.
#include "shared/pinyin/annotate_line.h"
#include "shared/pinyin/char_dictionary.h"
#include "shared/pinyin/word_table.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace lex::pinyin;

namespace {

void replaceEverywhere(std::u16string &text, std::u16string_view word, std::u16string_view by) {
    if (word.empty())
        return;
    std::u16string out;
    size_t from = 0;
    for (size_t at = text.find(word); at != std::u16string::npos; at = text.find(word, from)) {
        out.append(text, from, at - from);
        out.append(by);
        from = at + word.size();
    }
    out.append(text, from);
    text = out;
}

std::vector<std::u16string> literalAnnotation(const std::vector<std::u16string> &lines,
                                              const WordTable &table, const CharDictionary &dict,
                                              PinyinCounters &counters) {
    std::u16string text;
    for (size_t i = 0; i < lines.size(); ++i)
        text += (i ? u"\r\n" : u"") + InsBlank(lines[i]);
    for (size_t k = table.size(); k-- > 0;)
        replaceEverywhere(text, table.word(k), table.marked(k));
    std::erase(text, u'0');
    std::vector<std::u16string> out;
    size_t from = 0;
    for (size_t at = text.find(u"\r\n"); at != std::u16string::npos;
         at = text.find(u"\r\n", from)) {
        out.push_back(FixPinyin(text.substr(from, at - from), dict, counters));
        from = at + 2;
    }
    out.push_back(FixPinyin(text.substr(from), dict, counters));
    return out;
}

std::vector<std::u16string> lineByLine(const std::vector<std::u16string> &lines,
                                       const WordTable &table, const CharDictionary &dict,
                                       PinyinCounters &counters) {
    std::vector<std::u16string> out;
    std::u16string line, scratch;
    for (const auto &l : lines) {
        annotateLine(l, dict, table, counters, line, scratch);
        out.push_back(line);
    }
    return out;
}

CharDictionary smallDictionary() {
    CharDictionary dict;
    for (std::u16string_view line : {u"中zhong", u"国guo", u"重zhong", u"a啊"})
        dict.add(line);
    return dict;
}

} // namespace

// Guards the automaton against every way the literal passes can interact: overlapping words,
// a word made by an earlier replacement, words that start or end with letters or zeros, empty
// words and repeated words. Thousands of small random tables and lexicons, fixed seed.
TEST(WordTable, LineByLineEqualsTheReplaceAllPasses) {
    const std::u16string alphabet = u"中国重庆az0@";
    const CharDictionary dict = smallDictionary();
    std::mt19937 rng(20240611);
    auto pick = [&](size_t n) { return size_t(rng() % n); };
    auto randomText = [&](size_t maxLength) {
        std::u16string s;
        for (size_t n = pick(maxLength + 1); n > 0; --n)
            s.push_back(alphabet[pick(alphabet.size())]);
        return s;
    };
    size_t changedLines = 0;
    for (int round = 0; round < 4'000; ++round) {
        WordTable table;
        for (size_t n = pick(9); n > 0; --n) {
            // Table lines as the file holds them, and pairs of any shape.
            if (pick(2))
                table.addLine(randomText(5));
            else
                table.addPair(randomText(3), randomText(6));
        }
        std::vector<std::u16string> lines(1 + pick(12));
        for (auto &l : lines)
            l = randomText(9);
        PinyinCounters literalCounts, fastCounts;
        const auto expected = literalAnnotation(lines, table, dict, literalCounts);
        const auto got = lineByLine(lines, table, dict, fastCounts);
        ASSERT_EQ(got, expected) << "round " << round;
        // The traced passes of the review list give the same text, with a trace per unit.
        for (const auto &l : lines) {
            std::u16string plain = InsBlank(l), traced = plain, scratch;
            WordTable::Trace trace;
            table.apply(plain, scratch);
            table.applyTraced(traced, trace, scratch);
            ASSERT_EQ(traced, plain) << "round " << round;
            ASSERT_EQ(trace.from.size(), traced.size());
        }
        ASSERT_EQ(fastCounts.supplemented, literalCounts.supplemented);
        ASSERT_EQ(fastCounts.cleared, literalCounts.cleared);
        PinyinCounters none;
        for (size_t i = 0; i < lines.size(); ++i)
            changedLines += got[i] != FixPinyin(lines[i], dict, none);
    }
    // The tables must actually have changed lines, or the comparison proves nothing.
    EXPECT_GT(changedLines, 5'000u);
}
