// The frequency database through real files: the import's header and length rules, rebuilding,
// failed imports that must leave the old database, the export's order and filters byte for
// byte, the option dialog's length rule. (The results list and its log: the lexcli tests.)

#include "freqtune/frequency_database.h"

#include "freqtune/article_stats.h"
#include "freqtune/rime_dictionary.h"
#include "freqtune_fixture.h"
#include "shared/lexcore/lex_error.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using lex::test::readBytes;
using lex::test::Row;
using lex::test::tableRows;
using lex::test::ToolDir;
using namespace lex::freqtune;
using namespace std::chrono_literals;

// Only leading ";" lines are a header; a word needs 2 to 49 double-byte characters; kept lines
// are numbered from 1, repeated words included; a second import starts from the template.
TEST(Import, KeepsNumbersAndRebuilds) {
    ToolDir t;
    const std::u16string w49(49, u'中'), w50(50, u'国');
    t.import({u";header", u";c", u"中zhong国guo", u"中", u"中a", u";x中国", u"abc", u"", w49, w50,
              u"人民 ren min", u"中国", u"ＡＢ1"});
    const std::vector<Row> rows = {{1, u"中zhong国guo", u"中国", 0, 2},
                                   {2, u";x中国", u"中国", 0, 2},
                                   {3, w49, w49, 0, 49},
                                   {4, u"人民 ren min", u"人民", 0, 2},
                                   {5, u"中国", u"中国", 0, 2},
                                   {6, u"ＡＢ1", u"ＡＢ", 0, 2}};
    EXPECT_EQ(tableRows(t.db), rows);
    t.setFreqs({5, 3});
    t.import({u"", u";中国"}); // an empty first line ends the header
    EXPECT_EQ(tableRows(t.db), (std::vector<Row>{{1, u";中国", u"中国", 0, 2}}));
}

// Read as UTF-8 or UTF-16, a word keeps the characters code page 936 lacks, wherever they stand,
// and a surrogate pair is one character of its length (a lone 𠮷 is too short); an article then
// raises the whole word, never the rest of it alone.
TEST(Import, WideLexiconsKeepWholeWords) {
    const std::u16string lines = u"𠮷野家\n野家\n𠮷\n㐀字\n😀表情\n中zhong国guo\n€欧元\n";
    const std::vector<Row> rows = {
        {1, u"𠮷野家", u"𠮷野家", 0, 3},     {2, u"野家", u"野家", 0, 2},
        {3, u"㐀字", u"㐀字", 0, 2},         {4, u"😀表情", u"😀表情", 0, 3},
        {5, u"中zhong国guo", u"中国", 0, 2}, {6, u"€欧元", u"€欧元", 0, 3}};
    const std::pair<const char *, std::string> encodings[] = {
        {"utf-8", lex::toUtf8(lines)},
        {"utf-8 with its mark", "\xEF\xBB\xBF" + lex::toUtf8(lines)},
        {"utf-16le", lex::test::utf16le(lines)},
    };
    for (const auto &[name, bytes] : encodings) {
        SCOPED_TRACE(name);
        ToolDir t;
        lex::test::writeBytes(t.dir / "lexicon.txt", bytes);
        lex::NullPump pump;
        const ImportResult r =
            importLexicon(t.db, t.dir / "lexicon.txt", t.files.templateFile, pump);
        EXPECT_EQ(r.dropped, 1);
        ASSERT_EQ(tableRows(t.db), rows);
        lex::test::writeBytes(t.files.unread / "a.txt", lex::toUtf8(u"只有野家。"));
        lex::test::writeBytes(t.files.unread / "b.txt", lex::toUtf8(u"𠮷野家和😀表情"));
        runStatistics(t.db, listArticles(t.files.unread), t.files.read, pump);
        EXPECT_EQ(lex::test::freqs(t.db), (std::vector<int64_t>{1, 2, 0, 1, 0, 0}));
    }
}

// A Rime dictionary comes in whole: single characters, letters and characters beyond code page
// 936 in the word, "#" words after "# no comment"; the export gives back its header but for the
// name and each line's own columns, in the header's column order, with the counts as weights.
TEST(Import, RimeDictionaryComesInWholeAndGoesBackInItsColumns) {
    ToolDir t;
    lex::test::writeBytes(t.dir / "d.dict.yaml",
                          "---\nname: d\nversion: \"1\"\ncolumns: [text, weight, code]\n...\n"
                          "# a comment\n中\t9\tzhong\nT恤\t3\tt xu\n𠮷野家\t\tji ye jia\n"
                          "\t5\tkong\n# no comment\n#号\t1\thao\n");
    lex::NullPump pump;
    const ImportResult r = importLexicon(t.db, t.dir / "d.dict.yaml", t.files.templateFile, pump);
    EXPECT_TRUE(r.rime);
    EXPECT_EQ(r.keptHeader, 5);
    EXPECT_EQ(r.singles, 1);
    EXPECT_EQ(r.skipped, 2);
    EXPECT_EQ(r.dropped, 1); // the entry without text
    const std::vector<Row> rows = {{1, u"中zhong", u"中", 0, 1},
                                   {2, u"T恤", u"T恤", 0, 2},
                                   {3, u"𠮷ji野ye家jia", u"𠮷野家", 0, 3},
                                   {4, u"#号", u"#号", 0, 2}};
    EXPECT_EQ(tableRows(t.db), rows);
    t.setFreqs({0, 2, 1, 0});
    lex::formats::Annotator annotator(t.dir.path(), pump);
    const ImExportResult e = exportForInputMethod(t.db, t.dir / "out.dict.yaml", {},
                                                  lex::formats::Format::Rime, annotator, pump);
    EXPECT_TRUE(e.asImported);
    EXPECT_EQ(e.headerLines, 5);
    EXPECT_EQ(e.singles, 1);
    EXPECT_EQ(readBytes(t.dir / "out.dict.yaml"),
              "---\nname: out\nversion: \"1\"\ncolumns: [text, weight, code]\n...\n"
              "T恤\t2\tt xu\n𠮷野家\t1\tji ye jia\n中\t0\tzhong\n# no comment\n#号\t0\thao\n");
    // A lexicon of the suite's own then leaves nothing of the dictionary behind.
    t.import({u"中国"});
    EXPECT_FALSE(holdsRimeDictionary(t.db));
}

// The count goes into the weight column wherever the header's columns put it, the other columns
// as written; columns without a weight keep the line and say so.
TEST(Import, RimeCountsGoInTheWeightColumn) {
    const struct {
        const char *columns, *line, *exported;
        bool noWeightColumn;
    } rows[] = {
        {"", "中\tzhong\t9", "中\tzhong\t1", false},
        {"columns: [text, code, weight, stem]\n", "中\tzhong\t\tzh", "中\tzhong\t1\tzh", false},
        {"columns: [text, weight]\n", "中", "中\t1", false},
        {"columns:\n  - weight  # first\n  - text\n", "9\t中", "1\t中", false},
        {"columns: [text, code]\n", "中\tzhong", "中\tzhong", true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.columns);
        ToolDir t;
        lex::test::writeBytes(t.dir / "d.dict.yaml", std::string("---\nname: d\nversion: \"1\"\n") +
                                                         row.columns + "...\n" + row.line + "\n");
        lex::NullPump pump;
        importLexicon(t.db, t.dir / "d.dict.yaml", t.files.templateFile, pump);
        t.setFreqs({1});
        lex::formats::Annotator annotator(t.dir.path(), pump);
        const ImExportResult e = exportForInputMethod(t.db, t.dir / "d.dict.yaml", {},
                                                      lex::formats::Format::Rime, annotator, pump);
        EXPECT_EQ(e.noWeightColumn, row.noWeightColumn);
        const std::string out = readBytes(t.dir / "d.dict.yaml");
        EXPECT_EQ(out.substr(out.find("...\n") + 4), std::string(row.exported) + "\n");
    }
}

// A failed or interrupted import leaves the old rows and counts and no file behind; a missing
// lexicon is no failure: nothing happens.
TEST(Import, FailuresLeaveTheOldDatabase) {
    ToolDir t;
    t.import({u"中国", u"人民"});
    t.setFreqs({0, 7});
    const auto before = tableRows(t.db);
    lex::test::writeBytes(t.dir / "binary.txt", std::string("\xD6\xD0\x00\xB9\xFA", 5));
    lex::test::writeBytes(t.dir / "bad.mmm", ""); // no table: the first insert fails
    const auto listing = ToolDir::names(t.dir.path());
    const fs::path lexicon = t.dir / "lexicon.txt";
    lex::NullPump pump;
    lex::test::InterruptingPump interrupted(2);
    EXPECT_THROW(importLexicon(t.db, t.dir / "binary.txt", t.files.templateFile, pump),
                 lex::LexError);
    EXPECT_THROW(importLexicon(t.db, lexicon, t.dir / "missing.mmm", pump), lex::LexError);
    EXPECT_THROW(importLexicon(t.db, lexicon, t.dir / "bad.mmm", pump), lex::LexError);
    EXPECT_THROW(importLexicon(t.db, lexicon, t.files.templateFile, interrupted),
                 std::runtime_error);
    EXPECT_FALSE(importLexicon(t.db, t.dir / "gone.txt", t.files.templateFile, pump).found);
    EXPECT_EQ(tableRows(t.db), before);
    EXPECT_EQ(ToolDir::names(t.dir.path()), listing);
}

// The database is made from the template when missing (refused or left to the import when the
// caller says so); without both the tool cannot go on; a file that is no frequency database is
// refused, not overwritten. The copies killed imports left behind go, however new; one that an
// import holds locked stays.
TEST(Database, OpensCopiesOrRefuses) {
    lex::test::TempDir dir;
    FrequencyDatabase db;
    EXPECT_THROW(db.open(dir / "f.mdb", dir / "f.mmm"), lex::LexError);
    EXPECT_FALSE(fs::exists(dir / "f.mdb"));
    fs::copy_file(lex::test::builtTemplate(), dir / "f.mmm");
    lex::test::writeBytes(dir / ".f.mdb.Killed", "");
    lex::test::writeBytes(dir / ".f.mdb.Recent", "");
    lex::test::writeBytes(dir / ".f.mdb.Import", "");
    fs::last_write_time(dir / ".f.mdb.Killed", fs::file_time_type::clock::now() - 1h);
    const int held = ::open((dir / ".f.mdb.Import").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    try {
        db.open(dir / "f.mdb", dir / "f.mmm", IfMissing::Refuse);
        ADD_FAILURE() << "a missing database opened";
    } catch (const lex::LexError &e) {
        EXPECT_EQ(e.message(), "找不到词频数据库：" + (dir / "f.mdb").string());
    }
    EXPECT_EQ(ToolDir::names(dir.path()), (std::vector<std::string>{".f.mdb.Import", "f.mmm"}));
    db.open(dir / "f.mdb", dir / "f.mmm", IfMissing::Leave);
    EXPECT_FALSE(db.isOpen());
    EXPECT_FALSE(fs::exists(dir / "f.mdb"));
    db.open(dir / "f.mdb", dir / "f.mmm");
    EXPECT_TRUE(fs::exists(dir / ".f.mdb.Import"));
    EXPECT_EQ(readBytes(dir / "f.mdb"), readBytes(dir / "f.mmm"));
    ::close(held); // the import is gone
    db.open(dir / "f.mdb", dir / "f.mmm");
    EXPECT_FALSE(fs::exists(dir / ".f.mdb.Import"));
    lex::test::writeBytes(dir / "g.mdb", "not a database");
    EXPECT_THROW(db.open(dir / "g.mdb", dir / "f.mmm"), lex::LexError);
    EXPECT_EQ(readBytes(dir / "g.mdb"), "not a database");
}

// An import into a database that is not there yet makes it.
TEST(Import, MakesAMissingDatabase) {
    ToolDir t;
    FrequencyDatabase fresh(t.dir / "new.mdb", t.files.templateFile, IfMissing::Leave);
    lex::test::writeLexicon(t.dir / "lexicon.txt", {u"中国", u"人民"});
    lex::NullPump pump;
    EXPECT_EQ(importLexicon(fresh, t.dir / "lexicon.txt", t.files.templateFile, pump).rows, 2);
    EXPECT_TRUE(fresh.isOpen());
    EXPECT_EQ(tableRows(fresh).size(), 2u);
}

// Falling Freq, then import order; the frequency filter ends the walk at the first row without
// a frequency; the length filter skips rows.
TEST(Export, WritesTheRowsInOrderThroughTheFilters) {
    const std::pair<ExportOptions, std::vector<std::u16string_view>> cases[] = {
        {{}, {u"中国", u"人民", u"中华人民", u"共和国", u"中国zg", u"北京"}},
        {{true, false}, {u"中国", u"人民", u"中华人民", u"共和国"}},
        {{false, true, 2, 3}, {u"中国", u"人民", u"共和国", u"中国zg", u"北京"}},
        {{true, true, 3, 4}, {u"中华人民", u"共和国"}},
        {{false, true, 5, 10}, {}}};
    ToolDir t;
    t.import({u"中国zg", u"人民", u"中华人民", u"北京", u"共和国", u"中国"});
    t.setFreqs({0, 3, 3, 0, 1, 9});
    lex::NullPump pump;
    for (const auto &[options, lines] : cases) {
        const ExportResult r = exportLexicon(t.db, t.dir / "out.txt", options, pump);
        std::string expected;
        for (auto line : lines)
            expected += lex::test::gbk(line) + "\r\n";
        EXPECT_EQ(readBytes(t.dir / "out.txt"), expected) << options.l1 << options.freqOnly;
        EXPECT_EQ(r.written, int64_t(lines.size()));
        EXPECT_FALSE(r.empty);
    }
}

// No rows: an empty file and "词库表无记录！"; no frequencies yet with the frequency filter: an
// empty file that is no failure.
TEST(Export, EmptyTableAndNoFrequencies) {
    ToolDir t;
    lex::NullPump pump;
    lex::test::writeBytes(t.dir / "out.txt", "old");
    EXPECT_TRUE(exportLexicon(t.db, t.dir / "out.txt", {}, pump).empty);
    EXPECT_EQ(readBytes(t.dir / "out.txt"), "");
    t.import({u"中国"});
    EXPECT_FALSE(exportLexicon(t.db, t.dir / "out.txt", {true, false}, pump).empty);
    EXPECT_EQ(readBytes(t.dir / "out.txt"), "");
}

// The option dialog's rule for the typed lengths, and what counts as a number.
TEST(Options, LengthsAreClampedAsTheDialogDoes) {
    const std::tuple<const char *, const char *, int, int> cases[] = {
        {"2", "10", 2, 10},  {"1", "5", 2, 5},  {"11", "5", 2, 5},          {"5", "3", 5, 5},
        {" 4 ", "+6", 4, 6}, {"abc", "", 2, 2}, {"10", "99999", 10, 32767}, {"3.5", "7", 2, 7}};
    for (auto [t1, t2, want1, want2] : cases) {
        int l1 = 0, l2 = 0;
        clampLengths(t1, t2, l1, l2);
        EXPECT_EQ(std::make_pair(l1, l2), std::make_pair(want1, want2)) << t1 << "," << t2;
    }
}

} // namespace
