// The statistics through real files: what counts as an occurrence, where articles go, the stop
// after the row being handled, failures that must undo a run, and the one-pass counting against
// a literal model of one case-insensitive substring search per row and article.

#include "freqtune/article_stats.h"

#include "counting_pump.h"
#include "freqtune_fixture.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lex_error.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <numeric>
#include <random>

namespace {

namespace fs = std::filesystem;
using lex::NullPump;
using lex::test::freqs;
using lex::test::tableRows;
using lex::test::ToolDir;
using namespace lex::freqtune;

// ICU's full case folding of a whole string: the reference the automaton's per-unit folding
// must agree with.
std::u16string icuFold(std::u16string_view s) {
    std::u16string out(s.size() * 3 + 1, u'\0');
    UErrorCode st = U_ZERO_ERROR;
    const int32_t n = u_strFoldCase(reinterpret_cast<UChar *>(out.data()), int32_t(out.size()),
                                    reinterpret_cast<const UChar *>(s.data()), int32_t(s.size()),
                                    U_FOLD_CASE_DEFAULT, &st);
    out.resize(size_t(n));
    return out;
}

// What raises a row: one count per article, not per occurrence; every word inside the text,
// overlapping ones included; each row of a repeated word; case folds, width does not; line
// ends and pinyin in the text break a word.
TEST(Counting, RaisesTheRowsWhoseWordOccurs) {
    const std::tuple<std::vector<std::u16string_view>, std::u16string_view, std::vector<int64_t>>
        cases[] = {{{u"中国"}, u"中国，中国，中国", {1}},
                   {{u"中国", u"中国人", u"国人", u"人民"}, u"我是中国人", {1, 1, 1, 0}},
                   {{u"中zhong国guo", u"中国"}, u"中国", {1, 1}},
                   {{u"ＡＢ", u"ａｂ", u"ΔΣ", u"ЯБ", u"ⅪⅫ"}, u"ａＢ δσ ябⅪⅫ", {1, 1, 1, 1, 1}},
                   {{u"ＡＢ"}, u"AB ab", {0}},
                   {{u"中国", u"人民"}, u"中\r\n国 人min民", {0, 0}},
                   {{u"中国"}, u"", {0}}};
    ToolDir t;
    NullPump pump;
    for (const auto &[lexicon, article, expected] : cases) {
        std::u16string text;
        for (auto line : lexicon)
            text += std::u16string(line) + u"\r\n";
        lex::test::writeBytes(t.dir / "l.txt", lex::test::gbk(text));
        importLexicon(t.db, t.dir / "l.txt", t.files.templateFile, pump);
        const StatisticsResult r =
            runStatistics(t.db, {t.article("a.txt", article)}, t.files.read, pump);
        EXPECT_EQ(freqs(t.db), expected) << lex::toUtf8(article);
        EXPECT_EQ(r.articles, 1);
    }
}

// An article chosen outside the unread folder goes to the read folder all the same, replacing a
// file of that name; one already in the read folder is counted and stays; a UTF-16 article is
// read as code page 936 bytes and moved; an article given twice counts once.
TEST(Articles, WhereTheyGo) {
    ToolDir t;
    t.import({u"中国", u"人民"});
    fs::create_directory(t.dir / "elsewhere");
    const auto other = t.article("x.txt", u"中国", t.dir / "elsewhere");
    t.article("x.txt", u"old", t.files.read);
    const auto inRead = t.article("y.txt", u"人民", t.files.read);
    lex::test::writeBytes(t.files.unread / "u.txt", lex::test::utf16le(u"中国人民"));
    NullPump pump;
    const StatisticsResult r =
        runStatistics(t.db, {other, inRead, t.files.unread / "u.txt", other}, t.files.read, pump);
    EXPECT_EQ(r.articles, 3);
    EXPECT_EQ(freqs(t.db), (std::vector<int64_t>{1, 1}));
    EXPECT_FALSE(fs::exists(other));
    EXPECT_EQ(lex::test::readBytes(t.files.read / "x.txt"), lex::test::gbk(u"中国"));
    EXPECT_EQ(lex::test::readBytes(inRead), lex::test::gbk(u"人民"));
    EXPECT_EQ(ToolDir::names(t.files.read), (std::vector<std::string>{"u.txt", "x.txt", "y.txt"}));
    EXPECT_TRUE(ToolDir::names(t.files.unread).empty());
}

// A stop during the second of five articles: the rows walked before it are counted, the
// second article moves all the same, three stay unread.
TEST(Articles, StopInTheSecondOfFive) {
    ToolDir t;
    t.import({u"中国", u"人民", u"北京", u"上海"});
    for (int i = 0; i < 5; ++i)
        t.article("a" + std::to_string(i) + ".txt", u"中国人民北京上海");
    // Four yields per article: the sixth is the one after the second row of article two.
    lex::test::CountingPump pump(6);
    const StatisticsResult r =
        runStatistics(t.db, listArticles(t.files.unread), t.files.read, pump);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.articles, 2);
    EXPECT_EQ(freqs(t.db), (std::vector<int64_t>{2, 2, 1, 1}));
    EXPECT_EQ(ToolDir::names(t.files.read), (std::vector<std::string>{"a0.txt", "a1.txt"}));
    EXPECT_EQ(ToolDir::names(t.files.unread).size(), 3u);
}

// No rows: nothing touched. No articles: nothing counted, no failure.
TEST(Articles, EmptyTableAndEmptyFolder) {
    ToolDir t;
    const auto a = t.article("a.txt", u"中国");
    NullPump pump;
    EXPECT_TRUE(runStatistics(t.db, {a}, t.files.read, pump).noRows);
    EXPECT_TRUE(fs::exists(a));
    fs::remove(a);
    t.import({u"中国"});
    const StatisticsResult r =
        runStatistics(t.db, listArticles(t.files.unread), t.files.read, pump);
    EXPECT_TRUE(!r.noRows && r.articles == 0 && listFrequencies(t.db).empty());
}

// A run that cannot finish (an interrupt, an article that cannot be moved) leaves the counts
// and every article as they were before it.
TEST(Articles, AFailedRunUndoesItself) {
    ToolDir t;
    t.import({u"中国", u"人民"});
    t.article("a.txt", u"中国");
    t.article("b.txt", u"人民");
    t.article("c.txt", u"中国人民");
    lex::test::InterruptingPump interrupting(5); // in the third article
    EXPECT_THROW(runStatistics(t.db, listArticles(t.files.unread), t.files.read, interrupting),
                 std::runtime_error);
    EXPECT_EQ(freqs(t.db), (std::vector<int64_t>{0, 0}));
    EXPECT_EQ(ToolDir::names(t.files.unread).size(), 3u);

    // b.txt cannot move onto a folder of that name; a.txt, already moved, comes back.
    fs::create_directories(t.files.read / "b.txt" / "inside");
    NullPump pump;
    EXPECT_THROW(runStatistics(t.db, listArticles(t.files.unread), t.files.read, pump),
                 lex::LexError);
    EXPECT_EQ(freqs(t.db), (std::vector<int64_t>{0, 0}));
    EXPECT_EQ(ToolDir::names(t.files.unread),
              (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(ToolDir::names(t.files.read), std::vector<std::string>{"b.txt"});
}

// ---- the literal model ----

struct ModelRow {
    int64_t seq;
    std::u16string word;
    int64_t freq;
};

// One run done literally: the cursor's order (rising Freq, then SeqNo) fixed at its start; per
// article and row one case-insensitive substring search; a yield after every row, the stop
// after the `stopAt`-th. Returns how many articles were moved.
size_t modelRun(std::vector<ModelRow> &rows, const std::vector<std::u16string> &articles,
                int64_t stopAt) {
    std::vector<size_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::tie(rows[a].freq, rows[a].seq) < std::tie(rows[b].freq, rows[b].seq);
    });
    int64_t yields = 0;
    for (size_t i = 0; i < articles.size(); ++i) {
        const std::u16string text = icuFold(articles[i]);
        for (size_t idx : order) {
            if (text.find(icuFold(rows[idx].word)) != std::u16string::npos)
                ++rows[idx].freq;
            if (++yields == stopAt)
                return i + 1;
        }
    }
    return articles.size();
}

// Random tables and articles over a small alphabet full of case pairs, with repeated words,
// tied frequencies, ASCII in the articles, and stops anywhere.
TEST(Equivalence, OnePassCountsAsTheLiteralSearch) {
    const std::u16string wordChars = u"中国人民ＡａＢｂΑαΔδЯя一";
    const std::u16string articleChars = wordChars + u"AaBb 。\r\n";
    std::mt19937 rng(20240607);
    auto pick = [&](const std::u16string &from) {
        return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(rng)];
    };
    auto upTo = [&](int n) { return std::uniform_int_distribution<int>(0, n)(rng); };
    ToolDir t;
    t.db.exec("PRAGMA synchronous=OFF"); // rounds need no flushes to the disk
    for (int round = 0; round < 300; ++round) {
        std::vector<ModelRow> model;
        std::string sql = "BEGIN; DELETE FROM WordLib;";
        const int nRows = 1 + upTo(40);
        for (int r = 1; r <= nRows; ++r) {
            std::u16string word;
            for (int k = 2 + upTo(3); k > 0; --k)
                word += pick(wordChars);
            const int freq = upTo(2); // ties, and a walk order unlike the import order
            model.push_back({r, word, freq});
            sql += "INSERT INTO WordLib VALUES (" + std::to_string(r) + ", '', '" +
                   lex::toUtf8(word) + "', " + std::to_string(freq) + ", " +
                   std::to_string(word.size()) + ");";
        }
        t.db.exec((sql + "COMMIT;").c_str());
        for (const auto &name : ToolDir::names(t.files.read))
            fs::remove(t.files.read / name);

        std::vector<std::u16string> articles(size_t(1 + upTo(5)));
        for (size_t i = 0; i < articles.size(); ++i) {
            for (int k = upTo(120); k > 0; --k)
                articles[i] += pick(articleChars);
            t.article("a" + std::to_string(i) + ".txt", articles[i]);
        }
        const int64_t total = int64_t(nRows) * int64_t(articles.size());
        const int64_t stopAt = upTo(2) == 0 ? -1 : 1 + upTo(int(total) - 1);

        const size_t moved = modelRun(model, articles, stopAt);
        lex::test::CountingPump pump(stopAt);
        runStatistics(t.db, listArticles(t.files.unread), t.files.read, pump);

        std::vector<int64_t> expected;
        for (const auto &m : model)
            expected.push_back(m.freq);
        ASSERT_EQ(freqs(t.db), expected) << "round " << round << ", stop at " << stopAt;
        ASSERT_EQ(ToolDir::names(t.files.read).size(), moved) << "round " << round;
        for (const auto &name : ToolDir::names(t.files.unread))
            fs::remove(t.files.unread / name);
    }
}

} // namespace
