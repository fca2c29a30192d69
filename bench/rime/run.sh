#!/usr/bin/env bash
# The tools on 1,000,000-entry Rime dictionaries (*.dict.yaml), each against the python3 script
# a Rime user writes today (PyYAML for the header, a dict for the entries, a durable output:
# bench/rime/rime_job.py), and against the same operation on the suite's own format (the
# 1,000,000-line standard lexicons the dictionaries were made from). Medians of 3 runs. Targets:
# at most 0.5 x the script, and within 1.3 x of the own format.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
bench_inputs
W=$BENCH_WORK/rime
mkdir -p "$W"
DATA=${BENCH_DATA:-$(dirname "$LEXCLI")}
job=$(dirname "$0")/rime_job.py
/usr/bin/python3 -c 'import yaml' 2>/dev/null || { echo "bench: python3-yaml is missing" >&2; exit 2; }

# The dictionaries, made once from the standard lexicons, one entry per line.
for x in a b; do
    if [ ! -f "$W/$x.dict.yaml" ]; then
        "$LEXCLI" --data-dir "$DATA/lexconv" lexconv convert "$BENCH_WORK/lexicon-$x.txt" \
            -o "$W/$x.dict.yaml" --to rime --no-dedup --weight-by-order >/dev/null 2>&1
    fi
done
# The same with its weights shuffled (a real dictionary's are in no order), and the own lexicon
# with weights so shuffled after a TAB.
if [ ! -f "$W/w.dict.yaml" ]; then
    LC_ALL=C awk -F'\t' 'BEGIN { OFS = "\t"; srand(7) } /^\.\.\.$/ { body = 1; print; next }
        body && NF >= 3 { $3 = int(rand() * 1000000) } { print }' "$W/a.dict.yaml" > "$W/w.dict.yaml"
    LC_ALL=C awk 'BEGIN { srand(7) } { sub(/\r$/, ""); printf "%s\t%d\r\n", $0, int(rand() * 1000000) }' \
        "$BENCH_WORK/lexicon-a.txt" > "$W/own-w.txt"
fi
lines=$(grep -c . "$W/a.dict.yaml")
echo "== Rime dictionaries ($lines lines, $(du -h "$W/a.dict.yaml" | cut -f1); load $(cut -d' ' -f1-3 /proc/loadavg))"

A=$W/a.dict.yaml B=$W/b.dict.yaml
OA=$BENCH_WORK/lexicon-a.txt OB=$BENCH_WORK/lexicon-b.txt
row() { # name, our command on Rime, the script's job, our command on the own format
    local ours peer own
    ours=$(bench_median3 sh -c "$2")
    peer=$(bench_median3 sh -c "/usr/bin/python3 '$job' $3")
    own=$(bench_median3 sh -c "$4")
    bench_line "$1" "$ours" "python3 yaml" "$peer"
    bench_line "$1" "$ours" "own format" "$own"
}
L="'$LEXCLI' --data-dir '$DATA/phonetag'"
row "lexsort weight" "$L lexsort weight '$A' -o '$W/o.dict.yaml'" \
    "sort-weight '$A' '$W/p.dict.yaml'" "$L lexsort weight '$OA' -o '$W/o.txt'"
row "lexsort weight, shuffled" "$L lexsort weight '$W/w.dict.yaml' -o '$W/o.dict.yaml'" \
    "sort-weight '$W/w.dict.yaml' '$W/p.dict.yaml'" "$L lexsort weight '$W/own-w.txt' -o '$W/o.txt'"
row "lexsort pinyin" "$L lexsort pinyin '$A' -o '$W/o.dict.yaml'" \
    "sort-code '$A' '$W/p.dict.yaml'" "$L lexsort pinyin '$OA' -o '$W/o.txt'"
row "phonetag dedup" "$L phonetag dedup '$A' -o '$W/o.dict.yaml'" \
    "dedup '$A' '$W/p.dict.yaml'" "$L phonetag dedup '$OA' -o '$W/o.txt'"
row "lexmerge union" "$L lexmerge union '$A' '$B' -o '$W/o.dict.yaml'" \
    "union '$A' '$B' '$W/p.dict.yaml'" "$L lexmerge union '$OA' '$OB' -o '$W/o.txt'"
row "lexsift length" "$L lexsift filter '$A' --length 2 4 -o '$W/o.dict.yaml'" \
    "filter '$A' '$W/p.dict.yaml' 2 4" "$L lexsift filter '$OA' --length 2 4 -o '$W/o.txt'"
rm -f "$W"/o.* "$W"/p.*
