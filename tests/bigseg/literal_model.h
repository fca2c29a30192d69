#pragma once
// The segmentation exactly as the tool's behaviour is defined, step by step and without any
// shortcut: the search compares strings at every probe (midpoint rounded by the floating-point
// unit), the forward walk goes entry by entry, positions count from 1, the runs are joined and
// collapsed by plain search-and-replace. The engine must agree with it byte for byte, yield for
// yield.

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace lex::test::model {

using Lexicon = std::vector<std::u16string>;

inline int32_t Get_CKP(const Lexicon &sCK, const std::u16string &s2, int16_t &b, EventPump &pump) {
    b = 0;
    int32_t lo = 0, hi = int32_t(sCK.size()) - 1;
    while (hi - lo >= 2) {
        const auto mid = int32_t(std::nearbyint((lo + hi) / 2.0));
        if (sCK[size_t(mid)] == s2) {
            b = -1;
            return mid;
        }
        if (sCK[size_t(mid)] < s2)
            lo = mid;
        else
            hi = mid;
        if (pump.yield())
            break;
    }
    return hi;
}

inline int32_t StrCompX(const std::u16string &s1, const std::u16string &s2) {
    if (s1 < s2)
        return s1.size() < s2.size() ? -1 : -2;
    return s1 == s2 ? 0 : 1;
}

// Mid$(s, start, n) with start counted from 1.
inline std::u16string Mid(const std::u16string &s, int64_t start, int64_t n) {
    if (start > int64_t(s.size()))
        return {};
    return s.substr(size_t(start - 1), size_t(n));
}

inline std::u16string DispartStrX(const std::u16string &str, const Lexicon &sCK, int64_t iFlag,
                                  EventPump &pump) {
    const auto len = int64_t(str.size());
    if (len < iFlag)
        return str;
    const auto last = int64_t(sCK.size()) - 1;
    std::u16string result;
    int64_t p = 1;
    for (;;) {
        std::u16string cand = Mid(str, p, 2);
        if (cand.empty())
            return result;
        int64_t best = 0, n, i;
        std::u16string bestWord;
        int16_t b;
        const int32_t f = Get_CKP(sCK, cand, b, pump);
        if (b) {
            bestWord = cand;
            best = 2;
            n = 3;
            cand = Mid(str, p, 3);
            i = f + 1;
        } else {
            n = 2;
            i = f;
        }
        // Reading past either end of the list ends the walk.
        auto inList = [&] { return i >= 0 && i <= last; };
        while (inList()) {
            const std::u16string &entry = sCK[size_t(i)];
            const int32_t r = StrCompX(cand, entry);
            if (r == 0) {
                bestWord = cand;
                best = n;
                if (p + n > len)
                    break;
                cand = Mid(str, p, ++n);
                ++i;
            } else if (r == -1) {
                if (p + n > len)
                    break;
                cand = Mid(str, p, ++n);
            } else if (r == 1) {
                ++i;
            } else {
                break;
            }
        }
        if (best > 0) {
            result += u"\r\n" + bestWord;
            p += best;
        } else {
            const std::u16string one = Mid(str, p, 1);
            Get_CKP(sCK, one, b, pump);
            if (b)
                result += u"\r\n";
            result += one;
            p += 1;
        }
    }
}

// Replace(s, find, with) from the left, without overlaps.
inline std::u16string Replace(const std::u16string &s, const std::u16string &find,
                              const std::u16string &with) {
    std::u16string out;
    size_t from = 0;
    for (size_t at; (at = s.find(find, from)) != std::u16string::npos; from = at + find.size())
        out += s.substr(from, at - from) + with;
    return out + s.substr(from);
}

// The text of "fc.txt" for an article.
inline std::u16string segment(const std::u16string &text, const Lexicon &sCK, bool noSplit,
                              int64_t below, EventPump &pump) {
    std::vector<std::u16string> runs;
    std::u16string run;
    for (size_t pos = 1; pos <= text.size(); ++pos) {
        const int16_t a = ansiCode(text[pos - 1]);
        if (a < 0 && a >= -20319) {
            run += text[pos - 1];
        } else if (!run.empty()) {
            runs.push_back(run);
            run.clear();
        }
        if ((pos + 1) % 20000 == 0 && pump.yield())
            break;
    }
    if (!run.empty())
        runs.push_back(run);
    for (size_t k = 0; k < runs.size(); ++k) {
        runs[k] = DispartStrX(runs[k], sCK, noSplit ? below : 4, pump);
        if (k % 20000 == 0 && pump.yield())
            break;
    }
    std::u16string joined;
    for (size_t k = 0; k < runs.size(); ++k)
        joined += (k ? u"\r\n" : u"") + runs[k];
    return Replace(joined, u"\r\n\r\n", u"\r\n") + u"\r\n";
}

} // namespace lex::test::model
