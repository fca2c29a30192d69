#!/usr/bin/env bash
# lexmerge and lexupdate: the four set operations and an update over two 1,000,000-line
# lexicons, against what a user would run instead: sort -u / comm (sorted output), a python3
# dict/set script and mawk/gawk one-liners (first-occurrence order). Medians of 5 runs.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
A=$BENCH_WORK/lexicon-a.txt
B=$BENCH_WORK/lexicon-b.txt
W=$BENCH_WORK/lexmerge
mkdir -p "$W"
# The update's waste and private lexicons: lines of lexicon two and of lexicon one.
head -n 200000 "$B" > "$W/waste.txt"
tail -n 50000 "$A" > "$W/private.txt"
export LC_ALL=C

cat > "$W/peer.py" <<'PY'
import sys
op, out, files = sys.argv[1], sys.argv[2], sys.argv[3:]
def lines(path):
    with open(path, "rb") as f:
        return f.read().split(b"\r\n")[:-1]
if op == "union":
    keep = dict.fromkeys(lines(files[0]))
    keep.update(dict.fromkeys(lines(files[1])))
    result = keep
elif op == "intersect":
    one = set(lines(files[0]))
    result = dict.fromkeys(l for l in lines(files[1]) if l in one)
elif op == "difference":
    one, two = dict.fromkeys(lines(files[0])), dict.fromkeys(lines(files[1]))
    result = [l for l in one if l not in two] + [l for l in two if l not in one]
elif op == "delete":
    two = set(lines(files[1]))
    result = [l for l in dict.fromkeys(lines(files[0])) if l not in two]
elif op == "update":
    keep = dict.fromkeys(lines(files[0]))
    keep.update(dict.fromkeys(lines(files[1])))
    for gone in files[2:]:
        for l in lines(gone):
            keep.pop(l, None)
    result = keep
with open(out, "wb") as f:
    f.write(b"".join(l + b"\r\n" for l in result))
PY

# awk programs keeping first-occurrence order (lines end in CR; it stays part of the line).
AWK_UNION='!seen[$0]++'
AWK_INTERSECT='NR==FNR{a[$0];next} ($0 in a) && !seen[$0]++'
AWK_DIFFERENCE='FILENAME==ARGV[1]{b[$0];next} FILENAME==ARGV[2]{a[$0]; if (!($0 in b) && !s[$0]++) print; next} !($0 in a) && !t[$0]++'
AWK_DELETE='NR==FNR{b[$0];next} !($0 in b) && !seen[$0]++'
AWK_UPDATE='FILENAME==ARGV[1] || FILENAME==ARGV[2] {del[$0];next} !($0 in del) && !seen[$0]++'
SORT="sort -u --parallel=2 -S 50%"

echo "== lexmerge / lexupdate ($(wc -l < "$A") + $(wc -l < "$B") lines; waste $(wc -l < "$W/waste.txt"), private $(wc -l < "$W/private.txt"))"

# compare NAME OURS-CMD -- then peers as "label|command" strings; prints one line per peer and
# the ratio to the best order-keeping peer (python3, mawk, gawk).
compare() {
    local name=$1 ours_cmd=$2
    shift 2
    local ours best="" best_name="" t label cmd
    ours=$(bench_median5 bash -c "$ours_cmd")
    for peer in "$@"; do
        label=${peer%%|*}
        cmd=${peer#*|}
        t=$(bench_median5 bash -c "$cmd")
        bench_line "$name" "$ours" "$label" "$t"
        case $label in
        python3* | mawk* | gawk*)
            if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then
                best=$t best_name=$label
            fi
            ;;
        esac
    done
    bench_line "$name (best order-keeping)" "$ours" "$best_name" "$best"
}

compare "lexmerge union" "'$LEXCLI' lexmerge union '$A' '$B' -o '$W/ours.txt'" \
    "sort -u|$SORT '$A' '$B' > '$W/sort.txt'" \
    "python3 dict|python3 '$W/peer.py' union '$W/py.txt' '$A' '$B'" \
    "mawk !seen|mawk '$AWK_UNION' '$A' '$B' > '$W/awk.txt'" \
    "gawk !seen|gawk '$AWK_UNION' '$A' '$B' > '$W/awk.txt'"
cmp -s "$W/ours.txt" "$W/py.txt" && echo "   (union output identical to python3's)"

compare "lexmerge intersect" "'$LEXCLI' lexmerge intersect '$A' '$B' -o '$W/ours.txt'" \
    "comm -12|comm -12 <($SORT '$A') <($SORT '$B') > '$W/comm.txt'" \
    "python3 set|python3 '$W/peer.py' intersect '$W/py.txt' '$A' '$B'" \
    "mawk|mawk '$AWK_INTERSECT' '$A' '$B' > '$W/awk.txt'" \
    "gawk|gawk '$AWK_INTERSECT' '$A' '$B' > '$W/awk.txt'"

compare "lexmerge difference" "'$LEXCLI' lexmerge difference '$A' '$B' -o '$W/ours.txt'" \
    "comm -3|comm -3 <($SORT '$A') <($SORT '$B') | sed 's/^\t//' > '$W/comm.txt'" \
    "python3 dict|python3 '$W/peer.py' difference '$W/py.txt' '$A' '$B'" \
    "mawk|mawk '$AWK_DIFFERENCE' '$B' '$A' '$B' > '$W/awk.txt'" \
    "gawk|gawk '$AWK_DIFFERENCE' '$B' '$A' '$B' > '$W/awk.txt'"

compare "lexmerge delete" "'$LEXCLI' lexmerge delete '$A' '$B' -o '$W/ours.txt'" \
    "comm -23|comm -23 <($SORT '$A') <($SORT '$B') > '$W/comm.txt'" \
    "python3 set|python3 '$W/peer.py' delete '$W/py.txt' '$A' '$B'" \
    "mawk|mawk '$AWK_DELETE' '$B' '$A' > '$W/awk.txt'" \
    "gawk|gawk '$AWK_DELETE' '$B' '$A' > '$W/awk.txt'"

compare "lexupdate update" "'$LEXCLI' lexupdate update '$A' --user '$B' --waste '$W/waste.txt' --private '$W/private.txt' -o '$W/ours.txt'" \
    "sort -u + comm -23|comm -23 <($SORT '$A' '$B') <($SORT '$W/waste.txt' '$W/private.txt') > '$W/comm.txt'" \
    "python3 dict|python3 '$W/peer.py' update '$W/py.txt' '$A' '$B' '$W/waste.txt' '$W/private.txt'" \
    "mawk|mawk '$AWK_UPDATE' '$W/waste.txt' '$W/private.txt' '$A' '$B' > '$W/awk.txt'" \
    "gawk|gawk '$AWK_UPDATE' '$W/waste.txt' '$W/private.txt' '$A' '$B' > '$W/awk.txt'"

echo "peak memory: lexmerge union $(bench_peak_mb "$LEXCLI" lexmerge union "$A" "$B" -o "$W/ours.txt") MB," \
    "difference $(bench_peak_mb "$LEXCLI" lexmerge difference "$A" "$B" -o "$W/ours.txt") MB," \
    "lexupdate $(bench_peak_mb "$LEXCLI" lexupdate update "$A" --user "$B" --waste "$W/waste.txt" --private "$W/private.txt" -o "$W/ours.txt") MB;" \
    "python3 union $(bench_peak_mb python3 "$W/peer.py" union "$W/py.txt" "$A" "$B") MB"
