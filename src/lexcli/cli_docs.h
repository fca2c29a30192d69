#pragma once
// The documents made from lexcli's table, so that every operation a build has is in them: the
// man page lexcli.1 (a section per tool, the usage, help and an example of every operation) and
// the bash completion (tools, operations, options, their fixed values, formats, files).

#include "lexcli/cli.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lex::cli {

// A command line that the usage line describes: optional parts left out, the first of each
// choice taken, every placeholder replaced by a sample value ("IN" 词库.txt, "FORMAT" rime).
std::string exampleFromUsage(std::string_view usage);

// The options an operation's usage and help name ("--db", "-o"), in order of appearance, once.
std::vector<std::string> optionsOf(const Operation &op);
// The fixed values an option takes in the usage line ("--keep 1|2|3" -> 1 2 3); none when free.
std::vector<std::string> valuesOf(const Operation &op, std::string_view option);

struct DocInfo {
    std::string version;              // the project's version
    std::string date;                 // the page's date, YYYY-MM-DD
    std::vector<std::string> formats; // the lexicon formats' names (--to, --from, --format)
};

std::string manPage(std::span<const ToolEntry> tools, const DocInfo &info);
std::string bashCompletion(std::span<const ToolEntry> tools, const DocInfo &info);

} // namespace lex::cli
