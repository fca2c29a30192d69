#!/usr/bin/env bash
# lexcore: the LineReader/LineWriter round trip against an iconv pipeline, and deduplication
# through the entry set against sort -u, on the same 1,000,000-line lexicon.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
in=$BENCH_WORK/lexicon-a.txt
out=$BENCH_WORK/out-core.txt
core=$(bench_program bench_core)

echo "== lexcore ($(wc -l < "$in") lines, $(du -h "$in" | cut -f1))"
ours=$(bench_median5 "$core" roundtrip "$in" "$out")
# The round trip gives the input back.
ours=$(bench_same "$ours" "$in" "$out")
peer=$(bench_median5 bash -o pipefail -c "iconv -f CP936 -t UTF-16LE '$in' | iconv -f UTF-16LE -t CP936 > '$out.iconv'")
bench_line "LineReader/LineWriter round trip" "$ours" "iconv | iconv" "$peer"

ours=$(bench_median5 "$core" dedup "$in" "$out")
peer=$(bench_median5 sh -c "LC_ALL=C sort -u '$in' > '$out.sort'")
bench_line "dedup through EntryHashSet" "$ours" "LC_ALL=C sort -u" "$peer"

# setops and memory print their own figure; a failed run prints FAILED.
figure_of() {
    local f
    f=$("$@" 2>/dev/null) && bench_figures "$f" && echo "$f" || bench_failed "$*" "exit status or output"
}
times=()
for i in 1 2 3 4 5; do times+=("$(figure_of "$core" setops "$in")"); done
if bench_figures "${times[@]}"; then
    median=$(printf '%s\n' "${times[@]}" | sort -g | sed -n 3p)
else
    median=FAILED
fi
echo "Contains+Add of $(wc -l < "$in") lines (set only): median $median s"
echo "memory of the lexicon held as lines: $(figure_of "$core" memory "$in") x file size"
