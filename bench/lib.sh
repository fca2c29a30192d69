# Shared helpers for the benchmark scripts (sourced by bench/run and bench/<tool>/run.sh).
#   bench_median5 CMD...     median wall time of 5 runs of CMD, in seconds (output discarded)
#   bench_median3 CMD...     as bench_median5, 3 runs (for runs of many seconds)
#   bench_once CMD...        the wall time of one run of CMD, in seconds
#   bench_line NAME OURS PEER_NAME PEER   one result line with the ratio OURS / PEER
#   bench_peak_mb CMD...     peak resident memory of one run of CMD, in MB
#   bench_cpu CMD...         CPU time (user + system, children included) of one run of CMD, in
#                            seconds: what a run costs whatever else the machine is doing
#   bench_same FIGURE OURS PEER   FIGURE when the files OURS and PEER are the same bytes
#   bench_figures X...       true when every X is a figure (none is FAILED)
#   bench_program NAME       the path of the bench program NAME, built when it is missing
# A command that exits non-zero gives FAILED instead of a figure, and says on standard error
# which command it was, its exit status and the end of what it wrote there; so does a run whose
# output differs from a peer's that makes the same output (bench_same). A line with a FAILED
# figure has no ratio.
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

if [ ! -x "$LEXCLI" ]; then
    echo "bench: no lexcli at $LEXCLI (build it, or name it in LEXCLI)" >&2
    exit 2
fi

bench_inputs() {
    [ -f "$BENCH_WORK/lexicon-a.txt" ] && [ -f "$BENCH_WORK/lexicon-b.txt" ] ||
        /usr/bin/python3 "$bench_root/bench/make_inputs.py" "$BENCH_WORK" >/dev/null
}

# bench_failed WHAT WHY [ERRFILE]: says so on standard error and prints FAILED.
bench_failed() {
    echo "bench: FAILED ($2): $1" >&2
    if [ -n "${3:-}" ] && [ -s "$3" ]; then tail -n 3 "$3" | sed 's/^/    /' >&2; fi
    echo FAILED
}

bench_figures() {
    local x
    for x in "$@"; do
        [[ $x =~ ^[0-9]+(\.[0-9]+)?$ ]] || return 1
    done
}

# bench_median RUNS CMD...: the median wall time of RUNS runs, FAILED at the first that fails.
bench_median() {
    local runs=$1 times=() i s e rc err
    shift
    err=$(mktemp)
    for ((i = 0; i < runs; i++)); do
        s=$(date +%s.%N)
        rc=0
        "$@" >/dev/null 2>"$err" || rc=$?
        e=$(date +%s.%N)
        if [ "$rc" != 0 ]; then
            bench_failed "$*" "exit $rc" "$err"
            rm -f "$err"
            return 0
        fi
        times+=("$(echo "$e - $s" | bc -l)")
    done
    rm -f "$err"
    printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p" | awk '{printf "%.3f\n", $1}'
}
bench_median5() { bench_median 5 "$@"; }
bench_median3() { bench_median 3 "$@"; }
bench_once() { bench_median 1 "$@"; }

bench_line() {
    local name=$1 ours=$2 peer_name=$3 peer=$4
    awk -v n="$name" -v o="$ours" -v pn="$peer_name" -v p="$peer" 'function fig(x) {
            return x ~ /^[0-9.]+$/ ? sprintf("%8.3f s", x) : sprintf("%8s  ", x) }
        BEGIN { ok = o ~ /^[0-9.]+$/ && p ~ /^[0-9.]+$/
            printf "%-44s %s   %-34s %s   ratio %s\n", n, fig(o), pn, fig(p),
                (!ok ? "-" : p > 0 ? sprintf("%.2f", o / p) : "0.00") }'
}

# bench_time FORMAT CMD...: what /usr/bin/time -f FORMAT says of one run, or FAILED.
bench_time() {
    local format=$1 rc=0 err out
    shift
    err=$(mktemp)
    /usr/bin/time -o "$err.time" -f "$format" "$@" >/dev/null 2>"$err" || rc=$?
    if [ "$rc" != 0 ]; then
        bench_failed "$*" "exit $rc" "$err"
    else
        tail -n 1 "$err.time"
    fi
    rm -f "$err" "$err.time"
}

bench_peak_mb() {
    local kb
    kb=$(bench_time '%M' "$@")
    bench_figures "$kb" && awk -v k="$kb" 'BEGIN { printf "%.0f\n", k / 1024 }' || echo "$kb"
}

bench_cpu() {
    local t
    t=$(bench_time '%U %S' "$@")
    [ "$t" = FAILED ] && echo FAILED || echo "$t" | awk '{printf "%.3f\n", $1 + $2}'
}

bench_same() {
    local figure=$1 ours=$2 peer=$3
    if [ ! -f "$ours" ] || [ ! -f "$peer" ] || ! cmp -s "$ours" "$peer"; then
        bench_failed "$ours" "not the same bytes as $peer"
    else
        echo "$figure"
    fi
}

# A bench program of the build tree: built when it is missing (a tree configured without the
# benchmarks, or an install, which has none, is named instead, and its rows are FAILED).
bench_program() {
    local path=$BENCH_BIN/$1 tree
    if [ ! -x "$path" ]; then
        tree=$(cd "$BENCH_BIN/.." 2>/dev/null && pwd)
        if [ -f "$tree/CMakeCache.txt" ] && cmake --build "$tree" --target "$1" >/dev/null 2>&1; then
            :
        elif [ -f "$bench_root/build/dev/CMakeCache.txt" ] &&
            cmake --build "$bench_root/build/dev" --target "$1" >/dev/null 2>&1; then
            path=$bench_root/build/dev/bench/$1
        fi
    fi
    [ -x "$path" ] || echo "bench: no $1 in $BENCH_BIN, and it could not be built (cmake --build build/dev --target $1); its rows are FAILED" >&2
    echo "$path"
}
