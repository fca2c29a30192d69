#!/usr/bin/env bash
# pintop: lexcli pintop generate (every long-word mode, and with a replacement table) against
# the plain LineReader/LineWriter round trip of the same standard lexicon; lexcli pintop dedup
# (keep 1 and 3) against a python3 dict script and mawk on a fixed-top lexicon of as many lines.
# Targets: generation <= 2x the round trip; dedup <= 0.5x the best peer.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib.sh"
work=$BENCH_WORK/pintop
mkdir -p "$work"

in=$BENCH_WORK/lexicon-a.txt
bench_inputs
# The installed readings when the suite has them, else our own from pinyin_simp.
data=${BENCH_DATA:-$(dirname "$LEXCLI")}/pintop
if [ ! -f "$data/dz.lxd" ]; then
    data=$work/data
    mkdir -p "$data"
    [ -f "$data/dz.lxd" ] || /usr/bin/python3 "$here/make_dz.py" "$data/dz.lxd"
fi
printf 'zh=v\r\nch=i\r\nsh=u\r\nong=s\r\niong=s\r\nang=h\r\n0ang=ah\r\neng=g\r\n0a=aa\r\n' > "$work/table.ini"


echo "== pintop ($(wc -l < "$in") lines, $(du -h "$in" | cut -f1); dz.lxd from $data)"
base=$(bench_median5 "$(bench_program bench_core)" roundtrip "$in" "$work/roundtrip.txt")
for mode in keep initials first6 omit; do
    t=$(bench_median5 "$LEXCLI" --data-dir "$data" pintop generate "$in" -o "$work/top-$mode.txt" --long "$mode")
    bench_line "pintop generate --long $mode" "$t" "LineReader/LineWriter round trip" "$base"
done
t=$(bench_median5 "$LEXCLI" --data-dir "$data" pintop generate "$in" -o "$work/top-table.txt" --table "$work/table.ini")
bench_line "pintop generate --table" "$t" "LineReader/LineWriter round trip" "$base"

top=$work/top-keep.txt
cat > "$work/dedup.py" <<'PY'
import sys
seen = {}
with open(sys.argv[1], "rb") as f:
    for line in f:
        line = line.rstrip(b"\r\n")
        eq = line.find(b"=")
        if eq >= 0 and line[:eq] not in seen:
            seen[line[:eq]] = line
with open(sys.argv[2], "wb") as f:
    f.write(b"\r\n".join(seen.values()) + b"\r\n")
PY
py=$(bench_median5 python3 "$work/dedup.py" "$top" "$work/dedup-py.txt")
mawk_t=$(bench_median5 sh -c "LC_ALL=C mawk -F= '!seen[\$1]++' '$top' > '$work/dedup-awk.txt'")
best=$py best_name="python3 dict script"
if ! bench_figures "$py" || { bench_figures "$mawk_t" && awk "BEGIN { exit !($mawk_t < $py) }"; }; then
    best=$mawk_t best_name="LC_ALL=C mawk -F= '!seen[\$1]++'"
fi
echo "   peers on $(wc -l < "$top") fixed-top lines: python3 dict script $py s, mawk $mawk_t s"
for keep in 1 3; do
    t=$(bench_median5 "$LEXCLI" pintop dedup "$top" -o "$work/dedup-$keep.txt" --keep "$keep")
    # --keep 1 writes what the python3 script writes.
    [ "$keep" = 1 ] && t=$(bench_same "$t" "$work/dedup-1.txt" "$work/dedup-py.txt")
    bench_line "pintop dedup --keep $keep" "$t" "$best_name" "$best"
done
