// lexcli lexupdate update: the same engine call as lexupdate's Form1 "开始".
#include "lexcli/cli.h"

#include "lexupdate/lexicon_update.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/report.h"

#include <filesystem>
#include <utility>

namespace lex::cli {
namespace {

constexpr const char *kUpdateUsage = "lexcli lexupdate update BASE -o OUT [--user FILE] "
                                     "[--waste FILE] [--private FILE] [--delete-waste]";

int update(Context &ctx, ArgParser &p) {
    lexupdate::UpdatePaths paths;
    auto output = p.option("-o");
    auto user = ctx.inputOption(p, "--user");
    auto waste = ctx.inputOption(p, "--waste");
    auto priv = ctx.inputOption(p, "--private");
    paths.deleteWaste = p.flag("--delete-waste");
    auto inputs = ctx.inputs(p, 1, 1);
    if (!p.ok() || !output)
        return ctx.usage(p.ok() ? "缺少 -o 输出文件" : p.error());
    paths.base = inputs[0];
    paths.output = *output;
    paths.user = user.value_or("");
    paths.waste = waste.value_or("");
    paths.privateLexicon = priv.value_or("");
    // The window skips an empty box; a file named here that is not there is a mistake.
    if (fileExists(paths.base)) {
        const std::pair<const std::optional<std::string> &, const char *> named[] = {
            {user, "用户词库"}, {waste, "废词库"}, {priv, "私人词库"}};
        for (const auto &[path, what] : named) {
            std::error_code ec;
            if (path && !std::filesystem::exists(*path, ec))
                return ctx.fail(std::string("找不到") + what + "：" + *path);
            if (path && !fileExists(*path))
                return ctx.fail(std::string(what) + "不是普通文件：" + *path);
        }
    }

    const int start = timeOfDayNow();
    EntryHashSet set(KeyVariant::Standard);
    auto result = lexupdate::runUpdate(set, paths, ctx.pump);
    if (result.baseMissing)
        return ctx.failOpen(std::string(lexupdate::kBaseMissing), {paths.base});
    const int status = ctx.report(result.shape + lexupdate::reportText(result, elapsedText(start)));
    if (!result.wasteDeleteError.empty())
        ctx.err << result.wasteDeleteError << "\n";
    return status;
}

} // namespace

const ToolCli &lexupdateCli() {
    static const ToolCli cli{
        "词库更新：原始词库加用户词库，减废词库和私人词库",
        {{"update", kUpdateUsage, "新词库 = 原始词库 + 用户词库 − 废词库 − 私人词库", update,
          "  --user FILE     用户词库：原始词库中没有的行加在后面\n"
          "  --waste FILE    废词库：其中的行从新词库中删去\n"
          "  --private FILE  私人词库：其中的行也从新词库中删去（文件不删除）\n"
          "                  （给出的文件必须存在；不给出的词库不参与）\n"
          "  --delete-waste  新词库写好后删除废词库文件\n",
          kAllSizeOptions | kFormatOption}}};
    return cli;
}

} // namespace lex::cli
