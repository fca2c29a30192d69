// lexcli freqtune: import, export, statistics and the results list of the word-frequency
// database, through the same engine calls as freqtune's Form1 and its results form.
#include "lexcli/cli.h"

#include "freqtune/article_stats.h"
#include "freqtune/corpus_stats.h"
#include "freqtune/frequency_database.h"
#include "freqtune/rime_dictionary.h"
#include "shared/lexcore/corpus_input.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/text_format.h"

#include <algorithm>
#include <charconv>
#include <ostream>

namespace lex::cli {
namespace {

using namespace lex::freqtune;

constexpr const char *kImportUsage = "lexcli freqtune import LEXICON [--db FILE]";
constexpr const char *kExportUsage =
    "lexcli freqtune export -o OUT [--db FILE] [--freq-only] [--length L1 L2] "
    "[--format quillo|rime|fcitx5] [--blend F]";
constexpr const char *kCountUsage =
    "lexcli freqtune count (ARTICLE... [--move] | --batch | --corpus PATH...) [--db FILE] [-j N] "
    "[--partial -o FILE]";
constexpr const char *kListUsage = "lexcli freqtune list [--db FILE] [--log FILE]";
constexpr const char *kMergeUsage =
    "lexcli freqtune merge-counts PARTIAL... (--db FILE | --partial -o FILE)";

// The tool's files in the data dir, the database where --db says.
ToolFiles filesFor(const Context &ctx, const std::optional<std::string> &db) {
    ToolFiles files = ToolFiles::in(ctx.folder);
    if (db)
        files.database = *db;
    return files;
}

// The results list on standard output, one item per line.
int printList(Context &ctx, FrequencyDatabase &db) {
    for (const FrequencyItem &item : listFrequencies(db))
        ctx.out << toUtf8(itemText(item)) << "\n";
    ctx.out.flush();
    if (!ctx.out)
        return ctx.fail("无法输出报告。");
    return kExitDone;
}

int importCommand(Context &ctx, ArgParser &p) {
    auto db = p.option("--db");
    auto inputs = ctx.inputs(p, 1, 1);
    if (!p.ok())
        return ctx.usage(p.error());
    if (!fileExists(inputs[0]))
        return ctx.fail("找不到词库文件：" + inputs[0]);
    const ToolFiles files = filesFor(ctx, db);
    // A missing database is made by the import itself: an interrupted one leaves none.
    FrequencyDatabase database(files.database, files.templateFile, IfMissing::Leave);
    const int start = timeOfDayNow();
    const ImportResult r = importLexicon(database, inputs[0], files.templateFile, ctx.pump);
    if (!r.rime)
        return ctx.report(std::string(kDone));
    return ctx.report(CompletionText()
                          .count("导入词条：", r.rows)
                          .count("其中单字：", r.singles)
                          .line("保留文件头：" + std::to_string(r.keptHeader) + " 行")
                          .count("跳过的行：", r.skipped)
                          .count("无效的词条：", r.dropped)
                          .text(elapsedText(start)));
}

// "--blend F": a number from 0 to 1.
std::optional<double> parseBlend(const std::string &text) {
    double f = 0;
    const char *b = text.data(), *e = b + text.size();
    auto [ptr, ec] = std::from_chars(b, e, f);
    if (ec != std::errc() || ptr != e || !(f >= 0 && f <= 1))
        return std::nullopt;
    return f;
}

int exportCommand(Context &ctx, ArgParser &p) {
    auto out = p.option("-o");
    auto db = p.option("--db");
    const bool freqOnly = p.flag("--freq-only");
    auto lengths = p.option("--length", 2);
    auto formatName = p.option("--format");
    auto blendText = p.option("--blend");
    ctx.positionals(p, 0, 0);
    if (!p.ok() || !out)
        return ctx.usage(p.ok() ? "缺少 -o 输出文件" : p.error());
    std::optional<formats::Format> format;
    if (formatName) {
        const auto named = formats::formatByName(*formatName);
        if (named == formats::Format::Rime || named == formats::Format::Fcitx5)
            format = named;
        else if (named != formats::Format::Quillo)
            return ctx.usage("--format 只能是 quillo、rime 或 fcitx5");
        const auto forced = ctx.pump.context().forcedEncoding();
        if (format && forced && *forced != LexiconEncoding::Utf8)
            return ctx.usage("--output-encoding 不适用于 " + *formatName + "：这种格式总是 UTF-8");
    }
    ExportOptions options;
    options.freqOnly = freqOnly;
    if (lengths) {
        int l1 = 0, l2 = 0;
        if (!parseInt16((*lengths)[0], l1) || !parseInt16((*lengths)[1], l2))
            return ctx.usage("--length 需要两个整数");
        // The option dialog's rule, so that the same typed lengths export the same lines.
        options.lengthRange = true;
        clampLengths((*lengths)[0], (*lengths)[1], options.l1, options.l2);
    }
    if (blendText && !(options.blend = parseBlend(*blendText)))
        return ctx.usage("--blend 需要 0 到 1 之间的数");
    if (options.blend && format != formats::Format::Rime)
        return ctx.usage("--blend 只用于 --format rime");
    const ToolFiles files = filesFor(ctx, db);
    FrequencyDatabase database(files.database, files.templateFile, IfMissing::Refuse);
    if (options.blend && !holdsRimeDictionary(database))
        return ctx.fail("--blend 需要原来的权重：词频数据库不是由 Rime 词典导入的");
    if (format) {
        // For another input method: the frequencies become the weights.
        formats::Annotator annotator(ctx.dataDir(), ctx.pump);
        const int start = timeOfDayNow();
        const ImExportResult r =
            exportForInputMethod(database, *out, options, *format, annotator, ctx.pump);
        if (r.empty)
            return ctx.fail(std::string(kNoRows));
        if (r.noWeightColumn)
            ctx.err << "注意：词典的 columns 没有 weight 列，词频没有写入\n";
        if (r.conversion.rejected > 0)
            ctx.err << "注意：" << r.conversion.rejected << " 行未能转换，原因写在 "
                    << r.conversion.rejects.string() << "\n";
        std::string report = formats::convertReport(r.conversion, elapsedText(start));
        // A Rime dictionary imported came back as itself: its header, columns and codes.
        if (r.asImported) {
            report = withReportLine(report, "保留文件头：" + std::to_string(r.headerLines) + " 行");
            report = withReportLine(report, "其中单字：" + std::to_string(r.singles));
        }
        return ctx.report(report);
    }
    const ExportResult r = exportLexicon(database, *out, options, ctx.pump);
    if (r.empty)
        return ctx.fail(std::string(kNoRows));
    return ctx.report(std::string(kDone));
}

// The files of a corpus counted in parallel, one article each: the database is raised as the
// per-article walk would raise it over them (they stay where they are), or a partial count is
// written for a merge.
int countCorpusCommand(Context &ctx, const std::optional<std::string> &db,
                       std::vector<std::string> paths, const std::optional<std::string> &jobs,
                       const std::optional<std::string> &out, bool partial) {
    int threads = availableCores();
    if (jobs) {
        const char *b = jobs->data(), *e = b + jobs->size();
        auto [ptr, ec] = std::from_chars(b, e, threads);
        if (ec != std::errc() || ptr != e || threads < 1 || threads > 1024)
            return ctx.usage("-j 需要 1 到 1024 之间的整数");
    }
    if (partial != bool(out))
        return ctx.usage("--partial 与 -o FILE 要一起给出");
    const int start = timeOfDayNow();
    if (std::find(paths.begin(), paths.end(), "-") != paths.end())
        return ctx.usage("--corpus 的文章是文件，不能是标准输入（-）");
    const std::vector<CorpusFile> files = listCorpus(paths);
    const ToolFiles toolFiles = filesFor(ctx, db);
    FrequencyDatabase database(toolFiles.database, toolFiles.templateFile, IfMissing::Refuse);
    bool noRows = false;
    const ArticleCounts counts = countArticles(database, files, threads, ctx.pump, noRows);
    if (noRows)
        return ctx.fail(std::string(kNoRows));
    if (partial) {
        writeArticlePartial(counts, *out);
        return ctx.report(CompletionText()
                              .count("统计文章：", counts.articles)
                              .count("出现的词：", int64_t(counts.words.size()))
                              .text(elapsedText(start)));
    }
    applyArticleCounts(database, counts);
    return printList(ctx, database);
}

int countCommand(Context &ctx, ArgParser &p) {
    auto db = p.option("--db");
    const bool batch = p.flag("--batch");
    const bool move = p.flag("--move");
    auto corpus = p.option("--corpus");
    auto jobs = p.shortOption("-j");
    auto out = p.option("-o");
    const bool partial = p.flag("--partial");
    if (corpus) {
        if (move)
            return ctx.usage("--corpus 的文件留在原处，不能 --move");
        auto more = ctx.positionals(p, 0);
        if (!p.ok())
            return ctx.usage(p.error());
        if (batch)
            return ctx.usage("--corpus 与 --batch 只能选一个");
        more.insert(more.begin(), *corpus);
        return countCorpusCommand(ctx, db, more, jobs, out, partial);
    }
    if (jobs || out || partial)
        return ctx.usage("-j、-o 与 --partial 只用于 --corpus");
    if (move && batch)
        return ctx.usage("--batch 总是把文章移入“已阅文章”，不需要 --move");
    auto inputs = ctx.positionals(p, batch ? 0 : 1, batch ? 0 : size_t(-1));
    if (!p.ok())
        return ctx.usage(p.error());
    for (const auto &article : inputs)
        if (!fileExists(article))
            return ctx.fail("找不到文章：" + article);
    const ToolFiles files = filesFor(ctx, db);
    FrequencyDatabase database(files.database, files.templateFile, IfMissing::Refuse);
    createArticleFolders(files);
    std::vector<std::filesystem::path> articles(inputs.begin(), inputs.end());
    if (batch)
        articles = listArticles(files.unread);
    // Files named on the command line stay where they are unless --move: no command moves its
    // input away unasked. The folder of unread articles is filed away as the window does.
    const StatisticsResult r =
        runStatistics(database, articles, files.read, ctx.pump, batch || move);
    if (r.noRows)
        return ctx.fail(std::string(kNoRows));
    return printList(ctx, database);
}

int listCommand(Context &ctx, ArgParser &p) {
    auto db = p.option("--db");
    auto log = p.option("--log");
    ctx.positionals(p, 0, 0);
    if (!p.ok())
        return ctx.usage(p.error());
    const ToolFiles files = filesFor(ctx, db);
    FrequencyDatabase database(files.database, files.templateFile, IfMissing::Refuse);
    if (log)
        writeFrequencyLog(*log, itemTexts(listFrequencies(database)), &ctx.pump.context());
    return printList(ctx, database);
}

// Partial counts of `count --corpus --partial` (a cluster's workers): into the database, or into
// one partial count. `bigseg merge-counts` hands such partials over to this.
int mergeCountsCommand(Context &ctx, ArgParser &p) {
    auto out = p.option("-o");
    auto db = p.option("--db");
    const bool partial = p.flag("--partial");
    auto inputs = ctx.positionals(p, 1);
    if (!p.ok())
        return ctx.usage(p.error());
    if (partial != bool(out) || (partial && db) || (!partial && !db))
        return ctx.usage("freqtune 的部分计数合并到 --db FILE，或用 --partial -o FILE 合并成一个");
    const int start = timeOfDayNow();
    const ArticleCounts counts =
        mergeArticlePartials(std::vector<std::filesystem::path>(inputs.begin(), inputs.end()));
    if (partial) {
        writeArticlePartial(counts, *out);
        return ctx.report(CompletionText()
                              .count("合计词条：", int64_t(counts.words.size()))
                              .text(elapsedText(start)));
    }
    FrequencyDatabase database;
    if (!fileExists(*db))
        return ctx.fail("找不到词频数据库：" + *db);
    database.open(*db, std::filesystem::path(*db).parent_path() / kTemplateFile);
    const int64_t added = applyArticleCounts(database, counts);
    return ctx.report(CompletionText()
                          .count("统计文章：", counts.articles)
                          .count("增加词频：", added)
                          .text(elapsedText(start)));
}

} // namespace

const ToolCli &freqtuneCli() {
    static const ToolCli cli{
        "词频调整：导入词库（import），导出词库（export），词频统计（count），词频列表（list）",
        {{"import", kImportUsage, "导入词库：以词库的行重建词频数据库，词频全部归零", importCommand,
          "  --db FILE   词频数据库（默认：数据目录的 freqtune.mdb，缺少时由 freqtune.mmm 新建）\n"
          "  词库按 GBK、UTF-8 或 UTF-16 读取；开头以 ; 开始的行跳过，汉字数为 2 到 49 的行导入。\n"
          "  词库按 UTF-8 或 UTF-16 读取时，ASCII 以外的字都是词的字（GBK 没有的字也是），\n"
          "  一个 UTF-16 代理对算一个字。\n"
          "  Rime 词典（*.dict.yaml）导入它的全部词条（单字也导入），每个词带上它的拼音\n"
          "  （如 中zhong国guo）；文件头和每个词条的各列（text、code、weight、stem）一并保存，\n"
          "  供 export --format rime 原样写回。\n",
          kMemoryOption | kTempDirOption},
         {"export", kExportUsage, "导出词库：按词频从高到低（同词频按导入顺序）写出词库行",
          exportCommand,
          "  --db FILE        词频数据库（须已存在，不会新建）\n"
          "  --freq-only      只导出有词频的词条\n"
          "  --length L1 L2   只导出长度从 L1 到 L2 的词（L1 不在 2 到 10 之间时为 2，\n"
          "                   L2 小于 L1 时为 L1）\n"
          "  --format F       quillo（默认：导入的行原样写出）、rime（Rime 词典）或 fcitx5\n"
          "                   （libime 文本词库）：词频作为权重，缺拼音的词自动注音\n"
          "  导入的是 Rime 词典时，--format rime 写回原来的文件头（name: 随输出文件名）和\n"
          "  每个词条自己的编码与 stem，weight 列为词频。\n"
          "  --blend F        （0 到 1）把词频混入原来的权重，而不是取代它：\n"
          "                   权重 = round((1 − F) × 原权重 + F × 词频 × 比例)，\n"
          "                   比例 = 最大原权重 ÷ 最大词频（二者有一个不大于 0 时为 1），\n"
          "                   使词频最高的词与原来最重的词分量相当；没有权重的词条原权重\n"
          "                   按 0 计。--blend 0 保留原权重（取整），--blend 1 只看词频。\n"
          "  权重写作 N% 的词条（多音字一个读音所占的比例，词频无从区分读音）保留原样。\n",
          kMemoryOption | kTempDirOption},
         {"count", kCountUsage,
          "词频统计：每篇文章使出现的词的词频加 1（--batch 与 --move 时文章移入“已阅文章”）",
          countCommand,
          "  --db FILE   词频数据库（须已存在，不会新建）\n"
          "  --batch     统计数据目录下“未阅文章”文件夹中的全部文章（不再给出文章），\n"
          "              统计后移入“已阅文章”，同窗口\n"
          "  --move      给出的文章统计后也移入“已阅文章”（默认留在原处）\n"
          "  --corpus PATH...  语料：每个文件算一篇文章（文件夹含子文件夹，.gz、.xz、.zst 先\n"
          "              解压），多核并行统计；词频的增加与逐篇统计相同，文件留在原处\n"
          "  -j N        --corpus 的线程数（默认：全部 CPU 核）\n"
          "  --partial -o FILE  --corpus 只写出部分计数（由 bigseg merge-counts --db 合并）\n"
          "  统计后输出词频列表（词、四个空格、词频）。\n"},
         {"list", kListUsage, "词频列表：有词频的词，按词频从高到低", listCommand,
          "  --db FILE    词频数据库（须已存在，不会新建）\n"
          "  --log FILE   同时把列表写入 FILE（如“词频.log”，GBK，CR LF）\n"},
         {"merge-counts", kMergeUsage, "合并 count --corpus --partial 的部分计数",
          mergeCountsCommand,
          "  --db FILE          把合并的计数加到词频数据库（各行词频加上出现的文件数）\n"
          "  --partial -o FILE  合并成一个部分计数（供再次合并）\n"
          "  bigseg merge-counts 遇到 freqtune 的部分计数时也交由本操作合并。\n"}}};
    return cli;
}

} // namespace lex::cli
