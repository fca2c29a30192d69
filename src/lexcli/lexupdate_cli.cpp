// lexcli lexupdate update: the same engine call as lexupdate's Form1 "开始".
#include "lexcli/cli.h"

#include "lexupdate/lexicon_update.h"
#include "shared/lexcore/report.h"

namespace lex::cli {
namespace {

constexpr const char *kUpdateUsage = "lexcli lexupdate update BASE -o OUT [--user FILE] "
                                     "[--waste FILE] [--private FILE] [--delete-waste]";

int update(Context &ctx, ArgParser &p) {
    lexupdate::UpdatePaths paths;
    auto output = p.option("-o");
    auto user = p.option("--user");
    auto waste = p.option("--waste");
    auto priv = p.option("--private");
    paths.deleteWaste = p.flag("--delete-waste");
    auto inputs = p.rest(1, 1);
    if (!p.ok() || !output)
        return ctx.usage(p.ok() ? "缺少 -o 输出文件" : p.error());
    paths.base = inputs[0];
    paths.output = *output;
    paths.user = user.value_or("");
    paths.waste = waste.value_or("");
    paths.privateLexicon = priv.value_or("");

    const int start = timeOfDayNow();
    EntryHashSet set(KeyVariant::Standard);
    auto result = lexupdate::runUpdate(set, paths, ctx.pump);
    if (result.baseMissing)
        return ctx.fail(std::string(lexupdate::kBaseMissing));
    const int status = ctx.report(lexupdate::reportText(result, elapsedText(start)));
    if (!result.wasteDeleteError.empty())
        ctx.err << result.wasteDeleteError << "\n";
    return status;
}

} // namespace

const ToolCli &lexupdateCli() {
    static const ToolCli cli{
        "词库更新：原始词库加用户词库，减废词库和私人词库",
        {{"update", kUpdateUsage, "新词库 = 原始词库 + 用户词库 − 废词库 − 私人词库", update,
          "  --delete-waste  新词库写好后删除废词库文件\n"}}};
    return cli;
}

} // namespace lex::cli
