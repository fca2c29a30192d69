// The writer thread of the correction: what goes in comes out, in order, byte for byte.
#include "phonetag/background_writer.h"

#include "test_support.h"

#include <gtest/gtest.h>

using namespace lex;
using namespace lex::phonetag;
using lex::test::gbk;
using lex::test::readBytes;
using lex::test::TempDir;

// Guards the order and the text of the lines across many batches: lines kept by view, lines
// copied from a buffer that changes as soon as the call returns, and empty lines among them.
TEST(BackgroundWriter, WritesEveryLineInOrder) {
    TempDir dir;
    std::vector<std::u16string> lines;
    for (size_t i = 0; i < 20000; ++i)
        lines.push_back(i % 7 == 0 ? u"" : u"行" + std::u16string(i % 5, u'a') + u"长");
    std::string expected;
    LineWriter writer(dir / "out.txt", TextFormat::gbk());
    BackgroundWriter out(writer);
    std::u16string buffer;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i % 3 == 0) {
            buffer = lines[i];
            out.writeCopy(buffer);
            buffer = u"改了";
        } else {
            out.writeLine(lines[i]);
        }
        expected += gbk(lines[i]) + "\r\n";
    }
    out.finish();
    writer.close();
    EXPECT_EQ(readBytes(dir / "out.txt"), expected);
}

// Guards batches whose copies are a few units in all, which a string keeps inside its own
// object: every move of the batch moves them, so the lines are found in it only once it stays.
TEST(BackgroundWriter, ShortCopiesSurviveTheHandOver) {
    TempDir dir;
    std::string expected;
    LineWriter writer(dir / "out.txt", TextFormat::gbk());
    BackgroundWriter out(writer);
    for (size_t i = 0; i < 3 * 8192; ++i) {
        const bool copy = i % 8192 == 100;
        const std::u16string line = copy ? u"长" + std::u16string(i / 8192, u'a') : u"行";
        copy ? out.writeCopy(line) : out.writeLine(u"行");
        expected += gbk(line) + "\r\n";
    }
    out.finish();
    writer.close();
    EXPECT_TRUE(readBytes(dir / "out.txt") == expected);
}

// Guards an abandoned pass (a failure elsewhere): the thread ends, the output stays unwritten.
TEST(BackgroundWriter, AbandonedWritesNothing) {
    TempDir dir;
    {
        LineWriter writer(dir / "out.txt", TextFormat::gbk());
        BackgroundWriter out(writer);
        for (int i = 0; i < 30000; ++i)
            out.writeLine(u"会议");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.txt"));
}
