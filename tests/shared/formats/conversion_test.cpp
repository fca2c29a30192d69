// Conversions through real files: duplicates, weights, annotation where codes are needed, the
// rejects file, Rime kept as Rime, and failures that leave the old output. Then what librime
// does with a dictionary beyond its lines: import_tables, the weight of entries without one, the
// syllable ê, the readings of a word without code, the preset vocabulary.

#include "shared/formats/conversion.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/lex_error.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace lex::formats;
using lex::test::readBytes;
using lex::test::writeBytes;

lex::NullPump g_pump;

class Conversion : public ::testing::Test {
protected:
    lex::test::TempDir dir;
    fs::path in = dir / "in.txt", out = dir / "out.txt";

    ConvertResult convert(const std::string &input, ConvertOptions options,
                          std::optional<Format> from = std::nullopt) {
        writeBytes(in, input);
        options.from = from;
        return convertFile(in, out, options);
    }
    ConvertResult convertFile(const fs::path &from, const fs::path &into, ConvertOptions options) {
        Annotator annotator(fs::path(SUITE_DIR) / "lexconv/dz.txt",
                            fs::path(SUITE_DIR) / "lexconv/zn.lxd", g_pump);
        lex::NullPump pump;
        pump.context().setFirstInput(from);
        return convertLexicon(from, into, options, annotator, pump);
    }
    static ConvertOptions to(Format f) {
        ConvertOptions o;
        o.to = f;
        return o;
    }
    // The lines after a Rime header, or all of them.
    static std::string body(const fs::path &file) {
        const std::string all = readBytes(file);
        const size_t at = all.find("...\n");
        return at == std::string::npos ? all : all.substr(at + 4);
    }
    // A Rime dictionary NAME.dict.yaml in the folder, of header lines and body lines.
    void dictionary(const std::string &name, const std::string &header, const std::string &lines) {
        writeBytes(dir / (name + ".dict.yaml"),
                   "---\nname: " + name + "\nversion: \"1\"\n" + header + "...\n" + lines);
    }
};

TEST_F(Conversion, DuplicatesKeepTheFirstLineWithTheLargerWeight) {
    const std::string rime = "中国\tzhong guo\t3\n人民\tren min\n中国\tzhong1 guo2\t7\n"
                             "中国\tzhong guo\t5\n人民\tren min\t1\n";
    ConvertResult r = convert(rime, to(Format::Libpinyin), Format::Rime);
    EXPECT_EQ(readBytes(out), "中国 zhong'guo 7\n人民 ren'min 1\n");
    EXPECT_EQ(r.converted, 2);
    EXPECT_EQ(r.merged, 3);

    ConvertOptions all = to(Format::Libpinyin);
    all.dedup = false;
    r = convert(rime, all, Format::Rime);
    EXPECT_EQ(readBytes(out), "中国 zhong'guo 3\n人民 ren'min\n中国 zhong'guo 7\n"
                              "中国 zhong'guo 5\n人民 ren'min 1\n");
    EXPECT_EQ(r.merged, 0);

    // Falling weights by order, and a fixed one, with or without deduplication.
    const std::string three = "中国\tzhong guo\n人民\tren min\n北京\tbei jing\n";
    for (bool dedup : {true, false}) {
        ConvertOptions o = to(Format::Qq);
        o.dedup = dedup;
        o.weightByOrder = true;
        convert(three, o, Format::Rime);
        EXPECT_EQ(lex::decodeText(readBytes(out)),
                  u"zhong'guo 中国 3\r\nren'min 人民 2\r\nbei'jing 北京 1\r\n");
        o.weightByOrder = false;
        o.weight = 9;
        convert(three, o, Format::Rime);
        EXPECT_EQ(lex::decodeText(readBytes(out)),
                  u"zhong'guo 中国 9\r\nren'min 人民 9\r\nbei'jing 北京 9\r\n");
    }
}

// Targets that need a code per character get it from the annotation; an ambiguous code takes
// the annotated reading; what cannot be read goes to the rejects file, and a later run without
// rejects takes that file away again.
TEST_F(Conversion, AnnotationCompletesCodesAndTheRestIsRejected) {
    const std::string words = "重庆\n重chong庆\n银行\nfangan=方案\n𠮷祥\n中国人\tx\n"
                              "xian=西安\nxian=先\nzhong=中国\n";
    ConvertResult r = convert(words, to(Format::Rime), Format::FixedTop);
    // Only fixed-top lines hold a "=": the rest are rejected before any annotation.
    EXPECT_EQ(r.converted, 3);
    EXPECT_EQ(r.rejected, 6);
    EXPECT_EQ(readBytes(out).substr(readBytes(out).find("...\n") + 4),
              "方案\tfang an\n西安\txi an\n先\txian\n");
    r = convert("重庆\n重chong庆\n银行\n𠮷祥\n中国人\n", to(Format::Rime), Format::Quillo);
    const std::string body = readBytes(out).substr(readBytes(out).find("...\n") + 4);
    EXPECT_EQ(body, "重庆\tchong qing\n银行\tyin hang\n中国人\tzhong guo ren\n");
    EXPECT_EQ(r.annotated, 4);
    EXPECT_EQ(r.merged, 1); // 重chong庆 completed is 重庆 again
    EXPECT_EQ(r.rejected, 1);
    EXPECT_EQ(readBytes(rejectsPath(out)), "4\t无法注音（有的字没有读音）\t𠮷祥\n");

    convert("重chong庆\n", to(Format::Fcitx5), Format::Quillo);
    EXPECT_EQ(readBytes(out), "重庆 chong'qing 0\n");
    EXPECT_FALSE(fs::exists(rejectsPath(out))); // the old rejects went with their run
}

// Every column layout librime reads: any order, block or flow lists, comments and quotes; the
// weight and the stem kept wherever their columns stand.
TEST_F(Conversion, RimeColumnsInAnyOrderKeepWeightsAndStems) {
    struct Row {
        const char *name;
        std::string columns;
        std::string line;  // 拟好 with code ni hao, weight 800, stem nh, in those columns
        std::string plain; // 你好 with code ni hao, no weight
    } rows[] = {
        {"flow_text_weight_code_stem", "columns: [text, weight, code, stem]\n",
         "拟好\t800\tni hao\tnh", "你好\t\tni hao"},
        {"block_with_comments", "columns:\n  - text  # 词\n  - weight # 权重\n  - code\n",
         "拟好\t800\tni hao", "你好\t\tni hao"},
        {"flow_quoted", "columns: [\"text\", 'code', \"weight\"]  # 注释\n", "拟好\tni hao\t800",
         "你好\tni hao"},
        {"stem_before_weight", "columns:\n  - text\n  - code\n  - stem\n  - weight\n",
         "拟好\tni hao\tnh\t800", "你好\tni hao"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string header = "---\nname: out\nversion: \"1\"\n" + row.columns + "...\n";
        const std::string body = row.line + "\n" + row.plain + "\n";
        ConvertResult r = convert(header + body, to(Format::Rime), Format::Rime);
        EXPECT_EQ(r.rejected, 0);
        EXPECT_EQ(readBytes(out), header + body);
        convert(header + body, to(Format::Libpinyin), Format::Rime);
        EXPECT_EQ(readBytes(out), "拟好 ni'hao 800\n你好 ni'hao\n");
    }
}

// Weights each target's program reads as meant: no weight is the least weight (fcitx5 ranks
// by cost, 0 the best), and counts beyond 32 bits are scaled down in order, never exponents.
TEST_F(Conversion, WeightsFitTheirTarget) {
    const std::string rime = "---\nname: in\n...\n中国\tzhong guo\t100\n你好\tni hao\n"
                             "人民\tren min\t1\n";
    convert(rime, to(Format::Fcitx5), Format::Rime);
    std::map<std::string, double> cost;
    std::istringstream lines(readBytes(out));
    for (std::string word, code, value; lines >> word >> code >> value;)
        cost[word] = std::stod(value);
    EXPECT_EQ(cost.at("中国"), 0);
    EXPECT_LT(cost.at("人民"), cost.at("中国"));
    EXPECT_LT(cost.at("你好"), cost.at("人民"));

    const std::string big = "---\nname: in\n...\n一\tyi\t1e20\n二\ter\t123456789012345678\n"
                            "三\tsan\t3000000000\n四\tsi\t-5\n五\twu\t7\n";
    for (const Format f : {Format::Libpinyin, Format::Qq, Format::Baidu, Format::RimeCustom}) {
        for (const bool dedup : {true, false}) {
            SCOPED_TRACE(std::string(formatInfo(f).name) + (dedup ? "" : " --no-dedup"));
            ConvertOptions o = to(f);
            o.dedup = dedup;
            convert(big, o, Format::Rime);
            const std::string text = lex::toUtf8(lex::decodeText(readBytes(out)));
            EXPECT_EQ(text.find("e+"), std::string::npos) << text;
            std::vector<long long> counts;
            for (const char *word : {"一", "二", "三", "四", "五"}) {
                const size_t at = text.find(word);
                ASSERT_NE(at, std::string::npos) << text;
                const size_t eol = text.find_first_of("\r\n", at);
                const size_t digits = text.find_last_not_of("0123456789", eol - 1) + 1;
                counts.push_back(std::stoll(text.substr(digits, eol - digits)));
            }
            EXPECT_EQ(counts[0], 2147483647);
            EXPECT_TRUE(std::is_sorted(counts.rbegin(), counts.rend() - 1)) << text;
            EXPECT_GE(counts[3], 0);
        }
    }
}

// A Rime share ("98%" of one text's readings) is no count: outside Rime the line goes without a
// weight, counted; Rime into Rime keeps it as written.
TEST_F(Conversion, RimeSharesAreNoCounts) {
    const std::string rime = "---\nname: out\n...\n的\tde\t98%\n的\tdi\t2%\n中国\tzhong guo\t5\n";
    for (const bool dedup : {true, false}) {
        ConvertOptions o = to(Format::Libpinyin);
        o.dedup = dedup;
        ConvertResult r = convert(rime, o, Format::Rime);
        EXPECT_EQ(readBytes(out), "的 de\n的 di\n中国 zhong'guo 5\n");
        EXPECT_EQ(r.unconvertibleWeights, 2);
        EXPECT_NE(convertReport(r, "").find("权重无法换算：2"), std::string::npos);
    }
    ConvertResult r = convert(rime, to(Format::Rime), Format::Rime);
    EXPECT_EQ(readBytes(out), rime);
    EXPECT_EQ(r.unconvertibleWeights, 0);
}

// fcitx5 into fcitx5 keeps the codes as written, but for tone digits, which make libime's
// compiler refuse the whole file.
TEST_F(Conversion, Fcitx5KeepsItsCodesWithoutToneDigits) {
    convert("你好 ni3'hao3 -1\n中国 zhong'guo -2\n", to(Format::Fcitx5), Format::Fcitx5);
    EXPECT_EQ(readBytes(out), "你好 ni'hao -1\n中国 zhong'guo -2\n");
}

TEST_F(Conversion, RimeStaysRimeHeaderCodesAndWeightsAsWritten) {
    const std::string terra = "# comment\n---\nname: terra\nversion: \"1\"\n"
                              "columns:\n  - text\n  - code\n  - weight\n...\n"
                              "的\tde5\t98%\n的\tdi2\t1%\n中文\n#以下\n涌\tyong  0%\n";
    ConvertResult r = convert(terra, to(Format::Rime));
    EXPECT_EQ(r.from, Format::Rime);
    // All but the name, which follows the output file (librime finds the file by it).
    EXPECT_EQ(readBytes(out), "# comment\n---\nname: out\nversion: \"1\"\n"
                              "columns:\n  - text\n  - code\n  - weight\n...\n"
                              "的\tde5\t98%\n的\tdi2\t1%\n中文\n涌\tyong  0%\n");
    EXPECT_EQ(r.skipped, 10);
    EXPECT_EQ(r.renamedFrom + " " + r.renamedTo, "terra out");

    // Into the suite: tones go, the same code of one word is one line, the shares are no
    // counts, and the broken line is rejected.
    ConvertOptions quillo = to(Format::Quillo);
    quillo.quilloWeights = true;
    r = convert(terra + "的\tde1\t3%\n", quillo);
    EXPECT_EQ(readBytes(out), "的de\n的di\n中文\n");
    EXPECT_EQ(r.merged, 1);
    EXPECT_EQ(r.rejected, 1);
    EXPECT_EQ(r.unconvertibleWeights, 3);

    // A word that begins with "#" needs the end of comments before it.
    convert("# no comment\n#号\thao\t1\n", to(Format::Rime), Format::Rime);
    EXPECT_NE(readBytes(out).find("...\n# no comment\n#号\thao\t1\n"), std::string::npos);
}

// A body of many batches, worked on two threads, comes out as one thread would write it: in
// order, duplicates folded into their first line, annotation and rejects in place, and "# no
// comment" in the middle changing how the lines after it read.
TEST_F(Conversion, ManyBatchesComeOutInOrder) {
    const std::u16string chars = u"中国人民北京上海天地山水";
    const char *readings[] = {"zhong", "guo", "ren",  "min", "bei",  "jing",
                              "shang", "hai", "tian", "di",  "shan", "shui"};
    const int kLines = 20000, kHeader = 4, kNoComment = 12000;
    std::string rime = "---\nname: big\nversion: \"1\"\n...\n";
    // What one thread gives: bodies in first-occurrence order with their largest weight.
    std::vector<std::string> order;
    std::map<std::string, int> largest;
    std::string rejects, all;
    int skipped = kHeader, entries = 0, rejected = 0;
    auto reject = [&](int line) {
        ++rejected;
        rejects += std::to_string(line) + "\t";
    };
    auto entry = [&](const std::string &body, int weight) {
        ++entries;
        all += body + " " + std::to_string(weight) + "\n";
        auto [it, fresh] = largest.emplace(body, weight);
        if (fresh)
            order.push_back(body);
        else
            it->second = std::max(it->second, weight);
    };
    for (int i = 0; i < kLines; ++i) {
        const int line = kHeader + i + 1;
        std::string text;
        if (i == kNoComment) {
            text = "# no comment";
            ++skipped;
        } else if (i % 7 == 3) { // a comment, and after "# no comment" a line without code
            text = "#" + std::to_string(i);
            if (i < kNoComment)
                ++skipped;
            else
                reject(line);
        } else if (i % 7 == 5) { // no code: the annotation gives it
            text = "重庆\t\t" + std::to_string(i);
            entry("重庆 chong'qing", i);
        } else if (i % 7 == 6) {
            text = "坏\tnot pinyin\t1";
            reject(line);
        } else {
            const size_t a = size_t(i * 7919) % 12, b = size_t(i * 104729 / 7) % 12;
            const std::string word = lex::toUtf8(chars.substr(a, 1) + chars.substr(b, 1));
            text = word + "\t" + readings[a] + " " + readings[b] + "\t" + std::to_string(i);
            entry(word + " " + readings[a] + "'" + readings[b], i);
        }
        rime += text + "\n";
    }
    std::string expected;
    for (const std::string &body : order)
        expected += body + " " + std::to_string(largest[body]) + "\n";

    ConvertResult r = convert(rime, to(Format::Libpinyin));
    EXPECT_EQ(readBytes(out), expected);
    EXPECT_EQ(r.converted, int64_t(order.size()));
    EXPECT_EQ(r.merged, entries - int64_t(order.size()));
    EXPECT_EQ(r.skipped, skipped);
    EXPECT_EQ(r.rejected, rejected);
    EXPECT_EQ(r.annotated, kLines / 7);
    std::string numbers;
    const std::string rows = readBytes(rejectsPath(out));
    for (size_t at = 0; at < rows.size(); at = rows.find('\n', at) + 1)
        numbers += rows.substr(at, rows.find('\t', at) + 1 - at);
    EXPECT_EQ(numbers, rejects);

    ConvertOptions every = to(Format::Libpinyin);
    every.dedup = false;
    r = convert(rime, every);
    EXPECT_EQ(readBytes(out), all);
    EXPECT_EQ(r.converted, entries);

    // Weights by order without deduplication: a first pass counts the entries (every body line
    // that is no comment, written or not), and the weights fall from that count.
    every.weightByOrder = true;
    r = convert(rime, every);
    int64_t weight = kLines - (skipped - kHeader);
    std::string byOrder;
    for (size_t at = 0; at < all.size(); at = all.find('\n', at) + 1) {
        const size_t blank = all.rfind(' ', all.find('\n', at));
        byOrder += all.substr(at, blank + 1 - at) + std::to_string(weight--) + "\n";
    }
    EXPECT_EQ(readBytes(out), byOrder);
}

// The index of distinct lines is sized from the line count estimated from samples of the file.
// Here the samples see only long comment lines, so that the index has to grow many times while
// the entries between them come in, and every entry must still find its duplicates. Into its own
// format a line keeps the weight as written, the larger one's when a duplicate brings it.
TEST_F(Conversion, DuplicatesAreFoundWhenTheIndexOutgrowsItsEstimate) {
    constexpr size_t kSize = 4 << 20, kSample = 256 << 10;
    const std::u16string chars = u"中国人民北京上海天地山水";
    const char *readings[] = {"zhong", "guo", "ren",  "min", "bei",  "jing",
                              "shang", "hai", "tian", "di",  "shan", "shui"};
    auto sampled = [&](size_t at) { // within or just before one of the four samples
        for (size_t k = 0; k < 4; ++k) {
            const size_t start = (kSize - kSample) / 3 * k;
            if (at + 200 >= start && at < start + kSample)
                return true;
        }
        return false;
    };
    std::string rime = "---\nname: o\nversion: \"1\"\n...\n";
    std::vector<std::string> order;
    std::map<std::string, std::string> weight; // body -> weight as written
    int n = 0, merged = 0;
    while (rime.size() < kSize - 9000) {
        if (sampled(rime.size())) {
            rime += "#" + std::string(8000, 'x') + "\n";
            continue;
        }
        // Every fifth line repeats an earlier entry with a larger weight.
        const bool again = n % 5 == 4;
        const int k = again ? n / 2 : n;
        std::string word, code;
        for (int i = 0, v = k; i < 5; ++i, v /= 12) {
            word += lex::toUtf8(chars.substr(size_t(v % 12), 1));
            code += std::string(i ? " " : "") + readings[v % 12];
        }
        const std::string w = std::to_string(again ? 1000 + n : 1) + "%";
        rime += word + "\t" + code + "\t" + w + "\n";
        const std::string body = word + "\t" + code;
        if (weight.emplace(body, w).second)
            order.push_back(body);
        else
            weight[body] = w, ++merged;
        ++n;
    }
    rime += "#" + std::string(kSize - rime.size() - 2, 'x') + "\n";
    ASSERT_EQ(rime.size(), kSize);

    // Outputs of megabytes: where they part, not gtest's diff of the whole.
    auto expectSame = [](const std::string &got, const std::string &expected) {
        const auto at = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
        EXPECT_TRUE(got == expected) << "first difference at byte " << at.first - got.begin();
    };
    const ConvertResult r = convert(rime, to(Format::Rime), Format::Rime);
    std::string expected = "---\nname: out\nversion: \"1\"\n...\n";
    for (const std::string &body : order)
        expected += body + "\t" + weight[body] + "\n";
    expectSame(readBytes(out), expected);
    EXPECT_EQ(r.converted, int64_t(order.size()));
    EXPECT_EQ(r.merged, merged);
    EXPECT_GT(order.size(), 50000u);

    // Weights by order count through every batch of the kept lines.
    ConvertOptions byOrder = to(Format::Libpinyin);
    byOrder.weightByOrder = true;
    convert(rime, byOrder, Format::Rime);
    std::string lines;
    size_t falling = order.size();
    for (std::string body : order) {
        std::replace(body.begin(), body.end(), ' ', '\'');
        std::replace(body.begin(), body.end(), '\t', ' ');
        lines += body + " " + std::to_string(falling--) + "\n";
    }
    expectSame(readBytes(out), lines);
}

// The suite's formats follow the input's encoding; the others are written as their programs
// read them, whatever the input.
TEST_F(Conversion, EncodingsOfTheTargets) {
    convert(lex::test::gbk(u"中zhong国guo\r\n"), to(Format::FixedTop));
    EXPECT_EQ(readBytes(out), lex::test::gbk(u"zhongguo=中国\r\n"));
    convert("中zhong国guo\n", to(Format::FixedTop));
    EXPECT_EQ(readBytes(out), "zhongguo=中国\n");
    convert(lex::test::gbk(u"中zhong国guo\r\n"), to(Format::Baidu));
    EXPECT_EQ(readBytes(out), lex::test::utf16le(u"中国\tzhong'guo'\t1\r\n"));
    convert(lex::test::utf16le(u"中zhong国guo\r\n"), to(Format::Rime));
    EXPECT_NE(readBytes(out).find("...\n中国\tzhong guo\n"), std::string::npos);
}

TEST_F(Conversion, FailuresLeaveTheOldOutput) {
    // An empty lexicon is a Rime header alone; a missing one writes nothing.
    EXPECT_EQ(convert("", to(Format::Rime)).converted, 0);
    EXPECT_TRUE(readBytes(out).ends_with("sort: by_weight\n...\n"));
    writeBytes(out, "old");
    fs::remove(in);
    Annotator annotator("", "", g_pump);
    EXPECT_FALSE(convertLexicon(in, out, to(Format::Rime), annotator, g_pump).inputFound);
    // Annotation needed but no data: nothing is written.
    writeBytes(out, "old");
    writeBytes(in, "中国\n");
    EXPECT_THROW(convertLexicon(in, out, to(Format::Rime), annotator, g_pump), lex::LexError);
    EXPECT_EQ(readBytes(out), "old");
    // A folder that cannot be written.
    const fs::path locked = dir / "locked";
    fs::create_directory(locked);
    ::chmod(locked.c_str(), 0500);
    if (::access(locked.c_str(), W_OK) != 0) {
        writeBytes(in, "中zhong\n");
        EXPECT_THROW(convertLexicon(in, locked / "o.txt", to(Format::Rime), annotator, g_pump),
                     lex::LexError);
        EXPECT_TRUE(fs::is_empty(locked));
    }
    ::chmod(locked.c_str(), 0700);
}

// The imported dictionaries follow the main one, each read with its own columns, named once
// and never the dictionary itself; librime stops at the main dictionary's list.
TEST_F(Conversion, ImportTablesAreConvertedAfterTheDictionary) {
    struct Row {
        const char *name;
        std::string header; // of main
        std::vector<std::string> files;
    } rows[] = {
        {"block", "import_tables:\n  - extra  # 补充\n  - \"more\"\n", {"extra", "more"}},
        {"flow", "import_tables: [extra, main, 'more', extra]\n", {"extra", "more"}},
        {"block_at_column_0",
         "import_tables:\n- more\n- extra\nsort: original\n",
         {"more", "extra"}},
    };
    dictionary("extra", "columns: [code, text]\nimport_tables: [deep]\n",
               "ren min\t人民\nxx\t坏\n");
    dictionary("more", "", "北京\tbei jing\t3\n中国\tzhong guo\t9\n");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        dictionary("main", row.header, "中国\tzhong guo\t5\n");
        const ConvertResult r = convertFile(dir / "main.dict.yaml", out, to(Format::Libpinyin));
        std::string expected = "中国 zhong'guo 9\n";
        for (const std::string &file : row.files)
            expected += file == "extra" ? "人民 ren'min\n" : "北京 bei'jing 3\n";
        EXPECT_EQ(readBytes(out), expected);
        ASSERT_EQ(r.imports.size(), row.files.size());
        for (size_t i = 0; i < r.imports.size(); ++i) {
            EXPECT_EQ(r.imports[i].file, dir / (row.files[i] + ".dict.yaml"));
            EXPECT_EQ(r.imports[i].entries, row.files[i] == "extra" ? 1 : 2); // one rejected
        }
        EXPECT_EQ(r.merged, 1);
        EXPECT_EQ(r.nestedImports, std::vector<std::string>{"deep"});
        EXPECT_EQ(readBytes(rejectsPath(out)), "extra.dict.yaml:8\t编码不是拼音\txx\t坏\n");
        const std::string report = convertReport(r, "");
        EXPECT_NE(report.find("导入的词典：extra.dict.yaml（1 条）"), std::string::npos);
        EXPECT_NE(report.find("（librime 也不展开）：deep"), std::string::npos);
    }
}

// Into Rime the imports stay imports unless followed; followed, they are entries of the output
// and its header no longer imports them.
TEST_F(Conversion, RimeIntoRimeFollowsImportsOnlyWhenAsked) {
    dictionary("more", "", "北京\tbei jing\t3\n");
    dictionary("main", "import_tables:\n  - more\nsort: by_weight\n", "中国\tzhong guo\t5\n");
    ConvertResult r = convertFile(dir / "main.dict.yaml", dir / "out.dict.yaml", to(Format::Rime));
    EXPECT_EQ(readBytes(dir / "out.dict.yaml"),
              "---\nname: out\nversion: \"1\"\nimport_tables:\n  - more\nsort: by_weight\n...\n"
              "中国\tzhong guo\t5\n");
    EXPECT_EQ(r.unfollowedImports, std::vector<std::string>{"more"});
    EXPECT_NE(convertReport(r, "").find("未展开 import_tables：more"), std::string::npos);

    ConvertOptions follow = to(Format::Rime);
    follow.followImports = true;
    r = convertFile(dir / "main.dict.yaml", dir / "out.dict.yaml", follow);
    EXPECT_EQ(readBytes(dir / "out.dict.yaml"),
              "---\nname: out\nversion: \"1\"\nsort: by_weight\n...\n"
              "中国\tzhong guo\t5\n北京\tbei jing\t3\n");
    EXPECT_TRUE(r.unfollowedImports.empty());
}

// A missing import fails the run as it fails librime's compile, and the old output stays.
TEST_F(Conversion, AMissingImportWritesNothing) {
    dictionary("main", "import_tables: [more, gone]\n", "中国\tzhong guo\t5\n");
    dictionary("more", "", "北京\tbei jing\t3\n");
    writeBytes(out, "old");
    try {
        convertFile(dir / "main.dict.yaml", out, to(Format::Fcitx5));
        FAIL() << "no error";
    } catch (const lex::LexError &e) {
        EXPECT_NE(std::string(e.what()).find((dir / "gone.dict.yaml").string()), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(readBytes(out), "old");
    EXPECT_FALSE(fs::exists(rejectsPath(out)));
}

// The default weight is a count: as it is where counts are kept, scaled where they are, a
// cost where costs are (among the counts, or as a count of a cost).
TEST_F(Conversion, TheDefaultWeightIsACountInEveryTarget) {
    const std::string rime = "中国\tzhong guo\t100\n人民\tren min\n";
    struct Row {
        const char *name;
        Format from, to;
        std::string input, expected;
    } rows[] = {
        {"rime_to_libpinyin", Format::Rime, Format::Libpinyin, rime,
         "中国 zhong'guo 100\n人民 ren'min 10\n"},
        {"rime_to_rime", Format::Rime, Format::Rime, rime,
         "中国\tzhong guo\t100\n人民\tren min\t10\n"},
        {"rime_to_fcitx5", Format::Rime, Format::Fcitx5, rime,
         "中国 zhong'guo 0\n人民 ren'min -1\n"},
        {"words_to_fcitx5", Format::Words, Format::Fcitx5, "中国\n", "中国 zhong'guo 0\n"},
        {"fcitx5_to_fcitx5", Format::Fcitx5, Format::Fcitx5, "中国 zhong'guo -1\n人民 ren'min\n",
         "中国 zhong'guo -1\n人民 ren'min -5\n"},
        {"fcitx5_to_rime", Format::Fcitx5, Format::Rime, "中国 zhong'guo -1\n人民 ren'min\n",
         "中国\tzhong guo\t100000\n人民\tren min\t10\n"},
    };
    for (const Row &row : rows)
        for (const bool dedup : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (dedup ? "" : " (no dedup)"));
            ConvertOptions o = to(row.to);
            o.defaultWeight = 10;
            o.dedup = dedup;
            convert(row.input, o, row.from);
            EXPECT_EQ(body(out), row.expected);
        }
}

// ê, alone or with its tones, precomposed or combined, is the syllable eh: Rime writes it so,
// and the programs that have no such syllable get the line in the rejects file.
TEST_F(Conversion, CircumflexEIsTheSyllableEh) {
    for (const char *code : {"ê", "Ê", "ê̄", "ế", "ê̌", "ề", "ê2", "e\xcc\x82", "eh", "eh4"}) {
        SCOPED_TRACE(code);
        const ConvertResult r = convert(std::string("欸\t") + code + "\n欸嘿\t" + code + " hei\n",
                                        to(Format::Libpinyin), Format::Rime);
        EXPECT_EQ(r.rejected, 2);
        convert(std::string("欸\t") + code + "\n欸嘿\t" + code + " hei\n", to(Format::Quillo),
                Format::Rime);
        EXPECT_EQ(readBytes(out), "欸eh\n欸eh嘿hei\n");
    }
    // The e of üe written with a circumflex stays an e.
    convert("月\tyuê\n", to(Format::Quillo), Format::Rime);
    EXPECT_EQ(readBytes(out), "月yue\n");

    // From another program's format (Rime into Rime keeps the code as written).
    struct Row {
        Format to;
        std::string line; // of 欸嘿, or "" when rejected
    } rows[] = {
        {Format::Rime, "欸嘿\teh hei\n"},
        {Format::RimeCustom, "欸嘿\tehhei\n"},
        {Format::FixedTop, "ehhei=欸嘿\n"},
        {Format::Fcitx5, ""},
        {Format::Libpinyin, ""},
        {Format::Sogou, ""},
        {Format::Qq, ""},
        {Format::Baidu, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(formatInfo(row.to).name);
        const ConvertResult r = row.to == Format::Fcitx5
                                    ? convert("欸嘿\tê hei\n", to(row.to), Format::Rime)
                                    : convert("欸嘿 ê'hei\n", to(row.to), Format::Fcitx5);
        EXPECT_EQ(r.rejected, row.line.empty() ? 1 : 0);
        if (!row.line.empty())
            EXPECT_NE(readBytes(out).find(row.line), std::string::npos);
        else
            EXPECT_EQ(body(out).find("欸"), std::string::npos);
    }
}

// A word without code gets one reading by default, counted when it had more; with every
// reading, those librime encodes it with: from the dictionary's own characters whose reading
// takes 5% of the character's weight, in the order of their codes.
TEST_F(Conversion, WordsWithoutCodeGetEveryReadingLibrimeGives) {
    const std::string rime = "---\nname: in\nversion: \"1\"\n...\n"
                             "重\tzhong4\t90\n重\tchong2\t10\n重\tzhong1\t1\n庆\tqing\t5\n"
                             "银\tyin\t1\n行\txing\t100\n行\thang\t4\n的\tde\t98%\n的\tdi\t2%\n"
                             "重庆\n银行\t\t7\n的重\n";
    struct Row {
        const char *name;
        bool all;
        std::string lines;
        int64_t oneReading, allReadings;
    } rows[] = {
        // The annotation's one reading (银行 by the word table).
        {"one", false, "重庆 chong'qing\n银行 yin'hang 7\n的重 de'zhong\n", 2, 0},
        // 行 hang is under 5%; the shares weigh nothing, so both readings of 的 pass.
        {"all", true,
         "重庆 chong'qing\n重庆 zhong'qing\n银行 yin'xing 7\n的重 de'chong\n的重 de'zhong\n"
         "的重 di'chong\n的重 di'zhong\n",
         0, 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ConvertOptions o = to(Format::Libpinyin);
        o.allReadings = row.all;
        const ConvertResult r = convert(rime, o, Format::Rime);
        const std::string written = readBytes(out);
        EXPECT_EQ(written.substr(written.find("重庆")), row.lines);
        EXPECT_EQ(r.oneReading, row.oneReading);
        EXPECT_EQ(r.allReadings, row.allReadings);
    }

    // Other sources: the annotation's reading first, then the polyphonic characters' others.
    ConvertOptions o = to(Format::Fcitx5);
    o.allReadings = true;
    ConvertResult r = convert("重庆\n中国\n", o, Format::Words);
    EXPECT_EQ(readBytes(out), "重庆 chong'qing 0\n重庆 zhong'qing 0\n中国 zhong'guo 0\n");
    EXPECT_EQ(r.readingLines, 2);
    r = convert("重庆\n中国\n", to(Format::Fcitx5), Format::Words);
    EXPECT_EQ(readBytes(out), "重庆 chong'qing 0\n中国 zhong'guo 0\n");
    EXPECT_EQ(r.oneReading, 1);
    EXPECT_NE(convertReport(r, "").find("无编码的多音词只取一个读音：1"), std::string::npos);
}

// With the preset vocabulary a share is its part of the word's weight there and no weight is
// that weight, from the vocabulary the header names in the dictionary's folder before the shared
// one; imported dictionaries weigh by the main one's. Not found, shares stay no counts.
TEST_F(Conversion, SharesWeighByThePresetVocabulary) {
    writeBytes(dir / "mine.txt", "中国\t200\n人民\t50\n北京\n");
    dictionary("more", "", "人民\tren min\n");
    struct Row {
        const char *name;
        std::string header;
        std::string lines;
        int64_t shares;
    } rows[] = {
        {"own_vocabulary", "use_preset_vocabulary: true\nvocabulary: mine\nimport_tables: [more]\n",
         "中国 zhong'guo 50\n北京 bei'jing 0\n天津 tian'jin\n人民 ren'min 50\n", 0},
        {"not_asked", "vocabulary: mine\n", "中国 zhong'guo\n北京 bei'jing\n天津 tian'jin\n", 2},
        {"not_found", "use_preset_vocabulary: true\nvocabulary: gone\n",
         "中国 zhong'guo\n北京 bei'jing\n天津 tian'jin\n", 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        dictionary("main", row.header,
                   "中国\tzhong guo\t25%\n北京\tbei jing\t10%\n天津\ttian jin\n");
        const ConvertResult r = convertFile(dir / "main.dict.yaml", out, to(Format::Libpinyin));
        EXPECT_EQ(readBytes(out), row.lines);
        EXPECT_EQ(r.unconvertibleWeights, row.shares);
        EXPECT_EQ(r.missingVocabulary, std::string(row.name) == "not_found" ? "gone.txt" : "");
    }
    // Into Rime librime weighs them itself: the shares stay as written.
    dictionary("main", "use_preset_vocabulary: true\nvocabulary: mine\n", "中国\tzhong guo\t25%\n");
    const ConvertResult r =
        convertFile(dir / "main.dict.yaml", dir / "out.dict.yaml", to(Format::Rime));
    EXPECT_EQ(body(dir / "out.dict.yaml"), "中国\tzhong guo\t25%\n");
    EXPECT_TRUE(r.vocabulary.empty());
}

} // namespace
