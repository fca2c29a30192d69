#!/usr/bin/env bash
# lexcore: the LineReader/LineWriter round trip against an iconv pipeline, and deduplication
# through the entry set against sort -u, on the same 1,000,000-line lexicon.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
in=$BENCH_WORK/lexicon-a.txt
out=$BENCH_WORK/out-core.txt

echo "== lexcore ($(wc -l < "$in") lines, $(du -h "$in" | cut -f1))"
ours=$(bench_median5 "$BENCH_BIN/bench_core" roundtrip "$in" "$out")
peer=$(bench_median5 sh -c "iconv -f CP936 -t UTF-16LE '$in' | iconv -f UTF-16LE -t CP936 > '$out.iconv'")
bench_line "LineReader/LineWriter round trip" "$ours" "iconv | iconv" "$peer"
cmp -s "$in" "$out" && echo "   (round trip output identical to input)"

ours=$(bench_median5 "$BENCH_BIN/bench_core" dedup "$in" "$out")
peer=$(bench_median5 sh -c "LC_ALL=C sort -u '$in' > '$out.sort'")
bench_line "dedup through EntryHashSet" "$ours" "LC_ALL=C sort -u" "$peer"

times=()
for i in 1 2 3 4 5; do times+=("$("$BENCH_BIN/bench_core" setops "$in")"); done
echo "Contains+Add of $(wc -l < "$in") lines (set only): median $(printf '%s\n' "${times[@]}" | sort -g | sed -n 3p) s"
echo "memory of the lexicon held as lines: $("$BENCH_BIN/bench_core" memory "$in") x file size"
