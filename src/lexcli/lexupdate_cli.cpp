// lexcli lexupdate update BASE -o OUT [--user F] [--waste F] [--private F] [--delete-waste]
#include "cli.h"

#include "lexcore/lexicon_files.h"
#include "lexcore/report.h"
#include "lexicon_update.h"

#include <ostream>

namespace {

using namespace lex::cli;

const char *const kUsage = "lexcli lexupdate update BASE -o OUT [--user FILE] [--waste FILE] "
                           "[--private FILE] [--delete-waste]";

int lexupdateMain(Context &ctx, std::vector<std::string> args) {
    if (args.empty())
        return ctx.usage("缺少操作", kUsage);
    if (args[0] == "--help" || args[0] == "-h") {
        ctx.out << "用法: " << kUsage << "\n"
                << "  update  新词库 = 原始词库 + 用户词库 − 废词库 − 私人词库\n"
                   "  --delete-waste  新词库写好后删除废词库文件\n";
        return kSuccess;
    }
    if (args[0] != "update")
        return ctx.usage("未知操作 " + args[0], kUsage);
    ArgParser parser(std::vector<std::string>(args.begin() + 1, args.end()));
    if (parser.wantsHelp()) {
        ctx.out << "用法: " << kUsage << "\n";
        return kSuccess;
    }
    lex::update::UpdatePaths paths;
    auto output = parser.option("-o");
    auto user = parser.option("--user");
    auto waste = parser.option("--waste");
    auto priv = parser.option("--private");
    paths.deleteWaste = parser.flag("--delete-waste");
    auto inputs = parser.rest();
    if (!parser.ok())
        return ctx.usage(parser.error(), kUsage);
    if (!output || output->empty() || inputs.size() != 1)
        return ctx.usage("需要原始词库和 -o 输出文件", kUsage);
    paths.base = inputs[0];
    paths.output = *output;
    paths.user = user.value_or("");
    paths.waste = waste.value_or("");
    paths.privateLexicon = priv.value_or("");

    const int start = lex::timeOfDayNow();
    lex::EntryHashSet set(lex::KeyVariant::Standard);
    try {
        auto result = lex::update::runUpdate(set, paths, ctx.pump);
        if (result.baseMissing)
            return ctx.fail(std::string(lex::update::kBaseMissing));
        ctx.report(lex::update::reportText(result, lex::elapsedText(start)));
        if (!result.wasteDeleteError.empty())
            ctx.err << result.wasteDeleteError << "\n";
        return kSuccess;
    } catch (const lex::LexError &e) {
        return ctx.fail(e.message());
    }
}

} // namespace

LEX_CLI_TOOL(lexupdate, "Quillo词库更新", "词库更新：原始词库加用户词库，减废词库和私人词库",
             lexupdateMain);
