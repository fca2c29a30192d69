#pragma once
// Frequency statistics over a corpus: every file is one article, counted as CountArticle counts
// it (each row whose word occurs in the file, compared without regard to case, gets one more
// count), on every core, and in parts that a merge puts together (a cluster's workers).
//
// The database changes once, at the end, in one transaction: each row gains the number of files
// in which its word occurs, which is what the per-article walk adds up to over the same files
// (same rows, same frequencies). The corpus itself stays where it is; nothing moves into
// "已阅文章", since a corpus is a source shared by many runs, not a folder of unread articles.
//
// A file is read a buffer at a time (never whole) through CorpusReader, so compressed files
// count as the articles they hold; it is decoded as an article is (UTF-8 when all of it is,
// else code page 936): a file that begins as UTF-8 and turns out not to be is scanned again.

#include "freqtune/frequency_database.h"
#include "shared/lexcore/corpus_input.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace lex::freqtune {

struct ArticleCounts {
    // Case-folded words of the database and the number of files each occurs in (1 or more),
    // ascending.
    std::vector<std::pair<std::u16string, int64_t>> words;
    int64_t articles = 0;
    std::string fingerprint; // of the database's words, which a merge checks
};

// What identifies the words of a database: two databases with the same words (case-folded)
// have the same fingerprint, whatever their frequencies.
std::string databaseWordsFingerprint(FrequencyDatabase &db);

// Counts `files`, each as one article, with `threads` workers. `noRows` is set (and nothing
// counted) when the table has no row.
ArticleCounts countArticles(FrequencyDatabase &db, const std::vector<CorpusFile> &files,
                            int threads, EventPump &pump, bool &noRows);

// Raises Freq of every row whose word `counts` holds by its count, in one transaction.
// Returns the counts added. Throws LexError when the counts were made with other words.
int64_t applyArticleCounts(FrequencyDatabase &db, const ArticleCounts &counts);

// Partial counts (partial_counts.h, kind "freqtune").
void writeArticlePartial(const ArticleCounts &counts, const std::filesystem::path &path);
ArticleCounts mergeArticlePartials(const std::vector<std::filesystem::path> &paths);

} // namespace lex::freqtune
