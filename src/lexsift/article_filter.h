#pragma once
// Filter by article: keeps every line of a source lexicon whose word (entryWord) occurs in an
// article, once per line, in source order. The article is one string with its line ends, so a
// word split by a line break does not occur.
//
// Searching the article once per line costs lines x article length; instead one keyword
// automaton over the distinct words runs once over the article and marks the words it meets.
// The stop behaves as if each line were searched in turn: reading stops at the first yield
// (every 20,000 lines) that sees a stop, and the writing loop leaves at the first of its own.

#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace lex::lexsift {

struct ArticleResult {
    bool sourceFound = false;  // false: nothing was read or written
    bool articleFound = false; // false: the source was read, nothing written
    int64_t written = 0;
    bool stopped = false; // a stop request ended the reading or the writing early
    // A source of another program's format, kept in its shape: the report's lines about it.
    std::string shape;
};

// Throws LexError when an input cannot be read or the target cannot be written; the target is
// then left as it was.
ArticleResult filterByArticle(const std::filesystem::path &source,
                              const std::filesystem::path &article,
                              const std::filesystem::path &target, EventPump &pump);

} // namespace lex::lexsift
