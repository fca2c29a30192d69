// phonetag's engines through real files in a temporary folder: the golden outputs of every
// operation, the correction's use of the entry set, and failures.
#include "phonetag/annotation.h"
#include "phonetag/correction.h"
#include "phonetag/optimisation.h"
#include "shared/pinyin/annotate_line.h"
#include "shared/pinyin/char_dictionary.h"
#include "shared/pinyin/word_table.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/report.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace lex;
using namespace lex::phonetag;
using namespace lex::pinyin;
using lex::test::gbkLines;
using lex::test::readBytes;
using lex::test::TempDir;
using lex::test::utf16le;
using lex::test::writeBytes;
using lex::test::writeLexicon;

namespace fs = std::filesystem;

namespace {

const fs::path kGolden = PHONETAG_GOLDEN;

bool startsWith(const std::string &text, const std::string &prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Stops the run by throwing at the n-th yield, as lexcli's pump does on an interrupt.
class ThrowingPump : public EventPump {
public:
    explicit ThrowingPump(int at) : EventPump(1), m_at(at) {}

protected:
    bool poll() override {
        if (++m_calls == m_at)
            throw std::runtime_error("中断！");
        return false;
    }

private:
    int m_at;
    int m_calls = 0;
};

class Phonetag : public ::testing::Test {
public:
    void SetUp() override {
        for (const char *name : {"dz.txt", "zn.lxd", "lw.txt", "lexicon.txt"})
            fs::copy_file(kGolden / name, dir / name);
    }

    const CharDictionary &dict() {
        if (!m_dict)
            m_dict = std::make_unique<CharDictionary>(loadCharDictionary(dir / "dz.txt"));
        return *m_dict;
    }
    const WordTable &table() {
        if (!m_table) {
            NullPump pump;
            m_table = std::make_unique<WordTable>(loadWordTable(dir / "zn.lxd", pump));
        }
        return *m_table;
    }

    TempDir dir;
    std::unique_ptr<CharDictionary> m_dict;
    std::unique_ptr<WordTable> m_table;
};

struct GoldenCase {
    std::string name; // the operation, and its golden file name.txt
    std::vector<int64_t> counts;
};

void PrintTo(const GoldenCase &c, std::ostream *os) {
    *os << c.name;
}

} // namespace

class GoldenOutputs : public Phonetag, public ::testing::WithParamInterface<GoldenCase> {
protected:
    // The operation as the forms and lexcli call it; returns the counts of its report.
    std::vector<int64_t> run(const fs::path &in, const fs::path &out, EventPump &pump) {
        const std::string &op = GetParam().name;
        EntryHashSet set = makeEntrySet();
        PinyinCounters counters{100, 100};
        if (op == "annotate")
            return {autoAnnotate(in, out, dict(), table(), counters, pump).lines};
        if (op == "clear")
            return {clearPinyin(in, out, pump).lines};
        if (op == "extract")
            return {extractAnnotated(in, out, pump).kept};
        if (op == "adjust") {
            auto r = adjustPinyin(in, out, dict(), counters, pump);
            return {r.counters.supplemented, r.counters.cleared};
        }
        if (op == "dedup") {
            auto r = removeRepeatedEntries(set, in, out, pump);
            return {r.repeated, r.remaining};
        }
        auto r = correctAnnotation(set, dir / "lw.txt", in, out, dir / "log.txt", pump);
        if (r.inputFound) {
            EXPECT_EQ(readBytes(dir / "log.txt"), readBytes(kGolden / "correct-log.txt"));
        }
        return {r.lines, r.logged};
    }
};

// Guards the bytes of every operation (code page 936, CR LF, order, counts) against the outputs
// checked by hand in tests/data/phonetag, for a code page 936 and a UTF-16 input alike.
TEST_P(GoldenOutputs, MatchByteForByteFromEitherEncoding) {
    const std::string expected = readBytes(kGolden / (GetParam().name + ".txt"));
    NullPump pump;
    EXPECT_EQ(run(dir / "lexicon.txt", dir / "out.txt", pump), GetParam().counts);
    EXPECT_EQ(readBytes(dir / "out.txt"), expected);

    writeBytes(dir / "utf16.txt", utf16le(decode936(readBytes(dir / "lexicon.txt"))));
    EXPECT_EQ(run(dir / "utf16.txt", dir / "out16.txt", pump), GetParam().counts);
    EXPECT_EQ(readBytes(dir / "out16.txt"), expected);
}

// Guards against partial or stray output: a missing input writes nothing, an unwritable output
// throws before anything exists, and a run stopped midway leaves the old output as it was.
TEST_P(GoldenOutputs, FailuresLeaveNoOutput) {
    NullPump pump;
    EXPECT_EQ(run(dir / "gone.txt", dir / "out.txt", pump).front(), 0);
    EXPECT_FALSE(fs::exists(dir / "out.txt"));

    EXPECT_THROW(run(dir / "lexicon.txt", dir / "no-folder" / "out.txt", pump), LexError);
    EXPECT_FALSE(fs::exists(dir / "no-folder"));

    writeBytes(dir / "old.txt", "old");
    ThrowingPump stop(5);
    EXPECT_THROW(run(dir / "lexicon.txt", dir / "old.txt", stop), std::runtime_error);
    EXPECT_EQ(readBytes(dir / "old.txt"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 5);
}

INSTANTIATE_TEST_SUITE_P(Phonetag, GoldenOutputs,
                         ::testing::Values(GoldenCase{"annotate", {19}}, GoldenCase{"clear", {19}},
                                           GoldenCase{"extract", {10}},
                                           GoldenCase{"adjust", {21, 1}},
                                           GoldenCase{"dedup", {2, 17}},
                                           GoldenCase{"correct", {19, 5}}),
                         [](const auto &info) { return info.param.name; });

// Guards the duplicate removal's own example: whole lines compared, lines without Chinese
// folded into one ";", and a set left filled emptied before the next run.
TEST_F(Phonetag, DuplicateRemovalKeepsFirstOccurrences) {
    writeLexicon(dir / "in.txt", {u"中国", u"中国", u"中国zhongguo", u"abc", u"xyz"});
    NullPump pump;
    EntryHashSet set = makeEntrySet();
    auto r = removeRepeatedEntries(set, dir / "in.txt", dir / "out.txt", pump);
    EXPECT_EQ(readBytes(dir / "out.txt"), gbkLines({u"中国", u"中国zhongguo", u";"}));
    EXPECT_TRUE(startsWith(dedupReport(r, timeOfDayNow()), "删除重复词条：2\r\n剩余词条：3\r\n"));
    r = removeRepeatedEntries(set, dir / "in.txt", dir / "in.txt", pump);
    EXPECT_EQ(r.remaining, 3);
    EXPECT_EQ(readBytes(dir / "in.txt"), gbkLines({u"中国", u"中国zhongguo", u";"}));
}

// Guards the tool's key variant: a line of one character has its own key, letters anywhere
// are skipped, and a line without Chinese becomes ";".
TEST(PhonetagEntrySet, KeyOfZhongIs549920) {
    for (std::u16string_view line : {u"中", u"a中", u"中zhong"}) {
        std::u16string_view word = line;
        EXPECT_EQ(EntryHashSet::EntryKey(KeyVariant::Annotation, word), 549'920);
    }
    std::u16string_view latin = u"abc";
    EXPECT_EQ(EntryHashSet::EntryKey(KeyVariant::Annotation, latin), 1'000'000);
    EXPECT_EQ(latin, u";");
}

// A lexicon of many batches: the k-th list line of a word corrects the k-th lexicon line of that
// word wherever the two fall, as the same set looked up one line at a time does; lines without
// Chinese come out as ";", repeated list lines count once.
TEST_F(Phonetag, BigCorrectionMatchesLookupsMadeOneByOne) {
    const std::u16string chars = u"中国人民长行重庆银大学生会计";
    const char16_t *readings[] = {u"zhong", u"chang", u"xing", u"le", u"a"};
    std::mt19937 rng(20261209);
    auto line = [&] { // few words, each in many lines, some of its characters annotated
        std::u16string l;
        for (size_t n = 2 + rng() % 2; n > 0; --n) {
            l += chars[rng() % chars.size()];
            if (rng() % 2)
                l += readings[rng() % 5];
        }
        return l;
    };
    std::u16string list, lexicon;
    for (int i = 0; i < 600; ++i)
        list += (i % 50 ? line() : u"lw") + u"\r\n";
    list += list.substr(0, 200) + u"\r\n";
    for (int i = 0; i < 30'000; ++i)
        lexicon += (i % 997 ? line() : u"abc") + u"\r\n";
    writeBytes(dir / "list.txt", lex::test::gbk(list));
    writeBytes(dir / "big.txt", lex::test::gbk(lexicon));
    NullPump pump;
    EntryHashSet set = makeEntrySet();
    const auto r = correctAnnotation(set, dir / "list.txt", dir / "big.txt", dir / "out.txt",
                                     dir / "log.txt", pump);

    EntryHashSet model = makeEntrySet();
    for (LineReader words(dir / "list.txt"); !words.atEnd();)
        if (std::u16string_view l = words.readLineView(); !model.Contains(l))
            model.Add(l);
    std::u16string out, log;
    for (LineReader lines(dir / "big.txt"); !lines.atEnd();) {
        std::u16string_view l = lines.readLineView();
        std::u16string text(l);
        if (model.Hash_ExistsX(l)) {
            text = model.entry(model.matchedIndex());
            if (text != l)
                log += std::u16string(l) + u"　→　" + text + u"\r\n";
            model.Remove();
        } else {
            text = l;
        }
        out += text + u"\r\n";
    }
    EXPECT_EQ(r.lines, 30'000);
    EXPECT_GT(r.logged, 300);
    EXPECT_TRUE(readBytes(dir / "out.txt") == lex::test::gbk(out)) << "the corrected lexicon";
    EXPECT_TRUE(readBytes(dir / "log.txt") == lex::test::gbk(log)) << "the log";
    EXPECT_EQ(set.deletedCount(), model.deletedCount());
}

// Guards the order of the correction's checks: without the list nothing is read or written;
// without the input the old log stays too.
TEST_F(Phonetag, CorrectionWithoutListOrInputKeepsTheOldLog) {
    writeBytes(dir / "log.txt", "old");
    NullPump pump;
    EntryHashSet set = makeEntrySet();
    EXPECT_FALSE(correctAnnotation(set, dir / "gone.txt", dir / "lexicon.txt", dir / "out.txt",
                                   dir / "log.txt", pump)
                     .listFound);
    EXPECT_FALSE(correctAnnotation(set, dir / "lw.txt", dir / "gone.txt", dir / "out.txt",
                                   dir / "log.txt", pump)
                     .inputFound);
    EXPECT_EQ(readBytes(dir / "log.txt"), "old");
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
}

// Guards a leading character that code page 936 lacks taken for junk before the word: when the
// output holds every character it is a character of the word, kept without a reading where it
// has none, wherever it stands; with a code page 936 output the rules of the word stay.
TEST_F(Phonetag, CharactersBeyondGbkAreCharactersOfTheWord) {
    const struct {
        std::u16string_view line, wide, narrow;
    } rows[] = {
        {u"𠮷中国", u"𠮷中zhong国guo", u"中zhong国guo"},
        {u"㐀重庆", u"㐀重chong庆qing", u"重chong庆qing"},
        {u"😀银行", u"😀银yin行hang", u"银yin行hang"},
        {u"中𠮷国", u"中zhong𠮷国guo", u"中zhong𠮷国guo"},
        {u"中国", u"中zhong国guo", u"中zhong国guo"},
    };
    PinyinCounters counters{100, 100};
    std::u16string out, scratch;
    for (const auto &row : rows) {
        annotateLine(row.line, dict(), table(), counters, out, scratch, WordUnits::wide());
        EXPECT_EQ(toUtf8(out), toUtf8(row.wide));
        annotateLine(row.line, dict(), table(), counters, out, scratch, WordUnits::narrow());
        EXPECT_EQ(toUtf8(out), toUtf8(row.narrow));
    }
}

// Guards the empty lexicon (an empty output, the count 0) and the dictionary's load: the first
// line of a character wins, empty lines add nothing, a UTF-16 file reads alike.
TEST_F(Phonetag, EmptyLexiconAndUtf16Dictionary) {
    writeBytes(dir / "dz.txt", utf16le(u"中zhong\r\n\r\n中chong\r\nxyz\r\n国"));
    EXPECT_EQ(dict().size(), 3u);
    EXPECT_EQ(dict().text(u'中'), u"中zhong");
    EXPECT_EQ(dict().text(u'x'), u"xyz");
    writeBytes(dir / "in.txt", "");
    NullPump pump;
    PinyinCounters counters;
    EXPECT_EQ(autoAnnotate(dir / "in.txt", dir / "out.txt", dict(), table(), counters, pump).lines,
              0);
    EXPECT_EQ(readBytes(dir / "out.txt"), "");
}
