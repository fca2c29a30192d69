// lexcli bigseg count against the two steps it replaces: for every corpus below, `segment` of the
// concatenated text and `stats` of the result give the same bytes as `count` of the files, with
// any number of threads, any chunk size (down to a few bytes, which cuts inside lines, runs and
// files), in partial counts merged flat or as a tree, and for compressed files. The word list is
// the shipped "ciku.lxd"; the texts are Debian's Chinese fortunes and manual pages.

#include "cli_harness.h"

#include "shared/lexcore/cp936.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <set>
#include <sstream>
#include <tuple>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;
using lex::test::writeBytes;

enum class Enc { Utf8, Utf8Mark, Gbk, Utf16 };
enum class Pack { None, Gz, Xz, Zst };

struct CorpusFile {
    std::string name;
    std::u16string text;
    Enc enc = Enc::Utf8;
    Pack pack = Pack::None;
    std::string bytesAfter;  // raw bytes appended after the encoded text
    bool twoStreams = false; // compressed as two streams one after the other
};

std::string encode(const std::u16string &text, Enc enc) {
    switch (enc) {
    case Enc::Utf8:
        return lex::toUtf8(text);
    case Enc::Utf8Mark:
        return "\xEF\xBB\xBF" + lex::toUtf8(text);
    case Enc::Gbk: {
        std::u16string crlf;
        for (char16_t c : text)
            crlf += c == u'\n' ? std::u16string(u"\r\n") : std::u16string(1, c);
        return lex::encode936(crlf);
    }
    case Enc::Utf16:
        return lex::test::utf16le(text);
    }
    return {};
}

std::string gzip(const std::string &in) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(in.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string pack(const std::string &in, Pack p) {
    std::string out;
    size_t n = 0;
    switch (p) {
    case Pack::None:
        return in;
    case Pack::Gz:
        return gzip(in);
    case Pack::Xz:
        out.resize(lzma_stream_buffer_bound(in.size()));
        lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr,
                                reinterpret_cast<const uint8_t *>(in.data()), in.size(),
                                reinterpret_cast<uint8_t *>(out.data()), &n, out.size());
        break;
    case Pack::Zst:
        out.resize(ZSTD_compressBound(in.size()));
        n = ZSTD_compress(out.data(), out.size(), in.data(), in.size(), 3);
        break;
    }
    out.resize(n);
    return out;
}

// The decompressed bytes of a real .gz file.
std::string gunzip(const fs::path &path) {
    gzFile f = gzopen(path.c_str(), "rb");
    std::string out;
    char buf[1 << 14];
    for (int n; (n = gzread(f, buf, sizeof buf)) > 0;)
        out.append(buf, size_t(n));
    gzclose(f);
    return out;
}

std::u16string fromUtf8File(const fs::path &path, size_t limit = std::string::npos) {
    return lex::fromUtf8(readBytes(path).substr(0, limit));
}

// Cuts `text` into `n` files at arbitrary places (none at a line end).
std::vector<CorpusFile> split(const std::u16string &text, size_t n, Enc enc,
                              std::vector<Pack> packs = {}) {
    std::vector<CorpusFile> files;
    for (size_t i = 0; i < n; ++i) {
        const size_t from = text.size() * i / n + (i ? 7 : 0), to = text.size() * (i + 1) / n + 7;
        CorpusFile f{"part" + std::to_string(i) + ".txt", text.substr(from, to - from), enc};
        if (i < packs.size()) {
            f.pack = packs[i];
            f.name += f.pack == Pack::Gz ? ".gz" : f.pack == Pack::Xz ? ".xz" : ".zst";
        }
        files.push_back(f);
    }
    return files;
}

struct Corpus {
    const char *name;
    std::vector<CorpusFile> files;
    std::vector<std::string> options; // given to segment and count alike
    std::vector<std::string> chunks = {"5", "61", "4096", ""};
};

void PrintTo(const Corpus &c, std::ostream *os) {
    *os << c.name;
}

const fs::path kFortunes = "/usr/share/games/fortunes";

std::vector<Corpus> corpora() {
    const std::u16string tang = fromUtf8File(kFortunes / "tang300", 24000);
    const std::u16string song = fromUtf8File(kFortunes / "song100");
    std::u16string oneLine = tang;
    for (char16_t &c : oneLine)
        if (c == u'\n')
            c = u' ';
    std::vector<Corpus> all;
    all.push_back({"RealFilesAsTheyAre",
                   {{"song100", song}, {"tang300", fromUtf8File(kFortunes / "tang300")}},
                   {},
                   {"61", "4096", ""}});
    all.push_back({"FilesCutMidLine", split(tang, 6, Enc::Utf8)});
    all.push_back({"CodePage936", split(tang, 3, Enc::Gbk)});
    all.push_back({"Utf16", split(song, 3, Enc::Utf16)});
    all.push_back({"Utf8Mark", split(song, 2, Enc::Utf8Mark)});
    std::vector<CorpusFile> packed = split(tang, 4, Enc::Utf8, {Pack::Gz, Pack::Xz, Pack::Zst});
    packed[0].twoStreams = packed[2].twoStreams = true;
    all.push_back({"Compressed", packed});
    all.push_back({"OneLongLine", {{"line.txt", oneLine}}});
    all.push_back({"NoSplitBelow", split(tang, 2, Enc::Utf8), {"--no-split-below", "6"}});
    // Characters beyond code page 936 are characters of the runs of a UTF-8 or UTF-16 corpus,
    // also where a chunk cuts a surrogate pair in two.
    std::u16string beyond;
    for (size_t i = 0; i < song.size(); ++i)
        beyond += i % 29 == 7   ? u"𠮷"
                  : i % 31 == 3 ? u"㐀"
                  : i % 37 == 5 ? u"😀"
                                : song.substr(i, 1);
    all.push_back({"BeyondGbkUtf8", split(beyond, 3, Enc::Utf8)});
    all.push_back({"BeyondGbkUtf16", split(beyond, 3, Enc::Utf16)});
    // UTF-8 until a stray byte past the first chunks: the file is code page 936 after all.
    CorpusFile late{"late.txt", tang, Enc::Utf8, Pack::None, "\xFF\xFE\r\n"};
    all.push_back({"NotUtf8Late", {late, {"after.txt", song, Enc::Gbk}}});
    return all;
}

// A data folder with the shipped word list and an empty supplement list.
class CorpusCount : public ::testing::TestWithParam<Corpus> {
protected:
    void SetUp() override {
        fs::create_directories(data);
        fs::copy_file(fs::path(SUITE_DIR) / "bigseg" / "ciku.lxd", data / "ciku.lxd");
        writeBytes(data / "bc.ini", "");
        fs::create_directories(corpus);
    }

    lex::test::CliRun lexcli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--data-dir", data.string(), "bigseg"});
        return lex::test::runLexcli(args);
    }
    void ok(const std::vector<std::string> &args) {
        const lex::test::CliRun r = lexcli(args);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    // Writes the files; returns the concatenated text as one file in the first file's encoding.
    fs::path write(const Corpus &c) {
        std::string all;
        for (const CorpusFile &f : c.files) {
            std::string bytes = encode(f.text, f.enc) + f.bytesAfter;
            const size_t half = f.twoStreams ? bytes.size() / 2 : bytes.size();
            writeBytes(corpus / f.name, pack(bytes.substr(0, half), f.pack) +
                                            (f.twoStreams ? pack(bytes.substr(half), f.pack) : ""));
            // The mark belongs to a file, not to the text.
            if (&f != &c.files.front()) {
                if (f.enc == Enc::Utf16 || f.enc == Enc::Utf8Mark)
                    bytes.erase(0, f.enc == Enc::Utf16 ? 2 : 3);
            }
            all += bytes;
        }
        writeBytes(dir / "cat.txt", all);
        return dir / "cat.txt";
    }

    lex::test::TempDir dir;
    fs::path data = dir / "data", corpus = dir / "corpus";
};

TEST_P(CorpusCount, EqualsSegmentThenStats) {
    const Corpus &c = GetParam();
    const fs::path cat = write(c);
    std::vector<std::string> segment = {"segment", cat.string(), "-o", (dir / "fc.txt").string()};
    segment.insert(segment.end(), c.options.begin(), c.options.end());
    ok(segment);
    ok({"stats", "--input", (dir / "fc.txt").string(), "-o", (dir / "expected.txt").string()});
    const std::string expected = readBytes(dir / "expected.txt");
    ASSERT_GT(expected.size(), 1000u);

    for (const std::string &chunk : c.chunks) {
        for (const char *jobs : {"1", "2", "3"}) {
            std::vector<std::string> args = {
                "count", corpus.string(), "-o", (dir / "tj.txt").string(), "-j", jobs};
            if (!chunk.empty())
                args.insert(args.end(), {"--chunk-size", chunk});
            args.insert(args.end(), c.options.begin(), c.options.end());
            ok(args);
            EXPECT_TRUE(readBytes(dir / "tj.txt") == expected) << "-j " << jobs << " " << chunk;
        }
    }

    // Each file a partial count; merged at once, and two by two into a tree.
    std::vector<std::string> partials;
    for (const CorpusFile &f : c.files) {
        const std::string p = (dir / (f.name + ".counts")).string();
        std::vector<std::string> args = {
            "count", (corpus / f.name).string(), "--partial", "-o", p, "--chunk-size", "97"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ok(args);
        partials.push_back(p);
    }
    std::vector<std::string> merge = {"merge-counts", "-o", (dir / "merged.txt").string()};
    merge.insert(merge.end(), partials.begin(), partials.end());
    ok(merge);
    EXPECT_TRUE(readBytes(dir / "merged.txt") == expected);
    while (partials.size() > 1) {
        std::vector<std::string> level;
        for (size_t i = 0; i < partials.size(); i += 2) {
            if (i + 1 == partials.size()) {
                level.push_back(partials[i]);
                continue;
            }
            const std::string p = partials[i] + "+";
            ok({"merge-counts", "--partial", "-o", p, partials[i], partials[i + 1]});
            level.push_back(p);
        }
        partials = level;
    }
    ok({"merge-counts", partials[0], "-o", (dir / "tree.txt").string()});
    EXPECT_TRUE(readBytes(dir / "tree.txt") == expected);
}

INSTANTIATE_TEST_SUITE_P(Corpora, CorpusCount, ::testing::ValuesIn(corpora()),
                         [](const auto &info) { return std::string(info.param.name); });

// Real compressed files: Debian's Chinese manual pages, counted as their decompressed text.
TEST_F(CorpusCount, ManualPagesCountAsTheirText) {
    const fs::path man = "/usr/share/man/zh_CN/man1";
    std::string all;
    int taken = 0;
    for (const char *name : {"ab.1.gz", "access.1.gz", "cp.1.gz", "ls.1.gz", "tar.1.gz"}) {
        if (!fs::exists(man / name))
            continue;
        fs::copy_file(man / name, corpus / name);
        all += gunzip(man / name);
        ++taken;
    }
    ASSERT_GE(taken, 3);
    writeBytes(dir / "cat.txt", all);
    ok({"segment", (dir / "cat.txt").string(), "-o", (dir / "fc.txt").string()});
    ok({"stats", "--input", (dir / "fc.txt").string(), "-o", (dir / "expected.txt").string()});
    ok({"count", corpus.string(), "-o", (dir / "tj.txt").string(), "-j", "2", "--chunk-size",
        "333"});
    EXPECT_TRUE(readBytes(dir / "tj.txt") == readBytes(dir / "expected.txt"));
}

// Guards characters beyond code page 936 taken for gaps: in a UTF-8 corpus counted into a UTF-8
// "tj.txt" they are characters of their runs (𠮷野家 a word of the list, 㐀字 another); counted
// into code page 936 they separate runs, as they always did.
TEST_F(CorpusCount, CharactersBeyondGbkJoinRunsOfWideOutputs) {
    writeBytes(dir / "list.txt", lex::toUtf8(u"〇\n㐀字\n人民\n野家\n𠮷野家\n"));
    writeBytes(corpus / "a.txt", lex::toUtf8(u"去𠮷野家吃，㐀字人民好。\n"));
    const std::tuple<std::vector<std::string>, bool, std::vector<std::u16string>> rows[] = {
        {{}, false, {u"去", u"𠮷野家吃", u"㐀字", u"人民好"}},
        {{"--output-encoding", "utf-8"}, false, {u"去", u"𠮷野家吃", u"㐀字", u"人民好"}},
        {{"--output-encoding", "gbk"}, true, {u"去", u"野家吃", u"字", u"人民好"}},
    };
    for (const auto &[flags, gbk, words] : rows) {
        std::vector<std::string> args = {"count",       corpus.string(),
                                         "-o",          (dir / "tj.txt").string(),
                                         "--word-list", (dir / "list.txt").string()};
        args.insert(args.end(), flags.begin(), flags.end());
        ok(args);
        std::set<std::string> counted, wanted;
        std::istringstream lines(readBytes(dir / "tj.txt"));
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            counted.insert(line);
        }
        for (const std::u16string &w : words)
            wanted.insert("000001\t" + (gbk ? lex::encode936(w) : lex::toUtf8(w)));
        EXPECT_EQ(counted, wanted) << testing::PrintToString(flags);
    }
}

// A count of more than six digits keeps them all (the statistics keep the last six) and stands
// first; the other lines are the statistics' own.
TEST_F(CorpusCount, CountsWiderThanSixDigitsKeepTheirDigits) {
    std::string text;
    for (int i = 0; i < 1'000'001; ++i)
        text += "的\n";
    text += lex::toUtf8(u"中国人民\n人民中国\n");
    writeBytes(corpus / "wide.txt", text);
    ok({"count", (corpus / "wide.txt").string(), "-o", (dir / "tj.txt").string(), "-j", "2"});
    ok({"segment", (corpus / "wide.txt").string(), "-o", (dir / "fc.txt").string()});
    ok({"stats", "--input", (dir / "fc.txt").string(), "-o", (dir / "stats.txt").string()});
    const std::string ours = readBytes(dir / "tj.txt"), theirs = readBytes(dir / "stats.txt");
    const std::string wide = "1000001\t" + lex::toUtf8(u"的") + "\n";
    ASSERT_TRUE(ours.starts_with(wide)) << ours.substr(0, 40);
    const std::string cut = "000001\t" + lex::toUtf8(u"的") + "\n";
    ASSERT_NE(theirs.find(cut), std::string::npos);
    std::string rest = theirs;
    rest.erase(rest.find(cut), cut.size());
    EXPECT_EQ(ours.substr(wide.size()), rest);
}

// Each row: the message names what is wrong, the status is 1 (2 for usage), nothing is written
// and no temporary file stays.
TEST_F(CorpusCount, BadInputIsRefusedWithAMessage) {
    const std::string text = lex::toUtf8(fromUtf8File(kFortunes / "tang300", 40000));
    const std::string gz = gzip(text);
    writeBytes(corpus / "cut.gz", gz.substr(0, gz.size() / 2));
    std::string flipped = gz;
    flipped[gz.size() / 2] = char(flipped[gz.size() / 2] ^ 0x55);
    writeBytes(corpus / "bad.gz", flipped);
    const std::string xz = pack(text, Pack::Xz), zst = pack(text, Pack::Zst);
    writeBytes(corpus / "cut.xz", xz.substr(0, xz.size() - 9));
    writeBytes(corpus / "cut.zst", zst.substr(0, zst.size() - 9));
    writeBytes(corpus / "empty.gz", "");
    writeBytes(corpus / "nul.txt", text + std::string(1, '\0'));
    fs::create_directories(corpus / "void");
    ::mkfifo((corpus / "fifo").c_str(), 0600);
    writeBytes(corpus / "ok.txt", text);
    ok({"count", (corpus / "ok.txt").string(), "--partial", "-o", (dir / "ok.counts").string()});
    const std::string partial = readBytes(dir / "ok.counts");
    writeBytes(dir / "short.counts", partial.substr(0, partial.size() - 4));
    // The same text counted with another word list.
    writeBytes(dir / "list.txt", lex::test::gbk(u"中国\r\n人民\r\n"));
    ok({"count", (corpus / "ok.txt").string(), "--partial", "--word-list",
        (dir / "list.txt").string(), "-o", (dir / "other.counts").string()});

    const std::string out = (dir / "out" / "tj.txt").string();
    fs::create_directories(dir / "out");
    const std::string c = corpus.string() + "/", d = dir.path().string() + "/";
    const std::tuple<std::vector<std::string>, int, std::string> rows[] = {
        {{"count", c + "cut.gz"}, 1, "压缩文件已损坏：" + c + "cut.gz（文件不完整）"},
        {{"count", c + "bad.gz"}, 1, "压缩文件已损坏：" + c + "bad.gz（数据错误）"},
        {{"count", c + "cut.xz"}, 1, "压缩文件已损坏：" + c + "cut.xz"},
        {{"count", c + "ok.txt", c + "cut.zst"}, 1, "压缩文件已损坏：" + c + "cut.zst"},
        {{"count", c + "empty.gz"}, 1, "压缩文件已损坏：" + c + "empty.gz（空文件）"},
        {{"count", c + "nul.txt"}, 1, "不是文本文件：" + c + "nul.txt"},
        {{"count", c + "gone.txt"}, 1, "找不到文件：" + c + "gone.txt"},
        {{"count", c + "fifo"}, 1, "不是普通文件：" + c + "fifo"},
        {{"count", c + "void"}, 1, "没有分词材料！"},
        {{"count", c + "ok.txt", "-", "-"}, 1, "标准输入（-）只能给出一次"},
        {{"merge-counts", d + "short.counts"}, 1, "部分计数文件已损坏：" + d + "short.counts"},
        {{"merge-counts", c + "ok.txt"}, 1, "不是部分计数文件：" + c + "ok.txt"},
        {{"merge-counts", d + "ok.counts", d + "other.counts"}, 1, "不是用同一词库"},
        {{"count", c + "ok.txt", "-j", "0"}, 2, "-j"},
        {{"count", c + "ok.txt", "--chunk-size", "0"}, 2, "--chunk-size"},
        {{"merge-counts", d + "ok.counts", "--db", d + "x.mdb"}, 2, "--db"},
    };
    for (auto [args, status, message] : rows) {
        args.insert(args.end(), {"-o", out});
        const lex::test::CliRun r = lexcli(args);
        EXPECT_EQ(r.status, status) << args[1];
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(lex::test::readBytes(dir / "ok.counts"), partial);
        EXPECT_TRUE(fs::is_empty(dir / "out")) << args[1];
    }
}

} // namespace
