// lexcli lexsort: the four sorts, through the same engine calls as lexsort's Form1, Form2 and
// Form4.
#include "lexcli/cli.h"

#include "lexsort/foreign_sort.h"
#include "lexsort/length_sort.h"
#include "lexsort/line_sort.h"
#include "lexsort/reference_sort.h"
#include "shared/formats/foreign_lexicon.h"
#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/report.h"

namespace lex::cli {
namespace {

constexpr const char *kLengthUsage = "lexcli lexsort length IN -o OUT";
constexpr const char *kReferenceUsage = "lexcli lexsort reference IN REF -o OUT";
constexpr const char *kStrokeUsage = "lexcli lexsort stroke IN -o OUT";
constexpr const char *kPinyinUsage = "lexcli lexsort pinyin IN -o OUT";
constexpr const char *kWeightUsage = "lexcli lexsort weight IN -o OUT";

// The inputs and -o of an operation; nothing after the usage message (the operation returns
// kExitUsage).
std::optional<std::vector<std::string>> paths(Context &ctx, ArgParser &p, size_t inputs,
                                              std::string &output) {
    auto out = p.option("-o");
    auto rest = ctx.inputs(p, inputs, inputs);
    if (!p.ok() || !out) {
        ctx.usage(p.ok() ? "缺少 -o 输出文件" : p.error());
        return std::nullopt;
    }
    output = *out;
    return rest;
}

int finish(Context &ctx, const lexsort::SortResult &result, std::string_view missing,
           const std::string &input, int start) {
    if (!result.inputFound)
        return ctx.failOpen(std::string(missing), {input});
    return ctx.report(result.shape + lexsort::reportText(result.count, elapsedText(start)));
}

int length(Context &ctx, ArgParser &p) {
    std::string out;
    auto in = paths(ctx, p, 1, out);
    if (!in)
        return kExitUsage;
    const int start = timeOfDayNow();
    auto result = lexsort::sortByLength((*in)[0], out, ctx.pump);
    return finish(ctx, result, lexsort::kOpenFileFailed, (*in)[0], start);
}

int reference(Context &ctx, ArgParser &p) {
    std::string out;
    auto in = paths(ctx, p, 2, out);
    if (!in)
        return kExitUsage;
    const std::filesystem::path base = (*in)[0], ref = (*in)[1];
    // The window goes on without a reference that is gone; so does the command, but says so
    // where a script sees it apart from the report.
    if (fileExists(base) && !fileExists(ref)) {
        ctx.err << "参照词库不存在，按原始词库的顺序输出：" << ref.string() << "\n";
        ctx.err.flush();
    }
    const int start = timeOfDayNow();
    EntryHashSet set(KeyVariant::Standard);
    auto result = lexsort::sortByReference(set, base, ref, out, ctx.pump);
    return finish(ctx, result, lexsort::kOpenLexiconFailed, (*in)[0], start);
}

int sortIn(Context &ctx, ArgParser &p, lexsort::SortMode mode) {
    std::string out;
    auto in = paths(ctx, p, 1, out);
    if (!in)
        return kExitUsage;
    const int start = timeOfDayNow();
    auto result = lexsort::sortLines((*in)[0], out, mode, ctx.pump);
    return finish(ctx, result, lexsort::kOpenFileFailed, (*in)[0], start);
}

int stroke(Context &ctx, ArgParser &p) {
    return sortIn(ctx, p, lexsort::SortMode::Stroke);
}

int pinyin(Context &ctx, ArgParser &p) {
    return sortIn(ctx, p, lexsort::SortMode::Pinyin);
}

int weight(Context &ctx, ArgParser &p) {
    std::string out;
    auto in = paths(ctx, p, 1, out);
    if (!in)
        return kExitUsage;
    const int start = timeOfDayNow();
    if (!fileExists((*in)[0]))
        return ctx.failOpen(std::string(lexsort::kOpenFileFailed), {(*in)[0]});
    const formats::Format format =
        formats::foreignFormat((*in)[0]).value_or(formats::Format::Quillo);
    auto result =
        lexsort::sortForeign((*in)[0], format, out, lexsort::ForeignOrder::Weight, ctx.pump);
    return finish(ctx, result, lexsort::kOpenFileFailed, (*in)[0], start);
}

} // namespace

const ToolCli &lexsortCli() {
    static const ToolCli cli{
        "词库排序：按词条长度（length）、其它词库（reference）、笔画（stroke）、拼音（pinyin）、权"
        "重（weight）",
        {{"length", kLengthUsage, "按词条长度排序（2 到 30 字，其余排在最后）", length,
          "  开头以 ; 开头的注释行被去掉；同样长度的行保持原来的顺序\n",
          kMemoryOption | kTempDirOption | kFormatOption},
         {"reference", kReferenceUsage, "按其它词库（REF）的顺序排序，重复的行只保留一行",
          reference,
          "  REF 中也有的行按 REF 的顺序排在前面，其余的行按原来的顺序排在后面；\n"
          "  空行、不以汉字开头的行和少于两个汉字的行不输出。\n"
          "  REF 不存在时同窗口一样按原始词库的顺序输出，退出状态仍为 0，\n"
          "  但在标准错误上给出“参照词库不存在，按原始词库的顺序输出：REF”\n",
          kAllSizeOptions | kFormatOption},
         {"stroke", kStrokeUsage, "按汉字笔画排序（Unicode 编码顺序）", stroke,
          "  全部行（包括空行和重复行）都保留\n", kMemoryOption | kTempDirOption | kFormatOption},
         {"pinyin", kPinyinUsage, "按汉字拼音排序（不区分大小写和全半角）", pinyin,
          "  全部行（包括空行和重复行）都保留\n", kMemoryOption | kTempDirOption | kFormatOption},
         {"weight", kWeightUsage, "按权重从大到小排序（同权重保持原来的顺序）", weight,
          "  词库自身的格式：权重在行末的 TAB 之后；Rime、fcitx5、libpinyin 等格式按其权重列。\n"
          "  没有权重的词条排在最后（Rime 的百分比权重排在数值之后）；\n"
          "  文件头、注释和空行原样保留在词条之前\n",
          kFormatOption}}};
    return cli;
}

} // namespace lex::cli
