#include "lexmerge/foreign_merge.h"

#include "shared/formats/format_detection.h"
#include "shared/lexcore/file_io.h"

#include <exception>
#include <optional>
#include <thread>

namespace lex::lexmerge {

using formats::EntryIndex;
using formats::ForeignEntry;
using formats::ForeignLexicon;

namespace {

// Writes the result and makes the report's lines.
MergeResult finish(const ForeignLexicon &first, const std::optional<ForeignLexicon> &second,
                   const std::vector<ForeignEntry> &out, bool byWord,
                   const ForeignMergeOptions &options, int64_t merged, SetOperation op,
                   const std::filesystem::path &output, EventPump &pump) {
    const ForeignLexicon::Written written = first.write(output, out, pump);
    MergeResult result;
    result.count = written.lines;
    result.shape = formats::foreignReport(first, written);
    result.shape += std::string(byWord ? "按词比较" : "按词和编码比较");
    if (merged)
        result.shape += "，合并权重（" + std::string(formats::weightRuleName(options.weights)) +
                        "）：" + std::to_string(merged) + " 条";
    result.shape += "\r\n";
    if (second && second->header().size() + second->others().size() > 0 &&
        op != SetOperation::Intersection && op != SetOperation::Deletion)
        result.shape += "词库二的文件头与非词条行未写出：" +
                        std::to_string(second->header().size() + second->others().size()) +
                        " 行\r\n";
    return result;
}

} // namespace

MergeResult runForeignSetOperation(SetOperation op, formats::Format format,
                                   const std::filesystem::path &one,
                                   const std::filesystem::path &two,
                                   const std::filesystem::path &output,
                                   const ForeignMergeOptions &options, EventPump &pump) {
    // Lexicon two is read on a second thread while this one reads lexicon one; a failure of
    // either (a missing file, a folder, a FIFO, bad bytes) is reported with its own reason, as
    // it would be read one after the other.
    std::optional<ForeignLexicon> second;
    std::exception_ptr secondFailed;
    std::jthread secondReader;
    if (!two.empty()) {
        const formats::Format twoFormat =
            formats::foreignFormat(two).value_or(formats::Format::Quillo);
        secondReader = std::jthread([&, twoFormat] {
            NullPump quiet;
            try {
                second.emplace(two, twoFormat, quiet);
            } catch (...) {
                secondFailed = std::current_exception();
            }
        });
    }
    // A union gathers lexicon two's entries into lexicon one's: room for both.
    ForeignLexicon first(one, format, pump,
                         op == SetOperation::Union ? two : std::filesystem::path());
    if (secondReader.joinable())
        secondReader.join();
    if (secondFailed)
        std::rethrow_exception(secondFailed);
    const bool byWord = options.byWord || !first.hasCodes() || (second && !second->hasCodes());
    int64_t folded = 0, merged = 0;
    if (op == SetOperation::Union) {
        // One pass over both, in lexicon one's entries: each entry once, the weights of every
        // repeat merged.
        folded = first.foldRepeats(byWord, options.weights, pump, second ? &*second : nullptr);
        return finish(first, second, first.entries(), byWord, options, folded, op, output, pump);
    }
    folded += first.foldRepeats(byWord, options.weights, pump);
    const std::vector<ForeignEntry> &a = first.entries();
    std::vector<ForeignEntry> b;
    if (second) {
        folded += second->foldRepeats(byWord, options.weights, pump);
        b = std::move(second->entries());
        for (ForeignEntry &e : b)
            first.adopt(e, *second);
    }
    std::vector<ForeignEntry> out;
    auto indexOf = [&](const std::vector<ForeignEntry> &entries) {
        EntryIndex index(entries, byWord, entries.size());
        for (size_t i = 0; i < entries.size(); ++i)
            index.insert(uint32_t(i));
        return index;
    };
    switch (op) {
    case SetOperation::Union:
        break;
    case SetOperation::Intersection: {
        const EntryIndex inB = indexOf(b);
        for (const ForeignEntry &e : a)
            if (const uint32_t at = inB.find(e); at != EntryIndex::kNone) {
                out.push_back(e);
                first.mergeWeight(out.back(), b[at], options.weights);
                ++merged;
            }
        break;
    }
    case SetOperation::Difference:
    case SetOperation::Deletion: {
        const EntryIndex inA = indexOf(a), inB = indexOf(b);
        for (const ForeignEntry &e : a)
            if (inB.find(e) == EntryIndex::kNone)
                out.push_back(e);
        if (op == SetOperation::Difference)
            for (const ForeignEntry &e : b)
                if (inA.find(e) == EntryIndex::kNone)
                    out.push_back(e);
        break;
    }
    }
    return finish(first, second, out, byWord, options, merged + folded, op, output, pump);
}

} // namespace lex::lexmerge
