#!/usr/bin/env bash
# Lexicons of 10,000,000 and 50,000,000 lines (bench/make_big_inputs.py, made once into
# $BENCH_WORK): dedup, union, difference and the update, in memory at 10M and with
# --memory 512M at 50M, against LC_ALL=C sort -u (and the matching comm pipelines) on the same
# files, with peak RSS; the time per line from 1M to 10M; the 1M figures against an earlier
# lexcli when BASE_LEXCLI names one. Not part of bench/run: it takes some 40 minutes and about
# 3 GB of disk for the inputs, and as much again of temporary files while the 50M runs go.
#   bash bench/big.sh [10m] [50m]      (both by default)
# Targets: 10M at most 0.5 x sort and 1 GiB; 50M at most 1.0 x sort -S 512M and 640 MB, no
# temporary file left; 1M not slower than before; time per line 1M -> 10M at most 1.5 x.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
sizes=${*:-10m 50m}
export LC_ALL=C
W=$BENCH_WORK/big
mkdir -p "$W/tmp"
bench_inputs
/usr/bin/python3 "$bench_root/bench/make_big_inputs.py" "$BENCH_WORK" $sizes
A1=$BENCH_WORK/lexicon-a.txt B1=$BENCH_WORK/lexicon-b.txt
A10=$BENCH_WORK/lexicon-10m-a.txt B10=$BENCH_WORK/lexicon-10m-b.txt
A50=$BENCH_WORK/lexicon-50m.txt

# measure RUNS CMD: median wall seconds and the largest peak RSS (MB) of RUNS runs, or
# "FAILED FAILED" once a run fails.
measure() {
    local runs=$1 i out times=() peak=0
    shift
    for ((i = 0; i < runs; i++)); do
        out=$(bench_time '%e %M' bash -o pipefail -c "$*")
        if [ "$out" = FAILED ]; then
            echo "FAILED FAILED"
            return 0
        fi
        times+=("${out% *}")
        ((${out#* } / 1024 > peak)) && peak=$((${out#* } / 1024))
    done
    printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")" "$peak"
}

# row NAME RUNS TIME-TARGET RSS-TARGET-MB OURS PEER: one line of the table.
row() {
    local o p
    o=$(measure "$2" "$5")
    p=$(measure "$2" "$6")
    awk -v n="$1" -v o="$o" -v p="$p" -v t="$3" -v m="$4" 'BEGIN {
        split(o, a, " "); split(p, b, " ")
        if (a[1] == "FAILED" || b[1] == "FAILED" || b[1] == 0) {
            printf "%-22s %10s %9s   %10s %9s   ratio -\n", n, a[1], a[2], b[1], b[2]; exit }
        r = a[1] / b[1]
        printf "%-22s %8.2f s %6d MB   %8.2f s %6d MB   ratio %.2f %-7s rss %s\n", n, a[1], a[2],
            b[1], b[2], r, (r <= t ? "met" : "MISSED"), (a[2] <= m ? "met" : "MISSED") }'
}

header() {
    echo "== $1 (load average $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores)"
    printf '%-22s %19s   %19s\n' operation lexcli "$2"
}

ops() { # ops SIZE A B EXTRA RUNS TIME-TARGET RSS-TARGET SORT
    local n=$1 a=$2 b=$3 extra=$4 runs=$5 t=$6 m=$7 sort=$8
    head -n "$(($(wc -l < "$b") / 5))" "$b" > "$W/waste-$n.txt"
    tail -n "$(($(wc -l < "$a") / 20))" "$a" > "$W/private-$n.txt"
    local wst=$W/waste-$n.txt prv=$W/private-$n.txt
    row "dedup $n" "$runs" "$t" "$m" "'$LEXCLI' phonetag dedup '$a' -o '$W/ours.txt' $extra" \
        "$sort '$a' > '$W/peer.txt'"
    row "union $n" "$runs" "$t" "$m" "'$LEXCLI' lexmerge union '$a' '$b' -o '$W/ours.txt' $extra" \
        "$sort '$a' '$b' > '$W/peer.txt'"
    row "difference $n" "$runs" "$t" "$m" \
        "'$LEXCLI' lexmerge difference '$a' '$b' -o '$W/ours.txt' $extra" \
        "comm -3 <($sort '$a') <($sort '$b') | sed 's/^\t//' > '$W/peer.txt'"
    row "update $n" "$runs" "$t" "$m" \
        "'$LEXCLI' lexupdate update '$a' --user '$b' --waste '$wst' --private '$prv' -o '$W/ours.txt' $extra" \
        "comm -23 <($sort '$a' '$b') <($sort '$wst' '$prv') > '$W/peer.txt'"
}

# seconds OPS...: the median time of one lexcli run.
seconds() { measure 3 "$@" | cut -d' ' -f1; }

if [[ " $sizes " == *" 10m "* ]]; then
    header "10,000,000 + 10,000,000 lines in memory ($(du -h "$A10" | cut -f1) each)" "LC_ALL=C sort -u"
    ops 10M "$A10" "$B10" "" 3 0.5 1024 "sort -u"
    # The same lines in memory and through partitions.
    "$LEXCLI" lexmerge union "$A10" "$B10" -o "$W/in-memory.txt" >/dev/null
    "$LEXCLI" lexmerge union "$A10" "$B10" -o "$W/partitioned.txt" --memory 512M \
        --temp-dir "$W/tmp" >/dev/null
    echo "   union in memory and through partitions alike: $(cmp -s "$W/in-memory.txt" "$W/partitioned.txt" && echo yes || echo NO)"
    rm -f "$W/in-memory.txt" "$W/partitioned.txt"

    echo "== time per line, 1M -> 10M (target: grows at most 1.5 x)"
    for op in "phonetag dedup @A" "lexmerge union @A @B" "lexmerge difference @A @B"; do
        one=$(seconds "'$LEXCLI' $(echo "$op" | sed "s|@A|'$A1'|; s|@B|'$B1'|") -o '$W/ours.txt'")
        ten=$(seconds "'$LEXCLI' $(echo "$op" | sed "s|@A|'$A10'|; s|@B|'$B10'|") -o '$W/ours.txt'")
        bench_figures "$one" "$ten" || { echo "${op% @*} FAILED: 1M $one, 10M $ten"; continue; }
        awk -v n="${op% @*}" -v a="$one" -v b="$ten" 'BEGIN { g = (b / 10) / a
            printf "%-28s 1M %6.2f s   10M %6.2f s   growth %.2f %s\n", n, a, b, g, (g <= 1.5 ? "met" : "MISSED") }'
    done

    if [ -n "${BASE_LEXCLI:-}" ]; then
        echo "== 1,000,000 lines against $BASE_LEXCLI (target: ratio at most 1.00)"
        for op in "phonetag dedup @A" "lexmerge union @A @B" "lexmerge intersect @A @B" \
            "lexmerge difference @A @B" "lexmerge delete @A @B" "lexsort reference @A @B" \
            "lexsort length @A" "lexsort stroke @A" "lexsort pinyin @A" "lexupdate update @A --user @B"; do
            args=$(echo "$op" | sed "s|@A|'$A1'|; s|@B|'$B1'|")
            now=$(measure 5 "'$LEXCLI' $args -o '$W/ours.txt'" | cut -d' ' -f1)
            was=$(measure 5 "'$BASE_LEXCLI' $args -o '$W/base.txt'" | cut -d' ' -f1)
            same=$(cmp -s "$W/ours.txt" "$W/base.txt" && echo same || echo DIFFERENT)
            if ! bench_figures "$now" "$was" || [ "$same" != same ]; then
                printf '%-28s now %s   before %s   FAILED   output %s\n' "${op%% @*}" "$now" "$was" "$same"
                continue
            fi
            awk -v n="${op%% @*}" -v a="$now" -v b="$was" -v s="$same" 'BEGIN {
                printf "%-28s now %6.3f s   before %6.3f s   ratio %.2f   output %s\n", n, a, b, a / b, s }'
        done
    fi
fi

if [[ " $sizes " == *" 50m "* ]]; then
    echo "   disk before the 50M runs: $(df -h "$W" | tail -n 1 | awk '{print $4}') free"
    header "50,000,000 (+ 10,000,000) lines, --memory 512M ($(du -h "$A50" | cut -f1))" \
        "sort -u -S 512M"
    ops 50M "$A50" "$B10" "--memory 512M --temp-dir '$W/tmp'" 1 1.0 640 \
        "sort -u -S 512M -T '$W/tmp'"
    left=$(find "$W/tmp" -mindepth 1 | wc -l)
    echo "   temporary files left: $left"
    "$LEXCLI" lexmerge union "$A50" "$B10" -o "$W/ours.txt" --memory 512M --temp-dir "$W/tmp" >/dev/null
    # Lines without a double-byte character (Latin-only, blank) are one empty entry to the set:
    # the comparison leaves them out on both sides.
    grep -aP '[\x80-\xff]' "$W/ours.txt" | sort -u -S 512M -T "$W/tmp" > "$W/ours-sorted.txt"
    cat "$A50" "$B10" | grep -aP '[\x80-\xff]' | sort -u -S 512M -T "$W/tmp" > "$W/peer.txt"
    echo "   union 50M: the same lines as sort -u (Latin-only lines aside): $(cmp -s "$W/ours-sorted.txt" "$W/peer.txt" && echo yes || echo NO)"
fi
rm -f "$W/ours.txt" "$W/peer.txt" "$W/base.txt" "$W/ours-sorted.txt" "$W"/waste-*.txt "$W"/private-*.txt
