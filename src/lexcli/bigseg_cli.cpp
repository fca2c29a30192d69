// lexcli bigseg: segmentation, word statistics and the supplement editor, through the same
// engine calls as bigseg's Form1 and Form2.
#include "lexcli/cli.h"

#include "bigseg/segment_lexicon.h"
#include "bigseg/segmentation.h"
#include "bigseg/supplement.h"
#include "bigseg/tool_files.h"
#include "bigseg/word_statistics.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lexicon_files.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/text_format.h"

#include <charconv>

namespace lex::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char *kSegmentUsage =
    "lexcli bigseg segment ARTICLE [-o FILE] [--no-split-below N]";
constexpr const char *kStatsUsage = "lexcli bigseg stats [--input FILE] [-o FILE]";
constexpr const char *kSupplementUsage = "lexcli bigseg supplement TEXTFILE";

bool isNumber(const std::string &text) {
    double v = 0;
    const char *b = text.data(), *e = b + text.size();
    if (b != e && *b == '+')
        ++b;
    auto [ptr, ec] = std::from_chars(b, e, v, std::chars_format::fixed);
    return ec == std::errc() && ptr == e;
}

int segment(Context &ctx, ArgParser &p) {
    auto out = p.option("-o");
    auto below = p.option("--no-split-below");
    auto inputs = p.rest(1, 1);
    if (!p.ok())
        return ctx.usage(p.error());
    bigseg::SegmentOptions options;
    if (below) {
        if (!isNumber(*below))
            return ctx.usage("--no-split-below 需要一个数");
        // As the option dialog takes it: checked, with N (outside 5 < N < 100: 10).
        options.noSplitEnabled = 1;
        options.noSplitBelow = bigseg::noSplitBelowFromText(fromUtf8(*below));
    }
    const fs::path article = inputs[0];
    if (!fileExists(article))
        return ctx.fail(std::string(bigseg::kNoArticle));
    const int start = timeOfDayNow();
    const bigseg::SegmentLexicon lexicon =
        bigseg::loadSegmentLexicon(ctx.writableFile(bigseg::kWordListFile),
                                   ctx.writableFile(bigseg::kSupplementFile), ctx.pump);
    const std::u16string text = bigseg::readArticle(article);
    if (text.empty())
        return ctx.fail(std::string(bigseg::kNoArticle));
    const fs::path output = out ? fs::path(*out) : ctx.writableFile(bigseg::kSegmentFile);
    const auto r = bigseg::segmentText(text, output, lexicon, options, ctx.pump);
    return ctx.report(bigseg::segmentReport(r.stopped, elapsedText(start)));
}

int stats(Context &ctx, ArgParser &p) {
    auto input = p.option("--input");
    auto out = p.option("-o");
    p.rest(0, 0);
    if (!p.ok())
        return ctx.usage(p.error());
    const fs::path in = input ? fs::path(*input) : ctx.writableFile(bigseg::kSegmentFile);
    const fs::path output = out ? fs::path(*out) : ctx.writableFile(bigseg::kStatsFile);
    setFirstLexiconInput(in);
    const int start = timeOfDayNow();
    const auto r = bigseg::countWords(in, output, ctx.pump);
    if (!r.inputFound)
        return ctx.fail(std::string(bigseg::kNoStatsInput));
    return ctx.report(bigseg::statsReport(r, elapsedText(start)));
}

int supplement(Context &ctx, ArgParser &p) {
    auto inputs = p.rest(1, 1);
    if (!p.ok())
        return ctx.usage(p.error());
    const fs::path textFile = inputs[0];
    if (!fileExists(textFile))
        return ctx.fail("找不到文件：" + textFile.string());
    const std::u16string text = bigseg::readArticle(textFile);
    const fs::path ciku = ctx.writableFile(bigseg::kWordListFile);
    bigseg::SegmentLexicon lexicon;
    const auto r = bigseg::applySupplement(text, ctx.writableFile(bigseg::kSupplementFile), ciku,
                                           lexicon, ctx.pump);
    if (r.wordListMissing)
        return ctx.fail(bigseg::missingWordListText(ciku));
    return ctx.report(bigseg::supplementReport(r));
}

constexpr const char *kSegmentHelp =
    "  分词结果写入 -o FILE，默认为数据目录中的 fc.txt。\n"
    "  --no-split-below N  长度小于 N 的短句不分（N 须大于 5 且小于 100，否则为 10）。\n";
constexpr const char *kStatsHelp =
    "  统计 --input FILE（默认为数据目录中的 fc.txt），结果写入 -o FILE（默认 tj.txt）。\n";
constexpr const char *kSupplementHelp =
    "  TEXTFILE 每行一个词；最后一行为 a 时加入 ciku.lxd，为 d 时在 ciku.lxd 中增删，\n"
    "  否则写入补充词表 bc.ini。\n";

} // namespace

const ToolCli &bigsegCli() {
    static const ToolCli cli{
        "文章分词、词频统计与补充词条",
        {{"segment", kSegmentUsage, "开始分词：按词库 ciku.lxd 把文章切分成词", segment,
          kSegmentHelp},
         {"stats", kStatsUsage, "开始统计：统计分词结果中每个词出现的次数", stats, kStatsHelp},
         {"supplement", kSupplementUsage, "补充词条：把词写入 bc.ini，或加入、切换到 ciku.lxd",
          supplement, kSupplementHelp}}};
    return cli;
}

} // namespace lex::cli
