#pragma once
// Frequency statistics from articles ("词频统计"): every row of WordLib whose word occurs in an
// article, compared without regard to case, gets one more count in Freq (one per article, not
// per occurrence); the article then moves from "未阅文章" to "已阅文章".
//
// The rows are walked in the order of the statistics cursor, rising Freq then SeqNo, fixed
// when the run starts; a stop request is seen after the row being handled, so the rows before
// it in that order are counted and the rest are not. Instead of one substring search per row,
// the article is scanned once by an automaton of all the words (built once per run); the rows
// whose word it found and that the walk reached are raised.
//
// Raising a row rewrites its page, and the rows an article raises lie all over the table, so a
// transaction per article would rewrite most of the table per article. The counts gather in
// memory instead and are committed together with the moves of their articles: at the end of
// the run and every few seconds within a long one. Killed before a commit, the run leaves both
// the database and the articles of the uncommitted counts as they were.

#include "freqtune/frequency_database.h"
#include "shared/lexcore/word_automaton.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace lex::freqtune {

struct ArticleCount {
    bool counted = false; // false: the article was gone (or no file) by its turn
    int64_t walked = 0;   // rows walked before the end or the stop
    int64_t raised = 0;   // rows whose Freq goes up
    bool stopped = false; // the walk ended at a stop request
};

// The statistics cursor of one run: the rows in walk order and the automaton of their words.
class StatisticsRun {
public:
    // With `move` false the articles stay where they are (files a command line names); an article
    // is still counted once however often it is given.
    StatisticsRun(FrequencyDatabase &db, std::filesystem::path readFolder, EventPump &pump,
                  bool move = true);
    // Counts not committed are dropped; their articles stay where they were.
    ~StatisticsRun();

    bool empty() const { return m_rowid.empty(); }
    int64_t rowCount() const { return int64_t(m_rowid.size()); }

    // CountArticle: counts `article` (read whole as code page 936); the commit moves it into
    // the read folder under its own name, replacing a file of that name. An article counted
    // and not yet committed counts as gone.
    ArticleCount countArticle(const std::filesystem::path &article, EventPump &pump);
    // Writes the counts so far and moves their articles, all or nothing. Returns the number of
    // articles committed. The last commit of a run is its commit point (commitPoint): an
    // interrupt after it finds the run done.
    int commit(bool last = false);

private:
    FrequencyDatabase &m_db;
    std::filesystem::path m_readFolder;
    bool m_move;
    WordAutomaton m_words;            // over the rows' words, case-folded
    std::vector<int32_t> m_idOfNode;  // per node: the word id of its rows, or -1
    int32_t m_emptyWord = -1;         // the id of the empty word, if a row has it
    std::vector<uint32_t> m_met;      // the nodes an article's scan met
    std::vector<int64_t> m_rowid;     // per walk position
    std::vector<int32_t> m_wordStart; // per word: where its walk positions start in m_rows
    std::vector<int32_t> m_rows;      // walk positions, ascending within each word
    std::vector<int32_t> m_found;
    std::vector<int32_t> m_added;                 // per walk position: counts not yet committed
    std::vector<int32_t> m_touched;               // the walk positions whose m_added is not 0
    std::vector<std::filesystem::path> m_pending; // articles of the uncommitted counts
    std::set<std::pair<uint64_t, uint64_t>> m_leaving; // those that move: device, inode
};

// The files that `folder` holds (regular files, by name); none when it is missing.
std::vector<std::filesystem::path> listArticles(const std::filesystem::path &folder);

// The text of an article: its bytes decoded as code page 936, whatever they are. Nothing when
// it is not (or no longer) a regular file.
std::optional<std::u16string> readArticle(const std::filesystem::path &path);

// Moves `from` into `folder` under its own name (a file of that name is replaced) and returns
// the new path; returns an empty path when `from` already is that file.
std::filesystem::path moveArticle(const std::filesystem::path &from,
                                  const std::filesystem::path &folder);

struct StatisticsResult {
    bool noRows = false; // "词库表无记录！": nothing was touched
    int articles = 0;    // articles counted (and moved, unless they stay)
    int64_t raised = 0;  // counts added
    bool stopped = false;
};

// A long run commits after an article once this many seconds passed since the last commit.
inline constexpr int kCommitEverySeconds = 3;

// The statistics run over `articles`, in order, until a stop request.
// `moveArticles` false: the articles stay where they are.
StatisticsResult runStatistics(FrequencyDatabase &db,
                               const std::vector<std::filesystem::path> &articles,
                               const std::filesystem::path &readFolder, EventPump &pump,
                               bool moveArticles = true);

} // namespace lex::freqtune
