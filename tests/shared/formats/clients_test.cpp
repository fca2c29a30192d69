// The formats' own programs as oracles, on Debian's own Rime dictionaries: librime's deployer
// compiles our Rime output and its dump holds every entry we wrote; libime's dictionary tool
// compiles our fcitx5 output and dumps it back as we wrote it; librime's dictionary manager
// imports our custom phrases. And Rime -> standard lexicon -> Rime keeps every word, code and
// weight (codes without tones, üe written one way, one line per word and code).

#include "shared/formats/conversion.h"

#include "shared/lexcore/cp936.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace lex::formats;
using lex::test::readBytes;
using lex::test::shell;

lex::NullPump g_pump;

ConvertResult convert(const fs::path &in, const fs::path &out, ConvertOptions o) {
    Annotator annotator(fs::path(SUITE_DIR) / "lexconv/dz.txt",
                        fs::path(SUITE_DIR) / "lexconv/zn.lxd", g_pump);
    lex::NullPump pump;
    pump.context().setFirstInput(in);
    return convertLexicon(in, out, o, annotator, pump);
}

std::vector<std::string> splitOn(const std::string &s, char sep) {
    std::vector<std::string> out;
    std::stringstream in(s);
    for (std::string part; std::getline(in, part, sep);)
        out.push_back(part);
    if (!s.empty() && s.back() == sep)
        out.emplace_back();
    return out;
}

// The body lines of a Rime dictionary as (text, code, weight) read by hand: after "...", "#"
// lines are comments, TAB-separated default columns.
struct RimeRow {
    std::string text, code, weight;
    auto operator<=>(const RimeRow &) const = default;
};
std::vector<RimeRow> rimeBody(const fs::path &file) {
    std::vector<RimeRow> rows;
    std::ifstream in(file);
    bool body = false;
    for (std::string line; std::getline(in, line);) {
        if (!body) {
            body = line == "...";
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        auto f = splitOn(line, '\t');
        f.resize(3);
        rows.push_back({f[0], f[1], f[2]});
    }
    return rows;
}

// A code as the round trip gives it back: tone digits gone, üe as lve.
std::string plainCode(std::string code) {
    std::string out;
    for (char c : code)
        if (c < '1' || c > '5')
            out += c;
    for (const char *from : {"lue", "nue"})
        for (size_t at; (at = out.find(from)) != std::string::npos;)
            out[at + 1] = 'v';
    return out;
}

// The preset vocabulary of a dictionary whose header asks for it (luna_pinyin's, terra_pinyin's):
// librime's essay.txt read by hand, word and weight; empty for the others.
std::map<std::string, double> presetVocabulary(const fs::path &dictionary) {
    std::map<std::string, double> words;
    const std::string text = readBytes(dictionary);
    if (text.substr(0, text.find("\n...\n")).find("\nuse_preset_vocabulary: true") ==
        std::string::npos)
        return words;
    std::ifstream in(fs::path(RIME_DATA) / "essay.txt");
    for (std::string line; std::getline(in, line);) {
        const auto f = splitOn(line, '\t');
        if (f.size() >= 2)
            words.emplace(f[0], std::stod(f[1]));
    }
    EXPECT_GT(words.size(), 100000u) << "scripts/setup installs rime-essay";
    return words;
}

class RimeDictionaries : public ::testing::TestWithParam<const char *> {};

TEST_P(RimeDictionaries, RoundTripThroughTheStandardLexiconKeepsEverything) {
    lex::test::TempDir dir;
    const fs::path source = fs::path(RIME_DATA) / (std::string(GetParam()) + ".dict.yaml");
    ASSERT_TRUE(fs::exists(source)) << "scripts/setup installs the Rime dictionaries";
    ConvertOptions toQuillo;
    toQuillo.to = Format::Quillo;
    toQuillo.quilloWeights = true;
    const ConvertResult there = convert(source, dir / "lexicon.txt", toQuillo);
    ConvertOptions toRime;
    toRime.to = Format::Rime;
    const ConvertResult back = convert(dir / "lexicon.txt", dir / "back.dict.yaml", toRime);
    EXPECT_EQ(back.rejected, 0);
    EXPECT_EQ(back.merged, 0);

    // Expected: every line of the source, codes plain, one line per text and code with the
    // larger weight, but the lines the first conversion rejected. A share ("99%") is no count:
    // it comes back without a weight, and the first conversion counted it; with the preset
    // vocabulary it is its part of the word's weight there, and no weight is that weight.
    const std::map<std::string, double> vocabulary = presetVocabulary(source);
    std::set<std::pair<std::string, std::string>> rejected;
    if (there.rejected > 0) {
        std::ifstream in(dir / "lexicon.txt.rejects.txt");
        for (std::string line; std::getline(in, line);) {
            auto f = splitOn(line, '\t');
            f.resize(4);
            rejected.insert({f[2], f[3]});
        }
    }
    std::map<std::pair<std::string, std::string>, double> expected;
    std::map<std::pair<std::string, std::string>, bool> weighted;
    int64_t shares = 0;
    for (const RimeRow &r : rimeBody(source)) {
        if (rejected.count({r.text, r.code}))
            continue;
        const auto key = std::make_pair(r.text, plainCode(r.code));
        std::string w = r.weight;
        const auto essay = vocabulary.find(r.text);
        double value = 0;
        if (!w.empty() && w.back() == '%' && !vocabulary.empty()) {
            value = (essay == vocabulary.end() ? 0 : essay->second) * std::stod(w) / 100;
        } else if (!w.empty() && w.back() == '%') {
            w.clear();
            ++shares;
        } else if (w.empty() && essay != vocabulary.end()) {
            value = essay->second;
            w = "essay";
        } else if (!w.empty()) {
            value = std::stod(w);
        }
        if (!expected.count(key) || value > expected[key])
            expected[key] = value;
        weighted[key] = weighted[key] || !w.empty();
    }
    size_t found = 0;
    for (const RimeRow &r : rimeBody(dir / "back.dict.yaml")) {
        const auto key = std::make_pair(r.text, r.code);
        ASSERT_TRUE(expected.count(key)) << r.text << " " << r.code;
        EXPECT_EQ(r.weight.empty() ? 0 : std::stod(r.weight), expected[key]) << r.text;
        EXPECT_EQ(!r.weight.empty(), weighted[key]) << r.text;
        ++found;
    }
    EXPECT_EQ(found, expected.size());
    EXPECT_EQ(int64_t(found), there.converted);
    EXPECT_EQ(there.unconvertibleWeights, shares);
}

INSTANTIATE_TEST_SUITE_P(Debian, RimeDictionaries,
                         ::testing::Values("pinyin_simp", "luna_pinyin", "terra_pinyin"));

TEST(Clients, RimeDeployerCompilesOurDictionaryWithEveryEntry) {
    lex::test::TempDir dir;
    // Standard lexicon in, with words to annotate: the Rime dictionary is made from scratch.
    lex::test::writeBytes(dir / "in.txt", lex::test::gbk(u"中zhong国guo\r\n重庆\r\n银行\r\n"
                                                         u"略lue微wei\r\n绿lv色se\r\n女nv\r\n"));
    ConvertOptions o;
    o.to = Format::Rime;
    convert(dir / "in.txt", dir / "mine.dict.yaml", o);
    lex::test::writeBytes(dir / "test.schema.yaml",
                          "schema:\n  schema_id: test\n  name: test\n  version: \"1\"\n"
                          "engine:\n  translators:\n    - script_translator\n"
                          "translator:\n  dictionary: mine\n");
    std::string log;
    ASSERT_EQ(shell(dir.path(), "rime_deployer --compile test.schema.yaml . . build", &log), 0)
        << log;
    for (const char *trouble :
         {"Encode failure", "duplicate word", "invalid entry", "Missing entry text", "rror"})
        EXPECT_EQ(log.find(trouble), std::string::npos) << log;
    std::set<std::pair<std::string, std::string>> compiled;
    std::ifstream dump(dir / "build/mine.table.txt");
    for (std::string line; std::getline(dump, line);) {
        const auto f = splitOn(line, '\t');
        if (f.size() >= 2 && !line.starts_with("#"))
            compiled.insert({f[0], f[1]});
    }
    const auto ours = rimeBody(dir / "mine.dict.yaml");
    ASSERT_EQ(ours.size(), 6u);
    for (const RimeRow &r : ours)
        EXPECT_TRUE(compiled.count({r.text, r.code})) << r.text << " " << r.code;
}

// The (text, code) pairs of librime's dump of a compiled dictionary.
std::set<std::pair<std::string, std::string>> compiledTable(const fs::path &dir,
                                                            const std::string &name) {
    lex::test::writeBytes(dir / (name + ".schema.yaml"),
                          "schema:\n  schema_id: " + name + "\n  name: " + name +
                              "\n  version: \"1\"\nengine:\n  translators:\n"
                              "    - script_translator\ntranslator:\n  dictionary: " +
                              name + "\n");
    std::string log;
    EXPECT_EQ(shell(dir, "rime_deployer --compile " + name + ".schema.yaml . . build", &log), 0)
        << log;
    std::set<std::pair<std::string, std::string>> compiled;
    std::ifstream dump(dir / "build" / (name + ".table.txt"));
    for (std::string line; std::getline(dump, line);) {
        const auto f = splitOn(line, '\t');
        if (f.size() >= 2 && !line.starts_with("#"))
            compiled.insert({f[0], f[1]});
    }
    return compiled;
}

// librime as the oracle of the Rime rules: a dictionary that imports another, whose words have
// no code, over the single characters of Debian's pinyin_simp with their weights. Followed into
// one Rime dictionary it compiles to the same table; into fcitx5 with every reading it holds
// the codes librime encoded the words with, and libime compiles it.
TEST(Clients, ImportsAndWordsWithoutCodeAsLibrimeCompilesThem) {
    lex::test::TempDir dir;
    std::string chars;
    std::ifstream simp(fs::path(RIME_DATA) / "pinyin_simp.dict.yaml");
    const std::set<std::string> wanted = {"重", "庆", "银", "行", "长", "江", "的", "确", "欸"};
    bool body = false;
    for (std::string line; std::getline(simp, line);) {
        if (!body) {
            body = line == "...";
            continue;
        }
        const auto f = splitOn(line, '\t');
        if (f.size() >= 2 && wanted.count(f[0]))
            chars += line + "\n";
    }
    ASSERT_GT(std::count(chars.begin(), chars.end(), '\n'), 12) << chars;
    lex::test::writeBytes(dir / "src.dict.yaml", "---\nname: src\nversion: \"1\"\n"
                                                 "import_tables:\n  - src_words\n...\n" +
                                                     chars + "欸\teh\t1\n");
    lex::test::writeBytes(
        dir / "src_words.dict.yaml",
        "---\nname: src_words\nversion: \"1\"\n...\n重庆\n银行\t\t5\n长江\n的确\n");
    const auto theirs = compiledTable(dir.path(), "src");
    ASSERT_TRUE(theirs.count({"重庆", "chong qing"}) && theirs.count({"重庆", "zhong qing"}));

    ConvertOptions rime;
    rime.to = Format::Rime;
    rime.followImports = true;
    convert(dir / "src.dict.yaml", dir / "mine.dict.yaml", rime);
    EXPECT_EQ(compiledTable(dir.path(), "mine"), theirs);

    ConvertOptions fcitx5;
    fcitx5.to = Format::Fcitx5;
    fcitx5.allReadings = true;
    const ConvertResult r = convert(dir / "src.dict.yaml", dir / "mine.txt", fcitx5);
    EXPECT_EQ(r.rejected, 1); // 欸 eh: libime would refuse the whole file
    std::set<std::pair<std::string, std::string>> ours;
    std::ifstream in(dir / "mine.txt");
    for (std::string line; std::getline(in, line);) {
        auto f = splitOn(line, ' ');
        std::replace(f[1].begin(), f[1].end(), '\'', ' ');
        ours.insert({f[0], f[1]});
    }
    auto expected = theirs;
    expected.erase({"欸", "eh"});
    EXPECT_EQ(ours, expected);
    std::string log;
    EXPECT_EQ(shell(dir.path(), "libime_pinyindict mine.txt mine.dict", &log), 0) << log;
}

// librime weighs shares and entries without weight by Debian's essay.txt; so do we, to the
// digits its dump shows.
TEST(Clients, ThePresetVocabularyWeighsAsLibrimeWeighs) {
    lex::test::TempDir dir;
    lex::test::writeBytes(dir / "essay_test.dict.yaml",
                          "---\nname: essay_test\nversion: \"1\"\nuse_preset_vocabulary: true\n"
                          "...\n中\tzhong\t80%\n国\tguo\n中国\tzhong guo\t25%\n人民\tren min\n"
                          "人民\tren ming\t0.5%\n");
    lex::test::writeBytes(dir / "essay_test.schema.yaml",
                          "schema:\n  schema_id: essay_test\n  name: essay_test\n  version: \"1\"\n"
                          "engine:\n  translators:\n    - script_translator\n"
                          "translator:\n  dictionary: essay_test\n");
    std::string log;
    ASSERT_EQ(shell(dir.path(),
                    "rime_deployer --compile essay_test.schema.yaml . " RIME_DATA " build", &log),
              0)
        << log;
    std::map<std::pair<std::string, std::string>, double> theirs;
    std::ifstream dump(dir / "build/essay_test.table.txt");
    for (std::string line; std::getline(dump, line);) {
        const auto f = splitOn(line, '\t');
        if (f.size() == 3 && !line.starts_with("#"))
            theirs[{f[0], f[1]}] = std::stod(f[2]);
    }
    ConvertOptions o;
    o.to = Format::Quillo;
    o.quilloWeights = true;
    const ConvertResult r = convert(dir / "essay_test.dict.yaml", dir / "out.txt", o);
    EXPECT_EQ(r.vocabulary, fs::path(RIME_DATA) / "essay.txt");
    EXPECT_EQ(r.unconvertibleWeights, 0);
    FormatReader reader(Format::Quillo);
    std::ifstream in(dir / "out.txt");
    int checked = 0;
    for (std::string line; std::getline(in, line); ++checked) {
        const ParsedLine &p = reader.parse(lex::fromUtf8(line));
        std::string code;
        for (const std::string &syllable : p.entry.syllables)
            code += (code.empty() ? "" : " ") + syllable;
        const auto key = std::make_pair(lex::toUtf8(p.entry.word), code);
        ASSERT_TRUE(theirs.count(key)) << line;
        ASSERT_TRUE(p.entry.weight) << line;
        EXPECT_NEAR(*p.entry.weight, theirs[key], 1e-5 * std::max(1.0, theirs[key])) << line;
    }
    EXPECT_EQ(checked, 5);
}

TEST(Clients, LibimeCompilesOurFcitx5DictionaryAndDumpsItBack) {
    lex::test::TempDir dir;
    ConvertOptions o;
    o.to = Format::Fcitx5;
    const fs::path source = fs::path(RIME_DATA) / "pinyin_simp.dict.yaml";
    const ConvertResult r = convert(source, dir / "simp.txt", o);
    ASSERT_GT(r.converted, 60000);
    std::string log;
    ASSERT_EQ(shell(dir.path(), "libime_pinyindict simp.txt simp.dict", &log), 0) << log;
    ASSERT_EQ(shell(dir.path(), "libime_pinyindict -d simp.dict dump.txt", &log), 0) << log;
    auto read = [](const fs::path &file) {
        std::map<std::pair<std::string, std::string>, double> entries;
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) {
            const auto f = splitOn(line, ' ');
            EXPECT_EQ(f.size(), 3u) << line;
            if (f.size() == 3)
                entries[{f[0], f[1]}] = std::stod(f[2]);
        }
        return entries;
    };
    const auto ours = read(dir / "simp.txt"), theirs = read(dir / "dump.txt");
    ASSERT_EQ(ours.size(), theirs.size());
    for (const auto &[key, value] : ours) {
        ASSERT_TRUE(theirs.count(key)) << key.first << " " << key.second;
        EXPECT_NEAR(theirs.at(key), value, 1e-5 * std::max(1.0, std::fabs(value))) << key.first;
    }
}

TEST(Clients, RimeDictManagerImportsOurCustomPhrases) {
    lex::test::TempDir dir;
    lex::test::writeBytes(dir / "in.txt", "你ni好hao\t5\n西xi安an\t2\n略lue微wei\n");
    ConvertOptions o;
    o.to = Format::RimeCustom;
    convert(dir / "in.txt", dir / "custom_phrase.txt", o);
    std::string log;
    ASSERT_EQ(shell(dir.path(), "rime_dict_manager --import phrases custom_phrase.txt", &log), 0)
        << log;
    EXPECT_NE(log.find("imported 3 entries."), std::string::npos) << log;
    ASSERT_EQ(shell(dir.path(), "rime_dict_manager --export phrases out.txt", &log), 0) << log;
    const std::string exported = readBytes(dir / "out.txt");
    for (const char *line : {"你好\tnihao\t5", "西安\txian\t2", "略微\tlvewei\t0"})
        EXPECT_NE(exported.find(line), std::string::npos) << exported;
}

} // namespace
