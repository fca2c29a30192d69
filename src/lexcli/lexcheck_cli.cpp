// lexcli lexcheck: the checks of lexcheck's window over the named lexicons, findings on standard
// output (or --report FILE), the exit status a CI gate reads: 0 no error, 1 errors, 2 usage.
#include "lexcli/cli.h"
#include "lexcli/input_staging.h"

#include "lexcheck/check_report.h"
#include "lexcheck/lexicon_check.h"
#include "shared/lexcore/atomic_output.h"

#include <charconv>
#include <ostream>

namespace lex::cli {
namespace {

namespace fs = std::filesystem;
using namespace lexcheck;

constexpr const char *kCheckUsage =
    "lexcli lexcheck check LEXICON... [--from FORMAT] [--report FILE] [--report-format "
    "text|tsv|json] "
    "[--checks LIST] [--charset gb2312|gbk|FILE] [--max-length N] [--fix -o OUT]";

std::string checkList() {
    std::string ids;
    for (const CheckInfo &c : allChecks())
        ids += std::string(ids.empty() ? "" : ",") + c.id;
    return ids;
}

// "--checks a,b,-c": only the named ones, or (all names with "-") every check but those.
std::optional<std::bitset<kCheckCount>> parseChecks(const std::string &list, std::string &bad) {
    std::bitset<kCheckCount> on, off;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        std::string name = list.substr(start, comma - start);
        start = comma + 1;
        if (name.empty())
            continue;
        const bool negated = name[0] == '-';
        if (negated)
            name.erase(0, 1);
        const std::optional<Check> c = checkById(name);
        if (!c) {
            bad = name;
            return std::nullopt;
        }
        (negated ? off : on).set(size_t(*c));
    }
    if (on.none())
        on.set();
    return on & ~off;
}

int check(Context &ctx, ArgParser &p) {
    auto from = p.option("--from");
    auto report = p.option("--report");
    auto reportFormat = p.option("--report-format");
    auto checks = p.option("--checks");
    auto charset = p.option("--charset");
    auto maxLength = p.option("--max-length");
    const bool fix = p.flag("--fix");
    auto output = p.option("-o");
    const std::vector<std::string> names = ctx.positionals(p, 1);
    if (!p.ok())
        return ctx.usage(p.error());

    CheckOptions options;
    if (from && *from != "auto") {
        options.from = formats::formatByName(*from);
        if (!options.from)
            return ctx.usage("--from 只能是 auto 或 lexcli lexconv formats 列出的格式");
    }
    ReportFormat format = ReportFormat::Text;
    if (reportFormat) {
        const auto f = reportFormatByName(*reportFormat);
        if (!f)
            return ctx.usage("--report-format 只能是 text、tsv 或 json");
        format = *f;
    }
    if (checks) {
        std::string bad;
        const auto set = parseChecks(*checks, bad);
        if (!set)
            return ctx.usage("未知检查项 " + bad + "（可用：" + checkList() + "）");
        options.checks = *set;
    }
    if (charset) {
        if (*charset == "gb2312") {
            options.charset = Charset::Gb2312;
        } else if (*charset == "gbk") {
            options.charset = Charset::Gbk;
        } else {
            options.charset = Charset::File;
            options.charsetFile = *charset;
        }
    }
    if (maxLength) {
        size_t n = 0;
        const auto [end, ec] =
            std::from_chars(maxLength->data(), maxLength->data() + maxLength->size(), n);
        if (ec != std::errc() || end != maxLength->data() + maxLength->size() || n == 0)
            return ctx.usage("--max-length 需要一个正整数");
        options.longWord = n;
    }
    if (fix && !output)
        return ctx.usage("--fix 需要 -o 输出文件");
    if (output && !fix)
        return ctx.usage("-o 只与 --fix 一起使用");
    if (fix && names.size() != 1)
        return ctx.usage("--fix 只能修正一个词库");
    options.prepareFix = fix;

    std::vector<std::string> paths = names;
    if (ctx.staging)
        for (size_t i = 0; i < paths.size(); ++i)
            paths[i] = ctx.staging->stage(names[i], ctx.pump.context(), i == 0);

    const CheckData data = loadCheckData(ctx.dataDir(), ctx.pump);
    LexiconCheck run(options, data, ctx.pump);
    for (size_t i = 0; i < paths.size(); ++i)
        run.checkFile(paths[i], names[i]);
    FixResult fixed;
    if (fix)
        fixed = run.fixLastFile(*output);
    const CheckResult &result = run.result();
    const std::string text = reportText(result, format, options.checks);
    if (report) {
        writeFileAtomically(*report, text, &ctx.pump.context());
        ctx.out << summaryText(result, options.checks);
    } else {
        ctx.out << text;
    }
    if (fix)
        ctx.out << fixReport(fixed, *output);
    ctx.out.flush();
    if (!ctx.out)
        return kExitFailure;
    const int64_t errors = fix ? result.unfixedErrors() : result.count(Severity::Error);
    return errors > 0 ? kExitFailure : kExitDone;
}

constexpr const char *kCheckHelp =
    "  （操作名 check 可省：lexcli lexcheck 词库.txt）\n"
    "  --from FORMAT          词库格式，默认 auto：由文件名与内容识别\n"
    "  --report FILE          检查结果写到 FILE（UTF-8），标准输出只给汇总\n"
    "  --report-format F      text（默认，FILE:LINE: severity: id: message）、tsv 或 json\n"
    "  --checks LIST          只做这些检查（逗号分隔；-id 表示除去），可用：\n"
    "                         invalid-syllable,count-mismatch,unknown-reading,unparsable,\n"
    "                         weight-conflict,ue-spelling,review-reading,duplicate,charset,\n"
    "                         traditional,private-use,weight-zero,mixed-script,long-word\n"
    "  --charset C            词库承诺的字符集：gb2312、gbk，或一个文件（其中的字都算在内）\n"
    "  --max-length N         超过 N 个字的词给出提示（默认 10）\n"
    "  --fix -o OUT           只做安全的修正（ü 的写法、编码的大小写与全角字母、合并重复词条\n"
    "                         并保留较大的权重），其余各行照原样写到 OUT，并列出改动\n"
    "  退出状态：0 没有错误，1 有错误（--fix 时：修正后仍有错误），2 用法错误。\n";

} // namespace

const ToolCli &lexcheckCli() {
    static const ToolCli cli{"词库检查：无效音节、音节数、读音、重复词条、字符集等",
                             {{"check", kCheckUsage, "检查词库", check, kCheckHelp}},
                             "check"};
    return cli;
}

} // namespace lex::cli
