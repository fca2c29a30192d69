// lexcli pintop: fixed-top lexicon generation and duplicate-code removal, through the same
// engine calls as pintop's Form1 and Form2.
#include "cli.h"

#include "char_readings.h"
#include "code_dedup.h"
#include "fixed_top.h"

#include "lexcore/cp936.h"
#include "lexcore/lexicon_files.h"
#include "lexcore/report.h"

#include <ostream>

namespace {

using namespace lex;
using namespace lex::cli;

const char *kGenerateUsage = "lexcli pintop generate IN -o OUT [--separator C] "
                             "[--long keep|initials|first6|omit] [--table FILE]";
const char *kDedupUsage = "lexcli pintop dedup IN -o OUT [--keep 1|2|3]";

void printHelp(std::ostream &os) {
    os << "用法: " << kGenerateUsage << "\n"
       << "      " << kDedupUsage << "\n\n"
       << "  generate  标准词库 >> 固顶词库（读音取自数据目录的 dz.lxd）\n"
       << "  dedup     去固顶词库的重复编码\n";
}

int generate(Context &ctx, ArgParser &p) {
    if (p.wantsHelp()) {
        ctx.out << "用法: " << kGenerateUsage << "\n\n"
                << "  --separator C   音节分隔符（一个字符，默认 -；只有 - 会从编码中删除）\n"
                << "  --long MODE     长度大于三字的词条：keep 不作例外（默认），initials\n"
                << "                  首字母简拼，first6 整词前六字母，omit 不加入\n"
                << "  --table FILE    使用自定义替换表文件\n";
        return kSuccess;
    }
    auto out = p.option("-o");
    auto separator = p.option("--separator");
    auto longWords = p.option("--long");
    auto table = p.option("--table");
    auto inputs = p.rest();
    if (!p.ok())
        return ctx.usage(p.error(), kGenerateUsage);
    if (inputs.size() != 1 || !out)
        return ctx.usage(inputs.size() > 1 ? "输入文件太多" : "缺少输入或输出文件", kGenerateUsage);
    pintop::GenerateOptions options;
    if (separator) {
        std::u16string sep = fromUtf8(*separator);
        if (sep.size() != 1)
            return ctx.usage("--separator 需要一个字符", kGenerateUsage);
        options.separator = sep[0];
    }
    if (longWords) {
        if (*longWords == "keep")
            options.longWords = pintop::LongWords::Keep;
        else if (*longWords == "initials")
            options.longWords = pintop::LongWords::Initials;
        else if (*longWords == "first6")
            options.longWords = pintop::LongWords::First6;
        else if (*longWords == "omit")
            options.longWords = pintop::LongWords::Omit;
        else
            return ctx.usage("--long 只能是 keep、initials、first6 或 omit", kGenerateUsage);
    }
    // The window quietly works without a table whose file is gone; asked for by name, a
    // missing table is a mistake worth stopping for.
    if (table && !fileExists(*table))
        return ctx.fail("找不到替换表文件：" + *table);
    const int start = timeOfDayNow();
    auto data =
        pintop::loadPintopData(ctx.dataFile(pintop::kReadingsFile),
                               table ? std::filesystem::path(*table) : std::filesystem::path());
    auto r = pintop::generateFixedTop(inputs[0], *out, *data, options, ctx.pump);
    if (!r.inputFound)
        return ctx.fail(pintop::kOpenFailed);
    return ctx.report(pintop::generateReport(r.count, start));
}

int dedup(Context &ctx, ArgParser &p) {
    if (p.wantsHelp()) {
        ctx.out << "用法: " << kDedupUsage << "\n\n"
                << "  --keep N   每个编码保留的行数：1 保留固顶首选词（默认），2 二重码，\n"
                << "             3 三重码；保留两行以上时输出中的 - 全部删除\n";
        return kSuccess;
    }
    auto out = p.option("-o");
    auto keep = p.option("--keep");
    auto inputs = p.rest();
    if (!p.ok())
        return ctx.usage(p.error(), kDedupUsage);
    if (inputs.size() != 1 || !out)
        return ctx.usage(inputs.size() > 1 ? "输入文件太多" : "缺少输入或输出文件", kDedupUsage);
    int limit = 1;
    if (keep) {
        if (*keep != "1" && *keep != "2" && *keep != "3")
            return ctx.usage("--keep 只能是 1、2 或 3", kDedupUsage);
        limit = (*keep)[0] - '0';
    }
    const int start = timeOfDayNow();
    auto r = pintop::removeDuplicateCodes(inputs[0], *out, limit, ctx.pump);
    if (!r.inputFound)
        return ctx.fail(pintop::kOpenFailed);
    return ctx.report(pintop::dedupReport(r.kept, start));
}

int runPintop(Context &ctx, std::vector<std::string> args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        printHelp(args.empty() ? ctx.err : ctx.out);
        return args.empty() ? kUsage : kSuccess;
    }
    const std::string op = args[0];
    ArgParser p(std::vector<std::string>(args.begin() + 1, args.end()));
    try {
        if (op == "generate")
            return generate(ctx, p);
        if (op == "dedup")
            return dedup(ctx, p);
    } catch (const LexError &e) {
        return ctx.fail(e.message());
    }
    ctx.err << "lexcli: 未知操作 pintop " << op << "\n";
    printHelp(ctx.err);
    return kUsage;
}

} // namespace

LEX_CLI_TOOL(pintop, "pintop", "固顶词库：生成固顶词库（generate），去重复编码（dedup）",
             runPintop);
