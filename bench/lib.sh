# Shared helpers for the benchmark scripts (sourced by bench/run and bench/<tool>/run.sh).
#   bench_median5 CMD...     median wall time of 5 runs of CMD, in seconds (output discarded)
#   bench_line NAME OURS PEER_NAME PEER   one result line with the ratio OURS / PEER
#   bench_peak_mb CMD...     peak resident memory of one run of CMD, in MB
#   bench_median3 CMD...     as bench_median5, 3 runs (defined at the end)
# Environment set by bench/run: LEXCLI (optimised lexcli), BENCH_WORK (inputs and outputs),
# BENCH_BIN (optimised bench programs). Inputs: $BENCH_WORK/lexicon-a.txt and
# $BENCH_WORK/lexicon-b.txt, 1,000,000 real lines each (code page 936, CR LF, a third
# annotated, 5% repeated lines), overlapping by half.
#   bench_inputs             makes those two lexicons when they are missing

# Defaults for a script run on its own.
bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
: "${LEXCLI:=$bench_root/build/dev/suite/lexcli}"
: "${BENCH_WORK:=$bench_root/bench/work}"
: "${BENCH_BIN:=$(dirname "$LEXCLI")/../bench}"

bench_inputs() {
    [ -f "$BENCH_WORK/lexicon-a.txt" ] && [ -f "$BENCH_WORK/lexicon-b.txt" ] ||
        /usr/bin/python3 "$bench_root/bench/make_inputs.py" "$BENCH_WORK" >/dev/null
}

bench_median5() {
    local times=() i s e
    for i in 1 2 3 4 5; do
        s=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        e=$(date +%s.%N)
        times+=("$(echo "$e - $s" | bc -l)")
    done
    printf '%s\n' "${times[@]}" | sort -g | sed -n 3p | awk '{printf "%.3f\n", $1}'
}

bench_line() {
    local name=$1 ours=$2 peer_name=$3 peer=$4
    awk -v n="$name" -v o="$ours" -v pn="$peer_name" -v p="$peer" \
        'BEGIN { printf "%-44s %8.3f s   %-34s %8.3f s   ratio %.2f\n", n, o, pn, p, (p > 0 ? o / p : 0) }'
}

bench_peak_mb() {
    /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -n 1 | awk '{printf "%.0f\n", $1 / 1024}'
}

# bench_median3 CMD...     median wall time of 3 runs of CMD (for runs of many seconds)
bench_median3() {
    local times=() i s e
    for i in 1 2 3; do
        s=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        e=$(date +%s.%N)
        times+=("$(echo "$e - $s" | bc -l)")
    done
    printf '%s\n' "${times[@]}" | sort -g | sed -n 2p | awk '{printf "%.3f\n", $1}'
}

# bench_cpu CMD...          CPU time (user + system, children included) of one run of CMD, in
#                           seconds: what a run costs whatever else the machine is doing
bench_cpu() {
    /usr/bin/time -f '%U %S' "$@" 2>&1 >/dev/null | tail -n 1 | awk '{printf "%.3f\n", $1 + $2}'
}
