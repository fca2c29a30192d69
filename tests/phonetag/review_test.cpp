// The review list of automatic annotation: the list's form, and the loop it is made for:
// annotate with the list, fix the list by hand, correct with it.
#include "phonetag/annotation.h"
#include "phonetag/correction.h"
#include "phonetag/review.h"

#include "review_world.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/text_format.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace lex;
using namespace lex::phonetag;
using namespace lex::pinyin;
using lex::test::gbk;
using lex::test::gbkLines;
using lex::test::readBytes;
using lex::test::TempDir;
using lex::test::writeLexicon;

namespace fs = std::filesystem;

namespace {

using Review = lex::test::ReviewWorld;

} // namespace

// Guards the loop of two commands: every guess is in the list with its line number, the list
// is ordered by the known words' ranks, and the list, fixed by hand, given to the correction
// changes exactly the lines whose readings were fixed. A line of a listed word that is no guess
// but stands before it is listed as it is, so that the k-th list line of a word still meets the
// k-th lexicon line of it; an equal line is named in the note of the first.
TEST_F(Review, RoundTripsThroughTheCorrection) {
    writeLexicon(dir / "in.txt",
                 {u"了", u"长zhang大da", u"的de长zhang", u"地", u"了", u"的长", u"中国", u"会议"});
    NullPump pump;
    PinyinCounters counters;
    const ReviewedResult r = autoAnnotate(dir / "in.txt", dir / "out.txt", dir / "list.txt", dict,
                                          table, review, counters, pump);
    ASSERT_TRUE(r.inputFound);
    EXPECT_EQ(r.lines, 8);
    EXPECT_EQ(r.reviewed, 3); // 了 (lines 1 and 5), 地, 的长
    // The annotated lexicon is the plain annotation's, byte for byte.
    PinyinCounters plain;
    autoAnnotate(dir / "in.txt", dir / "plain.txt", dict, table, plain, pump);
    EXPECT_EQ(readBytes(dir / "out.txt"), readBytes(dir / "plain.txt"));

    // 了 is known (rank 1) and comes first; the other two words are in no order of rank.
    std::vector<std::u16string> list;
    LineReader reader(dir / "list.txt");
    while (!reader.atEnd())
        list.push_back(reader.readLine());
    reader.close();
    using Lines = std::vector<std::u16string>;
    ASSERT_EQ(list.size(), 8u);
    EXPECT_EQ(Lines(list.begin(), list.begin() + 2), (Lines{u"#1,5 1:le/liao", u"了le"}));
    const Lines di{u"#4 1:di/de", u"地di"};
    const Lines deChang{u"#3", u"的de长zhang", u"#6 1:de/di 2:chang/zhang", u"的de长chang"};
    const bool diFirst = list[2] == di[0];
    EXPECT_EQ(Lines(list.begin() + (diFirst ? 2 : 6), list.begin() + (diFirst ? 4 : 8)), di);
    EXPECT_EQ(Lines(list.begin() + (diFirst ? 4 : 2), list.begin() + (diFirst ? 8 : 6)), deChang);

    // The maintainer's fixes: 了 is liao, 地 is de, the second 的长 is di zhang. (Fixed to the
    // text of line 3 it would become one list line with it, and line 3 would take it.)
    writeLexicon(dir / "fixed.txt", {u"#1,5 1:le/liao", u"了liao", u"#4 1:di/de", u"地de", u"#3",
                                     u"的de长zhang", u"#6 1:de/di 2:chang/zhang", u"的di长zhang"});
    EntryHashSet set = makeEntrySet();
    const CorrectResult c = correctAnnotation(set, dir / "fixed.txt", dir / "out.txt",
                                              dir / "corrected.txt", dir / "log.txt", pump);
    ASSERT_TRUE(c.listFound && c.inputFound);
    EXPECT_EQ(readBytes(dir / "corrected.txt"),
              gbkLines({u"了liao", u"长zhang大da", u"的de长zhang", u"地de", u"了le", u"的di长zhang",
                        u"中zhong国guo", u"会hui议yi"}));
    EXPECT_EQ(readBytes(dir / "log.txt"),
              gbkLines({u"了le　→　了liao", u"地di　→　地de", u"的de长chang　→　的di长zhang"}));
}

// Guards the streamed passes over a lexicon bigger than the stream's read-ahead (4 MiB) and than
// many batches: both annotations give annotateLine's lines in order, and the list names a line
// of a listed word that stands thousands of lines before its guess (read again at the end) as
// well as the guesses themselves.
TEST_F(Review, BigLexiconsStreamThroughBothAnnotations) {
    const std::u16string alphabet = u"长大了会开计划本行政区域的地中国ag";
    std::mt19937 rng(20261209);
    std::vector<std::u16string> lines;
    std::string bytes;
    while (bytes.size() < (size_t(9) << 19)) {
        std::u16string line;
        for (size_t n = 1 + rng() % 9; n > 0; --n)
            line += alphabet[rng() % alphabet.size()];
        if (lines.size() == 3)
            line = u"解jie方fang长zhang";
        bytes += gbk(line) + "\r\n";
        lines.push_back(std::move(line));
    }
    lines.push_back(u"解方长");
    bytes += gbk(lines.back()) + "\r\n";
    lex::test::writeBytes(dir / "in.txt", bytes);

    std::string expected;
    PinyinCounters counted;
    std::u16string out, scratch;
    for (const std::u16string &line : lines) {
        annotateLine(line, dict, table, counted, out, scratch);
        expected += gbk(out) + "\r\n";
    }
    NullPump pump;
    PinyinCounters plain, reviewed;
    const LineCountResult p =
        autoAnnotate(dir / "in.txt", dir / "plain.txt", dict, table, plain, pump);
    EXPECT_EQ(p.lines, int64_t(lines.size()));
    EXPECT_TRUE(readBytes(dir / "plain.txt") == expected);
    EXPECT_EQ(plain.supplemented, counted.supplemented);

    // The lines in UTF-8 with LF line ends, now and then one that ends in a CR of its own: the
    // output is UTF-8 with LF line ends, and such a line keeps its CR before its LF.
    std::string utf8;
    for (size_t i = 0; i < lines.size(); ++i)
        utf8 += lex::toUtf8(lines[i]) + (i % 3000 == 7 ? "\r\r\n" : "\n");
    lex::test::writeBytes(dir / "in8.txt", utf8);
    std::string expected8;
    for (LineReader r(dir / "in8.txt"); !r.atEnd();) {
        annotateLine(r.readLineView(), dict, table, counted, out, scratch);
        expected8 += lex::toUtf8(out) + "\n";
    }
    ASSERT_NE(expected8.find("\r\n"), std::string::npos);
    {
        NullPump utf8;
        utf8.context().setFirstInput(dir / "in8.txt");
        EXPECT_EQ(autoAnnotate(dir / "in8.txt", dir / "plain8.txt", dict, table, plain, utf8).lines,
                  int64_t(lines.size()));
    }
    EXPECT_TRUE(readBytes(dir / "plain8.txt") == expected8);
    const ReviewedResult r = autoAnnotate(dir / "in.txt", dir / "out.txt", dir / "list.txt", dict,
                                          table, review, reviewed, pump);
    EXPECT_EQ(r.lines, int64_t(lines.size()));
    EXPECT_TRUE(readBytes(dir / "out.txt") == expected);
    EXPECT_GT(r.reviewed, 1000);
    // Line 4 is no guess (长 is annotated), but the last line, the same word bare, is one.
    const std::string list = readBytes(dir / "list.txt");
    EXPECT_NE(list.find("#4\r\n" + gbk(u"解jie方fang长zhang") + "\r\n"), std::string::npos);
    EXPECT_NE(list.find("#" + std::to_string(lines.size()) + " 3:chang/zhang\r\n" +
                        gbk(u"解jie方fang长chang") + "\r\n"),
              std::string::npos);
}

// Guards the failures: a missing input writes neither file.
TEST_F(Review, MissingInputWritesNothing) {
    NullPump pump;
    PinyinCounters counters;
    const ReviewedResult r = autoAnnotate(dir / "none.txt", dir / "out.txt", dir / "list.txt", dict,
                                          table, review, counters, pump);
    EXPECT_FALSE(r.inputFound);
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
    EXPECT_FALSE(fs::exists(dir / "list.txt"));
}
