// lexcli pintop: fixed-top lexicon generation and duplicate-code removal, through the same
// engine calls as pintop's Form1 and Form2.
#include "lexcli/cli.h"

#include "pintop/char_readings.h"
#include "pintop/code_dedup.h"
#include "pintop/fixed_top.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/report.h"

namespace lex::cli {
namespace {

constexpr const char *kGenerateUsage = "lexcli pintop generate IN -o OUT [--separator C] "
                                       "[--long keep|initials|first6|omit] [--table FILE]";
constexpr const char *kDedupUsage = "lexcli pintop dedup IN -o OUT [--keep 1|2|3]";

int generate(Context &ctx, ArgParser &p) {
    auto out = p.option("-o");
    auto separator = p.option("--separator");
    auto longWords = p.option("--long");
    auto table = ctx.inputOption(p, "--table");
    auto inputs = ctx.inputs(p, 1, 1);
    if (!p.ok() || !out)
        return ctx.usage(p.ok() ? "缺少 -o 输出文件" : p.error());
    pintop::GenerateOptions options;
    if (separator) {
        std::u16string sep = fromUtf8(*separator);
        if (sep.size() != 1)
            return ctx.usage("--separator 需要一个字符");
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
            return ctx.usage("--long 只能是 keep、initials、first6 或 omit");
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
        return ctx.failOpen(pintop::kOpenFailed, {inputs[0]});
    return ctx.report(r.shape + pintop::generateReport(r.count, start));
}

int dedup(Context &ctx, ArgParser &p) {
    auto out = p.option("-o");
    auto keep = p.option("--keep");
    auto inputs = ctx.inputs(p, 1, 1);
    if (!p.ok() || !out)
        return ctx.usage(p.ok() ? "缺少 -o 输出文件" : p.error());
    int limit = 1;
    if (keep) {
        if (*keep != "1" && *keep != "2" && *keep != "3")
            return ctx.usage("--keep 只能是 1、2 或 3");
        limit = (*keep)[0] - '0';
    }
    const int start = timeOfDayNow();
    auto r = pintop::removeDuplicateCodes(inputs[0], *out, limit, ctx.pump);
    if (!r.inputFound)
        return ctx.failOpen(pintop::kOpenFailed, {inputs[0]});
    return ctx.report(pintop::dedupReport(r.kept, start));
}

} // namespace

const ToolCli &pintopCli() {
    static const ToolCli cli{
        "固顶词库：生成固顶词库（generate），去重复编码（dedup）",
        {{"generate", kGenerateUsage, "标准词库 >> 固顶词库（读音取自数据目录的 dz.lxd）", generate,
          "  --separator C   音节分隔符（一个字符，默认 -；只有 - 会从编码中删除）\n"
          "  --long MODE     长度大于三字的词条：keep 不作例外（默认），initials\n"
          "                  首字母简拼，first6 整词前六字母，omit 不加入\n"
          "  --table FILE    使用自定义替换表文件\n"
          "  IN 也可以是 Rime、fcitx5、libpinyin 等其它程序的词库：只读其中的词条（词与编码），\n"
          "  文件头与注释不算词\n"},
         {"dedup", kDedupUsage, "去固顶词库的重复编码", dedup,
          "  --keep N   每个编码保留的行数：1 保留固顶首选词（默认），2 二重码，\n"
          "             3 三重码；保留两行以上时输出中的 - 全部删除\n",
          kMemoryOption | kTempDirOption}}};
    return cli;
}

} // namespace lex::cli
