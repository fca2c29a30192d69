#include "bigseg/segmentation.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace lex::bigseg {
namespace {

constexpr int kYieldEvery = 20000;
constexpr std::u16string_view kCrLf = u"\r\n";

// The midpoint of lo and hi, a half rounded to the even neighbour.
inline int32_t midpoint(int32_t lo, int32_t hi) {
    const uint32_t s = uint32_t(lo) + uint32_t(hi);
    return int32_t((s >> 1) + (s & (s >> 1) & 1));
}

struct Search {
    int32_t index;
    bool hit;
    int32_t misses; // probes that missed, each followed by a yield
};

// The search in an ascending list, told by the integers alone: the entry at mid is less than
// s2 exactly when mid < lb, equal when mid == lb and s2 is there. Ends after `maxMisses` misses
// (a stop request seen at that miss's yield).
inline Search probeSequence(int32_t last, int32_t lb, bool there, int32_t maxMisses) {
    int32_t lo = 0, hi = last, misses = 0;
    while (hi - lo >= 2) {
        const int32_t mid = midpoint(lo, hi);
        if (there && mid == lb)
            return {mid, true, misses};
        if (mid < lb)
            lo = mid;
        else
            hi = mid;
        if (++misses == maxMisses)
            break;
    }
    return {hi, false, misses};
}

// The same search comparing strings, for a list in no particular order.
int32_t searchUnordered(const SegmentLexicon &sCK, std::u16string_view s2, int16_t &b,
                        EventPump &pump) {
    int32_t lo = 0, hi = sCK.lastIndex();
    while (hi - lo >= 2) {
        const int32_t mid = midpoint(lo, hi);
        const int c = sCK[mid].compare(s2);
        if (c == 0) {
            b = -1;
            return mid;
        }
        if (c < 0)
            lo = mid;
        else
            hi = mid;
        if (pump.yield())
            break;
    }
    return hi;
}

} // namespace

bool isRunCharacter(char16_t ch) {
    const int16_t a = ansiCode(ch);
    return a < 0 && a >= -20319; // 0xB0A1 - 65536
}

RunUnits RunUnits::of(WordUnits units) {
    using Table = std::array<uint8_t, 65536>;
    auto make = [](bool wide) {
        auto table = std::make_unique<Table>();
        for (uint32_t c = 0; c < 65536; ++c) {
            const char16_t ch = char16_t(c);
            const bool beyond = wide && lossIn936(ch) &&
                                ((c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
                                 (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xD800 && c <= 0xDFFF));
            (*table)[c] = isRunCharacter(ch) || beyond;
        }
        return table;
    };
    static const std::unique_ptr<Table> narrow = make(false), wide = make(true);
    return RunUnits((units.isWide() ? wide : narrow)->data());
}

// Get_CKP over one list. For an ascending list the strings are compared once, through the
// list's index, to find where s2 belongs, which decides every probe; the probes are then
// replayed on integers. A run's searches mostly look up one or two characters, the same ones
// again and again: their outcome is remembered.
class Searcher {
public:
    // `textSize`: the length of the text searched, which bounds what is worth remembering
    // (0: nothing).
    Searcher(const SegmentLexicon &sCK, size_t textSize) : m_list(sCK) {
        if (textSize == 0 || !sCK.strictlyAscending())
            return;
        while (m_bits < kMemoBits && (size_t(1) << m_bits) < textSize)
            ++m_bits;
        m_memo.assign(size_t(1) << m_bits, Memo{});
    }

    int32_t find(std::u16string_view s2, int16_t &b, EventPump &pump) {
        b = 0;
        if (!m_list.strictlyAscending())
            return searchUnordered(m_list, s2, b, pump);
        const int32_t last = m_list.lastIndex();
        Memo fresh;
        Memo *m = &fresh;
        if (!m_memo.empty() && (s2.size() == 1 || s2.size() == 2)) {
            const uint64_t key = (uint64_t(s2.size()) << 32) | (uint64_t(s2[0]) << 16) |
                                 (s2.size() == 2 ? s2[1] : 0);
            m = &m_memo[size_t((key * 0x9E3779B97F4A7C15ull) >> (64 - m_bits))];
            if (m->key != key) {
                *m = outcome(s2, last);
                m->key = key;
            }
        } else {
            fresh = outcome(s2, last);
        }
        if (m->search.misses > 0) {
            const int64_t cut = pump.yieldMany(m->search.misses);
            if (cut >= 0)
                return probeSequence(last, m->lb, m->there, int32_t(cut) + 1).index;
        }
        if (m->search.hit)
            b = -1;
        return m->search.index;
    }

private:
    struct Memo {
        uint64_t key = 0; // length << 32 | first << 16 | second; 0: empty
        Search search{};
        int32_t lb = 0;
        bool there = false;
    };
    static constexpr int kMemoBits = 16;

    Memo outcome(std::u16string_view s2, int32_t last) const {
        Memo m;
        m.lb = m_list.lowerBound(s2);
        m.there = m.lb < m_list.size() && m_list[m.lb] == s2;
        m.search = probeSequence(last, m.lb, m.there, -1);
        return m;
    }

    const SegmentLexicon &m_list;
    std::vector<Memo> m_memo;
    int m_bits = 6;
};

namespace {

// The forward maximum matching of one run. `emit.word(p, n)` is a line break and then the n
// characters at p; `emit.glued(p)` the character at p without a line break before it.
template <class Emit>
void matchRun(std::u16string_view str, const SegmentLexicon &sCK, Searcher &search, EventPump &pump,
              Emit &emit);

// Appends what the matching emits to the text of "fc.txt".
struct TextEmit {
    std::u16string_view str;
    std::u16string &out;
    void word(size_t p, size_t n) {
        out += kCrLf;
        out += str.substr(p, n);
    }
    void glued(size_t p) { out += str[p]; }
};

// Keeps only where the line breaks go.
struct BreakEmit {
    std::vector<uint32_t> &breaks;
    void word(size_t p, size_t) { breaks.push_back(uint32_t(p)); }
    void glued(size_t) {}
};

void appendSegmented(std::u16string_view str, const SegmentLexicon &sCK, Searcher &search,
                     EventPump &pump, std::u16string &out) {
    TextEmit emit{str, out};
    matchRun(str, sCK, search, pump, emit);
}

} // namespace

int32_t Get_CKP(const SegmentLexicon &sCK, std::u16string_view s2, int16_t &b, EventPump &pump) {
    return Searcher(sCK, 0).find(s2, b, pump);
}

int32_t StrCompX(std::u16string_view s1, std::u16string_view s2) {
    const int c = s1.compare(s2);
    if (c < 0)
        return s1.size() < s2.size() ? -1 : -2;
    return c == 0 ? 0 : 1;
}

void appendSegmented(std::u16string_view str, const SegmentLexicon &sCK, EventPump &pump,
                     std::u16string &out) {
    Searcher search(sCK, 0);
    appendSegmented(str, sCK, search, pump, out);
}

namespace {

template <class Emit>
void matchRun(std::u16string_view str, const SegmentLexicon &sCK, Searcher &search, EventPump &pump,
              Emit &emit) {
    const size_t len = str.size();
    const int32_t size = sCK.size();
    const bool ascending = sCK.strictlyAscending();
    size_t p = 0; // the position, counted from 0
    while (p < len) {
        size_t n = std::min<size_t>(2, len - p);
        std::u16string_view cand = str.substr(p, n);
        size_t bestLen = 0;
        int16_t b = 0;
        const int32_t f = search.find(cand, b, pump);
        int32_t i;
        if (b) {
            bestLen = 2;
            n = 3;
            cand = str.substr(p, std::min<size_t>(3, len - p));
            i = f + 1;
        } else {
            n = 2;
            i = f;
        }
        // The forward walk. Past the last entry (or in an empty list) it ends.
        if (i >= 0 && i < size) {
            std::u16string_view entry = sCK[i];
            for (;;) {
                const int32_t r = StrCompX(cand, entry);
                if (r == 0) {
                    bestLen = n;
                    if (p + n >= len)
                        break;
                    cand = str.substr(p, ++n);
                    if (++i >= size)
                        break;
                    entry = sCK[i];
                } else if (r == -1) {
                    if (p + n >= len)
                        break;
                    cand = str.substr(p, ++n);
                } else if (r == 1) {
                    // Entry by entry while they are less than the candidate; in an ascending
                    // list that is a search.
                    i = ascending ? sCK.lowerBoundAfter(i, cand) : i + 1;
                    if (i >= size)
                        break;
                    entry = sCK[i];
                } else {
                    break;
                }
            }
        }
        if (bestLen > 0) {
            emit.word(p, bestLen);
            p += bestLen;
        } else {
            search.find(str.substr(p, 1), b, pump);
            if (b)
                emit.word(p, 1);
            else
                emit.glued(p);
            ++p;
        }
    }
}

} // namespace

RunCutter::RunCutter(const SegmentLexicon &lexicon, size_t textSize)
    : m_lexicon(lexicon), m_search(std::make_unique<Searcher>(lexicon, textSize)) {}

RunCutter::~RunCutter() = default;

void RunCutter::cut(std::u16string_view run, std::vector<uint32_t> &breaks) {
    breaks.clear();
    BreakEmit emit{breaks};
    matchRun(run, m_lexicon, *m_search, m_pump, emit);
}

std::u16string DispartStrX(std::u16string_view str, const SegmentLexicon &sCK, int16_t iFlag,
                           EventPump &pump) {
    if (int64_t(str.size()) < iFlag)
        return std::u16string(str);
    std::u16string out;
    appendSegmented(str, sCK, pump, out);
    return out;
}

std::u16string DispartStr(std::u16string_view str, const SegmentLexicon &sCK, EventPump &pump) {
    return DispartStrX(str, sCK, 4, pump);
}

std::u16string readArticle(const std::filesystem::path &path) {
    if (!fileExists(path))
        return {};
    LineReader reader(path, detectEncoding(path));
    if (reader.atEnd())
        return {};
    return reader.readAll();
}

namespace {

// Replaces every CR LF CR LF by CR LF in one pass from the left, in place.
void collapseBlankLines(std::u16string &s) {
    constexpr std::u16string_view kDouble = u"\r\n\r\n";
    size_t from = s.find(kDouble);
    if (from == std::u16string::npos)
        return;
    size_t w = from;
    for (size_t r = from; r < s.size();) {
        if (s[r] == u'\r' && s.compare(r, 4, kDouble) == 0) {
            s[w++] = u'\r';
            s[w++] = u'\n';
            r += 4;
        } else {
            s[w++] = s[r++];
        }
    }
    s.resize(w);
}

} // namespace

std::u16string segmentToText(std::u16string_view text, const SegmentLexicon &lexicon,
                             const SegmentOptions &options, EventPump &pump, int64_t *runCount) {
    // Cut the text into runs. After the character at position pos (from 1) the cut yields when
    // pos + 1 is a multiple of 20000.
    std::vector<std::pair<uint32_t, uint32_t>> runs; // start, length
    const size_t len = text.size();
    const RunUnits runUnit = RunUnits::of(pump.context().wordUnits());
    size_t runStart = 0;
    bool inRun = false;
    size_t end = len;
    int countdown = kYieldEvery - 1; // characters until pos + 1 reaches a multiple
    pump.setProgress(0, int64_t(len));
    for (size_t i = 0; i < len; ++i) {
        if (runUnit(text[i])) {
            if (!inRun) {
                inRun = true;
                runStart = i;
            }
        } else if (inRun) {
            runs.emplace_back(uint32_t(runStart), uint32_t(i - runStart));
            inRun = false;
        }
        if (--countdown == 0) {
            countdown = kYieldEvery;
            pump.setProgress(int64_t(i + 1), int64_t(len));
            if (pump.yield()) {
                end = i + 1;
                break;
            }
        }
    }
    if (inRun)
        runs.emplace_back(uint32_t(runStart), uint32_t(end - runStart));

    std::u16string out;
    out.reserve(len + len / 2 + 16);
    Searcher search(lexicon, len);
    bool stop = false;
    const auto total = int64_t(runs.size());
    for (size_t k = 0; k < runs.size(); ++k) {
        if (k > 0)
            out += kCrLf;
        const std::u16string_view run = text.substr(runs[k].first, runs[k].second);
        if (stop) {
            out += run;
            continue;
        }
        const int64_t below = options.noSplitEnabled == 1 ? options.noSplitBelow : 4;
        if (int64_t(run.size()) < below)
            out += run;
        else
            appendSegmented(run, lexicon, search, pump, out);
        if (k % kYieldEvery == 0) {
            pump.setProgress(int64_t(k + 1), total);
            stop = pump.yield();
        }
    }
    collapseBlankLines(out);
    out += kCrLf;
    if (runCount)
        *runCount = total;
    return out;
}

SegmentResult segmentText(std::u16string_view text, const std::filesystem::path &output,
                          const SegmentLexicon &lexicon, const SegmentOptions &options,
                          EventPump &pump) {
    SegmentResult result;
    const std::u16string out = segmentToText(text, lexicon, options, pump, &result.runs);
    LineWriter writer(output, pump.context());
    writer.write(out);
    writer.close();
    result.stopped = pump.stopRequested();
    return result;
}

std::string segmentReport(bool stopped, std::string_view elapsed) {
    return std::string(stopped ? "中断！" : "完成！") + "\r\n耗时：" + std::string(elapsed);
}

int16_t noSplitBelowFromText(std::u16string_view text) {
    std::string ascii;
    for (char16_t c : text) {
        if (c >= 0x80)
            return 10;
        ascii += char(c);
    }
    const size_t first = ascii.find_first_not_of(' ');
    if (first == std::string::npos)
        return 10;
    ascii = ascii.substr(first, ascii.find_last_not_of(' ') + 1 - first);
    const char *b = ascii.data(), *e = b + ascii.size();
    if (b != e && *b == '+')
        ++b;
    double v = 0;
    auto [ptr, ec] = std::from_chars(b, e, v, std::chars_format::fixed);
    if (ec != std::errc() || ptr != e || !(v > 5 && v < 100))
        return 10;
    return int16_t(std::nearbyint(v)); // the default rounding: to nearest, a half to even
}

} // namespace lex::bigseg
