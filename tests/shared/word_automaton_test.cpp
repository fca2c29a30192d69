// The shared word automaton against brute force: every occurrence with its end, the distinct
// words marked, the three predicates and the pair filter, over random words and texts of a small
// alphabet (so that words overlap, nest and repeat), exact and case-folded.
#include "shared/lexcore/word_automaton.h"

#include "counting_pump.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace lex;

namespace {

std::u16string folded(std::u16string s, bool folding) {
    if (folding)
        foldCase(s);
    return s;
}

struct Round {
    std::vector<std::u16string> words;
    std::vector<std::u16string_view> views;
    lex::LargeVector<uint32_t> nodes;
    WordAutomaton automaton;
};

void buildRound(Round &r, std::mt19937 &rng, const std::u16string &alphabet, bool folding,
                bool reversed = false) {
    r.words.assign(rng() % 12, u"");
    for (auto &w : r.words)
        for (size_t n = rng() % 5; n > 0; --n)
            w += alphabet[rng() % alphabet.size()];
    r.views.assign(r.words.begin(), r.words.end());
    r.nodes =
        r.automaton.build(r.views, {.folding = folding, .reversed = reversed, .pairFilter = true});
    ASSERT_EQ(r.nodes.size(), r.words.size());
}

} // namespace

// Guards the occurrence reports that the word table of annotation reads: every (end, word) pair
// of the text, longer words first at one end, equal words (after folding) on one node.
TEST(WordAutomaton, ReportsEveryOccurrenceAndMarksTheWordsMet) {
    const std::u16string alphabet = u"中国华人aAbBKK\u212A";
    std::mt19937 rng(20260611);
    size_t occurrences = 0;
    for (int round = 0; round < 3000; ++round) {
        const bool folding = round % 2 == 1;
        Round r;
        buildRound(r, rng, alphabet, folding);
        std::u16string text;
        for (size_t n = rng() % (round % 50 == 0 ? 9000 : 30); n > 0; --n)
            text += alphabet[rng() % alphabet.size()];
        const std::u16string ftext = folded(text, folding);

        // Equal words share a node, different ones do not, the empty word has none.
        for (size_t i = 0; i < r.words.size(); ++i) {
            EXPECT_EQ(r.nodes[i] == WordAutomaton::kNoNode, r.words[i].empty());
            if (!r.words[i].empty()) {
                EXPECT_EQ(r.automaton.depth(r.nodes[i]), r.words[i].size());
            }
            for (size_t j = 0; j < r.words.size(); ++j)
                EXPECT_EQ(r.nodes[i] == r.nodes[j],
                          folded(r.words[i], folding) == folded(r.words[j], folding));
        }
        std::map<uint32_t, std::u16string> wordOf;
        for (size_t i = 0; i < r.words.size(); ++i)
            wordOf[r.nodes[i]] = folded(r.words[i], folding);

        std::set<std::pair<size_t, uint32_t>> expected, got;
        std::set<uint32_t> met;
        for (const auto &[node, w] : wordOf) {
            if (node == WordAutomaton::kNoNode)
                continue;
            for (size_t at = ftext.find(w); at != std::u16string::npos; at = ftext.find(w, at + 1))
                expected.emplace(at + w.size(), node);
            if (ftext.find(w) != std::u16string::npos)
                met.insert(node);
        }
        size_t lastEnd = 0, lastDepth = 0;
        r.automaton.forEachMatch(text, [&](size_t end, uint32_t node) {
            EXPECT_TRUE(end > lastEnd || r.automaton.depth(node) < lastDepth);
            lastEnd = end;
            lastDepth = r.automaton.depth(node);
            got.emplace(end, node);
        });
        ASSERT_EQ(got, expected) << "round " << round;
        occurrences += got.size();

        std::vector<uint32_t> newly;
        ASSERT_TRUE(r.automaton.markOccurrences(
            text, [] { return false; }, WordAutomaton::kYieldEvery, &newly));
        EXPECT_EQ(std::set<uint32_t>(newly.begin(), newly.end()), met);
        EXPECT_EQ(newly.size(), met.size()) << "a word listed twice";
        for (const auto &[node, w] : wordOf)
            EXPECT_EQ(r.automaton.occurred(node), met.count(node) == 1);
        EXPECT_EQ(r.automaton.containsAny(text), !met.empty());
        if (!met.empty()) {
            EXPECT_TRUE(r.automaton.mayHoldWord(text)) << "the pair filter lost a word";
        }
        r.automaton.clearMarks();
        for (const auto &[node, w] : wordOf)
            EXPECT_FALSE(r.automaton.occurred(node));
    }
    EXPECT_GT(occurrences, 20'000u);
}

TEST(WordAutomaton, StartsAndEndsWithAny) {
    const std::u16string alphabet = u"中国aA";
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        const bool folding = round % 2 == 1;
        Round forward, backward;
        buildRound(forward, rng, alphabet, folding);
        backward.words = forward.words;
        backward.views.assign(backward.words.begin(), backward.words.end());
        backward.automaton.build(backward.views, {.folding = folding, .reversed = true});
        std::u16string text;
        for (size_t n = rng() % 7; n > 0; --n)
            text += alphabet[rng() % alphabet.size()];
        const std::u16string ftext = folded(text, folding);
        bool starts = false, ends = false;
        for (const auto &w : forward.words) {
            const std::u16string fw = folded(w, folding);
            starts |= !fw.empty() && ftext.starts_with(fw);
            ends |= !fw.empty() && ftext.ends_with(fw);
        }
        EXPECT_EQ(forward.automaton.startsWithAny(text), starts) << "round " << round;
        EXPECT_EQ(backward.automaton.endsWithAny(text), ends) << "round " << round;
    }
}

// A stop requested by the yield ends the scan; building yields to the pump and stops with it.
TEST(WordAutomaton, YieldsAndStops) {
    std::vector<std::u16string> words;
    for (char16_t a = u'一'; a < u'一' + 200; ++a)
        for (char16_t b = u'丁'; b < u'丁' + 200; ++b)
            words.push_back({a, b});
    std::vector<std::u16string_view> views(words.begin(), words.end());
    WordAutomaton automaton;
    ASSERT_EQ(automaton.build(views).size(), words.size());
    const std::u16string text(200'000, u'丁');
    int yields = 0;
    EXPECT_FALSE(automaton.markOccurrences(
        text, [&] { return ++yields == 2; }, 1000));
    EXPECT_EQ(yields, 2);

    lex::test::CountingPump pump(1);
    EXPECT_TRUE(automaton.build(views, {}, &pump).empty());
    EXPECT_EQ(pump.calls(), 1);
}

// The filter is only worth its tests if it turns texts away: a text that holds the first pair of
// a long word but not its first three units, or a word's units in another order, passes no
// longer to the scan.
TEST(WordAutomaton, PairFilterTurnsAwayTextsThatCannotHoldAWord) {
    const std::vector<std::u16string> words = {u"中国华人", u"人民", u"银行业"};
    const std::vector<std::u16string_view> views(words.begin(), words.end());
    WordAutomaton automaton;
    automaton.build(views, {.pairFilter = true});
    for (std::u16string_view text : {u"中国人", u"国华人", u"民人", u"银行", u"x银行", u"中"})
        EXPECT_FALSE(automaton.mayHoldWord(text)) << "passed: " << text.size();
    for (std::u16string_view text : {u"中国华", u"人民", u"a银行业b", u"大中国华人"})
        EXPECT_TRUE(automaton.mayHoldWord(text));
}
