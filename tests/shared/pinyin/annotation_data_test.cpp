// The one loader of the annotation data: which part it calls missing, what it loads, and the
// order in which it reports the failures of parts that cannot be read.
#include "shared/lexcore/lex_error.h"
#include "shared/pinyin/annotation_data.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace lex;
using namespace lex::pinyin;
using lex::test::TempDir;
using lex::test::writeBytes;
using lex::test::writeLexicon;

namespace {

// How a data file stands in a row: there and readable, absent, or there but no text (NUL bytes,
// which every reader refuses).
enum class File { Good, Absent, Broken };

struct LoaderCase {
    const char *name;
    File dictionary, table, review;
    AnnotationNeeds needs;
    std::optional<AnnotationPart> missing;
    const char *failure; // the file named by the failure thrown, or nullptr
    bool dictionaryLoaded, tableLoaded, reviewLoaded;
};

class Loader : public ::testing::TestWithParam<LoaderCase> {
protected:
    void place(const char *name, File how, std::initializer_list<std::u16string_view> lines) {
        if (how == File::Good)
            writeLexicon(dir / name, lines);
        else if (how == File::Broken)
            writeBytes(dir / name, std::string("\xd6\xd0\0\0zhong\r\n", 11));
    }
    TempDir dir;
};

constexpr Need Y = Need::Yes, N = Need::No, P = Need::IfPresent;
constexpr File G = File::Good, A = File::Absent, B = File::Broken;

// Guards the order a caller's messages depend on: the dictionary's failure before a missing
// word table or review data, those before the table's and the review data's failures; when a
// part is missing only the dictionary loads; review data only with a table.
TEST_P(Loader, ReportsInTheOrderOfLoadingOneAfterTheOther) {
    const LoaderCase &c = GetParam();
    place("dz.txt", c.dictionary, {u"中zhong", u"国guo"});
    place("zn.lxd", c.table, {u"中zhong国guo"});
    place("dy.txt", c.review, {u"行xing", u"行hang"});
    place("cp.txt", c.review, {u"银yin行hang"});
    const AnnotationLoader loader(AnnotationFiles::in(dir.path()), c.needs);
    EXPECT_EQ(loader.missing(), c.missing);
    NullPump pump;
    try {
        const AnnotationData data = loader.load(pump);
        EXPECT_EQ(c.failure, nullptr) << "nothing thrown";
        EXPECT_EQ(data.missing, c.missing);
        EXPECT_EQ(data.dictionary.has_value(), c.dictionaryLoaded);
        EXPECT_EQ(data.wordTable.has_value(), c.tableLoaded);
        EXPECT_EQ(data.review.has_value(), c.reviewLoaded);
        if (data.dictionary) {
            EXPECT_EQ(data.dictionary->text(u'国'), u"国guo");
        }
        if (data.review) {
            EXPECT_EQ(data.review->polyphones.readings(u'行').size(), 2u);
        }
    } catch (const LexError &e) {
        ASSERT_NE(c.failure, nullptr) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.failure), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pinyin, Loader,
    ::testing::Values(
        LoaderCase{"all", G, G, G, {Y, Y, Y}, std::nullopt, nullptr, true, true, true},
        LoaderCase{"dictionaryOnly", G, B, B, {Y, N, N}, std::nullopt, nullptr, true, false, false},
        LoaderCase{"noDictionary",
                   A,
                   G,
                   G,
                   {Y, Y, Y},
                   AnnotationPart::Dictionary,
                   nullptr,
                   false,
                   false,
                   false},
        LoaderCase{
            "noTable", G, A, G, {Y, Y, Y}, AnnotationPart::WordTable, nullptr, true, false, false},
        LoaderCase{
            "noReview", G, G, A, {Y, Y, Y}, AnnotationPart::Review, nullptr, true, false, false},
        LoaderCase{"brokenDictionaryBeforeNoTable",
                   B,
                   A,
                   G,
                   {Y, Y, Y},
                   AnnotationPart::WordTable,
                   "dz.txt",
                   false,
                   false,
                   false},
        LoaderCase{"noReviewBeforeBrokenTable",
                   G,
                   B,
                   A,
                   {Y, Y, Y},
                   AnnotationPart::Review,
                   nullptr,
                   true,
                   false,
                   false},
        LoaderCase{"brokenTableBeforeBrokenReview",
                   G,
                   B,
                   B,
                   {Y, Y, Y},
                   std::nullopt,
                   "zn.lxd",
                   false,
                   false,
                   false},
        LoaderCase{"brokenDictionaryFirst",
                   B,
                   B,
                   B,
                   {Y, Y, Y},
                   std::nullopt,
                   "dz.txt",
                   false,
                   false,
                   false},
        LoaderCase{"brokenReview", G, G, B, {Y, Y, Y}, std::nullopt, "dy.txt", false, false, false},
        LoaderCase{
            "reviewIfPresent", A, G, A, {N, Y, P}, std::nullopt, nullptr, false, true, false},
        LoaderCase{
            "reviewIfPresentThere", A, G, G, {N, Y, P}, std::nullopt, nullptr, false, true, true},
        LoaderCase{
            "reviewNeedsATable", G, A, G, {Y, P, Y}, std::nullopt, nullptr, true, false, false}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
