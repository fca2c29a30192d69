#include "lexconv/conversion.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lexicon_files.h"
#include "shared/lexcore/report.h"

#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace lex::lexconv {
namespace fs = std::filesystem;

namespace {

constexpr const char *kNoReading = "无法注音（有的字没有读音）";
constexpr int kYieldEvery = 4096;

// The lines kept so far, one record per distinct line body, in first-occurrence order: the
// bodies and kept weight texts in one arena, an open-addressing index over them.
class DistinctLines {
public:
    struct Record {
        uint64_t hash;
        uint32_t bodyAt, bodyLength;
        uint32_t weightAt, weightLength; // the weight's text as written, if kept
        double weight;
        bool hasWeight, codeWritten;
    };

    // The record of `body`, and whether it is new.
    std::pair<Record *, bool> insert(std::u16string_view body) {
        if ((m_records.size() + 1) * 2 > m_index.size())
            grow();
        const uint64_t h = hash(body);
        size_t i = size_t(h) & (m_index.size() - 1);
        for (;; i = (i + 1) & (m_index.size() - 1)) {
            const uint32_t slot = m_index[i];
            if (slot == 0)
                break;
            Record &r = m_records[slot - 1];
            if (r.hash == h && r.bodyLength == body.size() &&
                std::memcmp(m_arena.data() + r.bodyAt, body.data(), body.size() * 2) == 0)
                return {&r, false};
        }
        Record r{h, uint32_t(m_arena.size()), uint32_t(body.size()), 0, 0, 0, false, false};
        if (m_arena.size() + body.size() >= 0xFFFFFFF0u)
            throw std::bad_alloc();
        m_arena.append(body);
        m_records.push_back(r);
        m_index[i] = uint32_t(m_records.size());
        return {&m_records.back(), true};
    }

    void setWeightText(Record &r, std::u16string_view text) {
        r.weightAt = uint32_t(m_arena.size());
        r.weightLength = uint32_t(text.size());
        m_arena.append(text);
    }

    std::u16string_view body(const Record &r) const {
        return std::u16string_view(m_arena).substr(r.bodyAt, r.bodyLength);
    }
    std::u16string_view weightText(const Record &r) const {
        return std::u16string_view(m_arena).substr(r.weightAt, r.weightLength);
    }
    std::vector<Record> &records() { return m_records; }

private:
    static uint64_t hash(std::u16string_view s) {
        uint64_t h = 0xcbf29ce484222325ull;
        for (char16_t c : s)
            h = (h ^ c) * 0x100000001b3ull;
        return h ^ (h >> 29);
    }
    void grow() {
        std::vector<uint32_t> index(std::max<size_t>(1024, m_index.size() * 2));
        for (size_t k = 0; k < m_records.size(); ++k) {
            size_t i = size_t(m_records[k].hash) & (index.size() - 1);
            while (index[i] != 0)
                i = (i + 1) & (index.size() - 1);
            index[i] = uint32_t(k + 1);
        }
        m_index.swap(index);
    }

    std::u16string m_arena;
    std::vector<Record> m_records;
    std::vector<uint32_t> m_index;
};

std::u16string lineNumberText(int64_t n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// Weights between formats: counts become costs as log10(count / largest count), costs become
// counts as one million times ten to the cost.
double toCost(double count, double largest) {
    if (largest <= 0)
        return 0;
    return std::log10(std::max(count, 0.5) / largest);
}
double toCount(double cost) {
    return std::round(1e6 * std::pow(10.0, std::min(cost, 3.0)));
}

} // namespace

fs::path rejectsPath(const fs::path &output) {
    fs::path p = output;
    p += kRejectsSuffix;
    return p;
}

ConvertResult convertLexicon(const fs::path &input, const fs::path &output,
                             const ConvertOptions &options, Annotator &annotator, EventPump &pump) {
    ConvertResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    const std::optional<Format> from = options.from ? options.from : detectFormat(input);
    if (!from)
        throw LexError("无法识别词库格式：" + input.string() + "（请指定源格式）", input);
    result.from = *from;
    const FormatInfo &source = formatInfo(*from);
    const FormatInfo &target = formatInfo(options.to);
    const bool sameFormat = *from == options.to;

    // Weights: kept, converted between counts and costs, given, or by order.
    const bool toCosts = target.weight == WeightKind::Cost && source.weight == WeightKind::Count;
    const bool toCounts = target.weight != WeightKind::Cost && source.weight == WeightKind::Cost;
    // Without deduplication nothing is kept: what the weights need from the whole input (the
    // number of entries, the largest count) comes from a first pass over it.
    int64_t entries = 0;
    double largest = 0;
    if (!options.dedup && !options.weight && (options.weightByOrder || toCosts)) {
        LineStream pass(input);
        FormatReader reader(*from);
        std::u16string_view line;
        while (pass.next(line)) {
            const ParsedLine &p = reader.parse(line);
            if (p.kind == LineKind::Entry) {
                ++entries;
                if (p.entry.weight)
                    largest = std::max(largest, *p.entry.weight);
            }
            if (pass.lineNumber() % kYieldEvery == 0)
                pump.yield();
        }
    }

    LineStream in(input);
    FormatReader reader(*from);
    FormatWriter::Options wo;
    wo.ue = options.ue ? *options.ue : target.ue;
    wo.quilloWeights = options.quilloWeights;
    wo.sameFormat = sameFormat;
    std::string name = output.filename().string();
    if (name.ends_with(".dict.yaml"))
        name.resize(name.size() - 10);
    else
        name = output.stem().string();
    wo.rimeName = fromUtf8(name);
    std::optional<FormatWriter> writer;
    LineWriter out(output, target.output ? *target.output : lexiconOutputFormat(),
                   LossReport::ToScope);
    const fs::path rejects = rejectsPath(output);
    std::optional<LineWriter> rejectWriter;
    auto start = [&] {
        if (writer)
            return;
        if (options.to == Format::Rime && sameFormat) {
            wo.rimeHeader = reader.header();
            wo.rimeColumns = reader.columns();
        }
        writer.emplace(options.to, wo);
        writer->begin(out);
    };
    // An output that is a device (/dev/stdout) has no folder for a rejects file beside it: its
    // rejected lines become notices instead.
    struct stat st {};
    const bool device = ::stat(output.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
    auto refuse = [&](int64_t lineNumber, const char *reason, std::u16string_view line) {
        const std::u16string text =
            lineNumberText(lineNumber) + u"\t" + fromUtf8(reason) + u"\t" + std::u16string(line);
        ++result.rejected;
        if (device) {
            notice("未能转换：" + toUtf8(text));
            return;
        }
        if (!rejectWriter)
            rejectWriter.emplace(rejects, TextFormat{LexiconEncoding::Utf8, false});
        rejectWriter->writeLine(text);
    };

    DistinctLines distinct;
    int64_t index = 0; // entries written so far, for weights by order
    auto finalWeight = [&](std::optional<double> w, int64_t position) -> std::optional<double> {
        if (options.weight)
            return options.weight;
        if (options.weightByOrder)
            return double(entries - position);
        if (!w)
            return std::nullopt;
        if (toCosts)
            return toCost(*w, largest);
        if (toCounts)
            return toCount(*w);
        return w;
    };

    std::u16string_view line;
    while (in.next(line)) {
        const int64_t lineNumber = in.lineNumber();
        if (lineNumber % kYieldEvery == 0) {
            pump.setProgress(int64_t(in.bytesRead()), int64_t(in.size()));
            pump.yield();
        }
        ParsedLine &p = reader.parse(line);
        if (p.kind == LineKind::Skip) {
            ++result.skipped;
            continue;
        }
        if (p.kind == LineKind::Deleted) {
            ++result.deleted;
            continue;
        }
        if (p.kind == LineKind::Reject) {
            refuse(lineNumber, p.reason, line);
            continue;
        }
        Entry &e = p.entry;
        // A code that is no pinyin of the word survives only into its own format.
        if (p.reason && !(sameFormat && !e.rawCode.empty())) {
            refuse(lineNumber, p.reason, line);
            continue;
        }
        // Into its own format a line keeps its code, or its lack of one (Rime encodes a word
        // without code itself).
        const bool keepsRawCode = sameFormat;
        const bool incomplete =
            e.syllables.empty() ||
            std::find(e.syllables.begin(), e.syllables.end(), std::string()) != e.syllables.end();
        if (!keepsRawCode && ((target.needsCode && incomplete) || e.alternatives.size() > 1)) {
            const auto reading = annotator.annotate(e.word, incomplete ? e.syllables : Syllables());
            if (e.alternatives.size() > 1) {
                // An ambiguous code: the reading the annotation gives, else the first split.
                for (const Syllables &alt : e.alternatives)
                    if (reading && alt == *reading)
                        e.syllables = alt;
            } else if (!reading) {
                refuse(lineNumber, kNoReading, line);
                continue;
            } else {
                e.syllables = *reading;
                ++result.annotated;
            }
        }
        start();
        if (const char *why = writer->refusal(e)) {
            refuse(lineNumber, why, line);
            continue;
        }
        const std::u16string_view body = writer->body(e);
        const bool codeWritten = writer->codeWritten(e);
        // The weight's text as written stays only when the weight itself stays.
        const bool ownWeight = sameFormat && !options.weight && !options.weightByOrder;
        const std::u16string_view asWritten = ownWeight ? std::u16string_view(e.weightText) : u"";
        if (!options.dedup) {
            const auto w = finalWeight(e.weight, index++);
            writer->writeLine(out, body,
                              writer->weightField(w, w == e.weight ? asWritten : u"", codeWritten));
            ++result.converted;
            continue;
        }
        auto [record, fresh] = distinct.insert(body);
        if (fresh) {
            record->hasWeight = e.weight.has_value();
            record->weight = e.weight.value_or(0);
            record->codeWritten = codeWritten;
            distinct.setWeightText(*record, asWritten);
        } else {
            ++result.merged;
            if (e.weight && (!record->hasWeight || *e.weight > record->weight)) {
                record->hasWeight = true;
                record->weight = *e.weight;
                distinct.setWeightText(*record, asWritten);
            }
        }
        if (e.weight)
            largest = std::max(largest, *e.weight);
    }

    start();
    if (options.dedup) {
        auto &records = distinct.records();
        entries = int64_t(records.size());
        for (size_t i = 0; i < records.size(); ++i) {
            const auto &r = records[i];
            const std::optional<double> own =
                r.hasWeight ? std::optional<double>(r.weight) : std::nullopt;
            const auto w = finalWeight(own, int64_t(i));
            writer->writeLine(
                out, distinct.body(r),
                writer->weightField(w, w == own ? distinct.weightText(r) : u"", r.codeWritten));
            if (i % kYieldEvery == 0)
                pump.yield();
        }
        result.converted = entries;
    }
    out.close();
    // The rejects of this run replace those of an earlier one; a run without rejects leaves none.
    if (rejectWriter) {
        rejectWriter->close();
        result.rejects = rejects;
    } else if (!device && fileExists(rejects)) {
        ::unlink(rejects.c_str());
    }
    return result;
}

StandardLines::StandardLines(const fs::path &path, Format from)
    : m_in(path), m_reader(from), m_writer(Format::Quillo, FormatWriter::Options{}) {}

bool StandardLines::next(std::u16string_view &line) {
    std::u16string_view raw;
    while (m_in.next(raw)) {
        const ParsedLine &p = m_reader.parse(raw);
        if (p.kind != LineKind::Entry || m_writer.refusal(p.entry)) {
            ++m_skipped;
            continue;
        }
        m_line = m_writer.body(p.entry);
        line = m_line;
        return true;
    }
    return false;
}

std::string convertReport(const ConvertResult &r, const std::string &elapsed) {
    CompletionText text;
    text.line(std::string("源格式：") + formatInfo(r.from).name);
    text.count("转换词条：", r.converted);
    text.count("合并重复：", r.merged);
    text.count("自动注音：", r.annotated);
    text.count("未能转换：", r.rejected);
    text.count("跳过的行：", r.skipped);
    if (r.deleted > 0)
        text.count("已删除的词条：", r.deleted);
    if (!r.rejects.empty())
        text.line("未能转换的行见：" + r.rejects.string());
    return text.text(elapsed);
}

} // namespace lex::lexconv
