// The four sorts of lexsort through real files: byte-exact outputs (code page 936, CR LF), the
// counts of their reports, and what happens to missing, empty and unwritable files.

#include "lexsort/length_sort.h"
#include "lexsort/line_sort.h"
#include "lexsort/reference_sort.h"

#include "shared/lexcore/lex_error.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace {

namespace fs = std::filesystem;
using lex::lexsort::SortMode;
using lex::lexsort::SortResult;
using lex::test::gbk;
using lex::test::readBytes;
using lex::test::writeBytes;
using Lines = std::vector<std::u16string>;

std::string gbkOf(const Lines &lines) {
    std::string out;
    for (const auto &l : lines)
        out += gbk(l) + "\r\n";
    return out;
}

class SortFiles : public ::testing::Test {
protected:
    fs::path in() const { return dir / "in.txt"; }
    fs::path ref() const { return dir / "ref.txt"; }
    fs::path out() const { return dir / "out.txt"; }
    void write(const fs::path &p, const Lines &lines) { writeBytes(p, gbkOf(lines)); }

    SortResult length() { return lex::lexsort::sortByLength(in(), out(), pump); }
    SortResult reference() { return reference(ref()); }
    SortResult reference(const fs::path &r) {
        lex::EntryHashSet set(lex::KeyVariant::Standard);
        return lex::lexsort::sortByReference(set, in(), r, out(), pump);
    }
    SortResult lines(SortMode mode) { return lex::lexsort::sortLines(in(), out(), mode, pump); }

    lex::test::TempDir dir;
    lex::NullPump pump;
};

struct LengthCase {
    const char *name;
    Lines input;
    Lines expected;
};

void PrintTo(const LengthCase &c, std::ostream *os) {
    *os << c.name;
}

class LengthSort : public SortFiles, public ::testing::WithParamInterface<LengthCase> {};

// Each row names the fault it guards against.
TEST_P(LengthSort, BucketsByWordLength) {
    write(in(), GetParam().input);
    const SortResult r = length();
    EXPECT_TRUE(r.inputFound);
    EXPECT_EQ(readBytes(out()), gbkOf(GetParam().expected));
    EXPECT_EQ(r.count, int64_t(GetParam().expected.size()));
}

const std::u16string k30(30, u'中'), k31(31, u'国');

INSTANTIATE_TEST_SUITE_P(
    Rows, LengthSort,
    ::testing::Values(
        // The worked example: length 2, length 4, then the bucket of length 1.
        LengthCase{"Example", {u"中华人民", u"中国", u"好"}, {u"中国", u"中华人民", u"好"}},
        // Only the leading ";" lines go; a later one is sorted by ";" plus its characters.
        LengthCase{"LeadingCommentsOnly",
                   {u";c1", u";中", u"中华人民", u";中中", u"中国", u"好"},
                   {u"中国", u";中中", u"中华人民", u"好"}},
        // 30 characters is the last real bucket; 31 joins lengths 0 and 1, in input order.
        LengthCase{"LongLines",
                   {k31, u"好", k30, u"中国", u"一", u""},
                   {u"中国", k30, k31, u"好", u"一", u""}},
        // Annotation letters after the first character do not count; a leading one does.
        LengthCase{"AnnotationNotCounted",
                   {u"中zhong华hua人民", u"中zhong国guo", u"a中国", u"中"},
                   {u"中zhong国guo", u"a中国", u"中zhong华hua人民", u"中"}},
        // An empty line ends the comment run and is kept; duplicates all stay.
        LengthCase{"EmptyLineEndsComments",
                   {u"", u";x", u"中国", u"中国"},
                   {u"中国", u"中国", u"", u";x"}},
        // Nothing but comments: nothing to sort, not the last comment line written.
        LengthCase{"OnlyComments", {u";a", u";b"}, {}}, LengthCase{"Empty", {}, {}}),
    [](const auto &info) { return std::string(info.param.name); });

struct ReferenceCase {
    const char *name;
    Lines base, reference, expected;
    int64_t count;
};

void PrintTo(const ReferenceCase &c, std::ostream *os) {
    *os << c.name;
}

class ReferenceSort : public SortFiles, public ::testing::WithParamInterface<ReferenceCase> {};

TEST_P(ReferenceSort, OrdersByTheReference) {
    write(in(), GetParam().base);
    write(ref(), GetParam().reference);
    const SortResult r = reference();
    EXPECT_EQ(readBytes(out()), gbkOf(GetParam().expected));
    EXPECT_EQ(r.count, GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReferenceSort,
    ::testing::Values(
        // The worked example: the count holds 人民, 中国 and the placeholder of abc.
        ReferenceCase{"Example",
                      {u"人民", u"中国", u"中国", u"abc"},
                      {u"中国", u"北京", u"中国"},
                      {u"中国", u"人民"},
                      3},
        // A reference line that occurs twice matches once.
        ReferenceCase{"RepeatedReferenceLine",
                      {u"中国", u"人民", u"北京"},
                      {u"北京", u"北京", u"中国"},
                      {u"北京", u"中国", u"人民"},
                      3},
        // Lines compare whole: an annotated line matches only the same annotation.
        ReferenceCase{"ExactLines",
                      {u"中zhong国", u"中国"},
                      {u"中国", u"中Zhong国"},
                      {u"中国", u"中zhong国"},
                      2},
        // A rejected reference line must not take the base's placeholder (abc would appear).
        ReferenceCase{"RejectedReferenceLine",
                      {u"abc", u"中国", u"好"},
                      {u";", u"abc", u"好", u"", u"中国"},
                      {u"中国"},
                      2}),
    [](const auto &info) { return std::string(info.param.name); });

// A missing reference is skipped: the base's distinct accepted lines in their own order.
TEST_F(SortFiles, MissingReferenceKeepsTheBaseOrder) {
    write(in(), {u"人民", u"中国", u"人民", u"中"});
    const SortResult r = reference(dir / "gone.txt");
    EXPECT_EQ(readBytes(out()), gbkOf({u"人民", u"中国"}));
    EXPECT_EQ(r.count, 3);
}

// Every line goes back out, empty lines and repeats included, counted; UTF-16 comes out GBK;
// strokes put 一 before 丁 before 中 and Latin first, pinyin 啊 before 中 and Latin last.
TEST_F(SortFiles, StrokeAndPinyinKeepEveryLine) {
    writeBytes(in(), lex::test::utf16le(u"中国\r\n\r\n一\r\n中国\r\nabc\r\n丁\r\n啊\r\n"));
    SortResult r = lines(SortMode::Stroke);
    EXPECT_EQ(readBytes(out()), gbkOf({u"", u"abc", u"一", u"丁", u"中国", u"中国", u"啊"}));
    EXPECT_EQ(r.count, 7);
    r = lines(SortMode::Pinyin);
    EXPECT_EQ(readBytes(out()), gbkOf({u"", u"啊", u"丁", u"一", u"中国", u"中国", u"abc"}));
    EXPECT_EQ(r.count, 7);
    // A single line is written unchanged (its CR LF added).
    writeBytes(in(), gbk(u"中zhong国"));
    EXPECT_EQ(lines(SortMode::Pinyin).count, 1);
    EXPECT_EQ(readBytes(out()), gbkOf({u"中zhong国"}));
    // An empty lexicon (the sort's range would be 0..-1) gives an empty file and the count 0.
    writeBytes(in(), "");
    for (SortMode mode : {SortMode::Stroke, SortMode::Pinyin}) {
        EXPECT_EQ(lines(mode).count, 0);
        EXPECT_EQ(readBytes(out()), "");
    }
}

// A missing base lexicon writes nothing.
TEST_F(SortFiles, FailuresWriteNothing) {
    const std::vector<std::function<SortResult()>> sorts = {
        [&] { return length(); }, [&] { return reference(); },
        [&] { return lines(SortMode::Stroke); }, [&] { return lines(SortMode::Pinyin); }};
    write(ref(), {u"中国"});
    fs::remove(in());
    for (const auto &sort : sorts) {
        EXPECT_FALSE(sort().inputFound);
        EXPECT_FALSE(fs::exists(out()));
    }
}

// Golden outputs of a real-looking lexicon (both encodings of input, annotation, comments,
// case variants, repeats): the bytes each sort writes.
TEST(LexsortGolden, EachSortWritesItsGolden) {
    const char *dataDir = std::getenv("LEX_TEST_DATA");
    ASSERT_NE(dataDir, nullptr);
    const fs::path data = dataDir;
    lex::test::TempDir dir;
    lex::NullPump pump;
    const fs::path out = dir / "out.txt";
    lex::lexsort::sortByLength(data / "base.txt", out, pump);
    EXPECT_EQ(readBytes(out), readBytes(data / "length.txt"));
    lex::EntryHashSet set(lex::KeyVariant::Standard);
    lex::lexsort::sortByReference(set, data / "base.txt", data / "reference.txt", out, pump);
    EXPECT_EQ(readBytes(out), readBytes(data / "by_reference.txt"));
    lex::lexsort::sortLines(data / "base.txt", out, SortMode::Stroke, pump);
    EXPECT_EQ(readBytes(out), readBytes(data / "stroke.txt"));
    lex::lexsort::sortLines(data / "base.txt", out, SortMode::Pinyin, pump);
    EXPECT_EQ(readBytes(out), readBytes(data / "pinyin.txt"));
}

} // namespace
