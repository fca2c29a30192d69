#!/usr/bin/env bash
# lexcheck: every check over a 1,000,000-line Rime dictionary, against the annotation of the same
# lexicon (phonetag annotate; the target is at most 2 x) and against a python3 script that does
# only the syllable, count and reading checks (the target is at most 0.2 x). Medians of 5 runs.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
bench_inputs
W=$BENCH_WORK/lexcheck
mkdir -p "$W"
SUITE=${BENCH_DATA:-$(dirname "$LEXCLI")}
DATA=$SUITE/lexcheck

# The input, made once: the benchmark lexicon annotated in full, as a Rime dictionary with one
# line per input line, and the same lines as the standard lexicon the annotation reads.
if [ ! -f "$W/lexicon.dict.yaml" ]; then
    "$LEXCLI" --data-dir "$SUITE/lexconv" lexconv convert "$BENCH_WORK/lexicon-a.txt" \
        -o "$W/lexicon.dict.yaml" --to rime --no-dedup >/dev/null 2>&1
fi
lines=$(grep -c . "$W/lexicon.dict.yaml")
echo "== lexcheck ($lines lines of Rime, $(du -h "$W/lexicon.dict.yaml" | cut -f1); load $(cut -d' ' -f1-3 /proc/loadavg))"

ours=$(bench_median5 "$LEXCLI" --data-dir "$DATA" lexcheck "$W/lexicon.dict.yaml" --report "$W/r.txt")
bench_line "lexcheck (every check)" "$ours" "phonetag annotate" \
    "$(bench_median5 "$LEXCLI" --data-dir "$SUITE/phonetag" phonetag annotate \
        "$BENCH_WORK/lexicon-a.txt" -o "$W/a.txt")"
syllables=$(bench_median5 "$LEXCLI" --data-dir "$DATA" lexcheck "$W/lexicon.dict.yaml" \
    --checks invalid-syllable,count-mismatch,unknown-reading --report "$W/r.txt")
bench_line "lexcheck (syllable, count, reading)" "$syllables" "python3 script" \
    "$(bench_median5 /usr/bin/python3 "$(dirname "$0")/check_peer.py" "$W/lexicon.dict.yaml" "$DATA/dz.lxd")"
bench_line "lexcheck (every check)" "$ours" "python3 script (3 checks)" \
    "$(bench_median5 /usr/bin/python3 "$(dirname "$0")/check_peer.py" "$W/lexicon.dict.yaml" "$DATA/dz.lxd")"
rm -f "$W/r.txt" "$W/a.txt"
