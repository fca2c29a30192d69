#include "lexmerge/foreign_merge.h"

#include "shared/formats/format_detection.h"
#include "shared/lexcore/file_io.h"

#include <optional>
#include <unordered_map>

namespace lex::lexmerge {

using formats::ForeignEntry;
using formats::ForeignLexicon;

namespace {

// Where each key first stands in `entries`.
using Places = std::unordered_map<std::u16string, size_t>;

Places placesOf(const std::vector<ForeignEntry> &entries, bool byWord, EventPump &pump) {
    Places places;
    places.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        if ((i & 0xFFF) == 0)
            pump.yield();
        places.emplace(ForeignLexicon::entryKey(entries[i], byWord), i);
    }
    return places;
}

// The entries of `lexicon`, each key once, the weights of the later ones merged into the first
// (first and second: the earlier and the later one).
std::vector<ForeignEntry> distinct(const ForeignLexicon &lexicon, bool byWord,
                                   formats::WeightRule rule, int64_t &folded, EventPump &pump) {
    std::vector<ForeignEntry> out;
    out.reserve(lexicon.entries().size());
    Places places;
    places.reserve(lexicon.entries().size());
    for (const ForeignEntry &e : lexicon.entries()) {
        if ((out.size() & 0xFFF) == 0)
            pump.yield();
        auto [it, added] = places.emplace(ForeignLexicon::entryKey(e, byWord), out.size());
        if (added) {
            out.push_back(e);
            continue;
        }
        ++folded;
        lexicon.mergeWeight(out[it->second], e, rule);
    }
    return out;
}

} // namespace

MergeResult runForeignSetOperation(SetOperation op, formats::Format format,
                                   const std::filesystem::path &one,
                                   const std::filesystem::path &two,
                                   const std::filesystem::path &output,
                                   const ForeignMergeOptions &options, EventPump &pump) {
    const ForeignLexicon first(one, format, pump);
    std::optional<ForeignLexicon> second;
    if (!two.empty()) {
        if (!fileExists(two))
            throw LexError("词库二不存在：" + two.string(), two);
        const formats::Format twoFormat =
            formats::foreignFormat(two).value_or(formats::Format::Quillo);
        second.emplace(two, twoFormat, pump);
    }
    const bool byWord = options.byWord || !first.hasCodes() || (second && !second->hasCodes());
    int64_t folded = 0;
    std::vector<ForeignEntry> a = distinct(first, byWord, options.weights, folded, pump);
    std::vector<ForeignEntry> b;
    if (second) {
        b = distinct(*second, byWord, options.weights, folded, pump);
        for (ForeignEntry &e : b)
            first.adopt(e, *second);
    }
    const Places inA = placesOf(a, byWord, pump), inB = placesOf(b, byWord, pump);
    std::vector<ForeignEntry> out;
    int64_t merged = 0;
    switch (op) {
    case SetOperation::Union:
        out = std::move(a);
        for (ForeignEntry &e : b) {
            if (auto it = inA.find(ForeignLexicon::entryKey(e, byWord)); it != inA.end()) {
                first.mergeWeight(out[it->second], e, options.weights);
                ++merged;
            } else {
                out.push_back(std::move(e));
            }
        }
        break;
    case SetOperation::Intersection:
        for (ForeignEntry &e : a)
            if (auto it = inB.find(ForeignLexicon::entryKey(e, byWord)); it != inB.end()) {
                first.mergeWeight(e, b[it->second], options.weights);
                ++merged;
                out.push_back(std::move(e));
            }
        break;
    case SetOperation::Difference:
    case SetOperation::Deletion:
        for (ForeignEntry &e : a)
            if (!inB.count(ForeignLexicon::entryKey(e, byWord)))
                out.push_back(std::move(e));
        if (op == SetOperation::Difference)
            for (ForeignEntry &e : b)
                if (!inA.count(ForeignLexicon::entryKey(e, byWord)))
                    out.push_back(std::move(e));
        break;
    }
    const ForeignLexicon::Written written = first.write(output, out, pump);
    MergeResult result;
    result.count = written.lines;
    result.shape = formats::foreignReport(first, written);
    result.shape += std::string(byWord ? "按词比较" : "按词和编码比较");
    if (merged || folded)
        result.shape += "，合并权重（" + std::string(formats::weightRuleName(options.weights)) +
                        "）：" + std::to_string(merged + folded) + " 条";
    result.shape += "\r\n";
    if (second && second->header().size() + second->others().size() > 0 &&
        op != SetOperation::Intersection && op != SetOperation::Deletion)
        result.shape += "词库二的文件头与非词条行未写出：" +
                        std::to_string(second->header().size() + second->others().size()) +
                        " 行\r\n";
    return result;
}

} // namespace lex::lexmerge
