// Lexicon files through real files: encoding test, line splitting, atomic output.

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/lexicon_rules.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/text_format.h"
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

// FF FE is UTF-16; UTF-8 is its mark or valid UTF-8 with a multi-byte character; the rest,
// pure ASCII included, is code page 936.
TEST(DetectEncoding, MarksThenValidUtf8ThenCodePage936) {
    TempDir dir;
    const std::string big(70000, 'a'); // past the small first chunk of the test
    struct Case {
        std::string bytes;
        LexiconEncoding expected;
    } cases[] = {
        {"", LexiconEncoding::Ansi936},
        {"\xFF", LexiconEncoding::Ansi936},
        {"\xFF\xFE", LexiconEncoding::Utf16Le},
        {"\xFE\xFF\x4E\x2D", LexiconEncoding::Ansi936},      // big-endian mark
        {"\xEF\xBB\xBF\xE4\xB8\xAD", LexiconEncoding::Utf8}, // UTF-8 mark
        {"\xEF\xBB\xBF\xD6\xD0", LexiconEncoding::Utf8},     // the mark wins over the bytes
        {"\xEF\xBB", LexiconEncoding::Ansi936},              // half a mark, half a character
        {"abc\r\n", LexiconEncoding::Ansi936},               // ASCII reads the same either way
        {"\xE4\xB8\xADzhong\r\n", LexiconEncoding::Utf8},
        {"\xF0\xA0\xAE\xB7", LexiconEncoding::Utf8},                   // U+20BB7, four bytes
        {"\xD6\xD0\xB9\xFA", LexiconEncoding::Ansi936},                // 中国 in code page 936
        {"\xE4\xB8\xAD\xD6", LexiconEncoding::Ansi936},                // UTF-8, then a stray byte
        {"\xE4\xB8", LexiconEncoding::Ansi936},                        // a sequence cut short
        {"\xC0\xAF", LexiconEncoding::Ansi936},                        // overlong "/"
        {"\xED\xA0\x80", LexiconEncoding::Ansi936},                    // an encoded surrogate
        {"\xF4\x90\x80\x80", LexiconEncoding::Ansi936},                // past U+10FFFF
        {big + "\xE4\xB8\xAD", LexiconEncoding::Utf8},                 // told after the first chunk
        {"\xE4\xB8\xAD" + big + "\xD6\xD0", LexiconEncoding::Ansi936}, // spoilt at the end
    };
    for (const auto &c : cases) {
        lex::test::writeBytes(dir / "f.txt", c.bytes);
        EXPECT_EQ(lex::detectEncoding(dir / "f.txt"), c.expected) << c.bytes.substr(0, 8);
        EXPECT_EQ(lex::detectEncoding(std::string_view(c.bytes)), c.expected);
    }
    // A lexicon file of UTF-8 lines with a bad byte in one is UTF-8: the bad line is one of many.
    // Code page 936 lines of which one happens to be valid UTF-8 (涓) stay code page 936. (Text in
    // memory, an article, keeps the strict rule.)
    lex::test::writeBytes(dir / "f.txt", "人民\n中国\xFF\n你好\n世界\n");
    EXPECT_EQ(lex::detectEncoding(dir / "f.txt"), LexiconEncoding::Utf8);
    lex::test::writeBytes(dir / "f.txt",
                          "\xD6\xD0\xB9\xFA\r\n\xE4\xB8\xAD\r\n\xC8\xCB\xC3\xF1\r\n");
    EXPECT_EQ(lex::detectEncoding(dir / "f.txt"), LexiconEncoding::Ansi936);
    // Big files are checked in two halves at once: a character across the middle, a fault in
    // the second half, and the only multi-byte character there.
    std::string half;
    while (half.size() < (size_t(9) << 20))
        half += "\xE4\xB8\xAD\xE6\x96\x87x\n";
    for (size_t shift = 0; shift < 3; ++shift) {
        const std::string bytes = std::string(shift, 'a') + half + half;
        lex::test::writeBytes(dir / "big.txt", bytes);
        EXPECT_EQ(lex::detectEncoding(dir / "big.txt"), LexiconEncoding::Utf8);
        // A bad byte far in the second half: UTF-8 still (its lines nearly all are), and the
        // line that holds it is found.
        lex::test::writeBytes(dir / "big.txt", bytes + "\xD6\xD0");
        EXPECT_EQ(lex::detectEncoding(dir / "big.txt"), LexiconEncoding::Utf8);
        const lex::InvalidUtf8Lines bad = lex::findInvalidUtf8(dir / "big.txt");
        EXPECT_EQ(bad.lines, 1);
        EXPECT_EQ(bad.firstLine, int64_t(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
        EXPECT_EQ(bad.firstText, "\xEF\xBF\xBD\xEF\xBF\xBD"); // one for each byte
    }
    lex::test::writeBytes(dir / "big.txt", std::string(half.size() * 2, 'a') + "\xE4\xB8\xAD");
    EXPECT_EQ(lex::detectEncoding(dir / "big.txt"), LexiconEncoding::Utf8);
    // Inputs that stay code page 936 whatever their first bytes still read UTF-8.
    lex::test::writeBytes(dir / "f.txt", "\xFF\xFE\x2D\x4E");
    EXPECT_EQ(lex::detectUtf8(dir / "f.txt"), LexiconEncoding::Ansi936);
    lex::test::writeBytes(dir / "f.txt", "\xE4\xB8\xAD");
    EXPECT_EQ(lex::detectUtf8(dir / "f.txt"), LexiconEncoding::Utf8);
    lex::test::writeBytes(dir / "f.txt", "\xFF\xFE");
    EXPECT_TRUE(readLines(dir / "f.txt").empty());
}

TEST(LineReader, EveryEncodingGivesTheSameLines) {
    TempDir dir;
    const std::u16string text = u"中zhong国guo\r\n\r\nabc\n€末行";
    lex::test::writeBytes(dir / "a.txt", lex::test::gbk(text));
    lex::test::writeBytes(dir / "u.txt", lex::test::utf16le(text));
    lex::test::writeBytes(dir / "8.txt", lex::toUtf8(text));
    lex::test::writeBytes(dir / "m.txt", "\xEF\xBB\xBF" + lex::toUtf8(text));
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
    EXPECT_EQ(readLines(dir / "8.txt"), expected);
    EXPECT_EQ(readLines(dir / "m.txt"), expected);
    // Characters past U+FFFF survive as surrogate pairs; in a file with the mark, bytes that are
    // no UTF-8 become one U+FFFD per broken sequence.
    lex::test::writeBytes(dir / "8.txt", "\xF0\xA0\xAE\xB7\xE4\xB8\xAD\n");
    EXPECT_EQ(readLines(dir / "8.txt"), std::vector<std::u16string>{u"𠮷中"});
    lex::test::writeBytes(dir / "m.txt", "\xEF\xBB\xBF\xE4\xB8x\xFF\xC0\xAF\xE4\xB8");
    EXPECT_EQ(readLines(dir / "m.txt"),
              std::vector<std::u16string>{u"\uFFFDx\uFFFD\uFFFD\uFFFD\uFFFD"});
}

// Files are decoded in chunks of 1 MiB; a pair or a UTF-8 sequence split by a chunk boundary
// must stay one character, and a cut character at the very end is still a replacement.
TEST(LineReader, CharactersSplitAcrossReadChunksStayWhole) {
    TempDir dir;
    for (size_t pad = (size_t(1) << 20) - 3; pad <= (size_t(1) << 20) + 1; ++pad) {
        std::string bytes(pad - 1, 'a');
        bytes += "\n\xD6\xD0\xB9\xFA\xD6";
        lex::test::writeBytes(dir / "big.txt", bytes);
        auto lines = readLines(dir / "big.txt");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].size(), pad - 1);
        EXPECT_EQ(lines[1], std::u16string(u"中国\uFFFD")) << pad;

        bytes = "\xEF\xBB\xBF" + std::string(pad - 4, 'a');
        bytes += "\n\xE4\xB8\xAD\xF0\xA0\xAE\xB7\xE5\x9B";
        lex::test::writeBytes(dir / "big.txt", bytes);
        lines = readLines(dir / "big.txt");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1], std::u16string(u"中𠮷\uFFFD")) << pad;
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
    // The UTF-8 mark is no part of the first line.
    EXPECT_EQ(lines("\xEF\xBB\xBFx"), (V{u"x"}));
    // The mark goes once; a second one is text (U+FEFF), for the stream as for the reader,
    // even when the text is too short for the stream to tell a mark at its first read.
    for (const std::string &bytes :
         {std::string("\xFF\xFE\xFF\xFE"), std::string("\xFF\xFE\xFF\xFE\n\0", 6),
          std::string("\xEF\xBB\xBF\xEF\xBB\xBF")}) {
        EXPECT_EQ(lines(bytes), (V{u"\uFEFF"}));
        lex::LineStream stream(dir / "f.txt");
        std::u16string_view line;
        ASSERT_TRUE(stream.next(line));
        EXPECT_EQ(line, u"\uFEFF");
        EXPECT_FALSE(stream.next(line));
    }
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

// A big file is read ahead on a second thread in chunks: in every encoding the stream gives the
// reader's lines, across chunk boundaries (a CR LF or a character cut between two chunks, a line
// longer than several chunks), stops cleanly when dropped halfway, and refuses a NUL at the chunk
// that holds it, after the lines before it.
TEST(LineStream, BigFilesReadAheadGiveTheReadersLines) {
    TempDir dir;
    std::mt19937 rng(5);
    const std::u16string pieces[] = {u"中", u"国", u"zhong", u"\r\n", u"\n",    u"\r",
                                     u" ",  u"€",  u"𠮷",    u"",     u"\uF8F5"};
    std::u16string text;
    while (text.size() < (size_t(7) << 19)) {
        text += pieces[rng() % std::size(pieces)];
        if (text.size() > (size_t(1) << 20) && text.size() < (size_t(1) << 20) + 16)
            text += std::u16string(700000, u'长') + u"\n"; // a line of several chunks
    }
    text += u"末";
    const std::string encodings[] = {"gbk", "utf-16", "utf-8"};
    for (const std::string &name : encodings) {
        SCOPED_TRACE(name);
        std::string bytes;
        std::u16string expectedText = text;
        if (name == "gbk") {
            bytes = lex::encode936(text);
            expectedText = lex::decode936(bytes); // 𠮷 is no code page 936 character
        } else if (name == "utf-16") {
            bytes = lex::test::utf16le(text);
        } else {
            bytes = "\xEF\xBB\xBF" + lex::toUtf8(text);
        }
        ASSERT_GE(bytes.size(), size_t(4) << 20); // big enough to be read ahead
        const auto path = dir / ("big-" + name + ".txt");
        lex::test::writeBytes(path, bytes);
        const std::vector<std::u16string> expected = readLines(path);
        {
            lex::LineStream stream(path);
            std::u16string_view line;
            size_t i = 0;
            while (stream.next(line)) {
                ASSERT_LT(i, expected.size());
                ASSERT_EQ(line, expected[i]) << "line " << i;
                ++i;
                EXPECT_EQ(stream.lineNumber(), int64_t(i));
            }
            EXPECT_EQ(i, expected.size());
            EXPECT_EQ(stream.bytesRead(), bytes.size());
            EXPECT_FALSE(stream.next(line));
        }
        {
            lex::LineStream dropped(path); // the second thread stops with it
            std::u16string_view line;
            for (int k = 0; k < 1000; ++k)
                ASSERT_TRUE(dropped.next(line));
        }
        lex::LineStream unread(path);
    }

    // A NUL two thirds into the file: the lines of the chunks before it come, then the refusal.
    std::string bytes = lex::encode936(text);
    const size_t nulAt = bytes.size() / 3 * 2;
    bytes[nulAt] = '\0';
    lex::test::writeBytes(dir / "nul.txt", bytes);
    lex::LineStream stream(dir / "nul.txt", LexiconEncoding::Ansi936);
    std::u16string_view line;
    int64_t lines = 0;
    EXPECT_THROW(
        {
            while (stream.next(line))
                ++lines;
        },
        lex::LexError);
    EXPECT_GT(lines, 1000);
    EXPECT_LT(stream.bytesRead(), bytes.size());

    // U+FFFD, from a byte that is no UTF-8 or as written, two thirds in: seen once the lines
    // before it are read and the chunk holding it is taken, not before.
    for (const std::string mark : {"\xFF", "\xEF\xBF\xBD"}) {
        std::string utf8 = lex::toUtf8(text);
        utf8.insert(utf8.find('\n', utf8.size() / 3 * 2) + 1, mark + "\n");
        lex::test::writeBytes(dir / "mark.txt", utf8);
        lex::LineStream marked(dir / "mark.txt", LexiconEncoding::Utf8);
        bool seen = false;
        while (marked.next(line)) {
            EXPECT_TRUE(marked.replacementSeen() || line.find(u'\uFFFD') == line.npos);
            seen = seen || line.find(u'\uFFFD') != line.npos;
            if (!seen && marked.bytesRead() < utf8.size() / 2) {
                EXPECT_FALSE(marked.replacementSeen());
            }
        }
        EXPECT_TRUE(seen);
        EXPECT_TRUE(marked.replacementSeen());
    }
}

TEST(LineWriter, WritesCodePage936WithCrLfAfterEveryLine) {
    TempDir dir;
    lex::test::writeBytes(dir / "in.txt", lex::test::utf16le(u"中国\r\n€\r\nก"));
    {
        lex::LineReader r(dir / "in.txt");
        lex::LineWriter w(dir / "out.txt", lex::TextFormat::gbk());
        while (!r.atEnd())
            w.writeLine(r.readLineView());
        w.write(u"尾");
        w.close();
    }
    EXPECT_EQ(lex::test::readBytes(dir / "out.txt"), "\xD6\xD0\xB9\xFA\r\n\x80\r\n?\r\n\xCE\xB2");
}

// The formats a lexicon output may take, through writeLine() and through write() of text whose
// lines end in CR LF.
TEST(LineWriter, WritesEveryFormatWithItsLineEnds) {
    TempDir dir;
    using lex::TextFormat;
    // A line's own CR at its end stays (written before an LF line end it reads back as a line
    // end, the same as a CR LF would).
    struct Case {
        TextFormat format;
        std::string expected;
        std::u16string last;
    } cases[] = {
        {{LexiconEncoding::Ansi936, true}, "\xD6\xD0??\r\na\r\nb\r\x80\r\nc\r\r\n", u"c\r"},
        {{LexiconEncoding::Utf8, false},
         "\xE4\xB8\xAD\xF0\xA0\xAE\xB7\na\nb\r\xE2\x82\xAC\nc\r\n",
         u"c"},
        {{LexiconEncoding::Utf8, true},
         "\xE4\xB8\xAD\xF0\xA0\xAE\xB7\r\na\r\nb\r\xE2\x82\xAC\r\nc\r\r\n",
         u"c\r"},
        {{LexiconEncoding::Utf16Le, true},
         lex::test::utf16le(u"中𠮷\r\na\r\nb\r€\r\nc\r\r\n"),
         u"c\r"},
    };
    for (const auto &c : cases) {
        lex::LineWriter w(dir / "out.txt", c.format);
        w.writeLine(u"中𠮷");
        w.write(u"a\r\nb\r€\r\n"); // a lone CR is text
        w.writeLine(u"c\r");
        w.close();
        EXPECT_EQ(lex::test::readBytes(dir / "out.txt"), c.expected);
        EXPECT_EQ(readLines(dir / "out.txt"),
                  (std::vector<std::u16string>{
                      c.format.encoding == LexiconEncoding::Ansi936 ? u"中??" : u"中𠮷", u"a",
                      u"b\r€", c.last}));
    }
}

// An operation's outputs follow its first input: UTF-8 in gives UTF-8 out with the input's
// line ends, anything else code page 936 with CR LF, unless the encoding is forced; code page
// 936 outputs count the lines they could not hold, and only outputs that were put in place.
TEST(RunContext, OutputsFollowTheFirstInputAndCountWhatIsLost) {
    TempDir dir;
    lex::test::writeBytes(dir / "u8lf.txt", "\xE4\xB8\xAD\n");
    lex::test::writeBytes(dir / "u8crlf.txt", "x\r\n\xE4\xB8\xAD\n");
    lex::test::writeBytes(dir / "gbk.txt", "\xD6\xD0\n");
    lex::test::writeBytes(dir / "u16.txt", lex::test::utf16le(u"中\n"));
    using lex::TextFormat;
    struct Case {
        const char *input;
        std::optional<LexiconEncoding> forced;
        TextFormat expected;
    } cases[] = {
        {"u8lf.txt", {}, {LexiconEncoding::Utf8, false}},
        {"u8crlf.txt", {}, {LexiconEncoding::Utf8, true}},
        {"gbk.txt", {}, {LexiconEncoding::Ansi936, true}},
        {"u16.txt", {}, {LexiconEncoding::Ansi936, true}},
        {"missing.txt", {}, {LexiconEncoding::Ansi936, true}},
        {"u8lf.txt", LexiconEncoding::Ansi936, {LexiconEncoding::Ansi936, true}},
        {"gbk.txt", LexiconEncoding::Utf8, {LexiconEncoding::Utf8, false}},
        {"u8lf.txt", LexiconEncoding::Utf16Le, {LexiconEncoding::Utf16Le, false}},
    };
    for (const auto &c : cases) {
        lex::RunContext run(c.forced);
        run.setFirstInput(dir / c.input);
        run.setFirstInput(dir / "gbk.txt"); // only the first counts
        EXPECT_EQ(run.lexiconFormat(), c.expected) << c.input;
    }
    EXPECT_EQ(lex::RunContext().lexiconFormat(), TextFormat::gbk()); // the windows' plain run

    lex::RunContext scope;
    scope.setFirstInput(dir / "u16.txt");
    {
        lex::LineWriter w(dir / "out.txt", scope);
        w.writeLine(u"中国");
        w.writeLine(u"𠮷a");
        w.write(u"ok\r\nก\r\nok\r\n\uFFFD\r\n"); // U+FFFD was lost on reading already
        w.writeLine(u"ก𠮷");
        w.close();
    }
    {
        lex::LineWriter unfinished(dir / "other.txt", scope);
        unfinished.writeLine(u"𠮷");
    }
    {
        lex::LineWriter data(dir / "data.txt", TextFormat::gbk(), &scope);
        data.writeLine(u"𠮷");
        data.close();
    }
    EXPECT_EQ(scope.lossy().lines, 3);
    EXPECT_EQ(scope.lossy().firstLine, 2);
    EXPECT_EQ(scope.lossy().firstText, u"𠮷a");
    EXPECT_EQ(scope.lossy().file, dir / "out.txt");
    EXPECT_EQ(lex::withLossyLine("词条：3\r\n耗费时间：00:00:01", 3),
              "词条：3\r\n无法用 GBK 表示的字符：3 行\r\n耗费时间：00:00:01");
    EXPECT_EQ(lex::withLossyLine("完成！", 2), "完成！\r\n无法用 GBK 表示的字符：2 行");
    EXPECT_EQ(lex::withLossyLine("完成！", 0), "完成！");
}

// A failed run must leave the user's old file as it was.
TEST(LineWriter, OldContentSurvivesAnUnfinishedOrFailedWrite) {
    TempDir dir;
    lex::test::writeBytes(dir / "out.txt", "old");
    {
        lex::LineWriter w(dir / "out.txt", lex::TextFormat::gbk());
        w.writeLine(u"new");
    } // destroyed without close
    EXPECT_EQ(lex::test::readBytes(dir / "out.txt"), "old");

    lex::LineWriter missingDir(dir / "no/such/folder.txt", lex::TextFormat::gbk());
    missingDir.writeLine(u"x");
    EXPECT_THROW(missingDir.close(), lex::LexError);

    if (::geteuid() != 0) { // root writes anywhere
        std::filesystem::create_directory(dir / "ro");
        lex::test::writeBytes(dir / "ro/out.txt", "old");
        ::chmod((dir / "ro").c_str(), 0555);
        lex::LineWriter w(dir / "ro/out.txt", lex::TextFormat::gbk());
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
    lex::LineWriter w(dir / "out.txt", lex::TextFormat::gbk());
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
    lex::LineWriter w(dir / "f.txt", lex::TextFormat::gbk());
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
