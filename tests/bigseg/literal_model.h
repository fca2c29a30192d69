#pragma once
// The segmentation exactly as defined, step by step and without any shortcut: the search
// compares strings at every probe (midpoint rounded by the floating-point unit), the walk goes
// entry by entry, positions count from 1, the runs are joined and collapsed by plain
// search-and-replace. The engine must agree with it byte for byte, yield for yield.

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"

#include <cmath>
#include <string>
#include <vector>

namespace lex::test::model {

using Lexicon = std::vector<std::u16string>;
using S = std::u16string;

inline int32_t Get_CKP(const Lexicon &sCK, const S &s2, int16_t &b, EventPump &pump) {
    b = 0;
    int32_t lo = 0, hi = int32_t(sCK.size()) - 1;
    while (hi - lo >= 2) {
        const auto mid = int32_t(std::nearbyint((lo + hi) / 2.0));
        if (sCK[size_t(mid)] == s2)
            return b = -1, mid;
        (sCK[size_t(mid)] < s2 ? lo : hi) = mid;
        if (pump.yield())
            break;
    }
    return hi;
}

inline int StrCompX(const S &s1, const S &s2) {
    return s1 < s2 ? (s1.size() < s2.size() ? -1 : -2) : s1 == s2 ? 0 : 1;
}

// Mid$(s, start, n), start counted from 1.
inline S Mid(const S &s, int64_t start, int64_t n) {
    return start > int64_t(s.size()) ? S() : s.substr(size_t(start - 1), size_t(n));
}

inline S DispartStrX(const S &str, const Lexicon &sCK, int64_t iFlag, EventPump &pump) {
    const auto len = int64_t(str.size()), last = int64_t(sCK.size()) - 1;
    if (len < iFlag)
        return str;
    S result;
    for (int64_t p = 1;;) {
        S cand = Mid(str, p, 2), bestWord;
        if (cand.empty())
            return result;
        int64_t best = 0, n = 2, i;
        int16_t b;
        i = Get_CKP(sCK, cand, b, pump);
        if (b)
            bestWord = cand, best = 2, n = 3, cand = Mid(str, p, 3), ++i;
        while (i >= 0 && i <= last) { // reading past either end ends the walk
            const int r = StrCompX(cand, sCK[size_t(i)]);
            if (r == 0) {
                bestWord = cand, best = n;
                if (p + n > len)
                    break;
                cand = Mid(str, p, ++n), ++i;
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
            result += u"\r\n" + bestWord, p += best;
        } else {
            Get_CKP(sCK, Mid(str, p, 1), b, pump);
            result += (b ? u"\r\n" : u"") + Mid(str, p, 1), p += 1;
        }
    }
}

// The text of "fc.txt" for an article.
inline S segment(const S &text, const Lexicon &sCK, bool noSplit, int64_t below, EventPump &pump) {
    std::vector<S> runs;
    S run;
    for (size_t pos = 1; pos <= text.size(); ++pos) {
        const int16_t a = ansiCode(text[pos - 1]);
        if (a < 0 && a >= -20319)
            run += text[pos - 1];
        else if (!run.empty())
            runs.push_back(run), run.clear();
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
    S joined, out;
    for (size_t k = 0; k < runs.size(); ++k)
        joined += (k ? u"\r\n" : u"") + runs[k];
    size_t from = 0; // Replace(joined, CR LF CR LF, CR LF)
    for (size_t at; (at = joined.find(u"\r\n\r\n", from)) != S::npos; from = at + 4)
        out += joined.substr(from, at - from) + u"\r\n";
    return out + joined.substr(from) + u"\r\n";
}

} // namespace lex::test::model
