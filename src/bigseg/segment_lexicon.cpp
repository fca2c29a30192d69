#include "bigseg/segment_lexicon.h"

#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/text_format.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace lex::bigseg {
namespace fs = std::filesystem;

SegmentLexicon::SegmentLexicon(const std::vector<std::u16string_view> &words) {
    size_t units = 0;
    for (auto w : words)
        units += w.size();
    reserve(words.size(), units);
    for (auto w : words)
        append(w);
    finish();
}

std::vector<std::u16string_view> SegmentLexicon::words() const {
    std::vector<std::u16string_view> out;
    out.reserve(size_t(size()));
    for (int32_t i = 0; i < size(); ++i)
        out.push_back((*this)[i]);
    return out;
}

void SegmentLexicon::reserve(size_t entries, size_t units) {
    m_text.reserve(units);
    m_starts.reserve(entries + 1);
}

void SegmentLexicon::append(std::u16string_view word) {
    if (m_text.size() + word.size() > 0xFFFFFFF0u)
        throw LexError("词库太大，无法装入内存。");
    m_text.append(word);
    m_starts.push_back(uint32_t(m_text.size()));
}

void SegmentLexicon::finish() {
    const int32_t n = size();
    m_ascending = true;
    for (int32_t i = 1; i < n && m_ascending; ++i)
        m_ascending = (*this)[i - 1] < (*this)[i];
    m_first.clear();
    m_pairStart.clear();
    m_pairs.clear();
    if (!m_ascending)
        return;
    m_first.assign(0x10001, 0);
    m_pairStart.assign(0x10001, 0);
    // Count per first character (an empty entry counts below every character), then turn the
    // counts into starts.
    std::vector<uint32_t> pairCount(0x10000, 0);
    uint32_t empties = 0;
    for (int32_t i = 0; i < n; ++i) {
        std::u16string_view w = (*this)[i];
        if (w.empty()) {
            ++empties;
            continue;
        }
        ++m_first[size_t(w[0]) + 1];
        if (w.size() >= 2) {
            std::u16string_view prev = i > 0 ? (*this)[i - 1] : std::u16string_view();
            if (prev.size() < 2 || prev[0] != w[0] || prev[1] != w[1]) {
                ++pairCount[w[0]];
                m_pairs.push_back({w[1], uint32_t(i)});
            }
        }
    }
    m_first[0] = empties;
    for (size_t c = 1; c <= 0x10000; ++c)
        m_first[c] += m_first[c - 1];
    for (size_t c = 0; c < 0x10000; ++c)
        m_pairStart[c + 1] = m_pairStart[c] + pairCount[c];
}

int32_t SegmentLexicon::lowerBound(std::u16string_view s) const {
    if (s.empty())
        return 0;
    const char16_t c = s[0];
    const uint32_t bucketEnd = m_first[size_t(c) + 1];
    if (s.size() == 1)
        return int32_t(m_first[c]);
    // The entries that begin with c: the one-character entry c (less than s) first, then those
    // of two or more characters by their second character.
    const Pair *pb = m_pairs.data() + m_pairStart[c];
    const Pair *pe = m_pairs.data() + m_pairStart[size_t(c) + 1];
    const Pair *it =
        std::lower_bound(pb, pe, s[1], [](const Pair &p, char16_t d) { return p.second < d; });
    if (it == pe)
        return int32_t(bucketEnd);
    const uint32_t from = it->index;
    if (it->second != s[1] || s.size() == 2)
        return int32_t(from);
    const uint32_t to = it + 1 != pe ? (it + 1)->index : bucketEnd;
    uint32_t lo = from, hi = to; // the entries that begin with s[0] s[1]
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if ((*this)[int32_t(mid)] < s)
            lo = mid + 1;
        else
            hi = mid;
    }
    return int32_t(lo);
}

int32_t SegmentLexicon::lowerBoundAfter(int32_t from, std::u16string_view s) const {
    // Galloping: the walk mostly moves on by a step or two, now and then past a long stretch of
    // entries that share the candidate's beginning.
    const int32_t n = size();
    int32_t lo = from; // entry less than s
    int32_t step = 1;
    int32_t hi = lo + step;
    while (hi < n && (*this)[hi] < s) {
        lo = hi;
        step *= 2;
        hi = step < n - lo ? lo + step : n;
    }
    if (hi > n)
        hi = n;
    // The answer lies in (lo, hi].
    int32_t a = lo + 1, b = hi;
    while (a < b) {
        const int32_t mid = a + (b - a) / 2;
        if ((*this)[mid] < s)
            a = mid + 1;
        else
            b = mid;
    }
    return a;
}

void sortAscending(std::vector<std::u16string> &list, EventPump &pump) {
    uint32_t countdown = 4096;
    std::sort(list.begin(), list.end(), [&](const std::u16string &a, const std::u16string &b) {
        if (--countdown == 0) {
            countdown = 4096;
            pump.yield();
        }
        return a < b;
    });
}

void removeDuplicates(std::vector<std::u16string> &list) {
    std::vector<std::u16string> kept;
    kept.reserve(list.size());
    for (auto &s : list) {
        const std::u16string_view last = kept.empty() ? std::u16string_view() : kept.back();
        if (s != last)
            kept.push_back(std::move(s));
    }
    std::erase_if(kept, [](const std::u16string &s) { return s.empty(); });
    list = std::move(kept);
}

namespace {

SegmentLexicon mergeWalk(const SegmentLexicon &a, const std::vector<std::u16string> &b,
                         bool keepEqual) {
    SegmentLexicon c;
    size_t units = 0;
    for (const auto &s : b)
        units += s.size();
    c.reserve(size_t(a.size()) + b.size(), units + a.textUnits());
    int32_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const std::u16string_view x = a[i], y = b[j];
        if (x < y) {
            c.append(x);
            ++i;
        } else if (x == y) {
            if (keepEqual)
                c.append(x);
            ++i;
            ++j;
        } else {
            c.append(y);
            ++j;
        }
    }
    for (; i < a.size(); ++i)
        c.append(a[i]);
    for (; j < b.size(); ++j)
        c.append(b[j]);
    c.finish();
    return c;
}

} // namespace

SegmentLexicon unionOf(const SegmentLexicon &a, const std::vector<std::u16string> &b) {
    return mergeWalk(a, b, true);
}

SegmentLexicon symmetricDifference(const SegmentLexicon &a, const std::vector<std::u16string> &b) {
    return mergeWalk(a, b, false);
}

SegmentLexicon readWordList(const fs::path &path, EventPump *pump) {
    // A word list in UTF-8 (one with the characters code page 936 lacks) is read as such.
    LineReader reader(path, detectUtf8(path));
    SegmentLexicon list;
    list.reserve(reader.countLines(), reader.size());
    for (size_t i = 0; !reader.atEnd(); ++i) {
        list.append(reader.readLineView());
        if (pump && i % 20000 == 0)
            pump->yield();
    }
    list.finish();
    return list;
}

SegmentLexicon loadSegmentLexicon(const fs::path &ciku, const fs::path &bcIni, EventPump &pump) {
    std::vector<std::u16string> supplement;
    if (!fileExists(bcIni)) {
        // Created empty for the user to find; a folder that refuses it changes nothing.
        std::error_code ec;
        if (!fs::exists(bcIni, ec)) {
            int fd = ::open(bcIni.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::close(fd);
        }
    } else {
        LineReader reader(bcIni, LexiconEncoding::Ansi936);
        while (!reader.atEnd())
            supplement.push_back(reader.readLine());
    }
    if (!fileExists(ciku))
        throw LexError(missingWordListText(ciku), ciku);
    SegmentLexicon main = readWordList(ciku);
    if (supplement.empty())
        return main;
    sortAscending(supplement, pump);
    removeDuplicates(supplement);
    return unionOf(main, supplement);
}

std::string missingWordListText(const fs::path &ciku) {
    return "找不到词库文件 ciku.lxd（" + ciku.string() + "），程序无法运行，即将退出。";
}

} // namespace lex::bigseg
