// Lexicon files through real files: encoding test, line splitting, atomic output.

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lexicon_files.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>

using lex::LexiconEncoding;
using lex::test::TempDir;

namespace {

std::vector<std::u16string> readLines(const std::filesystem::path &p) {
    lex::LineReader r(p);
    std::vector<std::u16string> lines;
    while (!r.atEnd())
        lines.push_back(r.readLine());
    return lines;
}

TEST(DetectEncoding, OnlyFfFeIsUtf16) {
    TempDir dir;
    struct Case {
        std::string bytes;
        LexiconEncoding expected;
    } cases[] = {
        {"", LexiconEncoding::Ansi936},
        {"\xFF", LexiconEncoding::Ansi936},
        {"\xFF\xFE", LexiconEncoding::Utf16Le},
        {"\xFE\xFF\x4E\x2D", LexiconEncoding::Ansi936},         // big-endian mark
        {"\xEF\xBB\xBF\xE4\xB8\xAD", LexiconEncoding::Ansi936}, // UTF-8 mark
    };
    for (const auto &c : cases) {
        lex::test::writeBytes(dir / "f.txt", c.bytes);
        EXPECT_EQ(lex::detectEncoding(dir / "f.txt"), c.expected);
    }
    lex::test::writeBytes(dir / "f.txt", "\xFF\xFE");
    EXPECT_TRUE(readLines(dir / "f.txt").empty());
}

TEST(LineReader, BothEncodingsGiveTheSameLines) {
    TempDir dir;
    const std::u16string text = u"中zhong国guo\r\n\r\nabc\n€末行";
    lex::test::writeBytes(dir / "a.txt", lex::test::gbk(text));
    lex::test::writeBytes(dir / "u.txt", lex::test::utf16le(text));
    std::vector<std::u16string> expected = {u"中zhong国guo", u"", u"abc", u"€末行"};
    EXPECT_EQ(readLines(dir / "a.txt"), expected);
    lex::LineReader r(dir / "a.txt");
    EXPECT_EQ(r.countLines(), 4u);
    EXPECT_EQ(r.peekLineView(3), u"€末行");
    EXPECT_EQ(r.peekLineView(4), u"");
    // Past the end there is no data, where an empty line has some: hints stop there.
    EXPECT_EQ(r.peekLineView(4).data(), nullptr);
    EXPECT_EQ(r.knownSize(), r.size());
    r.readLineView();
    EXPECT_EQ(r.peekLineView(0), u"");
    EXPECT_NE(r.peekLineView(0).data(), nullptr);
    EXPECT_EQ(r.peekLineView(1), u"abc");
    EXPECT_EQ(r.countLines(), 3u);
    EXPECT_EQ(readLines(dir / "u.txt"), expected);
}

// Files are decoded in chunks of 1 MiB; a pair split by a chunk boundary must stay one
// character, and a lone lead byte at the very end is still a replacement.
TEST(LineReader, PairsSplitAcrossReadChunksStayWhole) {
    TempDir dir;
    for (size_t pad : {size_t(1) << 20, (size_t(1) << 20) - 1, (size_t(1) << 20) + 1}) {
        std::string bytes(pad - 1, 'a');
        bytes += "\n\xD6\xD0\xB9\xFA\xD6";
        lex::test::writeBytes(dir / "big.txt", bytes);
        auto lines = readLines(dir / "big.txt");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].size(), pad - 1);
        EXPECT_EQ(lines[1], std::u16string(u"中国\uFFFD")) << pad;
    }
}

TEST(LineReader, TerminatorsAndLastLine) {
    TempDir dir;
    auto lines = [&](std::string bytes) {
        lex::test::writeBytes(dir / "f.txt", bytes);
        return readLines(dir / "f.txt");
    };
    using V = std::vector<std::u16string>;
    EXPECT_EQ(lines("a\r\nb\r\n"), (V{u"a", u"b"})); // no extra empty line at the end
    EXPECT_EQ(lines("a\nb"), (V{u"a", u"b"}));       // last line without terminator
    EXPECT_EQ(lines("\n"), (V{u""}));
    EXPECT_EQ(lines("a\rb\n"), (V{u"a\rb"})); // a lone CR is text
    EXPECT_EQ(lines(""), V{});
    // A UTF-8 mark read as code page 936 arrives as characters of the first line.
    EXPECT_EQ(lines("\xEF\xBB\xBFx").size(), 1u);
    EXPECT_NE(lines("\xEF\xBB\xBFx")[0], u"x");
}

TEST(LineReader, RefusesMissingAndBinaryFiles) {
    TempDir dir;
    EXPECT_THROW(lex::LineReader(dir / "missing.txt"), lex::LexError);
    EXPECT_THROW(lex::LineReader(dir.path()), lex::LexError);
    lex::test::writeBytes(dir / "bin.dat", std::string("PNG\0\0\x01", 6));
    EXPECT_THROW(lex::LineReader(dir / "bin.dat"), lex::LexError);
    EXPECT_FALSE(lex::fileExists(dir / "missing.txt"));
    EXPECT_FALSE(lex::fileExists(dir.path()));
}

// A big file is decoded on a second thread while its lines are handed out: the lines, their
// ends and the file's end are those of the whole text, whatever the reader asks when, a move
// or a close in the middle neither crashes nor hangs, and a NUL near the end still refuses
// the file before it is read to its end.
TEST(LineReader, BigFilesDecodedMeanwhileGiveTheSameLines) {
    TempDir dir;
    std::mt19937 rng(11);
    const std::string pieces[] = {"\xD6\xD0", "\xB9\xFA", "zhong", "\r\n", "\n", "\r",
                                  " ",        "\x81",     "\x80",  "\xFF", ""};
    std::string bytes;
    while (bytes.size() < (size_t(9) << 20))
        bytes += pieces[rng() % std::size(pieces)];
    bytes += "\xD6\xD0last";
    lex::test::writeBytes(dir / "big.txt", bytes);
    // The text split as the reader must split it.
    const std::u16string text = lex::decode936(bytes);
    std::vector<std::u16string> expected;
    for (size_t start = 0; start < text.size();) {
        size_t lf = text.find(u'\n', start);
        const size_t stop = lf == std::u16string::npos ? text.size() : lf;
        const size_t end =
            stop > start && text[stop - 1] == u'\r' && lf != std::u16string::npos ? stop - 1 : stop;
        expected.push_back(text.substr(start, end - start));
        start = stop + 1;
    }

    lex::LineReader r(dir / "big.txt", LexiconEncoding::Ansi936);
    // A progress total never waits: nothing until the whole text is known, then all of it.
    const size_t early = r.knownSize();
    EXPECT_TRUE(early == 0 || early == text.size()) << early;
    size_t i = 0;
    for (; !r.atEnd(); ++i) {
        if (i % 1000 == 7) {
            ASSERT_EQ(r.peekLineView(3), i + 3 < expected.size() ? expected[i + 3] : u"");
        }
        ASSERT_LT(i, expected.size());
        ASSERT_EQ(r.readLineView(), expected[i]) << "line " << i;
    }
    EXPECT_EQ(i, expected.size());
    EXPECT_EQ(r.knownSize(), text.size());
    EXPECT_EQ(r.size(), text.size());

    lex::LineReader counted(dir / "big.txt", LexiconEncoding::Ansi936);
    counted.readLineView();
    EXPECT_EQ(counted.countLines(), expected.size() - 1);
    lex::LineReader moved(dir / "big.txt", LexiconEncoding::Ansi936);
    lex::LineReader target = std::move(moved);
    EXPECT_EQ(target.readAll(), text);
    lex::LineReader closed(dir / "big.txt", LexiconEncoding::Ansi936);
    closed.close();
    EXPECT_TRUE(closed.atEnd());

    bytes[bytes.size() - 3] = '\0';
    lex::test::writeBytes(dir / "nul.txt", bytes);
    lex::LineReader binary(dir / "nul.txt", LexiconEncoding::Ansi936);
    EXPECT_THROW(
        {
            while (!binary.atEnd())
                binary.readLineView();
        },
        lex::LexError);
}

TEST(LineWriter, WritesCodePage936WithCrLfAfterEveryLine) {
    TempDir dir;
    lex::test::writeBytes(dir / "in.txt", lex::test::utf16le(u"中国\r\n€\r\nก"));
    {
        lex::LineReader r(dir / "in.txt");
        lex::LineWriter w(dir / "out.txt");
        while (!r.atEnd())
            w.writeLine(r.readLineView());
        w.write(u"尾");
        w.close();
    }
    EXPECT_EQ(lex::test::readBytes(dir / "out.txt"), "\xD6\xD0\xB9\xFA\r\n\x80\r\n?\r\n\xCE\xB2");
}

// A failed run must leave the user's old file as it was.
TEST(LineWriter, OldContentSurvivesAnUnfinishedOrFailedWrite) {
    TempDir dir;
    lex::test::writeBytes(dir / "out.txt", "old");
    {
        lex::LineWriter w(dir / "out.txt");
        w.writeLine(u"new");
    } // destroyed without close
    EXPECT_EQ(lex::test::readBytes(dir / "out.txt"), "old");

    lex::LineWriter missingDir(dir / "no/such/folder.txt");
    missingDir.writeLine(u"x");
    EXPECT_THROW(missingDir.close(), lex::LexError);

    if (::geteuid() != 0) { // root writes anywhere
        std::filesystem::create_directory(dir / "ro");
        lex::test::writeBytes(dir / "ro/out.txt", "old");
        ::chmod((dir / "ro").c_str(), 0555);
        lex::LineWriter w(dir / "ro/out.txt");
        w.writeLine(u"new");
        EXPECT_THROW(w.close(), lex::LexError);
        EXPECT_EQ(lex::test::readBytes(dir / "ro/out.txt"), "old");
    }
}

// A write that runs out of space (here: a file-size limit) fails cleanly: an error, the old
// file untouched, no temporary file left behind.
TEST(LineWriter, AFailingWriteLeavesNoTraces) {
    TempDir dir;
    lex::test::writeBytes(dir / "out.txt", "old");
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    lex::LineWriter w(dir / "out.txt");
    for (int i = 0; i < 1000; ++i)
        w.writeLine(u"中华人民共和国");
    EXPECT_THROW(w.close(), lex::LexError);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(lex::test::readBytes(dir / "out.txt"), "old");
    int files = 0;
    for (auto &e : std::filesystem::directory_iterator(dir.path()))
        files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST(LineWriter, OutputMayReplaceItsOwnInput) {
    TempDir dir;
    lex::test::writeLexicon(dir / "f.txt", {u"甲乙", u"丙丁"});
    lex::LineReader r(dir / "f.txt");
    std::vector<std::u16string> lines;
    while (!r.atEnd())
        lines.push_back(r.readLine());
    r.close();
    lex::LineWriter w(dir / "f.txt");
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        w.writeLine(*it);
    w.close();
    EXPECT_EQ(lex::test::readBytes(dir / "f.txt"), lex::test::gbkLines({u"丙丁", u"甲乙"}));
}

TEST(EntryWord, KeepsFirstCharacterAndLaterDoubleByteCharacters) {
    EXPECT_EQ(lex::entryWord(u"中zhong国guo"), u"中国");
    EXPECT_EQ(lex::entryWord(u"a中"), u"a中");
    EXPECT_EQ(lex::entryWord(u"中 1x国"), u"中国");
    EXPECT_EQ(lex::entryWord(u""), u"");
    EXPECT_EQ(lex::TakeOff(u"a中zhong国"), u"中国");
}

} // namespace
