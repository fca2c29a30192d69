#pragma once
// The quicksort behind sortSA and sortSB. Its order is part of the output: it is not stable,
// and elements that compare equal end up where its steps put them. On a range l..r:
//   1. the middle element, index (l + r) / 2, is the pivot; the first element takes its slot;
//   2. from the right, skip elements not smaller than the pivot and move the first smaller one
//      into the hole on the left; from the left, skip elements smaller than the pivot and move
//      the first other one into the hole on the right; repeat until both ends meet;
//   3. the pivot fills the last hole; the ranges left and right of it are sorted in turn.
// Ranges wait on an explicit stack instead of recursing, the larger side pushed and the smaller
// one sorted first, so the stack never holds more than 64 ranges. Ranges never overlap, so the
// order in which they are sorted changes nothing.
//
// A pivot that nothing in its range is smaller than is only swapped to the front, and the steps
// go on with the rest: one element per pass over the range, quadratic for a long run of equal
// elements. When the next pivot compares equal to that one, nothing in the rest is smaller than
// it either, so its pass is known without comparing: a range of equal elements costs linear
// time and keeps the order the steps give.
//
// The caller may skip ranges: needed(l, r) false says that no order of a[l..r] among the ones
// the steps could give differs from another for it (all of its equal elements are alike). The
// range is then left as it is; the other ranges still end exactly as the steps leave them,
// since no step on one range reads or writes another.

#include "shared/lexcore/event_pump.h"

#include <cstdint>
#include <type_traits>
#include <utility>

namespace lex::lexsort {

// Progress of a sort inside a longer operation: done = base + elements in their final place.
struct SortProgress {
    int64_t base = 0;
    int64_t total = 0;
};

// Every range is sorted.
struct EveryRange {
    bool operator()(int64_t, int64_t) const { return true; }
};

// Sorts a[left..right] (inclusive) ascending by cmp(x, y) (< 0, 0, > 0), which must be a
// consistent total preorder, except for the ranges that needed(l, r) leaves out. Yields once
// per range.
template <class T, class Cmp, class Needed = EveryRange>
void quickSort(T *a, int64_t left, int64_t right, const Cmp &cmp, EventPump &pump,
               SortProgress progress = {}, const Needed &needed = {}) {
    // The element moves include a slot copied onto itself.
    static_assert(std::is_trivially_copyable_v<T>);
    if (left >= right)
        return;
    struct Range {
        int64_t l, r;
    };
    Range stack[64];
    int top = 0;
    stack[top++] = {left, right};
    int64_t placed = 0;
    auto report = [&] {
        if (progress.total > 0)
            pump.setProgress(progress.base + placed, progress.total);
    };
    while (top > 0) {
        --top;
        int64_t l = stack[top].l, r = stack[top].r;
        while (l < r) {
            pump.yield();
            if (!needed(l, r)) {
                placed += r - l + 1;
                report();
                break;
            }
            const int64_t mid = (l + r) / 2;
            T p = a[mid];
            a[mid] = a[l];
            int64_t i = l, j = r;
            while (i < j) {
                while (i < j && cmp(p, a[j]) <= 0)
                    --j;
                a[i] = a[j];
                while (i < j && cmp(p, a[i]) > 0)
                    ++i;
                a[j] = a[i];
            }
            if (i == l) {
                // Nothing in l+1..r is smaller than p; equal pivots after it are peeled off
                // without a pass.
                int64_t k = l + 1;
                while (k < r) {
                    const int64_t m = (k + r) / 2;
                    if (cmp(a[m], p) != 0)
                        break;
                    std::swap(a[k], a[m]);
                    ++k;
                    pump.yield();
                }
                a[i] = p;
                placed += k - l + (k == r);
                report();
                l = k;
                continue;
            }
            a[i] = p;
            ++placed;
            const bool hasLeft = l < i - 1, hasRight = i + 1 < r;
            placed += (i - 1 == l) + (i + 1 == r);
            report();
            if (hasLeft && hasRight) {
                if (i - l > r - i) {
                    stack[top++] = {l, i - 1};
                    l = i + 1;
                } else {
                    stack[top++] = {i + 1, r};
                    r = i - 1;
                }
            } else if (hasLeft) {
                r = i - 1;
            } else if (hasRight) {
                l = i + 1;
            } else {
                break;
            }
        }
    }
}

} // namespace lex::lexsort
