// lexcli lexmerge: union, intersection, difference and word deletion, through the same engine
// call as lexmerge's Form1.
#include "lexcli/cli.h"

#include "lexmerge/set_operations.h"
#include "shared/formats/foreign_lexicon.h"
#include "shared/lexcore/report.h"

namespace lex::cli {
namespace {

using lexmerge::SetOperation;

constexpr const char *kUnionUsage = "lexcli lexmerge union A [B] -o OUT [--weights R] [--by-word]";
constexpr const char *kIntersectUsage =
    "lexcli lexmerge intersect A [B] -o OUT [--weights R] [--by-word]";
constexpr const char *kDifferenceUsage = "lexcli lexmerge difference A [B] -o OUT [--by-word]";
constexpr const char *kDeleteUsage = "lexcli lexmerge delete A [B] -o OUT [--by-word]";

int runSet(Context &ctx, ArgParser &p, SetOperation op) {
    auto output = p.option("-o");
    auto weights = p.option("--weights");
    lexmerge::ForeignMergeOptions foreign;
    foreign.byWord = p.flag("--by-word");
    auto inputs = ctx.inputs(p, 1, 2);
    if (!p.ok() || !output)
        return ctx.usage(p.ok() ? "缺少 -o 输出文件" : p.error());
    if (weights) {
        const auto rule = formats::weightRuleByName(*weights);
        if (!rule)
            return ctx.usage("--weights 只能是 max、sum、first 或 second");
        foreign.weights = *rule;
    }
    const std::filesystem::path one = inputs[0];
    const std::filesystem::path two = inputs.size() > 1 ? inputs[1] : std::string();
    const std::filesystem::path out = *output;
    lexmerge::MergePaths paths{[&] { return one; }, [&] { return two; }, [&] { return out; },
                               /*readAhead=*/true};
    const int start = timeOfDayNow();
    EntryHashSet set = lexmerge::makeMergeSet();
    auto result = lexmerge::runSetOperation(op, set, paths, ctx.pump, foreign);
    return ctx.report(result.shape + lexmerge::reportText(op, result, elapsedText(start)));
}

int unionOp(Context &ctx, ArgParser &p) {
    return runSet(ctx, p, SetOperation::Union);
}
int intersectOp(Context &ctx, ArgParser &p) {
    return runSet(ctx, p, SetOperation::Intersection);
}
int differenceOp(Context &ctx, ArgParser &p) {
    return runSet(ctx, p, SetOperation::Difference);
}
int deleteOp(Context &ctx, ArgParser &p) {
    return runSet(ctx, p, SetOperation::Deletion);
}

constexpr const char *kAbsentTwo =
    "  省略 B 时词库二为空。\n"
    "  A 是 Rime（*.dict.yaml）、fcitx5、libpinyin 等其它程序的词库时，按 A 的格式处理：\n"
    "  文件头原样保留，词条按词和编码比较（--by-word：只按词；任一词库没有编码时也只按词），\n"
    "  结果按 A 的格式、编码和换行写出；B 可以是任何格式。\n"
    "  --weights R      同一词条两个权重的合并规则：max（默认，取大）、sum（相加；fcitx5\n"
    "                   的代价按其概率相加）、first（取词库一的）、second（取词库二的）\n";

} // namespace

const ToolCli &lexmergeCli() {
    static const ToolCli cli{
        "词库并集、交集、差集与删词",
        {{"union", kUnionUsage, "并集：两个词库的全部词条（去重，按首次出现的顺序）", unionOp,
          kAbsentTwo, kAllSizeOptions | kFormatOption},
         {"intersect", kIntersectUsage, "交集：词库二中也出现在词库一里的词条", intersectOp,
          kAbsentTwo, kAllSizeOptions | kFormatOption},
         {"difference", kDifferenceUsage, "差集：只出现在其中一个词库里的词条", differenceOp,
          kAbsentTwo, kAllSizeOptions | kFormatOption},
         {"delete", kDeleteUsage, "删词：词库一去掉词库二的词条", deleteOp, kAbsentTwo,
          kAllSizeOptions | kFormatOption}}};
    return cli;
}

} // namespace lex::cli
