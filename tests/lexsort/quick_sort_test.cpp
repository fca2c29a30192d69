// The sorts of lexsort against a literal model of the recursive quicksort: the order
// of lines that compare equal is part of the output, so every sort must match the model element
// for element, not merely be sorted.

#include "lexsort/line_sort.h"
#include "lexsort/pinyin_collator.h"
#include "lexsort/quick_sort.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using lex::lexsort::PinyinCollator;

// The quicksort's steps, recursing as written.
template <class T, class Cmp>
void modelSort(std::vector<T> &sA, int64_t lLeft, int64_t lRight, const Cmp &cmp) {
    int64_t i = lLeft, j = lRight;
    const int64_t mid = (lLeft + lRight) / 2;
    T p = sA[mid];
    sA[mid] = sA[lLeft];
    sA[lLeft] = p;
    while (i < j) {
        while (i < j && cmp(p, sA[j]) <= 0)
            --j;
        sA[i] = sA[j];
        while (i < j && cmp(p, sA[i]) > 0)
            ++i;
        sA[j] = sA[i];
    }
    sA[i] = p;
    if (lLeft < i - 1)
        modelSort(sA, lLeft, i - 1, cmp);
    if (i + 1 < lRight)
        modelSort(sA, i + 1, lRight, cmp);
}

struct Tagged {
    int key;
    int id;
    bool operator==(const Tagged &) const = default;
};

int byKey(const Tagged &a, const Tagged &b) {
    return (a.key > b.key) - (a.key < b.key);
}

// Guards against an iterative version (or its shortcut for equal runs) that sorts correctly but
// leaves equal elements in another order than the recursive steps.
TEST(QuickSort, PlacesEqualElementsAsTheRecursiveSteps) {
    std::mt19937 rng(20240607);
    lex::NullPump pump;
    for (int round = 0; round < 3000; ++round) {
        const int n = int(rng() % 300) + 1;
        const int distinct = 1 + int(rng() % (round % 3 == 0 ? 3 : 40));
        std::vector<Tagged> v(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k)
            v[size_t(k)] = {int(rng() % unsigned(distinct)), k};
        // Some rounds start sorted, reversed or as runs: the shapes that stress the pivot.
        if (round % 7 == 1)
            std::sort(v.begin(), v.end(), [](auto &a, auto &b) { return a.key < b.key; });
        if (round % 7 == 2)
            std::sort(v.begin(), v.end(), [](auto &a, auto &b) { return a.key > b.key; });
        std::vector<Tagged> model = v;
        modelSort(model, 0, n - 1, byKey);
        lex::lexsort::quickSort(v.data(), 0, n - 1, byKey, pump);
        ASSERT_EQ(v, model) << "round " << round << ", n " << n;
    }
}

// Guards against quadratic time on a run of equal lines (billions of comparisons for 100,000),
// and checks the steps' order there: each pass swaps the middle of the rest to its front.
TEST(QuickSort, EqualRunIsLinearWithTheSameOrder) {
    const int n = 100'000;
    std::vector<Tagged> v(n);
    for (int k = 0; k < n; ++k)
        v[size_t(k)] = {7, k};
    std::vector<Tagged> expected = v;
    for (int l = 0; l < n - 1; ++l)
        std::swap(expected[size_t(l)], expected[size_t((l + n - 1) / 2)]);
    int64_t comparisons = 0;
    auto counted = [&](const Tagged &a, const Tagged &b) {
        ++comparisons;
        return byKey(a, b);
    };
    lex::NullPump pump;
    lex::lexsort::quickSort(v.data(), 0, n - 1, counted, pump);
    EXPECT_EQ(v, expected);
    EXPECT_LT(comparisons, 3 * int64_t(n));
}

// Lines from a small pool, so that repeats, case and width variants and common prefixes abound.
std::vector<std::u16string> randomLines(std::mt19937 &rng, size_t n) {
    static const std::u16string pool[] = {
        u"中国",      u"中国zhong", u"中国Zhong", u"中ZHONG国", u"中华人民", u"中华", u"啊",
        u"阿",        u"一",        u"丁",        u"中",        u"abc",      u"ABC",  u"Abc",
        u"ａｂｃ",    u"",          u"C++",       u"c++",       u"4S店",     u"4s店", u"长城",
        u"长chang城", u"长zhang城", u"重庆",      u"重chong庆", u"𠀀",       u"豈",   u"ｚ"};
    std::vector<std::u16string> lines;
    for (size_t k = 0; k < n; ++k) {
        std::u16string line = pool[rng() % std::size(pool)];
        if (rng() % 4 == 0)
            line += pool[rng() % std::size(pool)];
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::u16string_view> views(const std::vector<std::u16string> &lines) {
    return {lines.begin(), lines.end()};
}

// Guards against the fast first sort of the stroke and pinyin sorts leaving any line elsewhere
// than the recursive quicksort over the collator (pinyin) or the code units (stroke) would.
TEST(LineSort, StrokeAndPinyinMatchTheModelOverTheirComparisons) {
    std::mt19937 rng(42);
    lex::NullPump pump;
    const PinyinCollator collator;
    auto pinyin = [&](std::u16string_view a, std::u16string_view b) {
        return collator.compare(a, b);
    };
    auto stroke = [](std::u16string_view a, std::u16string_view b) {
        const int c = a.compare(b);
        return (c > 0) - (c < 0);
    };
    // The last rounds are long enough to be sorted in many chunks on two threads.
    for (int round = 0; round < 302; ++round) {
        const auto lines = randomLines(rng, round < 300 ? 1 + rng() % 400 : 6000 + rng() % 6000);
        const auto n = int64_t(lines.size());
        auto a = views(lines), b = views(lines), modelA = a, modelB = b;
        lex::lexsort::sortSA(a, 0, n - 1, pump);
        lex::lexsort::sortSB(b, 0, n - 1, pump);
        modelSort(modelA, 0, n - 1, stroke);
        modelSort(modelB, 0, n - 1, pinyin);
        ASSERT_EQ(a, modelA) << "stroke, round " << round;
        ASSERT_EQ(b, modelB) << "pinyin, round " << round;
    }
}

// Guards against sort keys whose byte order differs from the collator's own comparison.
TEST(LineSort, SortKeysCompareAsTheCollator) {
    std::mt19937 rng(7);
    const PinyinCollator collator;
    const auto lines = randomLines(rng, 4000);
    auto key = [&](std::u16string_view s) {
        std::string k(collator.sortKey(s, nullptr, 0), '\0');
        collator.sortKey(s, reinterpret_cast<uint8_t *>(k.data()), k.size());
        return k;
    };
    for (size_t k = 0; k + 1 < lines.size(); k += 2) {
        const int byKeys = key(lines[k]).compare(key(lines[k + 1]));
        EXPECT_EQ((byKeys > 0) - (byKeys < 0), collator.compare(lines[k], lines[k + 1])) << k;
    }
}

} // namespace
