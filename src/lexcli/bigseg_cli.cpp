// lexcli bigseg: segmentation, word statistics and the supplement editor, through the same
// engine calls as bigseg's Form1 and Form2.
#include "lexcli/cli.h"

#include "bigseg/corpus_count.h"
#include "bigseg/segment_lexicon.h"
#include "bigseg/segmentation.h"
#include "bigseg/supplement.h"
#include "bigseg/tool_files.h"
#include "bigseg/word_statistics.h"
#include "shared/lexcore/corpus_input.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/partial_counts.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/text_format.h"

#include <charconv>
#include <functional>
#include <optional>

namespace lex::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char *kSegmentUsage =
    "lexcli bigseg segment ARTICLE [-o FILE] [--no-split-below N]";
constexpr const char *kStatsUsage = "lexcli bigseg stats [--input FILE] [-o FILE]";
constexpr const char *kSupplementUsage = "lexcli bigseg supplement TEXTFILE";
constexpr const char *kCountUsage =
    "lexcli bigseg count CORPUS... [-o FILE] [-j N] [--partial] [--no-split-below N] "
    "[--word-list FILE] [--chunk-size BYTES]";
constexpr const char *kMergeUsage =
    "lexcli bigseg merge-counts PARTIAL... (-o FILE [--partial] [--word-list FILE] | --db FILE)";

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
    auto inputs = ctx.inputs(p, 1, 1);
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
    auto input = ctx.inputOption(p, "--input");
    auto out = p.option("-o");
    ctx.positionals(p, 0, 0);
    if (!p.ok())
        return ctx.usage(p.error());
    const fs::path in = input ? fs::path(*input) : ctx.writableFile(bigseg::kSegmentFile);
    const fs::path output = out ? fs::path(*out) : ctx.writableFile(bigseg::kStatsFile);
    ctx.pump.context().setFirstInput(in);
    const int start = timeOfDayNow();
    const auto r = bigseg::countWords(in, output, ctx.pump);
    if (!r.inputFound)
        return ctx.fail(std::string(bigseg::kNoStatsInput));
    return ctx.report(bigseg::statsReport(r, elapsedText(start)));
}

// The --no-split-below option as the option dialog takes it: runs shorter than the returned
// length stay whole (4 without the option). False: not a number.
bool splitBelowOption(const std::optional<std::string> &below, int16_t &splitBelow) {
    splitBelow = 4;
    if (!below)
        return true;
    if (!isNumber(*below))
        return false;
    splitBelow = bigseg::noSplitBelowFromText(fromUtf8(*below));
    return true;
}

// A positive count of at most `max`.
bool parseCount(const std::string &text, int64_t max, int64_t &value) {
    const char *b = text.data(), *e = b + text.size();
    auto [ptr, ec] = std::from_chars(b, e, value);
    return ec == std::errc() && ptr == e && value >= 1 && value <= max;
}

// The word list of a count: --word-list FILE (read as "ciku.lxd" is, the supplement list
// left out), else "ciku.lxd" and "bc.ini" of the data dir.
bigseg::SegmentLexicon countLexicon(Context &ctx, const std::optional<std::string> &wordList) {
    if (wordList) {
        if (!fileExists(*wordList))
            throw LexError("找不到词库：" + *wordList, *wordList);
        return bigseg::readWordList(*wordList, &ctx.pump);
    }
    return bigseg::loadSegmentLexicon(ctx.writableFile(bigseg::kWordListFile),
                                      ctx.writableFile(bigseg::kSupplementFile), ctx.pump);
}

// "tj.txt" of a complete count, in the format the statistics of "fc.txt" would have.
int finishCount(Context &ctx, bigseg::CorpusCounts &counts, const bigseg::SegmentLexicon *lexicon,
                const std::function<const bigseg::SegmentLexicon &()> &load, int16_t splitBelow,
                const fs::path &output, int start) {
    const bool open = !counts.ends.head.empty() || !counts.ends.tail.empty();
    if (open)
        bigseg::closeEnds(counts, lexicon ? *lexicon : load(), splitBelow);
    if (!counts.hasText)
        return ctx.fail(std::string(bigseg::kNoArticle));
    ctx.pump.context().setFirstInputFormat(bigseg::segmentFileFormat(counts));
    const int64_t n = bigseg::writeWordStats(counts, output, ctx.pump.context());
    return ctx.report(bigseg::countReport(n, elapsedText(start)));
}

int count(Context &ctx, ArgParser &p) {
    auto out = p.option("-o");
    auto jobs = p.shortOption("-j");
    auto below = p.option("--no-split-below");
    auto wordList = p.option("--word-list");
    auto chunk = p.option("--chunk-size");
    const bool partial = p.flag("--partial");
    auto inputs = ctx.positionals(p, 1);
    if (!p.ok())
        return ctx.usage(p.error());
    bigseg::CountSettings settings;
    if (!splitBelowOption(below, settings.splitBelow))
        return ctx.usage("--no-split-below 需要一个数");
    int64_t value = 0;
    settings.threads = availableCores();
    if (jobs) {
        if (!parseCount(*jobs, 1024, value))
            return ctx.usage("-j 需要 1 到 1024 之间的整数");
        settings.threads = int(value);
    }
    if (chunk) {
        if (!parseCount(*chunk, int64_t(1) << 34, value))
            return ctx.usage("--chunk-size 需要一个正整数（字节）");
        settings.chunkSize = size_t(value);
    }
    if (partial && !out)
        return ctx.usage("--partial 需要 -o 输出文件");
    if (const auto forced = ctx.pump.context().forcedEncoding())
        settings.wideRuns = *forced != LexiconEncoding::Ansi936;
    const int start = timeOfDayNow();
    const std::vector<CorpusFile> files = listCorpus(inputs);
    const bigseg::SegmentLexicon lexicon = countLexicon(ctx, wordList);
    const fs::path output = out ? fs::path(*out) : ctx.writableFile(bigseg::kStatsFile);
    bigseg::CorpusCounts counts = bigseg::countCorpus(files, lexicon, settings, ctx.pump);
    if (partial) {
        bigseg::writePartialCounts(counts, output, settings.splitBelow,
                                   bigseg::wordListFingerprint(lexicon));
        return ctx.report(bigseg::countReport(int64_t(counts.words.size()), elapsedText(start)));
    }
    return finishCount(ctx, counts, &lexicon, {}, settings.splitBelow, output, start);
}

// The kind of a partial count, read from its first line.
std::string partialKind(const fs::path &path) {
    return PartialReader(path).kind();
}

int mergeCounts(Context &ctx, ArgParser &p) {
    auto out = p.option("-o");
    auto wordList = p.option("--word-list");
    auto db = p.option("--db");
    const bool partial = p.flag("--partial");
    auto inputs = ctx.positionals(p, 1);
    if (!p.ok())
        return ctx.usage(p.error());
    const int start = timeOfDayNow();
    const std::vector<fs::path> paths(inputs.begin(), inputs.end());
    if (partialKind(paths.front()) == "freqtune") {
        // Word frequencies of articles: into the database, or into one partial count.
        if (partial != bool(out) || (partial && db) || (!partial && !db))
            return ctx.usage(
                "freqtune 的部分计数合并到 --db FILE，或用 --partial -o FILE 合并成一个");
        // The frequency tool merges its own partial counts.
        std::vector<std::string> args;
        if (partial)
            args = {"--partial", "-o", *out};
        else
            args = {"--db", *db};
        // The inputs are positionals, whatever their names.
        args.push_back("--");
        args.insert(args.end(), inputs.begin(), inputs.end());
        return ctx.handOver("freqtune", "merge-counts", std::move(args));
    }
    if (db)
        return ctx.usage("--db 只用于 freqtune 的部分计数");
    std::optional<bigseg::SegmentLexicon> lexicon;
    auto load = [&]() -> const bigseg::SegmentLexicon & {
        if (!lexicon)
            lexicon = countLexicon(ctx, wordList);
        return *lexicon;
    };
    int16_t splitBelow = 4;
    std::string fingerprint;
    bigseg::CorpusCounts counts = bigseg::mergePartialCounts(paths, load, splitBelow, fingerprint);
    const fs::path output = out ? fs::path(*out) : ctx.writableFile(bigseg::kStatsFile);
    if (partial) {
        if (!out)
            return ctx.usage("--partial 需要 -o 输出文件");
        bigseg::writePartialCounts(counts, output, splitBelow, fingerprint);
        return ctx.report(bigseg::countReport(int64_t(counts.words.size()), elapsedText(start)));
    }
    return finishCount(
        ctx, counts, nullptr,
        [&]() -> const bigseg::SegmentLexicon & {
            const bigseg::SegmentLexicon &list = load();
            if (bigseg::wordListFingerprint(list) != fingerprint)
                throw LexError("合并用的词库与统计部分计数时的词库不同。");
            return list;
        },
        splitBelow, output, start);
}

int supplement(Context &ctx, ArgParser &p) {
    auto inputs = ctx.inputs(p, 1, 1);
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
    "  --no-split-below N  长度小于 N 的短句不分（N 须大于 5 且小于 100，否则为 10）。\n"
    "  结果为 UTF-8（或 UTF-16）时，GBK 没有的汉字和基本平面以外的字也是句中的字，\n"
    "  不再断句；结果为 GBK 时照旧。\n";
constexpr const char *kStatsHelp =
    "  统计 --input FILE（默认为数据目录中的 fc.txt），结果写入 -o FILE（默认 tj.txt）。\n";
constexpr const char *kCountHelp =
    "  一次完成分词与统计，不写 fc.txt：结果与把全部语料连在一起 segment 后再 stats 的 tj.txt\n"
    "  逐字节相同，只是超过六位的次数保留全部位数。\n"
    "  CORPUS       文件、文件夹（含子文件夹，按文件名顺序）或 -（标准输入）；\n"
    "               编码同文章（UTF-16、UTF-8、GBK）；.gz、.xz、.zst 文件先解压。\n"
    "  -o FILE      结果（默认：数据目录中的 tj.txt）\n"
    "  -j N         同时处理的线程数（默认：全部 CPU 核）；结果与 N 无关\n"
    "  --partial    写出排序的部分计数（供 merge-counts 合并，如 quillo-corpus 的各个工作进程）\n"
    "  --no-split-below N   长度小于 N 的短句不分（同 segment）\n"
    "  --word-list FILE     用 FILE 代替 ciku.lxd 分词（不用 bc.ini）\n"
    "  --chunk-size BYTES   每块的大小（默认 1048576）\n";
constexpr const char *kMergeHelp =
    "  把 count --partial 的部分计数（按语料顺序给出）合并成 tj.txt，结果与一次统计全部语料相同；\n"
    "  --partial -o FILE 再合并成一个部分计数。需要在部分之间接上的短句时读词库\n"
    "  （--word-list FILE，默认数据目录中的 ciku.lxd 与 bc.ini）。\n"
    "  freqtune count --partial 的部分计数：合并后写入 --db FILE 的词频数据库。\n";
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
          supplement, kSupplementHelp},
         {"count", kCountUsage, "分词并统计整个语料（多核；可写部分计数）", count, kCountHelp},
         {"merge-counts", kMergeUsage, "合并部分计数：写出 tj.txt，或更新词频数据库", mergeCounts,
          kMergeHelp}}};
    return cli;
}

} // namespace lex::cli
