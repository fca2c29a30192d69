// phonetag's engines through real files in a temporary folder: the golden outputs of every
// operation, the line routines, the correction's use of the entry set, and failures.
#include "phonetag/annotation.h"
#include "phonetag/char_dictionary.h"
#include "phonetag/correction.h"
#include "phonetag/optimisation.h"
#include "phonetag/word_table.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lexicon_files.h"
#include "shared/lexcore/report.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <functional>

using namespace lex;
using namespace lex::phonetag;
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

// One operation over an input, as the forms and lexcli call it; returns its counts.
using Operation = std::function<std::vector<int64_t>(Phonetag &, const fs::path &in,
                                                     const fs::path &out, EventPump &)>;

struct GoldenCase {
    const char *name;
    const char *golden;
    std::vector<int64_t> counts;
    Operation run;
};

void PrintTo(const GoldenCase &c, std::ostream *os) {
    *os << c.name;
}

} // namespace

class GoldenOutputs : public Phonetag, public ::testing::WithParamInterface<GoldenCase> {
public:
    // The lexicon of the golden folder, each operation.
    static std::vector<GoldenCase> cases() {
        return {
            {"annotate",
             "annotate.txt",
             {27},
             [](Phonetag &t, const fs::path &in, const fs::path &out, EventPump &pump) {
                 PinyinCounters counters;
                 auto r = autoAnnotate(in, out, t.dict(), t.table(), counters, pump);
                 return std::vector<int64_t>{r.lines};
             }},
            {"clear",
             "clear.txt",
             {27},
             [](Phonetag &, const fs::path &in, const fs::path &out, EventPump &pump) {
                 return std::vector<int64_t>{clearPinyin(in, out, pump).lines};
             }},
            {"extract",
             "extract.txt",
             {13},
             [](Phonetag &, const fs::path &in, const fs::path &out, EventPump &pump) {
                 return std::vector<int64_t>{extractAnnotated(in, out, pump).kept};
             }},
            {"adjust",
             "adjust.txt",
             {33, 1},
             [](Phonetag &t, const fs::path &in, const fs::path &out, EventPump &pump) {
                 PinyinCounters counters{100, 100};
                 auto r = adjustPinyin(in, out, t.dict(), counters, pump);
                 if (r.inputFound) { // the program's counters now hold this run's
                     EXPECT_EQ(counters.supplemented, r.counters.supplemented);
                 }
                 return std::vector<int64_t>{r.counters.supplemented, r.counters.cleared};
             }},
            {"dedup",
             "dedup.txt",
             {4, 23},
             [](Phonetag &, const fs::path &in, const fs::path &out, EventPump &pump) {
                 EntryHashSet set = makeEntrySet();
                 auto r = removeRepeatedEntries(set, in, out, pump);
                 return std::vector<int64_t>{r.repeated, r.remaining};
             }},
            {"correct",
             "correct.txt",
             {27, 5},
             [](Phonetag &t, const fs::path &in, const fs::path &out, EventPump &pump) {
                 EntryHashSet set = makeEntrySet();
                 auto r =
                     correctAnnotation(set, t.dir / "lw.txt", in, out, t.dir / "log.txt", pump);
                 if (r.inputFound) {
                     EXPECT_EQ(readBytes(t.dir / "log.txt"),
                               readBytes(kGolden / "correct-log.txt"));
                 }
                 return std::vector<int64_t>{r.lines, r.logged};
             }},
        };
    }
};

// Guards the bytes of every operation (code page 936, CR LF, order, counts) against the outputs
// checked by hand in tests/data/phonetag, for a code page 936 and a UTF-16 input alike.
TEST_P(GoldenOutputs, MatchByteForByteFromEitherEncoding) {
    const GoldenCase &c = GetParam();
    const std::string expected = readBytes(kGolden / c.golden);
    NullPump pump;
    EXPECT_EQ(c.run(*this, dir / "lexicon.txt", dir / "out.txt", pump), c.counts);
    EXPECT_EQ(readBytes(dir / "out.txt"), expected);

    writeBytes(dir / "utf16.txt", utf16le(decode936(readBytes(dir / "lexicon.txt"))));
    EXPECT_EQ(c.run(*this, dir / "utf16.txt", dir / "out16.txt", pump), c.counts);
    EXPECT_EQ(readBytes(dir / "out16.txt"), expected);
}

// Guards against partial or stray output: a missing input writes nothing, an unwritable output
// throws before anything exists, and a run stopped midway leaves the old output as it was.
TEST_P(GoldenOutputs, FailuresLeaveNoOutput) {
    const GoldenCase &c = GetParam();
    NullPump pump;
    EXPECT_EQ(c.run(*this, dir / "gone.txt", dir / "out.txt", pump).front(), 0);
    EXPECT_FALSE(fs::exists(dir / "out.txt"));

    EXPECT_THROW(c.run(*this, dir / "lexicon.txt", dir / "no-folder" / "out.txt", pump), LexError);
    EXPECT_FALSE(fs::exists(dir / "no-folder"));

    writeBytes(dir / "old.txt", "old");
    ThrowingPump stop(5);
    EXPECT_THROW(c.run(*this, dir / "lexicon.txt", dir / "old.txt", stop), std::runtime_error);
    EXPECT_EQ(readBytes(dir / "old.txt"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 5);
}

INSTANTIATE_TEST_SUITE_P(Phonetag, GoldenOutputs, ::testing::ValuesIn(GoldenOutputs::cases()),
                         [](const auto &info) { return std::string(info.param.name); });

// --- line routines ---

struct RoutineCase {
    std::u16string line;
    std::u16string insBlank;
    std::u16string fixPinyin;
    int64_t supplemented, cleared;
    bool isDYC;
};

class LineRoutines : public Phonetag, public ::testing::WithParamInterface<RoutineCase> {};

// Guards the three routines character by character: markers only before codes above 64, the at
// sign a letter for FixPinyin and IsDYC, leading annotation dropped, unknown characters.
TEST_P(LineRoutines, MarkFixAndTell) {
    const RoutineCase &c = GetParam();
    EXPECT_EQ(InsBlank(c.line), c.insBlank);
    PinyinCounters counters{1, 1};
    EXPECT_EQ(FixPinyin(c.line, dict(), counters), c.fixPinyin);
    EXPECT_EQ(counters.supplemented - 1, c.supplemented);
    EXPECT_EQ(counters.cleared - 1, c.cleared);
    EXPECT_EQ(IsDYC(c.line), c.isDYC);
}

INSTANTIATE_TEST_SUITE_P(
    Phonetag, LineRoutines,
    ::testing::Values(RoutineCase{u"", u"", u"", 0, 0, false},
                      RoutineCase{u"中", u"中", u"中zhong", 1, 0, false},
                      RoutineCase{u"a", u"a", u"", 0, 0, false},
                      RoutineCase{u"中zhong国guo", u"0中zhong0国guo", u"中zhong国guo", 0, 0, true},
                      RoutineCase{u"中国", u"中国", u"中zhong国guo", 2, 0, false},
                      RoutineCase{u"中@国", u"中@国", u"中@国guo", 1, 0, true},
                      RoutineCase{u"中A国", u"0中A国", u"中A国guo", 1, 0, true},
                      RoutineCase{u"猫mao国", u"0猫mao国", u"猫国guo", 1, 1, true},
                      RoutineCase{u"猫", u"猫", u"猫", 0, 0, false},
                      RoutineCase{u"ab中1", u"ab中1", u"中zhong1", 1, 0, true},
                      RoutineCase{u"1中", u"1中", u"中zhong", 1, 0, false},
                      RoutineCase{u"中。国", u"中。国", u"中zhong。国guo", 2, 0, false},
                      RoutineCase{u"中z", u"0中z", u"中z", 0, 0, true},
                      RoutineCase{u"国0", u"国0", u"国guo0", 1, 0, false},
                      RoutineCase{u"啊a", u"0啊a", u"啊", 0, 1, true}));

// Guards the dictionary's load: the first line of a character wins, empty lines add nothing,
// a UTF-16 file reads as a code page 936 one, and a key may be any character.
TEST_F(Phonetag, DictionaryKeepsTheFirstLineOfEachCharacter) {
    writeBytes(dir / "dz16.txt", utf16le(u"中zhong\r\n\r\n中chong\r\nxyz\r\n国"));
    const CharDictionary d = loadCharDictionary(dir / "dz16.txt");
    EXPECT_EQ(d.size(), 3u);
    EXPECT_EQ(d.text(u'中'), u"中zhong");
    EXPECT_EQ(d.text(u'国'), u"国");
    EXPECT_EQ(d.text(u'x'), u"xyz");
    EXPECT_FALSE(d.contains(u'猫'));
}

// --- the worked examples ---

// Guards the examples of automatic annotation with the smallest data: the word table decides 重,
// the dictionary supplies 市, and a marker keeps 重庆qing out of the word 重庆.
TEST_F(Phonetag, WordTableDecidesOnlyWhereItsWordStandsUnannotated) {
    writeLexicon(dir / "dz.txt", {u"重zhong", u"庆qing", u"市shi"});
    writeLexicon(dir / "zn.lxd", {u"重chong庆qing"});
    writeLexicon(dir / "in.txt", {u"重庆市", u"重庆qing", u"重chong庆qing", u"重庆", u"0"});
    NullPump pump;
    PinyinCounters counters{5, 5};
    auto r = autoAnnotate(dir / "in.txt", dir / "out.txt", dict(), table(), counters, pump);
    EXPECT_EQ(r.lines, 5);
    EXPECT_EQ(readBytes(dir / "out.txt"), gbkLines({u"重chong庆qing市shi", u"重zhong庆qing",
                                                    u"重chong庆qing", u"重chong庆qing", u""}));
    // Annotation adds to the program's counters (1 + 1 supplemented) and never resets them.
    EXPECT_EQ(counters.supplemented, 7);
    EXPECT_EQ(counters.cleared, 5);
}

// Guards the adjustment's two counters and that a line without Chinese keeps its place, empty.
TEST_F(Phonetag, AdjustmentCountsSupplementedAndCleared) {
    writeLexicon(dir / "dz.txt", {u"国guo", u"中zhong"});
    writeLexicon(dir / "in.txt", {u"中国", u"abc", u"猫mao"});
    NullPump pump;
    PinyinCounters counters;
    auto r = adjustPinyin(dir / "in.txt", dir / "out.txt", dict(), counters, pump);
    EXPECT_EQ(readBytes(dir / "out.txt"), gbkLines({u"中zhong国guo", u"", u"猫"}));
    EXPECT_EQ(r.lines, 3);
    EXPECT_EQ(counters.supplemented, 2);
    EXPECT_EQ(counters.cleared, 1);
    EXPECT_TRUE(startsWith(adjustReport(counters, timeOfDayNow()),
                           "补充欠拼：2\r\n清除赘拼：1\r\n耗费时间："));
}

// Guards the duplicate removal's example: whole lines compared, lines without Chinese folded
// into one ";", the counts of the report.
TEST_F(Phonetag, DuplicateRemovalKeepsFirstOccurrences) {
    writeLexicon(dir / "in.txt", {u"中国", u"中国", u"中国zhongguo", u"abc", u"xyz"});
    NullPump pump;
    EntryHashSet set = makeEntrySet();
    auto r = removeRepeatedEntries(set, dir / "in.txt", dir / "out.txt", pump);
    EXPECT_EQ(readBytes(dir / "out.txt"), gbkLines({u"中国", u"中国zhongguo", u";"}));
    EXPECT_TRUE(
        startsWith(dedupReport(r, timeOfDayNow()), "删除重复词条：2\r\n剩余词条：3\r\n耗费时间："));

    // Without repeats the lexicon comes back unchanged; a set left filled is emptied first.
    writeLexicon(dir / "in.txt", {u"人民", u"中国", u"a中国"});
    r = removeRepeatedEntries(set, dir / "in.txt", dir / "out.txt", pump);
    EXPECT_EQ(readBytes(dir / "out.txt"), gbkLines({u"人民", u"中国", u"a中国"}));
    EXPECT_EQ(r.repeated, 0);
    EXPECT_EQ(r.remaining, 3);
}

// Guards the tool's key variant: a line of one character has its own key, letters anywhere
// are skipped, and a line without Chinese becomes ";".
TEST(PhonetagEntrySet, KeyOfZhongIs549920) {
    for (std::u16string_view line : {u"中", u"a中", u"中zhong"}) {
        std::u16string_view word = line;
        EXPECT_EQ(EntryHashSet::EntryKey(KeyVariant::Annotation, word), 549'920);
        EXPECT_EQ(word, line);
    }
    std::u16string_view latin = u"abc";
    EXPECT_EQ(EntryHashSet::EntryKey(KeyVariant::Annotation, latin), 1'000'000);
    EXPECT_EQ(latin, u";");
}

// Guards the correction's word matching: each list line corrects only the first lexicon line
// with its characters, an identical line is not logged but uses the list line up, a leading
// letter takes part, and the log is replaced by every run.
TEST_F(Phonetag, CorrectionUsesEachListLineOnce) {
    writeLexicon(dir / "lw.txt", {u"重chong庆qing", u"重zhong庆qing", u"中zhong"});
    writeLexicon(dir / "in.txt", {u"重庆", u"重庆", u"重庆", u"中zhong", u"中", u"b中"});
    writeBytes(dir / "log.txt", "old log that is longer than the new one\r\n");
    NullPump pump;
    EntryHashSet set = makeEntrySet();
    auto r = correctAnnotation(set, dir / "lw.txt", dir / "in.txt", dir / "out.txt",
                               dir / "log.txt", pump);
    EXPECT_EQ(readBytes(dir / "out.txt"),
              gbkLines({u"重chong庆qing", u"重zhong庆qing", u"重庆", u"中zhong", u"中", u"b中"}));
    EXPECT_EQ(readBytes(dir / "log.txt"),
              gbkLines({u"重庆　→　重chong庆qing", u"重庆　→　重zhong庆qing"}));
    EXPECT_EQ(r.logged, 2);
    EXPECT_TRUE(startsWith(correctReport(r.lines, timeOfDayNow()), "共计词条：6\r\n耗费时间："));
    // What is left of the list stays in the set until the next correction clears it.
    EXPECT_EQ(set.insertedCount(), 3);
    EXPECT_EQ(set.deletedCount(), 3);
}

// Guards the order of the correction's checks: without the list nothing is read or written and
// the old log stays; without the input the old log stays too.
TEST_F(Phonetag, CorrectionWithoutListOrInputKeepsTheOldLog) {
    writeBytes(dir / "log.txt", "old");
    NullPump pump;
    EntryHashSet set = makeEntrySet();
    auto r = correctAnnotation(set, dir / "gone.txt", dir / "lexicon.txt", dir / "out.txt",
                               dir / "log.txt", pump);
    EXPECT_FALSE(r.listFound);
    r = correctAnnotation(set, dir / "lw.txt", dir / "gone.txt", dir / "out.txt", dir / "log.txt",
                          pump);
    EXPECT_TRUE(r.listFound);
    EXPECT_FALSE(r.inputFound);
    EXPECT_EQ(readBytes(dir / "log.txt"), "old");
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
}

// Guards the extraction's test, which ignores the first character: only later letters count.
TEST_F(Phonetag, ExtractionKeepsLinesWithPinyinAfterTheFirstCharacter) {
    writeLexicon(dir / "in.txt",
                 {u"中zhong", u"中国abc", u"中国", u"中国 100", u"", u"a中", u"a", u"中@"});
    NullPump pump;
    auto r = extractAnnotated(dir / "in.txt", dir / "out.txt", pump);
    EXPECT_EQ(readBytes(dir / "out.txt"), gbkLines({u"中zhong", u"中国abc", u"中@"}));
    EXPECT_TRUE(startsWith(extractReport(r.kept, timeOfDayNow()), "提取注音词条：3\r\n耗费时间："));
}

// Guards clearing pinyin: the first character stays whatever it is, and an output over its own
// input reads everything first.
TEST_F(Phonetag, ClearKeepsTheFirstCharacterAndMayOverwriteItsInput) {
    writeLexicon(dir / "in.txt", {u"a1中", u"重chong庆qing", u"", u"1"});
    NullPump pump;
    auto r = clearPinyin(dir / "in.txt", dir / "in.txt", pump);
    EXPECT_EQ(readBytes(dir / "in.txt"), gbkLines({u"a中", u"重庆", u"", u"1"}));
    EXPECT_TRUE(startsWith(lineCountReport(r.lines, timeOfDayNow()), "共计词条：4\r\n耗费时间："));
}

// Guards the empty lexicon: no lines, an empty output and the count 0.
TEST_F(Phonetag, EmptyLexiconGivesAnEmptyFile) {
    writeBytes(dir / "in.txt", "");
    NullPump pump;
    PinyinCounters counters;
    EXPECT_EQ(autoAnnotate(dir / "in.txt", dir / "out.txt", dict(), table(), counters, pump).lines,
              0);
    EXPECT_EQ(readBytes(dir / "out.txt"), "");
}
