#include "shared/formats/conversion.h"

#include "shared/formats/field_text.h"
#include "shared/formats/format_detection.h"

#include "shared/lexcore/atomic_output.h"
#include "shared/lexcore/byte_lines.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/ordered_batches.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/text_format.h"

#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace lex::formats {
namespace fs = std::filesystem;

namespace {

constexpr const char *kNoReading = "无法注音（有的字没有读音）";
constexpr const char *kInvalidUtf8 = "无效的 UTF-8 字节";
constexpr int kYieldEvery = 4096;
// librime's shared data, where it looks for what the user's folder lacks.
constexpr const char *kRimeSharedData = "/usr/share/rime-data";
// The most readings a word without code gets (librime's limit of its encoder).
constexpr size_t kReadingLimit = 32;

// The lines kept so far, one record per distinct line body, in first-occurrence order. Each
// record sits in one arena with its body right behind it, and the open-addressing index holds
// the record's place and the top of its hash: a probe reads memory only for a likely match, and
// a match costs one cache miss for record and body together. Kept weight texts have an arena of
// their own, so that the records can be walked in order. Mapped memory grows without copying.
class DistinctLines {
public:
    // Sixteen bytes: a million records are 16 MB less of fresh memory than with the hash and
    // the weight text's length in them (the index grows without them by hashing again).
    struct Record {
        double weight;
        uint32_t bodyLength : 30, hasWeight : 1, codeWritten : 1;
        uint32_t weightAt; // the weight's text as written, if kept (0: none)
    };
    static_assert(sizeof(Record) == 16);
    static constexpr size_t kAlign = alignof(Record);

    static uint64_t hash(std::u16string_view s) { return hashLine(s); }

    // Prefetching a few lines ahead: first the index slot, then (once that is in the cache) the
    // record it most likely names.
    void prefetchSlot(uint64_t h) const {
        if (m_mask != 0)
            __builtin_prefetch(&m_index[size_t(h) & m_mask]);
    }
    void prefetchRecord(uint64_t h) const {
        if (m_mask == 0)
            return;
        // The records of the first slots of its probe (most probes end within them).
        for (size_t i = size_t(h) & m_mask, n = 0; n < 4; i = (i + 1) & m_mask, ++n) {
            const uint64_t slot = m_index[i];
            if (slot == 0)
                return;
            if ((slot & kTagMask) == (h & kTagMask)) {
                __builtin_prefetch(m_arena.data() + placeOf(slot));
                return;
            }
        }
    }

    // The record of `body` (whose hash() is `h`), and whether it is new.
    std::pair<Record *, bool> insert(std::u16string_view body, uint64_t h) {
        if ((m_count + 1) * 2 > m_mask + 1)
            grow();
        size_t i = size_t(h) & m_mask;
        for (;; i = (i + 1) & m_mask) {
            const uint64_t slot = m_index[i];
            if (slot == 0)
                break;
            if ((slot & kTagMask) != (h & kTagMask))
                continue;
            Record *r = at(placeOf(slot));
            if (r->bodyLength == body.size() &&
                std::memcmp(r + 1, body.data(), body.size() * 2) == 0)
                return {r, false};
        }
        const size_t place = m_arena.size();
        if (place / kAlign + 1 >= 0xFFFFFFF0u || body.size() >= (size_t(1) << 30))
            throw std::bad_alloc();
        Record *r = reinterpret_cast<Record *>(m_arena.extend(recordBytes(body.size())));
        *r = Record{0, uint32_t(body.size()), 0, 0, 0};
        std::memcpy(r + 1, body.data(), body.size() * 2);
        m_index[i] = (h & kTagMask) | (place / kAlign + 1);
        ++m_count;
        return {r, true};
    }

    // Kept as its length in two units, then the text; place 0 is never used.
    void setWeightText(Record &r, std::u16string_view text) {
        r.weightAt = 0;
        if (text.empty())
            return;
        if (m_weights.size() + text.size() + 3 >= 0xFFFFFFF0u)
            throw std::bad_alloc();
        if (m_weights.size() == 0)
            m_weights.push_back(0);
        r.weightAt = uint32_t(m_weights.size());
        m_weights.push_back(char16_t(text.size()));
        m_weights.push_back(char16_t(text.size() >> 16));
        m_weights.append(text.data(), text.size());
    }

    // Room for about `lines` lines of `units` code units in all. Address space only for the
    // arena: pages cost once written, and it never has to move. The index gets the size of up
    // to a million lines at once, not the smaller ones it would grow through (each of them
    // fresh memory, and a rehash); past that it grows with the distinct lines, which may be
    // far fewer than the lines (a big index is touched all over by a few entries).
    void reserve(size_t lines, size_t units) {
        m_arena.reserve(m_arena.size() + lines * sizeof(Record) + units * 2);
        const size_t slots = std::bit_ceil(std::min(lines, kPresizedLines) * 2);
        if (m_count == 0 && slots > m_mask + 1)
            resize(slots);
    }

    size_t size() const { return m_count; }
    // The records in first-occurrence order: from place 0 to end(), each one's after() the next.
    size_t end() const { return m_arena.size(); }
    size_t after(size_t place) const { return place + recordBytes(at(place)->bodyLength); }
    const Record &record(size_t place) const { return *at(place); }
    // Calls f(record) for every record, in first-occurrence order.
    template <class F> void forEach(F f) const {
        for (size_t place = 0; place < end(); place = after(place))
            f(record(place));
    }
    std::u16string_view body(const Record &r) const {
        return std::u16string_view(reinterpret_cast<const char16_t *>(&r + 1), r.bodyLength);
    }
    std::u16string_view weightText(const Record &r) const {
        if (r.weightAt == 0)
            return {};
        const char16_t *at = m_weights.data() + r.weightAt;
        return std::u16string_view(at + 2, size_t(at[0]) | size_t(at[1]) << 16);
    }

private:
    static constexpr uint64_t kTagMask = ~uint64_t(0xFFFFFFFF);
    static constexpr size_t kPresizedLines = size_t(1) << 20;
    static size_t placeOf(uint64_t slot) { return (size_t(uint32_t(slot)) - 1) * kAlign; }
    // A record and its body of `units` code units, up to the next record.
    static size_t recordBytes(size_t units) {
        return (sizeof(Record) + units * 2 + kAlign - 1) & ~(kAlign - 1);
    }
    Record *at(size_t place) const { return reinterpret_cast<Record *>(m_arena.data() + place); }

    void grow() { resize(std::max<size_t>(4096, (m_mask + 1) * 2)); }
    void resize(size_t slots) {
        LargeArray<uint64_t> index;
        index.extend(slots); // fresh memory reads as zero
        const size_t mask = slots - 1;
        forEach([&](const Record &r) {
            const uint64_t h = hash(body(r));
            size_t i = size_t(h) & mask;
            while (index[i] != 0)
                i = (i + 1) & mask;
            const size_t place = size_t(reinterpret_cast<const char *>(&r) - m_arena.data());
            index[i] = (h & kTagMask) | (place / kAlign + 1);
        });
        m_index.swap(index);
        m_mask = mask;
    }

    LargeArray<char> m_arena;
    LargeArray<char16_t> m_weights;
    LargeArray<uint64_t> m_index;
    size_t m_mask = 0, m_count = 0;
};

// What a line of the body came to on either thread. The annotation is not shared between
// threads: an entry that needs it is annotated where the lines are written, in order.
enum class Outcome : uint8_t { Skip, Deleted, Reject, Entry, Annotate };

struct ConvertItem {
    int64_t lineNumber;
    uint32_t lineAt, lineLength;                         // in the batch's lines
    uint32_t bodyAt, bodyLength, weightAt, weightLength; // in the batch's output text
    uint64_t hash;                                       // of the body, to merge duplicates
    double weight;
    const char *reason;
    Outcome outcome;
    bool hasWeight, codeWritten;
};

// A batch of body lines: their text (the stream's lines do not outlive the next one), the
// reader they are parsed with, and what each became.
struct ConvertBatch {
    static constexpr size_t kLines = 4096;
    std::optional<FormatReader> reader;
    std::u16string lines, out;
    std::vector<ConvertItem> items;
    uint64_t bytesRead = 0;

    void clear() {
        lines.clear();
        out.clear();
        items.clear();
    }
    bool full() const { return items.size() >= kLines || lines.size() >= (size_t(1) << 24); }
    void add(std::u16string_view line, int64_t lineNumber) {
        ConvertItem it{};
        it.lineNumber = lineNumber;
        it.lineAt = uint32_t(lines.size());
        it.lineLength = uint32_t(line.size());
        lines += line;
        items.push_back(it);
    }
    void setEntry(ConvertItem &it, std::u16string_view body, std::u16string_view weightText,
                  std::optional<double> weight, bool codeWritten) {
        it.bodyAt = uint32_t(out.size());
        it.bodyLength = uint32_t(body.size());
        out += body;
        it.weightAt = uint32_t(out.size());
        it.weightLength = uint32_t(weightText.size());
        out += weightText;
        it.hasWeight = weight.has_value();
        it.weight = weight.value_or(0);
        it.codeWritten = codeWritten;
    }
    std::u16string_view line(const ConvertItem &it) const {
        return std::u16string_view(lines).substr(it.lineAt, it.lineLength);
    }
    std::u16string_view body(const ConvertItem &it) const {
        return std::u16string_view(out).substr(it.bodyAt, it.bodyLength);
    }
    std::u16string_view weightText(const ConvertItem &it) const {
        return std::u16string_view(out).substr(it.weightAt, it.weightLength);
    }
};

std::u16string lineNumberText(int64_t n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// Weights between formats: counts become costs as log10(count / largest count), costs become
// counts as one million times ten to the cost.
// What an entry without a count counts as, below every count (counts below 0.5 count as 0.5).
constexpr double kNoCount = 0.25;

double toCost(double count, double largest) {
    if (largest <= 0)
        return 0;
    return std::log10(std::max(count, count == kNoCount ? kNoCount : 0.5) / largest);
}
double toCount(double cost) {
    return std::round(1e6 * std::pow(10.0, std::min(cost, 3.0)));
}

// Whether some character of the entry lacks its syllable (or the line has no pinyin at all).
bool incomplete(const Entry &e) {
    return e.syllables.empty() ||
           std::find(e.syllables.begin(), e.syllables.end(), std::string()) != e.syllables.end();
}

// The readings librime encodes a word without code with, from the single-character entries of
// its dictionary: each code of a character whose weight is at least 5% of the character's total
// takes part (in the order of the codes), and the word gets every combination, at most 32. A
// share ("N%") weighs its part of the preset vocabulary's weight, or 0 without it; a code
// given twice counts once.
class CharacterReadings {
public:
    void learn(const Entry &e, double weight) {
        if (e.syllables.size() != 1 || e.syllables[0].empty() || characterCount(e.word) != 1)
            return;
        std::vector<Code> &codes = m_codes[e.word];
        for (const Code &c : codes)
            if (c.code == e.rawCode)
                return;
        codes.push_back({e.rawCode, e.syllables[0], weight});
    }
    void finish() {
        for (auto &[character, codes] : m_codes) {
            double total = 0;
            for (const Code &c : codes)
                total += c.weight;
            std::sort(codes.begin(), codes.end(),
                      [](const Code &a, const Code &b) { return a.code < b.code; });
            std::vector<std::string> &readings = m_readings[character];
            for (const Code &c : codes)
                if (c.weight >= total * kMinimalShare &&
                    std::find(readings.begin(), readings.end(), c.syllable) == readings.end())
                    readings.push_back(c.syllable); // zhong1 and zhong4 are one reading here
        }
        m_codes.clear();
    }
    // Every reading of `word`; empty when a character has none.
    std::vector<Syllables> of(std::u16string_view word) const {
        std::vector<Syllables> out{Syllables()};
        for (size_t i = 0; i < word.size();) {
            const size_t len = detail::isHighSurrogate(word[i]) && i + 1 < word.size() ? 2 : 1;
            const auto it = m_readings.find(std::u16string(word.substr(i, len)));
            if (it == m_readings.end() || it->second.empty())
                return {};
            std::vector<Syllables> next;
            for (const Syllables &head : out)
                for (const std::string &reading : it->second) {
                    if (next.size() >= kReadingLimit)
                        break;
                    next.push_back(head);
                    next.back().push_back(reading);
                }
            out = std::move(next);
            i += len;
        }
        return out;
    }

private:
    static constexpr double kMinimalShare = 0.05;
    struct Code {
        std::u16string code;
        std::string syllable;
        double weight;
    };
    std::unordered_map<std::u16string, std::vector<Code>> m_codes;
    std::unordered_map<std::u16string, std::vector<std::string>> m_readings;
};

// A Rime header read up to its end: its name and the dictionaries it imports.
FormatReader rimeHeader(const fs::path &file) {
    FormatReader reader(Format::Rime);
    LineStream in(file, LexiconEncoding::Utf8);
    std::u16string_view line;
    while (!reader.inBody() && in.next(line))
        reader.parse(line);
    return reader;
}

std::u16string rimeName(const FormatReader &header) {
    for (const std::u16string &line : header.header())
        if (detail::startsWith(line, u"name:"))
            return std::u16string(detail::yamlScalar(std::u16string_view(line).substr(5)));
    return {};
}

// A header without its import_tables (the key and the items of its block list).
std::vector<std::u16string> withoutImports(const std::vector<std::u16string> &header) {
    std::vector<std::u16string> out;
    bool in = false;
    for (const std::u16string &line : header) {
        if (detail::startsWith(line, u"import_tables:")) {
            in = true;
            continue;
        }
        if (in && !line.empty() && (detail::isBlank(line[0]) || line[0] == u'-'))
            continue;
        in = false;
        out.push_back(line);
    }
    return out;
}

// Reads every line of `in` with `reader`. The lines that may change how the next ones read
// (a header, "# no comment") go one by one, in order, to serial(reader, line, lineNumber); the
// others go in batches to work(batch, thread), on either of two threads, parsed by copies of
// the reader as it stood before the batch, and then in order to emit(batch). begin() is called
// before the first batch.
template <class Source, class Begin, class Serial, class Work, class Emit>
void readLines(Source &in, FormatReader &reader, Begin begin, Serial serial, Work work, Emit emit) {
    std::u16string_view line;
    bool pending = false; // `line` is read and waits for its turn
    while (in.next(line)) {
        if (!reader.mayChangeState(line)) {
            pending = true;
            break;
        }
        serial(reader, line, in.lineNumber());
    }
    while (pending) {
        begin();
        ConvertBatch batches[4];
        std::u16string stateLine; // the line that ended the batches
        int64_t stateLineNumber = 0;
        auto fill = [&](ConvertBatch &b) {
            b.clear();
            b.reader = reader;
            while (pending) {
                if (reader.mayChangeState(line)) {
                    stateLine.assign(line);
                    stateLineNumber = in.lineNumber();
                    pending = false;
                    return false;
                }
                b.add(line, in.lineNumber());
                pending = in.next(line);
                if (b.full())
                    break;
            }
            b.bytesRead = in.bytesRead();
            return pending;
        };
        runOrderedBatches(batches, fill, work, emit);
        if (stateLineNumber != 0) {
            serial(reader, std::u16string_view(stateLine), stateLineNumber);
            while ((pending = in.next(line)) && reader.mayChangeState(line))
                serial(reader, line, in.lineNumber());
        }
    }
}

} // namespace

fs::path rejectsPath(const fs::path &output) {
    fs::path p = output;
    p += kRejectsSuffix;
    return p;
}

namespace {

// One conversion, phase by phase: the first pass over the input that weights by order or costs
// need when nothing is kept (countWeights), the body read in batches on two threads (readBody,
// with work() on either thread and emit() in order, handle() for the lines that go one by one),
// and the kept lines written at the end (writeKept).
class ConversionRun {
public:
    ConversionRun(const ConvertOptions &options, Format from, const fs::path &output,
                  Annotator &annotator, EventPump &pump)
        : m_options(options), m_from(from), m_source(formatInfo(from)),
          m_target(formatInfo(options.to)), m_sameFormat(from == options.to),
          m_toCosts(m_target.weight == WeightKind::Cost && m_source.weight == WeightKind::Count),
          m_toCounts(m_target.weight != WeightKind::Cost && m_source.weight == WeightKind::Cost),
          m_int32(options.to == Format::Libpinyin || options.to == Format::Qq ||
                  options.to == Format::Baidu || options.to == Format::RimeCustom),
          m_ownWeight(m_sameFormat && !options.weight && !options.weightByOrder),
          m_fieldsInWork(!options.dedup && !options.weightByOrder), m_output(output),
          m_rejects(rejectsPath(output)), m_annotator(annotator), m_pump(pump) {
        m_result.inputFound = true;
        m_result.from = from;
    }

    // Without deduplication nothing is kept: what the weights need from the whole input (the
    // number of entries, the largest count) comes from a first pass over it.
    bool needsFirstPass() const {
        return !m_options.dedup && !m_options.weight &&
               (m_options.weightByOrder || m_toCosts || m_int32);
    }
    template <class Source> void countWeights(Source &pass);
    // The dictionaries of a Rime source's import_tables to convert after it (none when they are
    // not followed). Throws LexError for one that is missing, before anything is written.
    // And the preset vocabulary the header asks for.
    std::vector<fs::path> findImports(const fs::path &input);
    // Words without code into a format that needs codes: their readings come from the source's
    // own single characters, learnt in a first pass over every file (learnReadings).
    bool needsReadings() const {
        return m_from == Format::Rime && !m_sameFormat && m_target.needsCode;
    }
    template <class Source> void learnReadings(Source &pass);
    void finishReadings() {
        if (m_readings)
            m_readings->finish();
    }
    // The output and the writer's options; `distinctHint`, `unitsHint`: the room to reserve for
    // the kept lines.
    void open(size_t distinctHint, size_t unitsHint);
    template <class Source> void readBody(Source &in) { readBody(in, m_reader); }
    // An imported dictionary's lines after the source's, each file read with its own header.
    template <class Source> void readImport(Source &in, const fs::path &file);
    ConvertResult finish();
    // A Rime source whose header never ended with "...": every line after it was read as header.
    bool headerUnended() const { return m_reader.headerUnended(); }
    // Lines of a format that is UTF-8 by definition holding bytes that are no UTF-8 (decoded as
    // U+FFFD) are rejected rather than written with the replacement character.
    void checkUtf8() { m_checkUtf8 = true; }

private:
    // An entry's weight as this conversion takes it. Outside Rime, with the preset vocabulary,
    // as librime weighs it: a share ("N%") is N% of the word's weight there (0 when it has
    // none), no weight is that weight (none still when it has none); without, a share is no
    // weight.
    std::optional<double> ownWeight(const Entry &e) const {
        if (m_sameFormat || (!e.percent && (e.weight || !m_vocabulary)))
            return e.weight;
        if (!m_vocabulary)
            return std::nullopt;
        const auto it = m_vocabulary->find(e.word);
        if (!e.percent)
            return it == m_vocabulary->end() ? std::nullopt : std::optional<double>(it->second);
        return (it == m_vocabulary->end() ? 0 : it->second) * e.weight.value_or(0) / 100;
    }
    // The weight of an entry about to be written as ownWeight takes it; a share dropped is
    // counted.
    void dropShare(Entry &e) {
        if (m_sameFormat || (!e.percent && (e.weight || !m_vocabulary)))
            return;
        if (e.percent && !m_vocabulary)
            m_shares.fetch_add(1, std::memory_order_relaxed);
        e.weight = ownWeight(e);
        e.percent = false;
        e.weightText.clear();
    }
    bool invalidUtf8(std::u16string_view line) const {
        return m_checkUtf8 && line.find(u'\uFFFD') != std::u16string_view::npos;
    }
    void start();
    void refuse(int64_t lineNumber, const char *reason, std::u16string_view line);
    std::optional<double> finalWeight(std::optional<double> w, int64_t position) const;
    double givenCount(double count) const;
    void loadVocabulary(const fs::path &input, const std::u16string &name);
    double int32Count(double count) const;
    template <class Source> void readBody(Source &in, FormatReader &reader);
    // The lines of a word without code, one for each of its readings.
    void writeReadings(Entry &e, const std::vector<Syllables> &readings, int64_t lineNumber,
                       std::u16string_view line);
    void keep(std::u16string_view body, std::optional<double> weight, std::u16string_view asWritten,
              bool codeWritten, uint64_t hash);
    Outcome classify(const ParsedLine &p, const char *&reason) const;
    bool settle(Outcome outcome, const char *reason, int64_t lineNumber, std::u16string_view line);
    void handle(FormatReader &lines, std::u16string_view line, int64_t lineNumber);
    void progress(int64_t lineNumber, uint64_t bytesRead, uint64_t size);
    void work(ConvertBatch &b, int thread);
    void emit(ConvertBatch &b, uint64_t size);
    void writeKept();

    const ConvertOptions &m_options;
    const Format m_from;
    const FormatInfo &m_source, &m_target;
    const bool m_sameFormat;
    // Weights: kept, converted between counts and costs, given, or by order.
    const bool m_toCosts, m_toCounts;
    // Counts the target's program reads as 32-bit integers: larger ones are scaled down in
    // order, negative ones are 0.
    const bool m_int32;
    // The weight's text as written stays only when the weight itself stays.
    const bool m_ownWeight;
    // Lines written as they come, whose weights do not depend on their place, are made whole
    // on the working threads.
    const bool m_fieldsInWork;
    const fs::path m_output, m_rejects;
    Annotator &m_annotator;
    EventPump &m_pump;

    ConvertResult m_result;
    int64_t m_entries = 0; // entries of the input (weights by order)
    double m_largest = 0;  // the largest count (counts into costs)
    int64_t m_index = 0;   // entries written so far, for weights by order
    FormatReader m_reader{m_from};
    FormatWriter::Options m_writerOptions;
    std::optional<FormatWriter> m_writer;
    std::optional<std::array<FormatWriter, 2>> m_writers; // copies for the two threads
    std::optional<LineWriter> m_out, m_rejectWriter;
    bool m_device = false; // the output is no regular file: rejects become notices
    bool m_checkUtf8 = false;
    std::atomic<int64_t> m_shares{0}; // Rime shares dropped (dropShare)
    DistinctLines m_distinct;
    std::u16string m_label; // before the line numbers of the rejects: an imported file's name
    int64_t m_taken = 0;    // entries taken from the input (an imported file's count)
    std::optional<CharacterReadings> m_readings;
    // The preset vocabulary's words and weights (librime's essay.txt), when the source asks for
    // it and it is found.
    std::optional<std::unordered_map<std::u16string, double>> m_vocabulary;
    std::set<std::u16string> m_importNames; // the source's and those it imports
};

template <class Source> void ConversionRun::countWeights(Source &pass) {
    FormatReader reader(m_from);
    auto count = [&](bool entry, std::optional<double> weight, int64_t lineNumber) {
        if (entry) {
            ++m_entries;
            if (const auto counted = weight ? weight : m_options.defaultWeight)
                m_largest = std::max(m_largest, *counted);
        }
        if (lineNumber % kYieldEvery == 0)
            m_pump.yield();
    };
    readLines(
        pass, reader, [] {},
        [&](FormatReader &lines, std::u16string_view line, int64_t lineNumber) {
            const ParsedLine &p = lines.parse(line);
            count(p.kind == LineKind::Entry, ownWeight(p.entry), lineNumber);
        },
        [this](ConvertBatch &b, int) {
            for (ConvertItem &it : b.items) {
                const ParsedLine &p = b.reader->parse(b.line(it));
                it.outcome = p.kind == LineKind::Entry ? Outcome::Entry : Outcome::Skip;
                const std::optional<double> w = ownWeight(p.entry);
                it.hasWeight = p.kind == LineKind::Entry && w.has_value();
                it.weight = it.hasWeight ? *w : 0;
            }
        },
        [&](const ConvertBatch &b) {
            for (const ConvertItem &it : b.items)
                count(it.outcome == Outcome::Entry,
                      it.hasWeight ? std::optional<double>(it.weight) : std::nullopt,
                      it.lineNumber);
        });
}

template <class Source> void ConversionRun::learnReadings(Source &pass) {
    if (!m_readings)
        m_readings.emplace();
    FormatReader reader(m_from);
    std::u16string_view line;
    while (pass.next(line)) {
        const ParsedLine &p = reader.parse(line);
        if (p.kind == LineKind::Entry && !p.reason)
            m_readings->learn(p.entry, ownWeight(p.entry).value_or(0));
        if (pass.lineNumber() % kYieldEvery == 0)
            m_pump.yield();
    }
}

void ConversionRun::loadVocabulary(const fs::path &input, const std::u16string &name) {
    // Where librime looks: the user's folder (the dictionary's), then the shared one.
    const std::string file = toUtf8(name) + ".txt";
    for (const fs::path &at : {input.parent_path() / file, fs::path(kRimeSharedData) / file}) {
        if (!fileExists(at))
            continue;
        m_vocabulary.emplace();
        LineStream in(at, LexiconEncoding::Utf8);
        m_vocabulary->reserve(size_t(in.size() / 12));
        std::u16string_view line;
        while (in.next(line)) {
            const auto f = detail::split(detail::trimRight(line), u'\t');
            if (f[0].empty())
                continue;
            const std::string value = f.size() > 1 ? toUtf8(f[1]) : "0";
            double weight = 0;
            std::from_chars(value.data(), value.data() + value.size(), weight);
            m_vocabulary->emplace(std::u16string(f[0]), weight);
            if (in.lineNumber() % kYieldEvery == 0)
                m_pump.yield();
        }
        m_result.vocabulary = at;
        return;
    }
    m_result.missingVocabulary = file;
}

std::vector<fs::path> ConversionRun::findImports(const fs::path &input) {
    const FormatReader header = rimeHeader(input);
    const std::u16string own = rimeName(header);
    m_importNames.insert(own);
    if (header.presetVocabulary() && !m_sameFormat)
        loadVocabulary(input, header.vocabulary());
    if (header.imports().empty())
        return {};
    if (m_options.to == Format::Rime && !m_options.followImports) {
        for (const std::u16string &name : header.imports())
            m_result.unfollowedImports.push_back(toUtf8(name));
        return {};
    }
    // As librime looks for them: NAME.dict.yaml beside the dictionary, each once, never the
    // dictionary itself.
    std::vector<fs::path> files;
    for (const std::u16string &name : header.imports()) {
        if (name.empty() || !m_importNames.insert(name).second)
            continue;
        const fs::path file = input.parent_path() / (toUtf8(name) + ".dict.yaml");
        if (!fileExists(file))
            throw LexError("找不到 import_tables 所列的词典：" + file.string() + "（" +
                               input.filename().string() + " 导入 " + toUtf8(name) +
                               "，librime 编译时也会因此失败）",
                           file);
        files.push_back(file);
    }
    return files;
}

template <class Source> void ConversionRun::readImport(Source &in, const fs::path &file) {
    FormatReader reader(Format::Rime);
    m_label = fromUtf8(file.filename().string()) + u":";
    const int64_t before = m_taken;
    readBody(in, reader);
    m_label.clear();
    m_result.imports.push_back({file, m_taken - before});
    // librime compiles the import_tables of the schema's dictionary only.
    for (const std::u16string &name : reader.imports())
        if (m_importNames.insert(name).second)
            m_result.nestedImports.push_back(toUtf8(name));
}

void ConversionRun::open(size_t distinctHint, size_t unitsHint) {
    m_writerOptions.ue = m_options.ue ? *m_options.ue : m_target.ue;
    m_writerOptions.quilloWeights = m_options.quilloWeights;
    m_writerOptions.sameFormat = m_sameFormat;
    m_writerOptions.rimeName = rimeNameFor(m_output);
    RunContext &run = m_pump.context();
    m_out.emplace(m_output, m_target.output ? *m_target.output : run.lexiconFormat(), &run,
                  LossReport::ToRun);
    // An output written in place (standard output, a device) has no folder for a rejects file
    // beside it: its rejected lines become notices instead.
    m_device = isWrittenInPlace(m_output);
    if (m_options.dedup)
        m_distinct.reserve(distinctHint, unitsHint);
}

void ConversionRun::start() {
    if (m_writer)
        return;
    if (m_options.to == Format::Rime && m_sameFormat) {
        // Imports followed into the output are no longer imported.
        m_writerOptions.rimeHeader = m_options.followImports && !m_reader.imports().empty()
                                         ? withoutImports(m_reader.header())
                                         : m_reader.header();
        m_writerOptions.rimeColumns = m_reader.columns();
        if (const auto old = rimeRenamed(m_writerOptions.rimeHeader, m_writerOptions.rimeName)) {
            m_result.renamedFrom = toUtf8(*old);
            m_result.renamedTo = toUtf8(m_writerOptions.rimeName);
        }
    }
    m_writer.emplace(m_options.to, m_writerOptions);
    m_writer->begin(*m_out);
}

void ConversionRun::refuse(int64_t lineNumber, const char *reason, std::u16string_view line) {
    const std::u16string text = m_label + lineNumberText(lineNumber) + u"\t" + fromUtf8(reason) +
                                u"\t" + std::u16string(line);
    ++m_result.rejected;
    if (m_device) {
        m_pump.context().notice("未能转换：" + toUtf8(text));
        return;
    }
    if (!m_rejectWriter)
        m_rejectWriter.emplace(m_rejects, TextFormat{LexiconEncoding::Utf8, false},
                               &m_pump.context());
    m_rejectWriter->writeLine(text);
}

std::optional<double> ConversionRun::finalWeight(std::optional<double> w, int64_t position) const {
    if (m_options.weight)
        return m_options.weight;
    if (m_options.weightByOrder)
        return double(m_entries - position);
    if (!w && m_options.defaultWeight)
        return givenCount(*m_options.defaultWeight);
    if (!w) {
        // No weight is the least weight: as costs, below the cost of the smallest count.
        if (m_toCosts && m_largest > 0)
            return toCost(kNoCount, m_largest);
        return std::nullopt;
    }
    if (m_toCosts)
        return toCost(*w, m_largest);
    if (m_toCounts)
        return toCount(*w);
    if (m_int32)
        return int32Count(*w);
    return w;
}

double ConversionRun::int32Count(double count) const {
    constexpr double kMax = 2147483647;
    if (m_largest > kMax)
        return std::max(1.0, std::floor(std::max(count, 0.0) * (kMax / m_largest)));
    return std::clamp(count, 0.0, kMax);
}

// The default weight, a count, as the target takes counts: a cost for fcitx5 (among the source's
// counts as they become costs; among costs, as a cost's count is one million times ten to it).
double ConversionRun::givenCount(double count) const {
    if (m_target.weight == WeightKind::Cost)
        return m_source.weight == WeightKind::Cost ? std::log10(std::max(count, 0.5) / 1e6)
                                                   : toCost(count, m_largest);
    return m_int32 ? int32Count(count) : count;
}

// What follows the parse of an entry: the line written, or its record kept.
void ConversionRun::keep(std::u16string_view body, std::optional<double> weight,
                         std::u16string_view asWritten, bool codeWritten, uint64_t hash) {
    ++m_taken;
    if (!m_options.dedup) {
        const auto w = finalWeight(weight, m_index++);
        m_writer->writeLine(*m_out, body,
                            m_writer->weightField(w, w == weight ? asWritten : u"", codeWritten));
        ++m_result.converted;
        return;
    }
    auto [record, fresh] = m_distinct.insert(body, hash);
    if (fresh) {
        record->hasWeight = weight.has_value();
        record->weight = weight.value_or(0);
        record->codeWritten = codeWritten;
        m_distinct.setWeightText(*record, asWritten);
    } else {
        ++m_result.merged;
        if (weight && (!record->hasWeight || *weight > record->weight)) {
            record->hasWeight = true;
            record->weight = *weight;
            m_distinct.setWeightText(*record, asWritten);
        }
    }
    if (const auto counted = weight ? weight : m_options.defaultWeight)
        m_largest = std::max(m_largest, *counted);
}

// What a parsed line comes to before the writer sees it (`reason` for a rejection). A code that
// is no pinyin of the word survives only into its own format. Into its own format a line keeps
// its code, or its lack of one (Rime encodes a word without code itself); elsewhere an entry
// whose code is incomplete where the target needs one, or ambiguous, needs the annotation first.
Outcome ConversionRun::classify(const ParsedLine &p, const char *&reason) const {
    reason = p.reason;
    switch (p.kind) {
    case LineKind::Skip:
        return Outcome::Skip;
    case LineKind::Deleted:
        return Outcome::Deleted;
    case LineKind::Reject:
        return Outcome::Reject;
    case LineKind::Entry:
        break;
    }
    const Entry &e = p.entry;
    if (p.reason && !(m_sameFormat && !e.rawCode.empty()))
        return Outcome::Reject;
    if (!m_sameFormat && ((m_target.needsCode && incomplete(e)) || e.alternatives.size() > 1))
        return Outcome::Annotate;
    return Outcome::Entry;
}

// The lines that come to no entry: counted, or written to the rejects file.
bool ConversionRun::settle(Outcome outcome, const char *reason, int64_t lineNumber,
                           std::u16string_view line) {
    switch (outcome) {
    case Outcome::Skip:
        ++m_result.skipped;
        return true;
    case Outcome::Deleted:
        ++m_result.deleted;
        return true;
    case Outcome::Reject:
        refuse(lineNumber, reason, line);
        return true;
    default:
        return false;
    }
}

// One line, start to end, on this thread.
void ConversionRun::handle(FormatReader &lines, std::u16string_view line, int64_t lineNumber) {
    ParsedLine &p = lines.parse(line);
    const char *reason = nullptr;
    Outcome outcome = classify(p, reason);
    if (outcome != Outcome::Skip && outcome != Outcome::Deleted && invalidUtf8(line)) {
        outcome = Outcome::Reject;
        reason = kInvalidUtf8;
    }
    if (settle(outcome, reason, lineNumber, line))
        return;
    Entry &e = p.entry;
    // A word without code: its readings from the Rime source's own characters, else from the
    // annotation (which gives the first of them, the one reading written by default).
    if (outcome == Outcome::Annotate && e.syllables.empty() && e.alternatives.empty()) {
        const std::vector<Syllables> readings =
            m_readings ? m_readings->of(e.word) : m_annotator.readings(e.word, kReadingLimit);
        // Every reading librime would give, even a single one of the Rime source's own.
        if (m_options.allReadings && (readings.size() > 1 || (m_readings && !readings.empty())))
            return writeReadings(e, readings, lineNumber, line);
        if (readings.size() > 1)
            ++m_result.oneReading;
        if (!m_readings && !readings.empty()) {
            e.syllables = readings.front();
            ++m_result.annotated;
            outcome = Outcome::Entry;
        }
    }
    if (outcome == Outcome::Annotate) {
        const auto reading =
            m_annotator.annotate(e.word, incomplete(e) ? e.syllables : Syllables());
        if (e.alternatives.size() > 1) {
            // An ambiguous code: the reading the annotation gives, else the first split.
            for (const Syllables &alt : e.alternatives)
                if (reading && alt == *reading)
                    e.syllables = alt;
        } else if (!reading) {
            refuse(lineNumber, kNoReading, line);
            return;
        } else {
            e.syllables = *reading;
            ++m_result.annotated;
        }
    }
    start();
    if (const char *why = m_writer->refusal(e)) {
        refuse(lineNumber, why, line);
        return;
    }
    dropShare(e);
    const std::u16string_view body = m_writer->body(e);
    keep(body, e.weight, m_ownWeight ? std::u16string_view(e.weightText) : u"",
         m_writer->codeWritten(e), m_options.dedup ? DistinctLines::hash(body) : 0);
}

void ConversionRun::writeReadings(Entry &e, const std::vector<Syllables> &readings,
                                  int64_t lineNumber, std::u16string_view line) {
    if (readings.size() > 1)
        ++m_result.allReadings;
    ++m_result.annotated;
    start();
    dropShare(e);
    for (const Syllables &reading : readings) {
        e.syllables = reading;
        if (const char *why = m_writer->refusal(e)) {
            refuse(lineNumber, why, line);
            continue;
        }
        ++m_result.readingLines;
        const std::u16string_view body = m_writer->body(e);
        keep(body, e.weight, m_ownWeight ? std::u16string_view(e.weightText) : u"",
             m_writer->codeWritten(e), m_options.dedup ? DistinctLines::hash(body) : 0);
    }
}

void ConversionRun::progress(int64_t lineNumber, uint64_t bytesRead, uint64_t size) {
    if (lineNumber % kYieldEvery == 0) {
        m_pump.setProgress(int64_t(bytesRead), int64_t(size));
        m_pump.yield();
    }
}

void ConversionRun::work(ConvertBatch &b, int thread) {
    FormatWriter &w = (*m_writers)[thread];
    for (ConvertItem &it : b.items) {
        ParsedLine &p = b.reader->parse(b.line(it));
        it.outcome = classify(p, it.reason);
        if (it.outcome != Outcome::Skip && it.outcome != Outcome::Deleted &&
            invalidUtf8(b.line(it))) {
            it.outcome = Outcome::Reject;
            it.reason = kInvalidUtf8;
        }
        if (it.outcome != Outcome::Entry)
            continue;
        if ((it.reason = w.refusal(p.entry))) {
            it.outcome = Outcome::Reject;
            continue;
        }
        Entry &e = p.entry;
        dropShare(e);
        const std::u16string_view asWritten = m_ownWeight ? std::u16string_view(e.weightText) : u"";
        const bool codeWritten = w.codeWritten(e);
        const std::u16string_view body = w.body(e);
        if (!m_fieldsInWork) {
            b.setEntry(it, body, asWritten, e.weight, codeWritten);
            if (m_options.dedup)
                it.hash = DistinctLines::hash(body);
            continue;
        }
        // Written at once, the line's weight field is made here too.
        const auto weight = finalWeight(e.weight, 0);
        b.setEntry(it, body,
                   w.weightField(weight, weight == e.weight ? asWritten : u"", codeWritten),
                   e.weight, codeWritten);
    }
}

void ConversionRun::emit(ConvertBatch &b, uint64_t size) {
    for (size_t i = 0; i < b.items.size(); ++i) {
        const ConvertItem &it = b.items[i];
        if (m_options.dedup) {
            if (i + 32 < b.items.size() && b.items[i + 32].outcome == Outcome::Entry)
                m_distinct.prefetchSlot(b.items[i + 32].hash);
            if (i + 16 < b.items.size() && b.items[i + 16].outcome == Outcome::Entry)
                m_distinct.prefetchRecord(b.items[i + 16].hash);
        }
        progress(it.lineNumber, b.bytesRead, size);
        if (settle(it.outcome, it.reason, it.lineNumber, b.line(it)))
            continue;
        if (it.outcome == Outcome::Annotate) {
            handle(*b.reader, b.line(it), it.lineNumber);
        } else if (m_fieldsInWork) {
            m_writer->writeLine(*m_out, b.body(it), b.weightText(it));
            ++m_result.converted;
            ++m_taken;
        } else {
            keep(b.body(it), it.hasWeight ? std::optional<double>(it.weight) : std::nullopt,
                 b.weightText(it), it.codeWritten, it.hash);
        }
    }
}

// The body: batches of lines parsed and formatted on two threads, written in order; the header
// and the lines that change how the next ones read go line by line.
template <class Source> void ConversionRun::readBody(Source &in, FormatReader &reader) {
    readLines(
        in, reader,
        [&] {
            start();
            m_writers.emplace(std::array<FormatWriter, 2>{*m_writer, *m_writer});
        },
        [&](FormatReader &lines, std::u16string_view line, int64_t lineNumber) {
            progress(lineNumber, in.bytesRead(), in.size());
            handle(lines, line, lineNumber);
        },
        [&](ConvertBatch &b, int thread) { work(b, thread); },
        [&](ConvertBatch &b) { emit(b, in.size()); });
}

// The kept lines, made whole (weights converted and written out) on two threads a batch of
// records at a time, and written in order.
void ConversionRun::writeKept() {
    m_entries = int64_t(m_distinct.size());
    if (!m_writers)
        m_writers.emplace(std::array<FormatWriter, 2>{*m_writer, *m_writer});
    struct Lines {
        std::vector<size_t> places; // of the records
        int64_t first = 0;          // the number of the first record
        std::u16string text;
        std::vector<size_t> ends;
    };
    Lines batches[4];
    size_t place = 0;
    int64_t filled = 0;
    runOrderedBatches(
        batches,
        [&](Lines &b) {
            b.places.clear();
            b.first = filled;
            for (; place < m_distinct.end() && b.places.size() < 4096;
                 place = m_distinct.after(place))
                b.places.push_back(place);
            filled += int64_t(b.places.size());
            return place < m_distinct.end();
        },
        [&](Lines &b, int thread) {
            FormatWriter &w = (*m_writers)[thread];
            b.text.clear();
            b.ends.clear();
            for (size_t k = 0; k < b.places.size(); ++k) {
                const DistinctLines::Record &r = m_distinct.record(b.places[k]);
                const std::optional<double> own =
                    r.hasWeight ? std::optional<double>(r.weight) : std::nullopt;
                const auto weight = finalWeight(own, b.first + int64_t(k));
                w.appendLine(b.text, m_distinct.body(r),
                             w.weightField(weight, weight == own ? m_distinct.weightText(r) : u"",
                                           r.codeWritten));
                b.ends.push_back(b.text.size());
            }
        },
        [&](Lines &b) {
            const std::u16string_view text(b.text);
            for (size_t k = 0, from = 0; k < b.ends.size(); from = b.ends[k++]) {
                m_writer->writeLine(*m_out, text.substr(from, b.ends[k] - from), {});
                if ((b.first + int64_t(k)) % kYieldEvery == 0)
                    m_pump.yield();
            }
        });
    m_result.converted = m_entries;
}

ConvertResult ConversionRun::finish() {
    start();
    if (m_options.dedup)
        writeKept();
    // The rejects of this run replace those of an earlier one, together with the output: one
    // that cannot be written fails the run before the output is replaced. A run without rejects
    // leaves none.
    if (m_rejectWriter) {
        closeTogether({&*m_out, &*m_rejectWriter});
        m_result.rejects = m_rejects;
    } else {
        m_out->close();
        if (!m_device && fileExists(m_rejects))
            ::unlink(m_rejects.c_str());
    }
    m_result.unconvertibleWeights = m_shares.load();
    return m_result;
}

} // namespace

Conversion::Conversion(ConvertOptions options, Annotator &annotator, EventPump &pump)
    : m_options(std::move(options)), m_annotator(annotator), m_pump(pump) {}

ConvertResult Conversion::convert(const fs::path &input, const fs::path &output) {
    if (!fileExists(input))
        return {};
    // Told once: telling a UTF-8 file reads all of it.
    LexiconEncoding encoding = detectEncoding(input);
    const std::optional<Format> from =
        m_options.from ? m_options.from : detectFormat(input, encoding);
    if (!from)
        throw LexError("无法识别词库格式：" + input.string() + "（请指定源格式）", input);
    ConversionRun run(m_options, *from, output, m_annotator, m_pump);
    RunContext &context = m_pump.context();
    // Rime, fcitx5 and libpinyin files are UTF-8 whatever their bytes: a bad byte costs its line
    // (a reject), never the reading of the whole file as code page 936.
    if (formatInfo(*from).output && formatInfo(*from).output->encoding == LexiconEncoding::Utf8 &&
        encoding == LexiconEncoding::Ansi936) {
        encoding = LexiconEncoding::Utf8;
        run.checkUtf8();
    }
    // The dictionaries of import_tables, each found before anything is written; Rime files are
    // UTF-8 whatever their bytes.
    struct Part {
        fs::path path;
        LexiconEncoding encoding;
        bool crLines = false;
    };
    std::vector<Part> parts{{input, encoding}};
    if (*from == Format::Rime)
        for (const fs::path &file : run.findImports(input)) {
            parts.push_back({file, LexiconEncoding::Utf8});
            run.checkUtf8();
        }
    std::vector<fs::path> paths;
    for (Part &part : parts) {
        paths.push_back(part.path);
        // Old Mac text ends its lines in a lone CR: read so, such a file is one line.
        part.crLines = endsLinesInCr(part.path);
        if (part.crLines)
            context.notice("注意：" + part.path.string() +
                           " 的行以单独的 CR 结尾（旧的 Mac 文本），" + "已按 CR 分行读取");
    }
    auto read = [&](const Part &part, auto &&use) {
        LineStream in(part.path, part.encoding);
        if (!part.crLines)
            return use(in);
        CrLines<LineStream> split(in);
        return use(split);
    };
    for (const Part &part : parts) {
        if (run.needsFirstPass())
            read(part, [&](auto &pass) { run.countWeights(pass); });
        if (run.needsReadings())
            read(part, [&](auto &pass) { run.learnReadings(pass); });
    }
    run.finishReadings();
    read(parts[0], [&](auto &in) {
        run.open(size_t(estimateLines(paths)), size_t(in.size()));
        run.readBody(in);
    });
    for (size_t i = 1; i < parts.size(); ++i)
        read(parts[i], [&](auto &in) { run.readImport(in, parts[i].path); });
    ConvertResult result = run.finish();
    if (run.headerUnended())
        context.notice("注意：" + input.string() + " 的文件头没有结束行“...”，" +
                       "其后各行都当作文件头读了");
    else if (result.converted == 0 &&
             (result.skipped > 0 || result.rejected > 0 || result.deleted > 0))
        context.notice("注意：" + input.string() + " 有内容，却没有读到一个词条（源格式：" +
                       formatInfo(*from).name + "）");
    return result;
}

ConvertResult Conversion::convert(LineSource &source, Format from, const fs::path &output) {
    ConvertOptions options = m_options;
    options.from = from;
    ConversionRun run(options, from, output, m_annotator, m_pump);
    if (run.needsFirstPass())
        throw std::logic_error("a conversion of lines in memory reads them once");
    run.open(size_t(source.sizeHint()), size_t(source.size()));
    run.readBody(source);
    return run.finish();
}

ConvertResult convertLexicon(const fs::path &input, const fs::path &output,
                             const ConvertOptions &options, Annotator &annotator, EventPump &pump) {
    return Conversion(options, annotator, pump).convert(input, output);
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
    if (r.unconvertibleWeights > 0)
        text.count("权重无法换算：", r.unconvertibleWeights);
    if (!r.vocabulary.empty())
        text.line("预设词汇：" + r.vocabulary.string() +
                  "（百分比权重与无权重的词条按它的权重换算）");
    if (!r.missingVocabulary.empty())
        text.line("找不到预设词汇 " + r.missingVocabulary + "：百分比权重无法换算");
    if (!r.renamedTo.empty())
        text.line("词典名：" + r.renamedFrom + " 改为 " + r.renamedTo + "（随输出文件名）");
    for (const ImportedDictionary &d : r.imports)
        text.line("导入的词典：" + d.file.filename().string() + "（" + std::to_string(d.entries) +
                  " 条）");
    auto names = [](const std::vector<std::string> &list) {
        std::string out;
        for (const std::string &name : list)
            out += (out.empty() ? "" : "、") + name;
        return out;
    };
    if (!r.unfollowedImports.empty())
        text.line("未展开 import_tables：" + names(r.unfollowedImports) + "（输出仍导入它们）");
    if (!r.nestedImports.empty())
        text.line("导入的词典所列的 import_tables 未展开（librime 也不展开）：" +
                  names(r.nestedImports));
    if (r.oneReading > 0)
        text.count("无编码的多音词只取一个读音：", r.oneReading);
    if (r.allReadings > 0)
        text.line("无编码的多音词写出每个读音：" + std::to_string(r.allReadings) + " 个词，" +
                  std::to_string(r.readingLines) + " 行");
    return text.text(elapsed);
}

} // namespace lex::formats
