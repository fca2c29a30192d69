#!/usr/bin/env bash
# bigseg count over a 1 GiB corpus (make_corpus.py: 64 files of Debian's Chinese text, repeated):
# -j 2 against -j 1, the Dask driver (scripts/quillo-corpus) on a LocalCluster of two workers
# against -j 2, and the count against what a user would run instead on the same text:
# friso (simple mode) | tr ' ' '\n' | sort | uniq -c | sort -rn. Medians of 3 runs of ours, one
# run of the peer (it takes minutes). The three counts must write the same bytes, and those of
# segment + stats on a part of the corpus.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
HERE=$(cd "$(dirname "$0")" && pwd)
W=$BENCH_WORK/bigseg
C=$W/corpus-1g
DRIVER=$bench_root/scripts/quillo-corpus
PY=/usr/bin/python3
export LC_ALL=C
mkdir -p "$W/data"
[ -f "$C/063.txt" ] || "$PY" "$HERE/make_corpus.py" "$C"
cp "$BENCH_DATA/bigseg/ciku.lxd" "$W/data/ciku.lxd"
: > "$W/data/bc.ini"
bytes=$(cat "$C"/*.txt | wc -c)
count() { "$LEXCLI" --data-dir "$W/data" bigseg count "$C" "$@"; }

echo "== bigseg count, $((bytes >> 20)) MiB in $(ls "$C" | wc -l) files (load $(cut -d' ' -f1-3 /proc/loadavg))"
# The count of two files against segment + stats of the two files concatenated.
cat "$C/000.txt" "$C/001.txt" > "$W/two.txt"
"$LEXCLI" --data-dir "$W/data" bigseg segment "$W/two.txt" -o "$W/two-fc.txt" >/dev/null
"$LEXCLI" --data-dir "$W/data" bigseg stats --input "$W/two-fc.txt" -o "$W/two-tj.txt" >/dev/null
"$LEXCLI" --data-dir "$W/data" bigseg count "$C/000.txt" "$C/001.txt" -o "$W/two-count.txt" >/dev/null
cmp "$W/two-tj.txt" "$W/two-count.txt" && echo "   (count = segment + stats on 32 MiB of it)"

j1=$(bench_median3 count -o "$W/tj-j1.txt" -j 1)
j2=$(bench_median3 count -o "$W/tj-j2.txt" -j 2)
dask=$(bench_median3 "$DRIVER" --workers 2 --lexcli "$LEXCLI" --data-dir "$W/data" \
    bigseg "$C" -o "$W/tj-dask.txt")
cmp "$W/tj-j1.txt" "$W/tj-j2.txt" && cmp "$W/tj-j1.txt" "$W/tj-dask.txt" &&
    echo "   (-j 1, -j 2 and Dask wrote the same $(wc -l < "$W/tj-j1.txt") lines)"
bench_line "bigseg count -j 2" "$j2" "bigseg count -j 1" "$j1"
bench_line "quillo-corpus, LocalCluster of 2" "$dask" "bigseg count -j 2" "$j2"

if command -v friso >/dev/null && [ -f /etc/friso/friso.ini ]; then
    sed -e 's/^friso.mode = .*/friso.mode = 1/' /etc/friso/friso.ini > "$W/friso.ini"
    s=$(date +%s.%N)
    { cat "$C"/*.txt; printf '\nquit\n'; } | friso -init "$W/friso.ini" 2>/dev/null |
        tr ' ' '\n' | sort -S 2G -T "$W" | uniq -c | sort -rn -S 1G -T "$W" > "$W/friso-count.txt"
    e=$(date +%s.%N)
    peer=$(echo "$e - $s" | bc -l)
    bench_line "bigseg count -j 2" "$j2" "friso | sort | uniq -c | sort -rn" "$peer"
else
    echo "   friso not installed: no friso figure"
fi
awk -v b="$bytes" -v t1="$j1" -v t2="$j2" 'BEGIN {
    printf "throughput: %.1f MB/s on one core, %.1f MB/s per core with -j 2\n", b / t1 / 1e6, b / t2 / 2e6 }'
echo "peak memory of -j 2: $(bench_peak_mb count -o "$W/tj-j2.txt" -j 2) MB"
