// lexcli lexconv: converts lexicons between formats, through the same engine call as lexconv's
// Form1.
#include "lexcli/cli.h"

#include "shared/formats/conversion.h"
#include "shared/lexcore/report.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <ostream>

namespace lex::cli {
namespace {

namespace fs = std::filesystem;
using namespace formats;

constexpr const char *kConvertUsage =
    "lexcli lexconv convert IN -o OUT --to FORMAT [--from FORMAT] [--weight N | "
    "--weight-by-order | --default-weight N] [--no-dedup] [--quillo-weights] [--ue lue|lve] "
    "[--follow-imports] [--all-readings]";
constexpr const char *kFormatsUsage = "lexcli lexconv formats";

// A number as the options take it: all of the text, finite.
std::optional<double> number(const std::string &text) {
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

int convert(Context &ctx, ArgParser &p) {
    auto output = p.option("-o");
    auto to = p.option("--to");
    auto from = p.option("--from");
    auto weight = p.option("--weight");
    const bool byOrder = p.flag("--weight-by-order");
    auto defaultWeight = p.option("--default-weight");
    const bool followImports = p.flag("--follow-imports");
    const bool allReadings = p.flag("--all-readings");
    const bool noDedup = p.flag("--no-dedup");
    const bool quilloWeights = p.flag("--quillo-weights");
    auto ue = p.option("--ue");
    auto inputs = ctx.inputs(p, 1, 1);
    if (!p.ok())
        return ctx.usage(p.error());
    if (!output)
        return ctx.usage("缺少 -o 输出文件");
    // Without --to, an output name that only one format takes names it.
    if (!to) {
        const std::string name = std::filesystem::path(*output).filename().string();
        if (name.ends_with(".dict.yaml"))
            to = "rime";
        else if (name.starts_with("custom_phrase") && name.ends_with(".txt"))
            to = "rime-custom";
    }
    if (!to)
        return ctx.usage("缺少 --to 目标格式（" + formatList() + "）");
    ConvertOptions options;
    if (auto message = targetFormat(*to, ctx.pump.context().forcedEncoding(), options.to))
        return ctx.usage(*message);
    if (from && !std::ranges::equal(*from, std::string_view("auto"), {}, [](char c) {
            return char(std::tolower(static_cast<unsigned char>(c)));
        })) {
        options.from = formatByName(*from);
        if (!options.from)
            return ctx.usage("--from 只能是 auto 或 " + formatList());
    }
    if (weight && !(options.weight = number(*weight)))
        return ctx.usage("--weight 需要一个数字");
    if (weight && byOrder)
        return ctx.usage("--weight 与 --weight-by-order 只能给出其中一个");
    if (defaultWeight) {
        options.defaultWeight = number(*defaultWeight);
        if (!options.defaultWeight || *options.defaultWeight < 0)
            return ctx.usage("--default-weight 需要一个不小于 0 的数（次数）");
        if (weight || byOrder)
            return ctx.usage("--default-weight 不能与 --weight、--weight-by-order 同用");
    }
    options.followImports = followImports;
    options.allReadings = allReadings;
    options.weightByOrder = byOrder;
    options.dedup = !noDedup;
    options.quilloWeights = quilloWeights;
    if (ue) {
        if (*ue != "lue" && *ue != "lve")
            return ctx.usage("--ue 只能是 lue 或 lve");
        options.ue = *ue == "lue" ? UeSpelling::Ue : UeSpelling::Ve;
    }
    const int start = timeOfDayNow();
    Annotator annotator(ctx.dataDir(), ctx.pump);
    const ConvertResult r = convertLexicon(inputs[0], *output, options, annotator, ctx.pump);
    if (!r.inputFound)
        return ctx.failOpen(kOpenFailed, {inputs[0]});
    if (r.rejected > 0 && !r.rejects.empty())
        ctx.err << "注意：" << r.rejected << " 行未能转换，原因写在 " << r.rejects.string() << "\n";
    return ctx.report(convertReport(r, elapsedText(start)));
}

int formats(Context &ctx, ArgParser &p) {
    ctx.inputs(p, 0, 0);
    if (!p.ok())
        return ctx.usage(p.error());
    for (const FormatInfo &f : allFormats()) {
        const std::string name = f.name;
        ctx.out << "  " << name << std::string(name.size() < 13 ? 13 - name.size() : 1, ' ')
                << f.caption << (f.writable ? "" : "") << "\n";
    }
    ctx.out.flush();
    return kExitDone;
}

constexpr const char *kConvertHelp =
    "  --to FORMAT        目标格式（输出名是 *.dict.yaml、custom_phrase*.txt 时可省）\n"
    "  --from FORMAT      源格式，默认 auto：由文件名与内容识别\n"
    "  --weight N         每个词条的权重都是 N\n"
    "  --weight-by-order  按输入顺序给出递减的权重（第一条最大）\n"
    "  --no-dedup         不合并重复词条，逐行写出（不占用与词条数成正比的内存）\n"
    "  --quillo-weights   目标为 quillo 时，把权重写在 Tab 之后\n"
    "  --ue lue|lve       lüe、nüe 的写法（默认按目标格式：Rime、fcitx5、libpinyin 用 lve）\n"
    "  --default-weight N 没有权重的词条的权重，一个次数（fcitx5 换算成代价）；默认为目标格式\n"
    "                     中最低的权重\n"
    "  --follow-imports   目标为 Rime 时，把 import_tables 所列的词典也转换进输出（文件头去掉\n"
    "                     import_tables）；转换成其他格式时总是如此\n"
    "  --all-readings     无编码的多音词写出 librime 会给它的每个读音（Rime 源用其单字的读音：\n"
    "                     权重不低于该字总权重 5% 的读音），默认只写一个\n"
    "  词相同、编码相同的行只留一行（权重取较大者）。缺拼音的词用 dz.txt 与 zn.lxd 自动注音；\n"
    "  未能转换的行写到 OUT.rejects.txt（行号、原因、原行）。格式一览：lexcli lexconv formats\n";

} // namespace

const ToolCli &lexconvCli() {
    static const ToolCli cli{
        "词库转换：标准词库、Rime、fcitx5、ibus-libpinyin 与常见输入法导出格式互转",
        {{"convert", kConvertUsage, "转换词库格式", convert, kConvertHelp},
         {"formats", kFormatsUsage, "列出能读写的格式", formats}}};
    return cli;
}

} // namespace lex::cli
