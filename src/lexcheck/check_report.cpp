#include "lexcheck/check_report.h"

#include "shared/lexcore/cp936.h"

#include <cstdio>

namespace lex::lexcheck {

namespace {

std::string jsonString(std::string_view s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A TSV field: tabs and line ends would split the row.
std::string tsvField(std::string s) {
    for (char &c : s)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return s;
}

} // namespace

std::optional<ReportFormat> reportFormatByName(std::string_view name) {
    if (name == "text")
        return ReportFormat::Text;
    if (name == "tsv")
        return ReportFormat::Tsv;
    if (name == "json")
        return ReportFormat::Json;
    return std::nullopt;
}

std::string findingLine(const CheckResult &result, const Finding &f) {
    const CheckInfo &c = checkInfo(f.check);
    return result.files[f.file] + ":" + std::to_string(f.line) + ": " + severityName(c.severity) +
           ": " + c.id + ": " + f.message;
}

std::string summaryText(const CheckResult &result, const std::bitset<kCheckCount> &checks) {
    std::string out = "检查结果（" + std::to_string(result.files.size()) + " 个文件，" +
                      std::to_string(result.lines) + " 行，" + std::to_string(result.entries) +
                      " 个词条）：\n";
    for (const CheckInfo &c : allChecks()) {
        if (!checks[size_t(c.check)])
            continue;
        const std::string id = c.id;
        out += "  " + id + std::string(id.size() < 18 ? 18 - id.size() : 1, ' ') +
               severityName(c.severity) +
               std::string(c.severity == Severity::Info    ? 5
                           : c.severity == Severity::Error ? 4
                                                           : 2,
                           ' ') +
               std::to_string(result.counts[size_t(c.check)]) + "\t" + c.caption + "\n";
    }
    out += "错误 " + std::to_string(result.count(Severity::Error)) + " 处，警告 " +
           std::to_string(result.count(Severity::Warning)) + " 处，提示 " +
           std::to_string(result.count(Severity::Info)) + " 处";
    if (result.stopped)
        out += "（检查被中断）";
    return out + "\n";
}

std::string reportText(const CheckResult &result, ReportFormat format,
                       const std::bitset<kCheckCount> &checks) {
    std::string out;
    switch (format) {
    case ReportFormat::Text:
        for (const Finding &f : result.findings)
            out += findingLine(result, f) + "\n";
        return out + summaryText(result, checks);
    case ReportFormat::Tsv:
        out = "file\tline\tseverity\tcheck\tword\tmessage\n";
        for (const Finding &f : result.findings) {
            const CheckInfo &c = checkInfo(f.check);
            out += tsvField(result.files[f.file]) + "\t" + std::to_string(f.line) + "\t" +
                   severityName(c.severity) + "\t" + c.id + "\t" + tsvField(toUtf8(f.word)) + "\t" +
                   tsvField(f.message) + "\n";
        }
        return out;
    case ReportFormat::Json:
        break;
    }
    out = "{\"findings\": [";
    for (size_t i = 0; i < result.findings.size(); ++i) {
        const Finding &f = result.findings[i];
        const CheckInfo &c = checkInfo(f.check);
        out += std::string(i ? ",\n  " : "\n  ") +
               "{\"file\": " + jsonString(result.files[f.file]) +
               ", \"line\": " + std::to_string(f.line) + ", \"severity\": \"" +
               severityName(c.severity) + "\", \"check\": \"" + c.id +
               "\", \"word\": " + jsonString(toUtf8(f.word)) +
               ", \"message\": " + jsonString(f.message) +
               ", \"fixable\": " + (f.fixable ? "true" : "false") + "}";
    }
    out += "],\n \"summary\": {";
    bool first = true;
    for (const CheckInfo &c : allChecks()) {
        if (!checks[size_t(c.check)])
            continue;
        out += std::string(first ? "" : ", ") + "\"" + c.id +
               "\": " + std::to_string(result.counts[size_t(c.check)]);
        first = false;
    }
    out += "},\n \"errors\": " + std::to_string(result.count(Severity::Error)) +
           ", \"warnings\": " + std::to_string(result.count(Severity::Warning)) +
           ", \"infos\": " + std::to_string(result.count(Severity::Info)) +
           ", \"lines\": " + std::to_string(result.lines) + "}\n";
    return out;
}

std::string fixReport(const FixResult &fix, const std::string &output) {
    std::string out;
    for (const FixChange &c : fix.changes) {
        out += "第 " + std::to_string(c.line) + " 行：" + c.note + "：" + toUtf8(c.before);
        if (!c.after.empty())
            out += " → " + toUtf8(c.after);
        out += "\n";
    }
    return out + "已修正 " + std::to_string(fix.changes.size()) + " 行，写出 " +
           std::to_string(fix.written) + " 行到 " + output + "\n";
}

} // namespace lex::lexcheck
