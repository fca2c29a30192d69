#pragma once
// The findings as text: one line per finding, "FILE:LINE: severity: id: message" (the form
// editors and CI read), or TSV or JSON rows for scripts; then a summary per check. And the list
// of what the safe fixes changed.

#include "lexcheck/lexicon_check.h"

#include <optional>
#include <string>
#include <string_view>

namespace lex::lexcheck {

enum class ReportFormat { Text, Tsv, Json };
std::optional<ReportFormat> reportFormatByName(std::string_view name);

// "FILE:LINE: severity: id: message".
std::string findingLine(const CheckResult &result, const Finding &finding);
// Every finding in `format`, then (for text and TSV) the summary; JSON holds both in one object.
// Lines end in LF.
std::string reportText(const CheckResult &result, ReportFormat format,
                       const std::bitset<kCheckCount> &checks);
// Per check run, its count; then the totals.
std::string summaryText(const CheckResult &result, const std::bitset<kCheckCount> &checks);
// What the fixes changed, a line per change, then their count.
std::string fixReport(const FixResult &fix, const std::string &output);

} // namespace lex::lexcheck
