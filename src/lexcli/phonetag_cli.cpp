// lexcli phonetag: automatic annotation, clearing pinyin, correction, extraction, adjustment
// and duplicate removal, through the same engine calls as phonetag's Form7, Form6 and Form5.
#include "lexcli/cli.h"

#include "phonetag/annotation.h"
#include "phonetag/correction.h"
#include "phonetag/foreign_entries.h"
#include "phonetag/optimisation.h"
#include "phonetag/review.h"
#include "shared/formats/foreign_lexicon.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/report.h"
#include "shared/pinyin/annotation_data.h"

#include <exception>
#include <optional>

namespace lex::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char *kAnnotateUsage = "lexcli phonetag annotate IN -o OUT [--review FILE]";
constexpr const char *kClearUsage = "lexcli phonetag clear IN -o OUT";
constexpr const char *kCorrectUsage =
    "lexcli phonetag correct IN -o OUT [--log FILE] [--list FILE]";
constexpr const char *kExtractUsage = "lexcli phonetag extract IN -o OUT";
constexpr const char *kAdjustUsage = "lexcli phonetag adjust IN -o OUT";
constexpr const char *kDedupUsage = "lexcli phonetag dedup IN -o OUT";

struct Paths {
    fs::path input, output;
};

// IN -o OUT and nothing else; nothing after the usage message (the operation returns
// kExitUsage).
std::optional<Paths> inOut(Context &ctx, ArgParser &p) {
    auto out = p.option("-o");
    auto inputs = ctx.inputs(p, 1, 1);
    if (!p.ok() || !out) {
        ctx.usage(p.ok() ? "缺少 -o 输出文件" : p.error());
        return std::nullopt;
    }
    return Paths{inputs[0], *out};
}

// The annotation data of the data dir.
pinyin::AnnotationFiles annotationFiles(Context &ctx) {
    return pinyin::AnnotationFiles::in(ctx.dataDir());
}

int annotate(Context &ctx, ArgParser &p) {
    auto review = p.option("--review");
    const auto paths = inOut(ctx, p);
    if (!paths)
        return kExitUsage;
    const int start = timeOfDayNow();
    using pinyin::Need;
    const pinyin::AnnotationLoader loader(annotationFiles(ctx),
                                          {Need::Yes, Need::Yes, review ? Need::Yes : Need::No});
    if (loader.missing() == pinyin::AnnotationPart::Dictionary)
        return ctx.fail(phonetag::kDictionaryMissing);
    // The lexicon starts decoding (on a thread of its reader's) while the data loads. A failure
    // to read it waits for its turn: the data's messages come first, as when it is read after.
    std::optional<LineStream> input;
    std::exception_ptr inputFailure;
    if (!loader.missing() && fileExists(paths->input)) {
        try {
            input.emplace(paths->input);
        } catch (...) {
            inputFailure = std::current_exception();
        }
    }
    pinyin::AnnotationData data = loader.load(ctx.pump);
    if (data.missing == pinyin::AnnotationPart::WordTable)
        return ctx.fail(phonetag::kWordTableMissing);
    if (data.missing == pinyin::AnnotationPart::Review)
        return ctx.fail(phonetag::kReviewDataMissing);
    if (inputFailure)
        std::rethrow_exception(inputFailure);
    LineStream *opened = input ? &*input : nullptr;
    if (review && formats::foreignFormat(paths->input))
        return ctx.usage("--review 只用于本套词库格式");
    pinyin::PinyinCounters counters;
    if (!review) {
        auto r = phonetag::autoAnnotate(paths->input, paths->output, *data.dictionary,
                                        *data.wordTable, counters, ctx.pump, opened);
        if (!r.inputFound)
            return ctx.failOpen(phonetag::kOpenFailed, {paths->input});
        if (r.foreign)
            return ctx.report(phonetag::foreignReport("注音词条：", *r.foreign, start));
        return ctx.report(phonetag::lineCountReport(r.lines, start));
    }
    auto r = phonetag::autoAnnotate(paths->input, paths->output, *review, *data.dictionary,
                                    *data.wordTable, *data.review, counters, ctx.pump, opened);
    if (!r.inputFound)
        return ctx.failOpen(phonetag::kOpenFailed, {paths->input});
    // The report as the window shows it, and one line more.
    return ctx.report(phonetag::lineCountReport(r.lines, start) + "\r\n" +
                      phonetag::reviewCountLine(r.reviewed));
}

int clear(Context &ctx, ArgParser &p) {
    const auto paths = inOut(ctx, p);
    if (!paths)
        return kExitUsage;
    const int start = timeOfDayNow();
    auto r = phonetag::clearPinyin(paths->input, paths->output, ctx.pump);
    if (!r.inputFound)
        return ctx.failOpen(phonetag::kOpenFailed, {paths->input});
    if (r.foreign)
        return ctx.report(phonetag::foreignReport("清除拼音：", *r.foreign, start));
    return ctx.report(phonetag::lineCountReport(r.lines, start));
}

int correct(Context &ctx, ArgParser &p) {
    auto log = p.option("--log");
    auto list = ctx.inputOption(p, "--list");
    const auto paths = inOut(ctx, p);
    if (!paths)
        return kExitUsage;
    const int start = timeOfDayNow();
    // A list asked for by name (a review list after editing) must be there.
    if (list && !fileExists(*list))
        return ctx.fail("找不到正确注音词表文件：" + *list);
    const fs::path logFile = log ? fs::path(*log) : ctx.writableFile(phonetag::kLogFile);
    EntryHashSet set = phonetag::makeEntrySet();
    auto r =
        phonetag::correctAnnotation(set, list ? fs::path(*list) : ctx.dataFile(phonetag::kListFile),
                                    paths->input, paths->output, logFile, ctx.pump);
    if (!r.listFound)
        return ctx.fail(phonetag::kListMissing);
    if (!r.inputFound)
        return ctx.failOpen(phonetag::kOpenFailed, {paths->input});
    if (r.foreign)
        return ctx.report(phonetag::foreignReport("修正拼音：", *r.foreign, start));
    return ctx.report(phonetag::correctReport(r.lines, start));
}

int extract(Context &ctx, ArgParser &p) {
    const auto paths = inOut(ctx, p);
    if (!paths)
        return kExitUsage;
    const int start = timeOfDayNow();
    auto r = phonetag::extractAnnotated(paths->input, paths->output, ctx.pump);
    if (!r.inputFound)
        return ctx.failOpen(phonetag::kOpenFailed, {paths->input});
    if (r.foreign)
        return ctx.report(phonetag::foreignReport("去掉没有编码的词条：", *r.foreign, start));
    return ctx.report(phonetag::extractReport(r.kept, start));
}

int adjust(Context &ctx, ArgParser &p) {
    const auto paths = inOut(ctx, p);
    if (!paths)
        return kExitUsage;
    const int start = timeOfDayNow();
    pinyin::AnnotationData data = pinyin::loadAnnotationData(
        annotationFiles(ctx), {.dictionary = pinyin::Need::Yes}, ctx.pump);
    if (data.missing)
        return ctx.fail(phonetag::kDictionaryMissing);
    pinyin::PinyinCounters counters;
    auto r =
        phonetag::adjustPinyin(paths->input, paths->output, *data.dictionary, counters, ctx.pump);
    if (!r.inputFound)
        return ctx.failOpen(phonetag::kOpenFailed, {paths->input});
    return ctx.report(phonetag::adjustReport(r.counters, start));
}

int dedup(Context &ctx, ArgParser &p) {
    const auto paths = inOut(ctx, p);
    if (!paths)
        return kExitUsage;
    const int start = timeOfDayNow();
    EntryHashSet set = phonetag::makeEntrySet();
    auto r = phonetag::removeRepeatedEntries(set, paths->input, paths->output, ctx.pump);
    if (!r.inputFound)
        return ctx.fail(phonetag::kOpenSourceFailed);
    if (r.foreign)
        return ctx.report(phonetag::foreignReport("删除重复词条：", *r.foreign, start));
    return ctx.report(phonetag::dedupReport(r, start));
}

} // namespace

const ToolCli &phonetagCli() {
    static const ToolCli cli{
        "词库注音：自动注音、清除拼音、注音修正、提取注音词条、调整赘拼欠拼、删除重复词条",
        {{"annotate", kAnnotateUsage, "自动注音（数据目录的 dz.txt 与 zn.lxd）", annotate,
          "  --review FILE  把注音靠猜测的词条（待审词条）写到 FILE，常用词在前，格式同 lw.txt；\n"
          "                 改好后用 correct --list FILE 修正（需数据目录的 dy.txt 与 cp.txt）\n"
          "  Rime、fcitx5、libpinyin 等其它程序的词库：没有编码的词条注入编码列（按该格式\n"
          "  分隔音节），有编码的不变；文件头与其它列原样保留，按原格式写出\n",
          kFormatOption},
         {"clear", kClearUsage, "清除拼音：每行只留词", clear,
          "  Rime 词典（*.dict.yaml）：清除各词条的编码列，文件头与其它列原样保留\n",
          kFormatOption},
         {"correct", kCorrectUsage, "开始修正注音（数据目录的 lw.txt）", correct,
          "  --log FILE   修正记录写到 FILE（默认：数据目录的 log.txt）\n"
          "  --list FILE  按 FILE 修正（默认：数据目录的 lw.txt），例如改好的待审词条\n",
          kCapacityOption | kMemoryOption | kFormatOption},
         {"extract", kExtractUsage, "提取注音词条：只留带拼音的行", extract, "", kFormatOption},
         {"adjust", kAdjustUsage, "调整赘拼欠拼（数据目录的 dz.txt）", adjust, "", kFormatOption},
         {"dedup", kDedupUsage, "删除重复词条：整行相同的只留第一行", dedup,
          "  Rime、fcitx5、libpinyin 等其它程序的词库：词和编码相同的词条只留第一条，\n"
          "  权重取大的；文件头与非词条行原样保留，按原格式写出\n",
          kAllSizeOptions | kFormatOption}}};
    return cli;
}

} // namespace lex::cli
