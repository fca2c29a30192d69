// The line routines of the character dictionary, character by character, over the golden
// "dz.txt" of the annotation tests.
#include "shared/pinyin/char_dictionary.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace lex::pinyin;
namespace fs = std::filesystem;

namespace {

struct RoutineCase {
    std::u16string line;
    std::u16string insBlank;
    std::u16string fixPinyin;
    int64_t supplemented, cleared;
    bool isDYC;
};

class LineRoutines : public ::testing::TestWithParam<RoutineCase> {
protected:
    static void SetUpTestSuite() {
        s_dict = new CharDictionary(loadCharDictionary(fs::path(PHONETAG_GOLDEN) / "dz.txt"));
    }
    static void TearDownTestSuite() {
        delete s_dict;
        s_dict = nullptr;
    }
    static const CharDictionary &dict() { return *s_dict; }
    static CharDictionary *s_dict;
};
CharDictionary *LineRoutines::s_dict = nullptr;

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
    Pinyin, LineRoutines,
    ::testing::Values(RoutineCase{u"", u"", u"", 0, 0, false},
                      RoutineCase{u"中", u"中", u"中zhong", 1, 0, false},
                      RoutineCase{u"a", u"a", u"", 0, 0, false},
                      RoutineCase{u"中zhong国guo", u"0中zhong0国guo", u"中zhong国guo", 0, 0, true},
                      RoutineCase{u"中国", u"中国", u"中zhong国guo", 2, 0, false},
                      RoutineCase{u"中国abc", u"中0国abc", u"中zhong国abc", 1, 0, true},
                      RoutineCase{u"中国 100", u"中国 100", u"中zhong国guo 100", 2, 0, false},
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

} // namespace
