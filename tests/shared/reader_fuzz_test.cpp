// Randomised mutation test of the reader: lexicons in code page 936, UTF-16LE and UTF-8, mutated
// byte by byte (bits flipped, bytes and terminators inserted, ranges cut or doubled, marks added or
// taken away, files cut to odd lengths or grown across the reader's 1 MiB chunks), against a
// model built on ICU's own decoders. The reader must never crash or hang, must refuse
// exactly the files that hold NUL characters, and must otherwise hand out exactly the lines of
// the model; the writer must write them back as the model says.
//
// make test runs a fixed seed and a bounded count. A long run:
//   LEX_FUZZ_COUNT=10000000 LEX_FUZZ_SECONDS=600 reader_fuzz_test
// (LEX_FUZZ_SEED picks another seed).

#include "shared/lexcore/byte_lines.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/text_format.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
constexpr size_t kChunk = 1 << 20; // the reader's read size

long envNumber(const char *name, long fallback) {
    const char *v = std::getenv(name);
    return v && *v ? std::atol(v) : fallback;
}

void writeFile(const fs::path &path, const std::string &bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ::close(fd);
}

// The model: the text as ICU's converter decodes the bytes in one piece, and its lines.
class Model {
public:
    Model() {
        UErrorCode st = U_ZERO_ERROR;
        m_conv = ucnv_open("windows-936-2000", &st);
        m_utf8 = ucnv_open("UTF-8", &st);
    }
    ~Model() {
        ucnv_close(m_conv);
        ucnv_close(m_utf8);
    }

    std::u16string text(const std::string &bytes) {
        if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE) {
            std::u16string t;
            for (size_t i = 2; i + 1 < bytes.size(); i += 2)
                t += char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
            if (bytes.size() % 2)
                t += u'\uFFFD';
            return t;
        }
        if (bytes.starts_with("\xEF\xBB\xBF"))
            return textUtf8(bytes.substr(3));
        if (strictUtf8(bytes) && high(bytes))
            return textUtf8(bytes);
        return mostlyUtf8(bytes) ? textUtf8(bytes) : text936(bytes);
    }

    static bool high(std::string_view bytes) {
        return std::any_of(bytes.begin(), bytes.end(), [](char c) { return uint8_t(c) >= 0x80; });
    }

    // Not all valid UTF-8, but UTF-8 all the same: of the lines of its first 4 MiB (whole lines
    // only) that are not ASCII, at least two thirds valid UTF-8.
    static bool mostlyUtf8(const std::string &bytes) {
        std::string_view sample(bytes);
        if (sample.size() >= (size_t(4) << 20)) {
            sample = sample.substr(0, size_t(4) << 20);
            sample = sample.substr(0, sample.rfind('\n') + 1);
        }
        int64_t valid = 0, invalid = 0;
        for (size_t at = 0; at < sample.size();) {
            const size_t lf = std::min(sample.find('\n', at), sample.size());
            const std::string line(sample.substr(at, lf - at));
            at = lf + 1;
            if (!strictUtf8(line))
                ++invalid;
            else if (high(line))
                ++valid;
        }
        return valid > 0 && valid >= 2 * invalid;
    }

    // Valid UTF-8 as ICU's strict conversion sees it.
    static bool strictUtf8(const std::string &bytes) {
        UErrorCode st = U_ZERO_ERROR;
        int32_t n = 0;
        u_strFromUTF8(nullptr, 0, &n, bytes.data(), int32_t(bytes.size()), &st);
        return st == U_BUFFER_OVERFLOW_ERROR || st == U_STRING_NOT_TERMINATED_WARNING ||
               U_SUCCESS(st);
    }

    std::u16string textUtf8(const std::string &bytes) {
        std::u16string t(bytes.size() + 1, u'\0');
        UErrorCode st = U_ZERO_ERROR;
        ucnv_reset(m_utf8);
        int32_t n = ucnv_toUChars(m_utf8, reinterpret_cast<UChar *>(t.data()), int32_t(t.size()),
                                  bytes.data(), int32_t(bytes.size()), &st);
        t.resize(size_t(n));
        return t;
    }

    std::u16string text936(const std::string &bytes) {
        std::u16string t(bytes.size() + 1, u'\0');
        UErrorCode st = U_ZERO_ERROR;
        ucnv_reset(m_conv);
        int32_t n = ucnv_toUChars(m_conv, reinterpret_cast<UChar *>(t.data()), int32_t(t.size()),
                                  bytes.data(), int32_t(bytes.size()), &st);
        t.resize(size_t(n));
        return t;
    }

    static std::vector<std::u16string> lines(const std::u16string &text) {
        std::vector<std::u16string> out;
        size_t start = 0;
        while (start < text.size()) {
            size_t lf = text.find(u'\n', start);
            if (lf == std::u16string::npos) {
                out.push_back(text.substr(start));
                break;
            }
            size_t end = lf > start && text[lf - 1] == u'\r' ? lf - 1 : lf;
            out.push_back(text.substr(start, end - start));
            start = lf + 1;
        }
        return out;
    }

    // What a line becomes once written in code page 936 and read back.
    std::u16string roundTrip(std::u16string_view line) { return text936(lex::encode936(line)); }

private:
    UConverter *m_conv = nullptr;
    UConverter *m_utf8 = nullptr;
};

// Seeds: lexicon text with annotation, comments, empty lines, both line ends.
std::u16string seedText(std::mt19937 &rng) {
    static const std::u16string pieces[] = {
        u"中", u"国",   u"人民", u"zhong", u"guo", u";注释",    u"€",  u"　", u"a",
        u"=",  u"熊猫", u"𠀀",   u"\r\n",  u"\n",  u"\r\n\r\n", u"\t", u"？"};
    std::u16string t;
    const int n = 1 + int(rng() % 60);
    for (int i = 0; i < n; ++i)
        t += pieces[rng() % std::size(pieces)];
    return t;
}

std::string randomBytes(std::mt19937 &rng, size_t n) {
    static const char interesting[] = {'\0',   '\n',   '\r',   '\x7F', '\x80', '\x81', '\xA1',
                                       '\xD6', '\xD0', '\xFE', '\xFF', '=',    '?',    '\x40'};
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += rng() % 2 ? interesting[rng() % sizeof interesting] : char(rng());
    return s;
}

void mutate(std::string &b, std::mt19937 &rng) {
    auto pos = [&](size_t extra = 0) { return b.empty() ? 0 : size_t(rng() % (b.size() + extra)); };
    switch (rng() % 10) {
    case 0:
        if (!b.empty())
            b[pos()] ^= char(1 << (rng() % 8));
        break;
    case 1:
        if (!b.empty())
            b[pos()] = char(rng());
        break;
    case 2:
        b.insert(pos(1), randomBytes(rng, 1 + rng() % 4));
        break;
    case 3:
        if (!b.empty()) {
            size_t p = pos();
            b.erase(p, 1 + rng() % 8);
        }
        break;
    case 4:
        if (!b.empty()) {
            size_t p = pos(), n = 1 + rng() % 16;
            b.insert(p, b.substr(p, n));
        }
        break;
    case 5:
        b.insert(pos(1), rng() % 2 ? "\r\n" : (rng() % 2 ? "\n" : "\r"));
        break;
    case 6: // a mark added or taken away
        if (b.size() >= 2 && uint8_t(b[0]) == 0xFF && uint8_t(b[1]) == 0xFE)
            b.erase(0, 2);
        else
            b.insert(0, rng() % 3 ? "\xFF\xFE" : "\xEF\xBB\xBF");
        break;
    case 7:
        if (!b.empty())
            b.resize(pos());
        break;
    case 8: // a lone lead byte or a split surrogate
        b.insert(pos(1), rng() % 3 == 0   ? std::string("\x81")
                         : rng() % 2 == 0 ? std::string("\xE4\xB8")
                                          : std::string("\x3D\xD8"));
        break;
    default:
        if (b.size() >= 2)
            std::swap(b[pos()], b[pos()]);
        break;
    }
}

// Grows the input to straddle the reader's first chunk boundary, with the mutated tail sitting
// right across it.
void growAcrossChunks(std::string &b, std::mt19937 &rng) {
    const bool utf16 = b.size() >= 2 && uint8_t(b[0]) == 0xFF && uint8_t(b[1]) == 0xFE;
    const std::string tail = b.substr(std::min(b.size(), size_t(utf16 ? 2 : 0)));
    const bool utf8 = !utf16 && Model::strictUtf8(b);
    const std::string fill = utf16  ? std::string("\x2D\x4E\x0D\x00\x0A\x00", 6)
                             : utf8 ? "\xE4\xB8\xAD\r\n"
                                    : "\xD6\xD0\r\n";
    std::string grown = utf16 ? "\xFF\xFE" : "";
    const size_t target = kChunk - rng() % 8;
    while (grown.size() + fill.size() <= target)
        grown += fill;
    grown.resize(target, 'a');
    b = grown + tail;
}

struct Outcome {
    bool refused = false;
    std::vector<std::u16string> lines;
    std::u16string all;
};

Outcome readWithTheReader(const fs::path &path) {
    Outcome o;
    try {
        lex::LineReader r(path);
        const size_t count = r.countLines();
        while (!r.atEnd()) {
            std::u16string_view peek = r.peekLineView(0);
            std::u16string_view line = r.readLineView();
            EXPECT_EQ(peek, line);
            o.lines.emplace_back(line);
        }
        EXPECT_EQ(count, o.lines.size());
        EXPECT_EQ(r.peekLineView(0), u"");
        lex::LineReader whole(path);
        o.all = whole.readAll();
        // The bounded-memory stream hands out the same lines.
        lex::LineStream stream(path);
        std::u16string_view line;
        size_t i = 0;
        while (stream.next(line)) {
            EXPECT_EQ(line, i < o.lines.size() ? std::u16string_view(o.lines[i]) : u"<none>");
            ++i;
        }
        EXPECT_EQ(i, o.lines.size());
    } catch (const lex::LexError &e) {
        o.refused = true;
        EXPECT_NE(e.message().find(path.string()), std::string::npos) << e.message();
    }
    return o;
}

// The scan of lines as bytes: the reader's lines, keyed and encoded back, when the text is plain
// (no U+FFFD from a broken pair); refused otherwise. NUL was refused by the reader already.
void checkPlainScan(const fs::path &in, const std::vector<std::u16string> &expected, bool plain,
                    std::mt19937 &rng) {
    const auto variant = lex::KeyVariant(rng() % 3);
    std::vector<std::string> lines;
    lex::NullPump pump;
    try {
        lex::scanPlainGbk(
            in, variant, pump,
            [&](const lex::ByteLine *l, size_t n) {
                for (size_t i = 0; i < n; ++i)
                    lines.emplace_back(l[i].view());
            },
            1 + rng() % 64);
    } catch (const lex::NotPlainGbk &) {
        ASSERT_FALSE(plain);
        return;
    }
    ASSERT_TRUE(plain);
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        std::u16string_view line = expected[i];
        lex::EntryHashSet::EntryKey(variant, line);
        ASSERT_EQ(lines[i], lex::encode936(line)) << i;
    }
}

TEST(ReaderFuzz, MutatedLexiconsReadAsTheModelSays) {
    const long count = envNumber("LEX_FUZZ_COUNT", 2000);
    const long seconds = envNumber("LEX_FUZZ_SECONDS", 0);
    const unsigned seed = unsigned(envNumber("LEX_FUZZ_SEED", 20240610));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::mt19937 rng(seed);
    Model model;
    lex::test::TempDir dir;
    const fs::path in = dir / "in.txt", out = dir / "out.txt";
    long done = 0, refused = 0, big = 0;
    for (; done < count; ++done) {
        if (seconds > 0 && done % 256 == 0 && std::chrono::steady_clock::now() > deadline)
            break;
        const std::u16string seed16 = seedText(rng);
        const unsigned kind = rng() % 3;
        std::string bytes = kind == 0   ? lex::test::utf16le(seed16)
                            : kind == 1 ? lex::test::gbk(seed16)
                                        : lex::toUtf8(seed16);
        const int mutations = 1 + int(rng() % 8);
        for (int m = 0; m < mutations; ++m)
            mutate(bytes, rng);
        if (rng() % 200 == 0) {
            growAcrossChunks(bytes, rng);
            ++big;
        }
        writeFile(in, bytes);

        const std::u16string text = model.text(bytes);
        const Outcome o = readWithTheReader(in);
        const bool hasNul = text.find(u'\0') != std::u16string::npos;
        ASSERT_EQ(o.refused, hasNul) << "input " << done << " of seed " << seed;
        if (o.refused) {
            ++refused;
            continue;
        }
        const auto expected = Model::lines(text);
        ASSERT_EQ(o.lines, expected) << "input " << done << " of seed " << seed;
        ASSERT_EQ(o.all, text) << "input " << done << " of seed " << seed;
        if (lex::detectEncoding(in) == lex::LexiconEncoding::Ansi936)
            checkPlainScan(in, expected, text.find(u'\uFFFD') == std::u16string::npos, rng);

        if (done % 64 == 0) { // and back out through the writer (each write waits for the disk)
            lex::LineWriter w(out, lex::TextFormat::gbk());
            for (const auto &l : o.lines)
                w.writeLine(l);
            w.close();
            // Output that happens to start with FF FE reads as UTF-16, and output that happens to
            // be valid UTF-8 as UTF-8: the formats' own ambiguity, not the writer's.
            if (lex::detectEncoding(out) != lex::LexiconEncoding::Ansi936)
                continue;
            const Outcome back = readWithTheReader(out);
            ASSERT_FALSE(back.refused);
            ASSERT_EQ(back.lines.size(), expected.size());
            for (size_t i = 0; i < expected.size(); ++i)
                ASSERT_EQ(back.lines[i], model.roundTrip(expected[i]))
                    << "input " << done << " line " << i;
        }
    }
    std::printf("%ld inputs (%ld refused as binary, %ld across chunks), seed %u\n", done, refused,
                big, seed);
}

} // namespace
