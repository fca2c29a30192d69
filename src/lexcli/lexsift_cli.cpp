// lexcli lexsift: filter by article and by conditions, through the same engine calls as
// lexsift's Form1 and Form2.
#include "lexcli/cli.h"

#include "lexsift/article_filter.h"
#include "lexsift/condition_filter.h"
#include "lexsift/sift_report.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/report.h"

#include <algorithm>
#include <string>

namespace lex::cli {
namespace {

constexpr const char *kArticleUsage = "lexcli lexsift article SOURCE ARTICLE -o OUT";
constexpr const char *kFilterUsage =
    "lexcli lexsift filter IN -o OUT (--words FILE [--at any|start|end] | --length MIN MAX | "
    "--non-gb2312)";

// Word lengths are counted in 32 bits; a bound past that range matches no line there can be.
constexpr long long kMaxLengthBound = 2147483647;

// A length bound as the command takes it: decimal digits only, 0 to kMaxLengthBound. (The
// window also takes "1.5" or "-3", which mean nothing as a count of characters.)
bool isLengthBound(const std::string &text) {
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    return std::stoll(text) <= kMaxLengthBound;
}

int article(Context &ctx, ArgParser &p) {
    auto out = p.option("-o");
    auto inputs = ctx.inputs(p, 2, 2);
    if (!p.ok() || !out)
        return ctx.usage(p.ok() ? "缺少 -o 输出文件" : p.error());
    const int start = timeOfDayNow();
    auto r = lexsift::filterByArticle(inputs[0], inputs[1], *out, ctx.pump);
    if (!r.sourceFound || !r.articleFound)
        return ctx.failOpen(lexsift::kOpenFileFailed, {inputs[0], inputs[1]});
    return ctx.report(r.shape + lexsift::siftReport(r.written, start));
}

int filter(Context &ctx, ArgParser &p) {
    auto out = p.option("-o");
    auto words = ctx.inputOption(p, "--words");
    auto at = p.option("--at");
    auto length = p.option("--length", 2);
    const bool nonGb2312 = p.flag("--non-gb2312");
    auto inputs = ctx.inputs(p, 1, 1);
    if (!p.ok() || !out)
        return ctx.usage(p.ok() ? "缺少 -o 输出文件" : p.error());
    if (int(words.has_value()) + int(length.has_value()) + int(nonGb2312) != 1)
        return ctx.usage("--words、--length 与 --non-gb2312 须给出其中一个");
    if (at && !words)
        return ctx.usage("--at 只能与 --words 一起使用");

    lexsift::Conditions conditions;
    if (words) {
        conditions.test = lexsift::ConditionTest::Contains;
        if (at && *at == "start")
            conditions.test = lexsift::ConditionTest::Starts;
        else if (at && *at == "end")
            conditions.test = lexsift::ConditionTest::Ends;
        else if (at && *at != "any")
            return ctx.usage("--at 只能是 any、start 或 end");
        if (!fileExists(*words))
            return ctx.fail("找不到词表文件：" + *words);
        LineReader reader(*words);
        while (!reader.atEnd())
            if (std::u16string_view w = reader.readLineView(); !w.empty())
                conditions.words.emplace_back(w);
    } else if (length) {
        for (const std::string &bound : *length)
            if (!isLengthBound(bound))
                return ctx.usage("--length 需要两个 0 到 " + std::to_string(kMaxLengthBound) +
                                 " 之间的整数");
        conditions.test = lexsift::ConditionTest::Length;
        conditions.minText = fromUtf8((*length)[0]);
        conditions.maxText = fromUtf8((*length)[1]);
    } else {
        conditions.test = lexsift::ConditionTest::NonGb2312;
    }
    const int start = timeOfDayNow();
    auto r = lexsift::filterByConditions(inputs[0], *out, conditions, ctx.pump);
    if (!r.inputFound)
        return ctx.failOpen(lexsift::kOpenLexiconFailed, {inputs[0]});
    return ctx.report(r.shape + lexsift::siftReport(r.written, start));
}

} // namespace

const ToolCli &lexsiftCli() {
    static const ToolCli cli{
        "词库筛选：通过文章筛选（article），定义条件筛选（filter）",
        {{"article", kArticleUsage, "通过文章筛选：保留词出现在文章中的词条", article,
          "  源词库中词（行首字符加其后的汉字）出现在文章里的行，按源词库的顺序写出，\n"
          "  重复的行照样保留；跨行的词不算出现。\n",
          kFormatOption},
         {"filter", kFilterUsage, "定义条件筛选：保留符合一个条件的词条", filter,
          "  --words FILE      词表文件，每行一个词（同条件对话框的文本框）\n"
          "  --at WHERE        词表的位置：any 无限制（默认），start 限制在词首，\n"
          "                    end 限制在词尾\n"
          "  --length MIN MAX  词长（汉字个数）在 MIN 与 MAX 之间，包括两端；\n"
          "                    MIN 与 MAX 是 0 到 2147483647 的整数\n"
          "  --non-gb2312      词中含有 GB2312 以外的字符\n",
          kFormatOption}}};
    return cli;
}

} // namespace lex::cli
