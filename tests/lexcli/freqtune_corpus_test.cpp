// lexcli freqtune count --corpus against the per-article walk it stands for: the same rows with
// the same frequencies, whatever the number of threads, and through partial counts merged into
// the database. The articles are Debian's Chinese fortunes, in both encodings, one compressed,
// one that begins as UTF-8 and is not.

#include "cli_harness.h"

#include "../freqtune/freqtune_fixture.h"
#include "shared/lexcore/cp936.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;
using lex::test::tableRows;
using lex::test::ToolDir;
using lex::test::writeBytes;

lex::test::CliRun cli(const ToolDir &t, std::vector<std::string> args) {
    args.insert(args.begin(), {"--data-dir", t.dir.path().string(), "freqtune"});
    return lex::test::runLexcli(args);
}

void ok(const ToolDir &t, const std::vector<std::string> &args) {
    const lex::test::CliRun r = cli(t, args);
    ASSERT_EQ(r.status, 0) << r.err;
}

struct Articles {
    std::vector<std::pair<std::string, std::string>> files; // name, bytes as counted
    std::u16string lexicon;
};

// Twelve articles cut from the fortunes, and a lexicon of words that occur in some of them
// (every seventh pair of characters), with a word on two lines and two that differ in case.
Articles articles() {
    const std::u16string text =
        lex::fromUtf8(readBytes("/usr/share/games/fortunes/tang300").substr(0, 60000));
    Articles a;
    for (size_t i = 0, n = 12; i < n; ++i) {
        const std::u16string part = text.substr(text.size() * i / n, text.size() / n);
        std::string bytes = i % 3 == 1 ? lex::encode936(part) : lex::toUtf8(part);
        if (i == 5) // UTF-8 for more than a buffer's worth, then not: code page 936 after all
            bytes = lex::toUtf8(text + text + text + text + text + text + text + part) + "\xFF";
        a.files.emplace_back("a" + std::to_string(i) + ".txt", bytes);
    }
    for (size_t i = 0; i + 2 < text.size(); i += 7)
        if (lex::isDoubleByte(text[i]) && lex::isDoubleByte(text[i + 1]))
            a.lexicon += text.substr(i, 2) + u"\r\n";
    a.lexicon += u"春风\r\n春风\r\nＡＢ中\r\nａｂ中\r\n";
    a.files.emplace_back("fold.txt", lex::toUtf8(u"ａＢ中"));
    return a;
}

TEST(FreqtuneCorpus, RaisesTheRowsThePerArticleWalkRaises) {
    const Articles a = articles();
    ToolDir walk;
    writeBytes(walk.dir / "lexicon.txt", lex::encode936(a.lexicon));
    ok(walk, {"import", (walk.dir / "lexicon.txt").string()});
    std::vector<std::string> paths;
    for (const auto &[name, bytes] : a.files) {
        writeBytes(walk.files.unread / name, bytes);
        paths.push_back((walk.files.unread / name).string());
    }
    std::vector<std::string> args = {"count"};
    args.insert(args.end(), paths.begin(), paths.end());
    ok(walk, args);
    walk.db.close(); // lexcli's import put a new file in place
    walk.db.open(walk.files.database, walk.files.templateFile);
    const auto expected = tableRows(walk.db);
    ASSERT_GT(std::count_if(expected.begin(), expected.end(), [](auto &r) { return r.freq > 1; }),
              10);

    for (const char *jobs : {"1", "2", "3"}) {
        ToolDir ours;
        writeBytes(ours.dir / "lexicon.txt", lex::encode936(a.lexicon));
        ok(ours, {"import", (ours.dir / "lexicon.txt").string()});
        const fs::path corpus = ours.dir / "corpus";
        fs::create_directories(corpus / "sub");
        for (size_t i = 0; i < a.files.size(); ++i) {
            const auto &[name, bytes] = a.files[i];
            if (i == 3) { // a compressed article, in a subfolder
                gzFile gz = gzopen((corpus / "sub" / (name + ".gz")).c_str(), "wb");
                gzwrite(gz, bytes.data(), unsigned(bytes.size()));
                gzclose(gz);
            } else {
                writeBytes(corpus / name, bytes);
            }
        }
        ok(ours, {"count", "--corpus", corpus.string(), "-j", jobs});
        ours.db.close();
        ours.db.open(ours.files.database, ours.files.templateFile);
        EXPECT_EQ(tableRows(ours.db), expected) << "-j " << jobs;
        EXPECT_EQ(ToolDir::names(corpus).size(), a.files.size()); // nothing moved

        // The same as partial counts of two shards, merged into a fresh import.
        ToolDir merged;
        writeBytes(merged.dir / "lexicon.txt", lex::encode936(a.lexicon));
        ok(merged, {"import", (merged.dir / "lexicon.txt").string()});
        const std::string p1 = (merged.dir / "1.counts").string(),
                          p2 = (merged.dir / "2.counts").string();
        ok(merged, {"count", "--partial", "-o", p1, "--corpus", (corpus / "a0.txt").string(),
                    (corpus / "a1.txt").string(), (corpus / "sub").string()});
        std::vector<std::string> rest = {"count", "--partial", "-o", p2, "-j", jobs, "--corpus"};
        for (size_t i = 2; i < a.files.size(); ++i)
            if (i != 3)
                rest.push_back((corpus / a.files[i].first).string());
        ok(merged, rest);
        const lex::test::CliRun r = lex::test::runLexcli(
            {"bigseg", "merge-counts", p1, p2, "--db", merged.files.database.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        merged.db.close();
        merged.db.open(merged.files.database, merged.files.templateFile);
        EXPECT_EQ(tableRows(merged.db), expected);
    }
}

// Partial counts of another database's words are refused; the database stays as it was.
TEST(FreqtuneCorpus, RefusesPartialsOfOtherWords) {
    ToolDir one, two;
    one.import({u"中国", u"人民"});
    two.import({u"中国", u"北京"});
    one.article("a.txt", u"中国人民");
    two.db.close();
    const std::string p = (one.dir / "p.counts").string();
    ok(one, {"count", "--corpus", one.files.unread.string(), "--partial", "-o", p});
    const lex::test::CliRun r =
        lex::test::runLexcli({"bigseg", "merge-counts", p, "--db", two.files.database.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("不是用这个词频数据库的词统计的"), std::string::npos) << r.err;
    two.db.open(two.files.database, two.files.templateFile);
    EXPECT_EQ(lex::test::freqs(two.db), (std::vector<int64_t>{0, 0}));
}

} // namespace
