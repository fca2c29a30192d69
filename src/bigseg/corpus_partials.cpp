#include "bigseg/corpus_count.h"

#include "bigseg/word_counts.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/partial_counts.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/text_format.h"

#include <algorithm>
#include <charconv>

namespace lex::bigseg {

std::string wordListFingerprint(const SegmentLexicon &lexicon) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (int32_t i = 0; i < lexicon.size(); ++i) {
        for (char16_t c : lexicon[i])
            h = (h ^ c) * 0x100000001B3ull;
        h = (h ^ 0x10000u) * 0x100000001B3ull; // the end of an entry
    }
    char hex[17];
    for (int i = 15; i >= 0; --i, h >>= 4)
        hex[i] = "0123456789abcdef"[h & 15];
    hex[16] = 0;
    return std::to_string(lexicon.size()) + "-" + hex;
}

namespace {

constexpr const char *kKind = "bigseg";

std::string encodingName(const std::optional<LexiconEncoding> &e) {
    if (!e)
        return "-";
    switch (*e) {
    case LexiconEncoding::Utf8:
        return "utf-8";
    case LexiconEncoding::Utf16Le:
        return "utf-16le";
    case LexiconEncoding::Ansi936:
        break;
    }
    return "gbk";
}

std::string lineEndName(const std::optional<bool> &crlf) {
    return !crlf ? "-" : *crlf ? "crlf" : "lf";
}

} // namespace

void writePartialCounts(const CorpusCounts &counts, const std::filesystem::path &path,
                        int16_t splitBelow, const std::string &fingerprint) {
    PartialWriter w(path, kKind);
    w.field("split-below", std::to_string(splitBelow));
    w.field("word-list", fingerprint);
    w.field("text", counts.hasText ? "1" : "0");
    w.field("encoding", encodingName(counts.encoding));
    w.field("line-end", lineEndName(counts.crlf));
    w.field("whole", counts.ends.whole ? "1" : "0");
    w.field("head", toUtf8(counts.ends.head));
    w.field("tail", toUtf8(counts.ends.tail));
    w.words(int64_t(counts.words.size()));
    for (const auto &[word, n] : counts.words)
        w.word(word, n);
    w.close();
}

CorpusCounts mergePartialCounts(const std::vector<std::filesystem::path> &paths,
                                const std::function<const SegmentLexicon &()> &lexicon,
                                int16_t &splitBelow, std::string &fingerprint) {
    std::vector<std::unique_ptr<PartialReader>> inputs;
    CorpusCounts out;
    std::vector<std::u16string> heads, tails;
    std::vector<EndsView> parts;
    std::string below;
    for (const auto &p : paths) {
        auto in = std::make_unique<PartialReader>(p);
        if (in->kind() != kKind)
            throw LexError("不是 bigseg 的部分计数：" + p.string(), p);
        const std::string b = in->required("split-below"), list = in->required("word-list");
        if (inputs.empty()) {
            below = b;
            fingerprint = list;
        } else if (b != below || list != fingerprint) {
            throw LexError("部分计数不是用同一词库和选项统计的：" + p.string(), p);
        }
        if (in->required("text") == "1" && !out.hasText) {
            out.hasText = true;
            const std::string e = in->required("encoding");
            out.encoding = e == "utf-8"      ? LexiconEncoding::Utf8
                           : e == "utf-16le" ? LexiconEncoding::Utf16Le
                                             : LexiconEncoding::Ansi936;
        }
        if (!out.crlf) {
            const std::string le = in->required("line-end");
            if (le != "-")
                out.crlf = le == "crlf";
        }
        heads.push_back(fromUtf8(in->required("head")));
        tails.push_back(fromUtf8(in->required("tail")));
        parts.push_back({in->required("whole") == "1", {}, {}});
        inputs.push_back(std::move(in));
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        parts[i].head = heads[i];
        parts[i].tail = tails[i];
    }
    int value = 4;
    std::from_chars(below.data(), below.data() + below.size(), value);
    splitBelow = int16_t(value);

    WordCounts joints;
    std::optional<RunCounter> runs;
    out.ends = joinEnds(parts, [&](std::u16string_view run) {
        if (run.empty())
            return;
        if (!runs) {
            const SegmentLexicon &list = lexicon();
            if (wordListFingerprint(list) != fingerprint)
                throw LexError("合并用的词库与统计部分计数时的词库不同。");
            runs.emplace(list, 0, splitBelow);
        }
        runs->count(run, joints, 1);
    });
    const auto extra = joints.sorted();
    auto b = extra.begin();
    std::u16string word;
    mergeSorted(inputs, [&](std::string_view utf8, int64_t n) {
        word = fromUtf8(utf8);
        while (b != extra.end() && b->first < word)
            out.words.push_back(*b++);
        if (b != extra.end() && b->first == word)
            n += (b++)->second;
        out.words.emplace_back(word, n);
    });
    out.words.insert(out.words.end(), b, extra.end());
    return out;
}

TextFormat segmentFileFormat(const CorpusCounts &counts) {
    TextFormat f;
    if (counts.encoding == LexiconEncoding::Utf8) {
        f.encoding = LexiconEncoding::Utf8;
        f.crlf = counts.crlf.value_or(false);
    }
    return f;
}

int64_t writeWordStats(const CorpusCounts &counts, const std::filesystem::path &output,
                       RunContext &run) {
    std::vector<const std::pair<std::u16string, int64_t> *> order;
    order.reserve(counts.words.size());
    for (const auto &w : counts.words)
        order.push_back(&w);
    std::sort(order.begin(), order.end(), [](const auto *a, const auto *b) {
        if (a->second != b->second)
            return a->second > b->second;
        return a->first > b->first;
    });
    LineWriter writer(output, run);
    std::u16string line;
    for (const auto *w : order) {
        line.clear();
        const std::string digits = std::to_string(w->second);
        line.append(digits.size() < 6 ? 6 - digits.size() : 0, u'0');
        for (char c : digits)
            line += char16_t(c);
        line += u'\t';
        line += w->first;
        writer.writeLine(line);
    }
    writer.close();
    return int64_t(order.size());
}

std::string countReport(int64_t entries, std::string_view elapsed) {
    return CompletionText().count("合计词条：", entries).text(elapsed);
}

} // namespace lex::bigseg
