// The formats through real files: one lexicon written by hand in every format (golden files,
// tests/data/formats/golden), converted into each and back; the readers' rules line by line;
// and the format told from the file.

#include "shared/formats/conversion.h"
#include "shared/formats/foreign_lexicon.h"
#include "shared/formats/format_detection.h"
#include "shared/formats/format_reader.h"
#include "shared/formats/format_writer.h"

#include "shared/lexcore/cp936.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace {

namespace fs = std::filesystem;
using namespace lex::formats;
using lex::test::readBytes;

const fs::path kData = FORMATS_DATA;
const fs::path kGolden = kData / "golden";

lex::NullPump g_pump;

struct GoldenRow {
    Format format;
    const char *file;
    // What the file reads back as, in quillo with weights (relative to the golden folder).
    std::string back;
};

// Costs come back as counts (a million times ten to the cost); formats without weights, and
// the code page 936 file that lost 𠮷, come back as they can.
const GoldenRow kGoldenRows[] = {
    {Format::Rime, "canonical.rime.dict.yaml", "canonical.quillo.txt"},
    {Format::RimeCustom, "canonical.rime-custom.txt", "canonical.quillo.txt"},
    {Format::Libpinyin, "canonical.libpinyin.txt", "canonical.quillo.txt"},
    {Format::Qq, "canonical.qq.txt", "canonical.quillo.txt"},
    {Format::Baidu, "canonical.baidu.txt", "canonical.quillo.txt"},
    {Format::Fcitx5, "canonical.fcitx5.txt",
     "中zhong国guo\t1000000\n你ni好hao\t800000\n绿lv色se\t30000\n略lue微wei\t20000\n"
     "西xi安an\t50000\n𠮷ji祥xiang\t10000\n"},
    {Format::FixedTop, "canonical.fixedtop.txt",
     "中zhong国guo\n你ni好hao\n绿lv色se\n略lue微wei\n西xi安an\n𠮷ji祥xiang\n"},
    {Format::Sogou, "canonical.sogou.txt",
     "中zhong国guo\r\n你ni好hao\r\n绿lv色se\r\n略lue微wei\r\n西xi安an\r\n"},
    {Format::Words, "canonical.words.txt", "中国\n你好\n绿色\n略微\n西安\n𠮷祥\n"},
};

// A conversion as a frame runs it: its outputs follow its input; `run` gets what was lost.
ConvertResult run(const fs::path &in, const fs::path &out, ConvertOptions options,
                  lex::RunContext *lost = nullptr) {
    Annotator annotator(fs::path(SUITE_DIR) / "lexconv/dz.txt",
                        fs::path(SUITE_DIR) / "lexconv/zn.lxd", g_pump);
    lex::NullPump pump;
    pump.context().setFirstInput(in);
    ConvertResult r = convertLexicon(in, out, options, annotator, pump);
    if (lost)
        *lost = pump.context();
    return r;
}

TEST(Formats, OneLexiconInEveryFormatAndBack) {
    lex::test::TempDir dir;
    for (const GoldenRow &row : kGoldenRows) {
        SCOPED_TRACE(row.file);
        // The name decides the Rime header's "name".
        const fs::path out = dir / row.file;
        ConvertOptions to;
        to.to = row.format;
        lex::RunContext scope;
        ConvertResult r = run(kData / "canonical.txt", out, to, &scope);
        EXPECT_EQ(r.converted, 6);
        EXPECT_EQ(r.rejected, 0);
        EXPECT_EQ(readBytes(out), readBytes(kGolden / row.file));
        // 𠮷 has no place in code page 936: counted, never silent.
        EXPECT_EQ(scope.lossy().lines, row.format == Format::Sogou ? 1 : 0);

        ConvertOptions back;
        back.to = Format::Quillo;
        back.quilloWeights = true;
        r = run(out, dir / "back.txt", back);
        // Told from the file (a list of words is also a lexicon without pinyin).
        EXPECT_EQ(r.from, row.format == Format::Words ? Format::Quillo : row.format);
        const std::string expected =
            row.back.find('\n') == std::string::npos ? readBytes(kGolden / row.back) : row.back;
        // The standard lexicon stays UTF-8 only after UTF-8: the others give code page 936.
        const auto &written = formatInfo(row.format).output;
        if (!written || written->encoding == lex::LexiconEncoding::Utf8) {
            EXPECT_EQ(readBytes(dir / "back.txt"), expected);
        } else {
            std::u16string crlf;
            for (char16_t c : lex::fromUtf8(expected))
                crlf += c == u'\n' && (crlf.empty() || crlf.back() != u'\r') ? u"\r\n"
                                                                             : std::u16string(1, c);
            EXPECT_EQ(readBytes(dir / "back.txt"), lex::test::gbk(crlf));
        }
        EXPECT_EQ(r.rejected, row.format == Format::Sogou ? 1 : 0); // "??祥" has three characters
    }
}

struct ParseRow {
    Format format;
    std::vector<std::u16string> lines; // read in order; the last one is checked
    LineKind kind;
    std::u16string word;
    Syllables syllables;
    std::optional<double> weight;
    bool countMismatch = false; // read, but the code does not fit the word
};

TEST(Formats, ReadersFollowTheirProgramsRules) {
    const ParseRow rows[] = {
        // Rime: header to "...", "#" comments until "# no comment", columns from the header.
        {Format::Rime,
         {u"---", u"name: x", u"...", u"中国\tzhong guo\t99.5%"},
         LineKind::Entry,
         u"中国",
         {"zhong", "guo"},
         99.5},
        {Format::Rime, {u"#号\thao\t1"}, LineKind::Skip},
        {Format::Rime, {u"# no comment", u"#号\thao\t1"}, LineKind::Entry, u"#号", {}, 1, true},
        {Format::Rime, {u"好人\thaoren"}, LineKind::Entry, u"好人", {}, {}, true}, // spaces needed
        {Format::Rime,
         {u"---", u"name: x", u"columns:", u"  - code", u"  - text", u"...", u"zhong1\t中"},
         LineKind::Entry,
         u"中",
         {"zhong"}},
        {Format::Rime,
         {u"---", u"columns: [text, weight]", u"...", u"中\t7"},
         LineKind::Entry,
         u"中",
         {},
         7},
        {Format::Rime,
         {u"---", u"columns: [code, weight, text]", u"...", u"zhong\t5\t中\tmore\tand more"},
         LineKind::Entry,
         u"中",
         {"zhong"},
         5},
        {Format::Rime,
         {u"---", u"columns: [code, weight, text]", u"...", u"zhong\t5"},
         LineKind::Reject},
        {Format::Rime, {u"中国"}, LineKind::Entry, u"中国"}, // text only: Rime encodes it
        {Format::Rime, {u"\tzhong"}, LineKind::Reject},
        // Custom phrases: the code as typed.
        {Format::RimeCustom,
         {u"#@/db_name\tcustom_phrase.txt", u"你好\tnihao\t3"},
         LineKind::Entry,
         u"你好",
         {"ni", "hao"},
         3},
        {Format::RimeCustom, {u"你好"}, LineKind::Reject},
        // The user dictionary: snapshot and export; c < 0 was deleted.
        {Format::RimeUserdb,
         {u"ni hao \t你好\tc=5 d=0.1 t=3"},
         LineKind::Entry,
         u"你好",
         {"ni", "hao"},
         5},
        {Format::RimeUserdb, {u"zhong guo \t中国\tc=-1 d=0 t=3"}, LineKind::Deleted},
        {Format::RimeUserdb,
         {u"# Rime user dictionary export", u"中国\tzhong guo\t2"},
         LineKind::Entry,
         u"中国",
         {"zhong", "guo"},
         2},
        // libime: blank-separated, a quoted word with escapes.
        {Format::Fcitx5,
         {u"\"你 \\\"好\\\\\" ni'hao -1.5"},
         LineKind::Entry,
         u"你 \"好\\",
         {},
         -1.5,
         true},
        {Format::Fcitx5, {u"中国  zhong'guo"}, LineKind::Entry, u"中国", {"zhong", "guo"}},
        {Format::Fcitx5, {u"中国 zhong'guo 1 2"}, LineKind::Reject},
        {Format::Fcitx5, {u"中国 zhong'guo x"}, LineKind::Reject},
        // ibus-libpinyin: tone digits, an optional count read as atoi reads it.
        {Format::Libpinyin, {u"你好 ni3'hao3 12abc"}, LineKind::Entry, u"你好", {"ni", "hao"}, 12},
        {Format::Libpinyin, {u"你好 ni'hao"}, LineKind::Entry, u"你好", {"ni", "hao"}},
        // The Windows exports.
        {Format::Sogou, {u"'lv'se 绿色"}, LineKind::Entry, u"绿色", {"lv", "se"}},
        {Format::Qq, {u"lve'wei 略微 9"}, LineKind::Entry, u"略微", {"lue", "wei"}, 9},
        {Format::Baidu, {u"西安\txi'an'\t4"}, LineKind::Entry, u"西安", {"xi", "an"}, 4},
        // The suite's own: pinyin per character, some may lack it; ";" lines are comments.
        {Format::Quillo, {u"重chong庆\t5"}, LineKind::Entry, u"重庆", {"chong", ""}, 5},
        {Format::Quillo, {u";header"}, LineKind::Skip},
        {Format::Quillo, {u"abc"}, LineKind::Reject},
        {Format::Quillo, {u"中国zhongguo"}, LineKind::Reject}, // the pinyin of both on one
        {Format::FixedTop, {u"zhongguo=中国"}, LineKind::Entry, u"中国", {"zhong", "guo"}},
        {Format::FixedTop, {u"zhongguo"}, LineKind::Reject},
    };
    for (const ParseRow &row : rows) {
        SCOPED_TRACE(lex::toUtf8(row.lines.back()));
        FormatReader reader(row.format);
        ParsedLine p;
        for (const auto &line : row.lines)
            p = reader.parse(line);
        EXPECT_EQ(p.kind, row.kind);
        if (row.kind != LineKind::Entry)
            continue;
        EXPECT_EQ(p.reason != nullptr, row.countMismatch);
        EXPECT_EQ(p.entry.word, row.word);
        EXPECT_EQ(p.entry.syllables, row.syllables);
        EXPECT_EQ(p.entry.weight, row.weight);
    }
}

// The entries of a Rime body read as views of their lines are what parse() reads, and the
// reader goes on as parse() leaves it (comments, the spelling of lue), whatever the columns.
TEST(Formats, EntryViewReadsRimeBodiesAsParseDoes) {
    const std::vector<std::vector<std::u16string>> files = {
        {u"---", u"name: x", u"...", u"中国\tzhong guo\t99.5%", u"你好\tni'hao\t 12 ",
         u"好人\thaoren", u"中国  \t zhong  guo \t3\t", u"", u"  ", u"# c", u"\tzhong\t1",
         u"略\tlve\tabc%", u"略微\tlue wei", u"# no comment", u"#号\thao\t1", u"中"},
        {u"---", u"columns: [weight, code, text, stem]", u"...", u"7\tzhong\t中\tz", u"x\tnve\t女",
         u"8\t\t国", u"9\tguo"},
        {u"# no header", u"中国\tzhong guo\t5", u"女\tnv\t1"},
    };
    for (const auto &lines : files) {
        FormatReader viewing(Format::Rime), parsing(Format::Rime);
        viewing.keepCodesAsWritten();
        parsing.keepCodesAsWritten();
        for (const std::u16string &line : lines) {
            SCOPED_TRACE(lex::toUtf8(line));
            const bool viewable = viewing.inBody() && !viewing.mayChangeState(line);
            FormatReader::EntryView v;
            if (viewing.entryView(line, v)) {
                const ParsedLine &p = parsing.parse(line);
                ASSERT_EQ(p.kind, LineKind::Entry);
                EXPECT_EQ(v.word, p.entry.word);
                EXPECT_EQ(v.rawCode, p.entry.rawCode);
                EXPECT_EQ(v.weight, p.entry.weight);
                EXPECT_EQ(v.percent, p.entry.percent);
                EXPECT_GE(v.word.data(), line.data()); // a view of the line, not a copy
                EXPECT_LE(v.word.data() + v.word.size(), line.data() + line.size());
            } else {
                const LineKind kind = parsing.parse(line).kind;
                EXPECT_EQ(viewing.parse(line).kind, kind);
                EXPECT_TRUE(kind != LineKind::Entry || !viewable) << "an entry not viewed";
            }
            EXPECT_EQ(viewing.commentsOn(), parsing.commentsOn());
            EXPECT_EQ(viewing.ueSeen(), parsing.ueSeen());
        }
    }
}

// A Rime line whose weight field the reader finds is written anew, with any weight, as the line
// with that field replaced: random lines of every shape under several column lists, each also
// checked against the line written anew with its own weight. Canonical lines are all found.
TEST(Formats, WeightFieldIsWhereWritingAnewPutsTheWeight) {
    const std::vector<std::u16string> layouts = {u"",
                                                 u"columns: [text, weight, code]",
                                                 u"columns: [weight, code, text, stem]",
                                                 u"columns: [text, code, weight, stem]",
                                                 u"columns: [text, code]",
                                                 u"columns: [code, text, weight]",
                                                 u"columns: [text, code, x, weight]"};
    const std::u16string pieces[] = {u"中国", u"zhong guo", u" ni ", u"12",  u"7.5", u"30%",
                                     u"x%",   u"",          u" ",    u"#号", u"s",   u"1e3"};
    lex::test::Lcg next{5};
    for (const std::u16string &layout : layouts) {
        SCOPED_TRACE(lex::toUtf8(layout));
        FormatReader reader(Format::Rime), parser(Format::Rime);
        reader.keepCodesAsWritten();
        parser.keepCodesAsWritten();
        for (const std::u16string &head : {std::u16string(u"---"), layout, std::u16string(u"...")})
            if (!head.empty()) {
                reader.parse(head);
                parser.parse(head);
            }
        FormatWriter::Options options;
        options.rimeColumns = reader.columns();
        options.sameFormat = true;
        FormatWriter writer(Format::Rime, options);
        auto anew = [&](std::u16string_view line, std::u16string_view weight) {
            const Entry e = parser.parse(line).entry;
            const std::u16string body(writer.body(e));
            std::u16string out;
            writer.appendLine(out, body, writer.weightField(1.0, weight, writer.codeWritten(e)));
            return out;
        };
        int found = 0;
        for (int i = 0; i < 4000; ++i) {
            std::u16string line;
            for (uint32_t n = 1 + next(5), k = 0; k < n; ++k)
                line += (k ? u"\t" : u"") + pieces[next(12)];
            if (next(8) == 0)
                line += u" ";
            SCOPED_TRACE(lex::toUtf8(line));
            FormatReader::WeightField spot;
            if (!reader.rimeWeightField(line, spot))
                continue;
            ++found;
            ASSERT_EQ(parser.parse(line).kind, LineKind::Entry);
            const Entry &e = parser.parse(line).entry;
            EXPECT_EQ(spot.value, e.weight);
            EXPECT_EQ(spot.percent, e.percent);
            const std::u16string_view asWritten =
                std::u16string_view(line).substr(spot.at, spot.size);
            EXPECT_EQ(anew(line, asWritten), line);
            for (const std::u16string weight : {u"5", u"123456789", u"0.25%"}) {
                std::u16string spliced = line;
                spliced.replace(spot.at, spot.size, weight);
                EXPECT_EQ(anew(line, weight), spliced);
            }
        }
        // A line as the writer makes it, of each layout; none without a weight column.
        const std::map<std::u16string, std::u16string> canonical = {
            {u"", u"中国\tzhong guo\t12"},
            {u"columns: [text, weight, code]", u"中国\t12\tzhong guo"},
            {u"columns: [weight, code, text, stem]", u"12\tzhong guo\t中国\ts"},
            {u"columns: [text, code, weight, stem]", u"中国\tzhong guo\t12"},
            {u"columns: [code, text, weight]", u"zhong guo\t中国\t12"},
            {u"columns: [text, code, x, weight]", u"中国\tzhong guo\t\t12"}};
        FormatReader::WeightField spot;
        if (const auto c = canonical.find(layout); c != canonical.end()) {
            EXPECT_TRUE(reader.rimeWeightField(c->second, spot));
            EXPECT_GT(found, 20);
        } else {
            EXPECT_EQ(found, 0);
        }
    }
}

// Merged weights in the lines they go to: a share that meets a larger share, or a count,
// decimals, and lines that writing anew changes (the code's blanks, a column no one reads).
TEST(Formats, MergedWeightsAreWrittenInTheirField) {
    lex::test::TempDir dir;
    const std::string head = "---\nname: out\nversion: \"1\"\n...\n";
    lex::test::writeBytes(dir / "one.dict.yaml", head + "哦\to\t30%\n"
                                                        "啊\ta\t30%\n"
                                                        "中国\tzhong guo\t7.5\n"
                                                        "你好\t ni hao\t1\n"
                                                        "世界\tshi jie\t2\tsj\n"
                                                        "爱\tai\t5\n");
    lex::test::writeBytes(dir / "two.dict.yaml", head + "哦\to\t45%\n"
                                                        "啊\ta\t12\n"
                                                        "中国\tzhong guo\t8\n"
                                                        "你好\tni hao\t3\n"
                                                        "世界\tshi jie\t4\n"
                                                        "爱\tai\t1\n");
    ForeignLexicon one(dir / "one.dict.yaml", Format::Rime, g_pump, dir / "two.dict.yaml");
    ForeignLexicon two(dir / "two.dict.yaml", Format::Rime, g_pump);
    one.foldRepeats(false, WeightRule::Max, g_pump, &two);
    one.write(dir / "out.dict.yaml", g_pump);
    EXPECT_EQ(readBytes(dir / "out.dict.yaml"), head + "哦\to\t45%\n"
                                                       "啊\ta\t12\n"
                                                       "中国\tzhong guo\t8\n"
                                                       "你好\tni hao\t3\n"
                                                       "世界\tshi jie\t4\n"
                                                       "爱\tai\t5\n");
}

// The format told from a file's name and content, whatever it is called.
TEST(Formats, DetectionTellsEveryFormatFromItsLines) {
    lex::test::TempDir dir;
    for (const GoldenRow &row : kGoldenRows) {
        if (row.format == Format::Words)
            continue; // unannotated words read as the standard lexicon they also are
        fs::copy_file(kGolden / row.file, dir / "lexicon.txt",
                      fs::copy_options::overwrite_existing);
        EXPECT_EQ(detectFormat(dir / "lexicon.txt"), row.format) << row.file;
    }
    lex::test::writeBytes(dir / "x.userdb.txt", "");
    EXPECT_EQ(detectFormat(dir / "x.userdb.txt"), Format::RimeUserdb);
    lex::test::writeBytes(dir / "lexicon.txt", "中国\n人民\n");
    EXPECT_EQ(detectFormat(dir / "lexicon.txt"), Format::Quillo);
    lex::test::writeBytes(dir / "lexicon.txt", "你好 ni3'hao3 5\n");
    EXPECT_EQ(detectFormat(dir / "lexicon.txt"), Format::Libpinyin);
    lex::test::writeBytes(dir / "lexicon.txt", "zhong guo \t中国\tc=1 d=0 t=1\n");
    EXPECT_EQ(detectFormat(dir / "lexicon.txt"), Format::RimeUserdb);
}

// Folding repeats by parts of the hash, alone and with a second lexicon after the first, gives
// what the index's fold and gather give, entry for entry, under every rule; also when many keys
// share a hash, which the fold must still tell apart by their text.
TEST(Formats, FoldByPartsMatchesTheIndexFold) {
    lex::test::TempDir dir;
    lex::test::Lcg next{11};
    const char *chars[] = {"春", "夏", "秋", "冬", "东", "南", "西", "北", "𠮷", "中"};
    auto line = [&](bool weightFirst) {
        const uint32_t k = next(9000);
        std::string word = chars[k % 10];
        for (uint32_t c = k / 10; c; c /= 10)
            word += chars[c % 10];
        const std::string code = "c" + std::to_string(k % 7) + (k % 3 ? " d" : "");
        std::string weight;
        if (const uint32_t kind = next(4); kind == 1)
            weight = std::to_string(1 + next(60)) + "%";
        else if (kind > 1)
            weight = std::to_string(next(100000)) + "." + std::to_string(next(10));
        return word + "\t" + (weightFirst ? weight + "\t" + code : code + "\t" + weight) + "\n";
    };
    std::string one = "---\nname: one\nversion: \"1\"\n...\n";
    std::string two = "---\nname: two\nversion: \"1\"\ncolumns: [text, weight, code]\n...\n";
    for (int i = 0; i < 30000; ++i)
        one += line(false);
    for (int i = 0; i < 20000; ++i)
        two += line(true);
    lex::test::writeBytes(dir / "one.dict.yaml", one);
    lex::test::writeBytes(dir / "two.dict.yaml", two);
    auto weak = [](const ForeignEntry &e, bool) -> size_t {
        return (e.word().size() * 0x9E3779B97F4A7C15ull) ^ e.code().size() ^ e.word()[0] << 20;
    };
    auto same = [](const ForeignEntry &a, const ForeignEntry &b) {
        return a.word() == b.word() && a.code() == b.code() && a.weight() == b.weight() &&
               a.percent == b.percent && a.rewrite == b.rewrite && a.made == b.made;
    };
    for (const WeightRule rule :
         {WeightRule::Max, WeightRule::Sum, WeightRule::First, WeightRule::Second})
        for (const bool withTwo : {false, true})
            for (const ForeignLexicon::KeyHash hash :
                 {ForeignLexicon::KeyHash(nullptr), ForeignLexicon::KeyHash(weak)}) {
                const fs::path roomFor = withTwo ? dir / "two.dict.yaml" : fs::path();
                ForeignLexicon expected(dir / "one.dict.yaml", Format::Rime, g_pump, roomFor);
                EntryIndex index(expected.entries(), false, expected.entries().size());
                int64_t expectedRepeats = expected.foldRepeats(index, rule, g_pump);
                ForeignLexicon actual(dir / "one.dict.yaml", Format::Rime, g_pump, roomFor);
                std::optional<ForeignLexicon> other, second; // their text outlives the fold
                if (withTwo) {
                    other.emplace(dir / "two.dict.yaml", Format::Rime, g_pump);
                    expectedRepeats +=
                        expected.gather(*other, expected.entries(), index, rule, g_pump);
                    second.emplace(dir / "two.dict.yaml", Format::Rime, g_pump);
                }
                const int64_t repeats =
                    actual.foldRepeats(false, rule, g_pump, second ? &*second : nullptr, hash);
                const std::string what = std::string(weightRuleName(rule)) +
                                         (withTwo ? " with two" : "") + (hash ? " weak" : "");
                EXPECT_EQ(repeats, expectedRepeats) << what;
                ASSERT_EQ(actual.entries().size(), expected.entries().size()) << what;
                EXPECT_GT(actual.entries().size(), 5000u);
                for (size_t i = 0; i < actual.entries().size(); ++i)
                    ASSERT_TRUE(same(actual.entries()[i], expected.entries()[i]))
                        << what << " " << i;
            }
}

} // namespace
