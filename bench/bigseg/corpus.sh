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
count=("$LEXCLI" --data-dir "$W/data" bigseg count "$C")
dask=("$DRIVER" --workers 2 --lexcli "$LEXCLI" --data-dir "$W/data" bigseg "$C")

echo "== bigseg count, $((bytes >> 20)) MiB in $(ls "$C" | wc -l) files (load $(cut -d' ' -f1-3 /proc/loadavg))"
# The count of two files against segment + stats of the two files concatenated.
cat "$C/000.txt" "$C/001.txt" > "$W/two.txt"
"$LEXCLI" --data-dir "$W/data" bigseg segment "$W/two.txt" -o "$W/two-fc.txt" >/dev/null
"$LEXCLI" --data-dir "$W/data" bigseg stats --input "$W/two-fc.txt" -o "$W/two-tj.txt" >/dev/null
"$LEXCLI" --data-dir "$W/data" bigseg count "$C/000.txt" "$C/001.txt" -o "$W/two-count.txt" >/dev/null
cmp "$W/two-tj.txt" "$W/two-count.txt" && echo "   (count = segment + stats on 32 MiB of it)"

j1=$(bench_median3 "${count[@]}" -o "$W/tj-j1.txt" -j 1)
j2=$(bench_median3 "${count[@]}" -o "$W/tj-j2.txt" -j 2)
jd=$(bench_median3 "${dask[@]}" -o "$W/tj-dask.txt")
# The three write the same bytes.
j2=$(bench_same "$j2" "$W/tj-j1.txt" "$W/tj-j2.txt")
jd=$(bench_same "$jd" "$W/tj-j1.txt" "$W/tj-dask.txt")
bench_figures "$j1" "$j2" "$jd" &&
    echo "   (-j 1, -j 2 and Dask wrote the same $(wc -l < "$W/tj-j1.txt") lines)"
bench_line "bigseg count -j 2" "$j2" "bigseg count -j 1" "$j1"
bench_line "quillo-corpus, LocalCluster of 2" "$jd" "bigseg count -j 2" "$j2"
# CPU time tells what the wall times cannot on a machine that others share: -j 2 on two free
# cores takes (CPU of -j 2) / 2, and the ratio to -j 1 is the speed-up it can reach.
c1=$(bench_cpu "${count[@]}" -o "$W/tj-j1.txt" -j 1)
c2=$(bench_cpu "${count[@]}" -o "$W/tj-j2.txt" -j 2)
cd=$(bench_cpu "${dask[@]}" -o "$W/tj-dask.txt")
if bench_figures "$c1" "$c2" "$cd"; then
    awk -v c1="$c1" -v c2="$c2" -v cd="$cd" 'BEGIN {
        printf "CPU time: -j 1 %.1f s, -j 2 %.1f s, Dask %.1f s; on two free cores -j 2 is %.2fx -j 1, Dask %.2fx -j 2\n",
            c1, c2, cd, 2 * c1 / c2, cd / c2 }'
else
    echo "CPU time: -j 1 $c1, -j 2 $c2, Dask $cd (FAILED: no ratios)"
fi

if command -v friso >/dev/null && [ -f /etc/friso/friso.ini ]; then
    sed -e 's/^friso.mode = .*/friso.mode = 1/' /etc/friso/friso.ini > "$W/friso.ini"
    # One run, timed by /usr/bin/time: its wall time and the CPU time of the whole pipeline.
    read -r peer pcpu < <(bench_time '%e %U %S' bash -o pipefail -c "
        { cat '$C'/*.txt; printf '\\nquit\\n'; } | friso -init '$W/friso.ini' 2>/dev/null |
            tr ' ' '\\n' | sort -S 2G -T '$W' | uniq -c | sort -rn -S 1G -T '$W' \
            > '$W/friso-count.txt'" | awk '$1 == "FAILED" { print "FAILED FAILED"; next } {print $1, $2 + $3}')
    bench_line "bigseg count -j 2" "$j2" "friso | sort | uniq -c | sort -rn" "$peer"
    if bench_figures "$c2" "$pcpu"; then
        awk -v c="$c2" -v p="$pcpu" 'BEGIN { printf "CPU time: -j 2 %.1f s, the friso pipeline %.1f s, ratio %.2f\n", c, p, c / p }'
    else
        echo "CPU time: -j 2 $c2, the friso pipeline $pcpu (FAILED: no ratio)"
    fi
else
    echo "   friso not installed: no friso figure"
fi
if bench_figures "$j1" "$j2" "$c1"; then
    awk -v b="$bytes" -v t1="$j1" -v t2="$j2" -v c1="$c1" 'BEGIN {
        printf "throughput: %.1f MB/s per CPU second; wall: %.1f MB/s with -j 1, %.1f MB/s per core with -j 2\n",
            b / c1 / 1e6, b / t1 / 1e6, b / t2 / 2e6 }'
else
    echo "throughput: FAILED"
fi
echo "peak memory of -j 2: $(bench_peak_mb "${count[@]}" -o "$W/tj-j2.txt" -j 2) MB"
