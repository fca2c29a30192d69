#pragma once
// The small world of the review tests, shared by the judgement's tests and the review list's.
#include "shared/lexcore/cp936.h"
#include "shared/pinyin/annotate_line.h"
#include "shared/pinyin/reading_review.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lex::test {

using namespace lex::pinyin;

// A small world: 长 了 会 行 的 地 are polyphonic; the table reads 长大, 会计, 本行, 行政 and
// 开会计划 otherwise than their characters (and holds 开会 as it is); the known words confirm
// 会议, 地方, 本行政区域 and 长大.
class ReviewWorld : public ::testing::Test {
protected:
    void SetUp() override {
        writeLexicon(dir / "dz.txt",
                     {u"长chang", u"大da", u"了le", u"会hui", u"开kai", u"计ji", u"划hua", u"解jie",
                      u"议yi", u"本ben", u"行xing", u"政zheng", u"区qu", u"域yu", u"中zhong",
                      u"国guo", u"的de", u"地di", u"方fang"});
        writeLexicon(dir / "zn.lxd", {u"本ben行hang", u"开kai会hui", u"长zhang大da", u"会kuai计ji",
                                      u"行xing政zheng", u"开kai会hui计ji划hua"});
        writeLexicon(dir / "dy.txt",
                     {u"长chang", u"长zhang", u"了le", u"了liao", u"会hui", u"会kuai", u"行xing",
                      u"行hang", u"的de", u"的di", u"地di", u"地de"});
        writeLexicon(dir / "cp.txt", {u"的", u"了", u"会hui议yi", u"地di方fang",
                                      u"本ben行xing政zheng区qu域yu", u"长zhang大da"});
        dict = loadCharDictionary(dir / "dz.txt");
        NullPump pump;
        table = loadWordTable(dir / "zn.lxd", pump);
        review = loadReviewData(dir / "dy.txt", dir / "cp.txt");
    }

    // The note of one line, as the list would give it as line 1; empty for no guess.
    std::u16string noteOf(std::u16string_view line) {
        std::u16string out, scratch, plain;
        std::vector<Guess> guesses;
        ReviewScratch work;
        PinyinCounters reviewed, annotated;
        annotateLineReviewed(line, dict, table, review, reviewed, out, scratch, guesses, work);
        annotateLine(line, dict, table, annotated, plain, scratch);
        EXPECT_EQ(out, plain) << "the review changed the annotation";
        EXPECT_EQ(reviewed.supplemented, annotated.supplemented);
        EXPECT_EQ(reviewed.cleared, annotated.cleared);
        return guesses.empty() ? std::u16string() : reviewNote(1, guesses);
    }

    TempDir dir;
    CharDictionary dict;
    WordTable table;
    ReviewData review;
};

} // namespace lex::test
