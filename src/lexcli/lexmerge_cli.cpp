// lexcli lexmerge union|intersect|difference|delete A [B] -o OUT
#include "cli.h"

#include "lexcore/lexicon_files.h"
#include "lexcore/report.h"
#include "set_operations.h"

#include <map>
#include <ostream>

namespace {

using namespace lex::cli;
using lex::merge::SetOperation;

const char *const kUsage = "lexcli lexmerge union|intersect|difference|delete A [B] -o OUT";

int lexmergeMain(Context &ctx, std::vector<std::string> args) {
    static const std::map<std::string, SetOperation> ops = {
        {"union", SetOperation::Union},
        {"intersect", SetOperation::Intersection},
        {"difference", SetOperation::Difference},
        {"delete", SetOperation::Deletion}};
    if (args.empty())
        return ctx.usage("缺少操作", kUsage);
    if (args[0] == "--help" || args[0] == "-h") {
        ctx.out << "用法: " << kUsage << "\n"
                << "  union       并集：两个词库的全部词条（去重，按首次出现的顺序）\n"
                   "  intersect   交集：词库二中也出现在词库一里的词条\n"
                   "  difference  差集：只出现在其中一个词库里的词条\n"
                   "  delete      删词：词库一去掉词库二的词条\n"
                   "  省略 B 时词库二为空。\n";
        return kSuccess;
    }
    auto op = ops.find(args[0]);
    if (op == ops.end())
        return ctx.usage("未知操作 " + args[0], kUsage);
    ArgParser parser(std::vector<std::string>(args.begin() + 1, args.end()));
    if (parser.wantsHelp()) {
        ctx.out << "用法: " << kUsage << "\n";
        return kSuccess;
    }
    auto output = parser.option("-o");
    auto inputs = parser.rest();
    if (!parser.ok())
        return ctx.usage(parser.error(), kUsage);
    if (!output || output->empty() || inputs.empty() || inputs.size() > 2)
        return ctx.usage("需要词库一、可选的词库二和 -o 输出文件", kUsage);

    const std::filesystem::path one = inputs[0];
    const std::filesystem::path two = inputs.size() > 1 ? inputs[1] : std::string();
    const std::filesystem::path out = *output;
    lex::merge::MergePaths paths{[&] { return one; }, [&] { return two; }, [&] { return out; }};
    const int start = lex::timeOfDayNow();
    lex::EntryHashSet set = lex::merge::makeMergeSet();
    try {
        auto result = lex::merge::runSetOperation(op->second, set, paths, ctx.pump);
        ctx.report(lex::merge::reportText(op->second, result, lex::elapsedText(start)));
        // Ctrl-C: the output was still written, but it is not the full result.
        return result.stopped ? kFailure : kSuccess;
    } catch (const lex::LexError &e) {
        return ctx.fail(e.message());
    }
}

} // namespace

LEX_CLI_TOOL(lexmerge, "lexmerge", "词库并集、交集、差集与删词", lexmergeMain);
