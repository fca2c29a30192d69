#!/usr/bin/env bash
# phonetag: lexcli phonetag annotate with the shipped data, without and with the review list,
# against the LineReader/LineWriter round trip of the same 1,000,000-line lexicon and against
# pinyin-pro (node, one run: it is slow); dedup against LC_ALL=C sort -u; correct with the
# shipped lw.txt against the round trip; clear, extract and adjust against the round trip for
# reference.
# Targets: annotate <= 2x the round trip and <= 0.1x pinyin-pro, annotate --review <= 2.5x the
# round trip; dedup <= 0.5x sort -u; correct <= 3x the round trip.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib.sh"
work=$BENCH_WORK/phonetag
mkdir -p "$work"

in=$BENCH_WORK/lexicon-a.txt
bench_inputs
data=${BENCH_DATA:-$(dirname "$LEXCLI")}/phonetag
for f in dz.txt zn.lxd lw.txt dy.txt cp.txt; do
    if [ ! -f "$data/$f" ]; then
        echo "== phonetag: $data/$f is missing (build the target lex_data first)" >&2
        exit 1
    fi
done
phonetag() { "$LEXCLI" --data-dir "$data" phonetag "$@"; }

echo "== phonetag ($(wc -l < "$in") lines, $(du -h "$in" | cut -f1); $(wc -l < "$data/zn.lxd") word-table lines, $(wc -l < "$data/lw.txt") list lines; load $(cut -d' ' -f1 /proc/loadavg))"
base=$(bench_median5 "$(bench_program bench_core)" roundtrip "$in" "$work/roundtrip.txt")

t=$(bench_median5 "$LEXCLI" --data-dir "$data" phonetag annotate "$in" -o "$work/annotate.txt")
bench_line "phonetag annotate" "$t" "LineReader/LineWriter round trip" "$base"
annotate=$t
t=$(bench_median5 "$LEXCLI" --data-dir "$data" phonetag annotate "$in" -o "$work/annotate.txt" --review "$work/review.txt")
bench_line "phonetag annotate --review" "$t" "LineReader/LineWriter round trip" "$base"
echo "   ($(grep -c "^#" "$work/review.txt") entries in the review list)"

# pinyin-pro from the npm registry, installed once into the work folder.
npm_dir=$work/npm
if [ ! -d "$npm_dir/node_modules/pinyin-pro" ]; then
    npm install --silent --no-audit --no-fund --prefix "$npm_dir" pinyin-pro@3 >/dev/null 2>&1 ||
        echo "   (pinyin-pro could not be installed from npm; its line is left out)"
fi
if [ -d "$npm_dir/node_modules/pinyin-pro" ]; then
    peer=$(bench_once node "$here/pinyin_pro.js" "$npm_dir" "$in" "$work/pinyin-pro.txt")
    bench_line "phonetag annotate" "$annotate" "pinyin-pro (node, one run)" "$peer"
fi

t=$(bench_median5 "$LEXCLI" --data-dir "$data" phonetag correct "$in" -o "$work/correct.txt" --log "$work/log.txt")
bench_line "phonetag correct (shipped lw.txt)" "$t" "LineReader/LineWriter round trip" "$base"

t=$(bench_median5 "$LEXCLI" phonetag dedup "$in" -o "$work/dedup.txt")
peer=$(bench_median5 sh -c "LC_ALL=C sort -u '$in' > '$work/sort.txt'")
bench_line "phonetag dedup" "$t" "LC_ALL=C sort -u" "$peer"

for op in clear extract adjust; do
    t=$(bench_median5 "$LEXCLI" --data-dir "$data" phonetag "$op" "$in" -o "$work/$op.txt")
    bench_line "phonetag $op" "$t" "LineReader/LineWriter round trip" "$base"
done
echo "   peak memory: annotate $(bench_peak_mb "$LEXCLI" --data-dir "$data" phonetag annotate "$in" -o "$work/annotate.txt") MB, correct $(bench_peak_mb "$LEXCLI" --data-dir "$data" phonetag correct "$in" -o "$work/correct.txt" --log "$work/log.txt") MB, dedup $(bench_peak_mb "$LEXCLI" phonetag dedup "$in" -o "$work/dedup.txt") MB"
