#!/usr/bin/env bash
# lexmerge and lexupdate: the four set operations and an update over two 1,000,000-line
# lexicons, against what a user would run instead: a python3 dict/set script over the lines as
# bytes (first-occurrence order, as ours) and a sort -u / comm pipeline (sorted output, both
# cores). Medians of 5 runs, one table; the targets are at most 0.5 x python3 and 0.7 x
# sort/comm.
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

SORT="sort -u --parallel=2 -S 50%"

echo "== lexmerge / lexupdate ($(wc -l < "$A") + $(wc -l < "$B") lines; waste $(wc -l < "$W/waste.txt"), private $(wc -l < "$W/private.txt"))"
printf '%-12s %10s %10s %10s   %-16s %-16s\n' operation lexcli python3 sort/comm "÷python3 ≤0.50" "÷sort/comm ≤0.70"

# row NAME OURS-CMD PYTHON-CMD SORT-CMD [same]: "same" when ours and python3 write the same bytes
row() {
    local ours py st
    ours=$(bench_median5 bash -o pipefail -c "$2")
    py=$(bench_median5 bash -o pipefail -c "$3")
    st=$(bench_median5 bash -o pipefail -c "$4")
    [ "${5:-}" = same ] && ours=$(bench_same "$ours" "$W/ours.txt" "$W/py.txt")
    awk -v n="$1" -v o="$ours" -v p="$py" -v s="$st" 'function fig(x) {
            return x ~ /^[0-9.]+$/ ? sprintf("%8.3f s", x) : sprintf("%8s  ", x) }
        function ratio(a, b, target,  r) {
            if (a !~ /^[0-9.]+$/ || b !~ /^[0-9.]+$/ || b == 0) return sprintf("%5s %-10s", "-", "")
            r = a / b
            return sprintf("%5.2f %-10s", r, (r <= target ? "met" : "MISSED")) }
        BEGIN { printf "%-12s %s %s %s   %s %s\n", n, fig(o), fig(p), fig(s), ratio(o, p, 0.5),
            ratio(o, s, 0.7) }'
}

row union "'$LEXCLI' lexmerge union '$A' '$B' -o '$W/ours.txt'" \
    "python3 '$W/peer.py' union '$W/py.txt' '$A' '$B'" \
    "$SORT '$A' '$B' > '$W/sort.txt'" same
row intersect "'$LEXCLI' lexmerge intersect '$A' '$B' -o '$W/ours.txt'" \
    "python3 '$W/peer.py' intersect '$W/py.txt' '$A' '$B'" \
    "comm -12 <($SORT '$A') <($SORT '$B') > '$W/comm.txt'"
row difference "'$LEXCLI' lexmerge difference '$A' '$B' -o '$W/ours.txt'" \
    "python3 '$W/peer.py' difference '$W/py.txt' '$A' '$B'" \
    "comm -3 <($SORT '$A') <($SORT '$B') | sed 's/^\t//' > '$W/comm.txt'"
row delete "'$LEXCLI' lexmerge delete '$A' '$B' -o '$W/ours.txt'" \
    "python3 '$W/peer.py' delete '$W/py.txt' '$A' '$B'" \
    "comm -23 <($SORT '$A') <($SORT '$B') > '$W/comm.txt'"
row update "'$LEXCLI' lexupdate update '$A' --user '$B' --waste '$W/waste.txt' --private '$W/private.txt' -o '$W/ours.txt'" \
    "python3 '$W/peer.py' update '$W/py.txt' '$A' '$B' '$W/waste.txt' '$W/private.txt'" \
    "comm -23 <($SORT '$A' '$B') <($SORT '$W/waste.txt' '$W/private.txt') > '$W/comm.txt'"
echo "   (union output checked against python3's; load average now: $(cut -d' ' -f1-3 /proc/loadavg))"

echo "peak memory (target < 300 MB): lexmerge union $(bench_peak_mb "$LEXCLI" lexmerge union "$A" "$B" -o "$W/ours.txt") MB," \
    "difference $(bench_peak_mb "$LEXCLI" lexmerge difference "$A" "$B" -o "$W/ours.txt") MB," \
    "lexupdate $(bench_peak_mb "$LEXCLI" lexupdate update "$A" --user "$B" --waste "$W/waste.txt" --private "$W/private.txt" -o "$W/ours.txt") MB;" \
    "python3 union $(bench_peak_mb python3 "$W/peer.py" union "$W/py.txt" "$A" "$B") MB"
