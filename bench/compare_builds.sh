#!/usr/bin/env bash
# Times every lexcli operation that matters for speed with two installed builds, side by side in
# one run, and prints NEW/OLD per operation: a change meant to cost nothing (a refactoring) is
# shown to slow no operation by more than 5 %.
#
#   bench/compare_builds.sh [--only REGEX] [--pairs N] [--no-callgrind] OLD_DIST NEW_DIST [WORK]
#
# OLD_DIST and NEW_DIST are install trees (lexcli and the tool folders beside it, as in dist/);
# a path to a lexcli binary stands for the folder it is in. WORK (default bench/work) holds
# lexicon-a.txt and lexicon-b.txt (made by make_inputs.py when missing) and the folder "compare"
# for everything this script writes. --only times the operations whose name matches REGEX;
# --pairs N takes N pairs for every operation instead of as many as its length allows.
#
# How it measures, so that a busy machine shifts both builds alike:
# - Both installs are copied into WORK/compare first (lexcli and the tools' data), so that an
#   install replaced during the run cannot mix two builds into one column. The programs that
#   run are copies of those in /dev/shm, made anew before each operation and every 4 pairs: on
#   this VM one build was seen to run a third slower than the other for a minute while the two
#   took turns, as if from where its pages lay; new copies keep such a spell from lasting a whole
#   operation.
# - Each operation runs once with either build untimed (the files in the page cache, and its
#   length, which sets the number of pairs: 15 under 0.6 s, 9 under 2 s, 5 under 6 s, 3 beyond;
#   a run of a tenth of a second moves by 5 to 15 % from one run to the next here), then in pairs
#   of one old and one new run, the order turned round from pair to pair (ON NO ON ...), so that
#   neither build always follows the other.
# - Every run gets a fresh folder at the same path for both builds, with a fresh copy of its own
#   build's tool folder as data dir and its inputs put in place, and everything written is put
#   on disk (sync) before the clock starts.
# - Wall and CPU time (user + system) come from the shell's own timer, to the millisecond:
#   /usr/bin/time -f rounds both to 10 ms, which is 5 % of a 0.2 s run.
# - Per operation: the medians of each build and their ratios NEW/OLD; the ratio of the median
#   user times alone (on this VM the system time holds the host's cost of the memory a run
#   touches first, which can treble from one run to the next: 40 or 120 ms for pintop dedup);
#   the spread, the larger of the two builds' half interquartile range of the wall times against
#   its median. WORK/compare/runs.tsv keeps every timed run. SLOWER marks an operation whose
#   wall and CPU ratios both exceed 1.05, or whose wall ratio does with a spread under 2.5 %;
#   "?" one whose wall or CPU ratio alone does. A run that exits non-zero shows FAILED (the
#   operation is left at that); the outputs, standard output (without the elapsed-time line)
#   and standard error of every timed run are compared with the first old run's, "outputs
#   differ" when one is not the same.
# - perf's instruction counts of every operation where the machine has them (a VM often has
#   not); else callgrind's (one run of each build, some 50 times as long as a plain run) for a
#   few short operations on the 200,000-line lexicon and for every operation marked SLOWER or
#   "?"; --no-callgrind leaves them out. Instruction counts do not depend on how busy the
#   machine is, but say nothing of memory stalls, page faults or threads waiting; an operation
#   that is slower on the same count is slower from where its code lies or what it waits for,
#   not from more work.
# Exits 1 when an operation is SLOWER, FAILED or its outputs differ.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/dist_of.sh"

usage() {
    echo "usage: $0 [--only REGEX] [--pairs N] [--no-callgrind] OLD_DIST NEW_DIST [WORK]" >&2
    exit 2
}
only= fixed_pairs= callgrind=1
while [ $# -gt 0 ]; do
    case $1 in
    --only) [ $# -ge 2 ] || usage; only=$2; shift 2 ;;
    --pairs) [ $# -ge 2 ] && [[ $2 =~ ^[1-9][0-9]*$ ]] || usage; fixed_pairs=$2; shift 2 ;;
    --no-callgrind) callgrind=0; shift ;;
    --) shift; break ;;
    -*) usage ;;
    *) break ;;
    esac
done
[ $# -ge 2 ] && [ $# -le 3 ] || usage
old_src=$(dist_of "$1")
new_src=$(dist_of "$2")
work=${3:-$here/work}
mkdir -p "$work"
work=$(cd "$work" && pwd)
FT=Quillo词库调频 LU=Quillo词库更新
tools=(pintop phonetag lexsift bigseg lexsort "$FT" lexmerge "$LU" lexconv)

cw=$work/compare
in=$cw/in run=$cw/run res=$cw/result ref=$cw/ref
rm -rf "$run" "$res" "$ref" "$cw/different"
mkdir -p "$in" "$res"
start=$(date +%s)

# ---------------------------------------------------------------------------------------------
# The two builds, copied

copy_data() { # FOLDER COPY: the tool folder's files without its program
    mkdir -p "$2"
    (cd "$1" && find . -type f ! -perm -u+x -exec cp -p --parents -t "$2" {} +)
}
install_copy() { # SOURCE COPY
    rm -rf "$2"
    mkdir -p "$2"
    cp -p "$1/lexcli" "$2/lexcli"
    local t
    for t in "${tools[@]}"; do copy_data "$1/$t" "$2/$t"; done
}
old_dist=$cw/dist-old new_dist=$cw/dist-new
install_copy "$old_src" "$old_dist"
install_copy "$new_src" "$new_dist"
old_sum=$(sha256sum < "$old_dist/lexcli" | cut -c1-12)
new_sum=$(sha256sum < "$new_dist/lexcli" | cut -c1-12)

# The programs that are timed: fresh copies, made anew every few pairs (a program file that
# stays in the page cache keeps its pages where they are), in tmpfs, so that they cost no disk
# writes.
bin_root=
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    bin_root=$(mktemp -d /dev/shm/compare_builds.XXXXXX)
    cp "$old_dist/lexcli" "$bin_root/try"
    "$bin_root/try" --help > /dev/null 2>&1 || { rm -rf "$bin_root"; bin_root=; }
    [ -z "$bin_root" ] || rm "$bin_root/try"
fi
[ -n "$bin_root" ] || { bin_root=$cw/bin; rm -rf "$bin_root"; mkdir -p "$bin_root"; }
trap 'rm -rf "$bin_root"' EXIT
copies=0 old_bin= new_bin=
fresh_programs() {
    local gone_old=$old_bin gone_new=$new_bin
    copies=$((copies + 1))
    old_bin=$bin_root/o$copies/lexcli new_bin=$bin_root/n$copies/lexcli
    mkdir -p "${old_bin%/lexcli}" "${new_bin%/lexcli}"
    cp "$old_dist/lexcli" "$old_bin"
    cp "$new_dist/lexcli" "$new_bin"
    # Removed after the new copies are made, so that these do not take the freed pages.
    [ -z "$gone_old" ] || rm -rf "${gone_old%/lexcli}" "${gone_new%/lexcli}"
}
fresh_programs

# ---------------------------------------------------------------------------------------------
# Inputs: those of same_outputs.sh that the timed operations read, in a folder of their own

[ -f "$work/lexicon-a.txt" ] && [ -f "$work/lexicon-b.txt" ] ||
    /usr/bin/python3 "$here/make_inputs.py" "$work" > /dev/null
A=$work/lexicon-a.txt B=$work/lexicon-b.txt
if ! [ "$in/.variants" -nt "$A" ] || ! [ "$in/.variants" -nt "$B" ]; then
    /usr/bin/python3 "$here/make_variants.py" "$work" "$in"
    touch "$in/.variants"
fi
[ -f "$in/article-10mb.txt" ] || python3 "$here/lexsift/make_article.py" "$in" > /dev/null
[ -d "$in/articles" ] || python3 "$here/freqtune/make_articles.py" "$in/articles"
art1=$in/article-1mb.txt art10=$in/article-10mb.txt
rime=/usr/share/rime-data
luna=$rime/luna_pinyin.dict.yaml
[ -f "$luna" ] || { echo "$0: $luna is missing (Debian's rime-data packages)" >&2; exit 1; }

for t in "${tools[@]}"; do
    rm -rf "$in/data-$t"
    copy_data "$old_dist/$t" "$in/data-$t"
done
old() { # TOOL ARG...: the old build makes an input; a failure stops the run
    local t=$1
    shift
    "$old_dist/lexcli" --data-dir "$in/data-$t" "$@" > /dev/null 2> "$in/old.err" || {
        echo "$0: the old build could not make an input: lexcli $* ($(head -c 300 "$in/old.err"))" >&2
        exit 1
    }
}
old lexconv lexconv convert "$A" -o "$in/a1m.dict.yaml" --to rime --no-dedup
old pintop pintop generate "$A" -o "$in/top.txt"
old bigseg bigseg segment "$art10" -o "$in/fc10.txt"
old "$FT" freqtune import "$in/lex200k.txt" --db "$in/imported200k.mdb"
old "$FT" freqtune import "$A" --db "$in/imported1m.mdb"
old phonetag phonetag annotate "$A" -o "$in/annotated.a.txt" --review "$in/review.a.txt"

# ---------------------------------------------------------------------------------------------
# One run

esc() { printf '%s' "$1" | sed 's/[][\.*^$#]/\\&/g'; }
# Reports print the time they took; the paths of the two installs are the only ones that differ.
normalise() { # FILE
    LC_ALL=C sed -E -i -e 's/^(耗费时间|耗时)：[0-9:.]+/\1：TIME/' \
        -e "s#$(esc "$old_dist")#DIST#g" -e "s#$(esc "$new_dist")#DIST#g" \
        -e "s#$(esc "$bin_root")/[on][0-9]+#DIST#g" "$1"
}

# The inputs the preps put in place.
prep_db200k() { cp "$in/imported200k.mdb" "$2/data/freqtune.mdb"; }
prep_db1m() { cp "$in/imported1m.mdb" "$2/data/freqtune.mdb"; }

# run_one SIDE: one run of the current operation with that build, in $run; sets wall, cpu, rc.
TIMEFORMAT='%3R %3U %3S'
run_one() {
    local side=$1 dist x
    local bin=$new_bin
    if [ "$side" = old ]; then dist=$old_dist bin=$old_bin; else dist=$new_dist; fi
    rm -rf "$run"
    mkdir -p "$run"
    copy_data "$dist/$op_folder" "$run/data"
    local args=(--data-dir "$run/data")
    for x in "${op_args[@]}"; do args+=("${x//@R/$run}"); done
    [ -z "$op_prep" ] || "$op_prep" "$dist" "$run"
    sync
    rc=0
    # In this shell, not a subshell: "time (exec ...)" reports nothing.
    cd "$run"
    { time "$bin" "${args[@]}" < /dev/null > "$res/out" 2> "$res/err"; } 2> "$res/time" || rc=$?
    cd "$cw"
    read -r wall user sys < "$res/time"
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
}

# check_outputs SIDE: the outputs of the run just made against the first old run's; the first
# old run keeps its own as the reference. Sets op_differ when one is not the same.
check_outputs() {
    local side=$1 f
    normalise "$res/out"
    normalise "$res/err"
    if [ ! -d "$ref" ]; then
        mkdir -p "$ref"
        mv "$res/out" "$res/err" "$ref/"
        for f in "${op_outs[@]}"; do
            [ -e "$run/$f" ] || { op_differ="$op_differ [old: no $f]"; continue; }
            mkdir -p "$ref/files/$(dirname "$f")"
            mv "$run/$f" "$ref/files/$f"
        done
        return
    fi
    local diffs=
    cmp -s "$res/out" "$ref/out" || diffs="$diffs stdout"
    cmp -s "$res/err" "$ref/err" || diffs="$diffs stderr"
    for f in "${op_outs[@]}"; do
        cmp -s "$run/$f" "$ref/files/$f" 2> /dev/null || diffs="$diffs $f"
    done
    if [ -n "$diffs" ]; then
        op_differ_runs=$((op_differ_runs + 1))
        [[ $op_differ == *"[$side:$diffs]"* ]] || op_differ="$op_differ [$side:$diffs]"
        local keep
        keep=$cw/different/$(printf '%s' "$op_name" | tr -c 'A-Za-z0-9.-' _)-$side
        if [ ! -d "$keep" ]; then
            mkdir -p "$keep"
            cp -r "$res/out" "$res/err" "$keep/"
            for f in "${op_outs[@]}"; do [ ! -e "$run/$f" ] || cp "$run/$f" "$keep/"; done
        fi
    fi
}

# ---------------------------------------------------------------------------------------------
# One operation: warm-up, pairs, one table line

ops=0 within=0
slower=() unclear=() failed=() differ=() timed=() marked=()
table=$cw/table.txt runs=$cw/runs.tsv
: > "$table"
printf 'operation\tpair\tbuild\twall\tuser\tsys\n' > "$runs"
header() {
    printf '%-44s %9s %9s %6s  %8s %8s %6s  %6s  %6s %5s  %s\n' operation "old wall" "new wall" ratio \
        "old cpu" "new cpu" ratio "user" spread pairs flag
}

# median / spread of the numbers on standard input
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
halfiqr() { # relative half interquartile range (quartiles by nearest rank)
    sort -g | awk '{ v[NR] = $1 } END {
        q1 = v[int((NR + 3) / 4)]; q3 = v[NR + 1 - int((NR + 3) / 4)]
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.4f\n", (m > 0 ? (q3 - q1) / 2 / m : 0) }'
}

# measure NAME FOLDER OUTS ARG...: OUTS are the files (relative to the run's folder, comma
# separated, "-" for none) whose bytes are compared beside standard output and error; ARG is
# given to lexcli after --data-dir, @R standing for the run's folder. prep=FUNCTION for one
# operation puts its inputs in place.
measure() {
    op_name=$1 op_folder=$2
    local outs=$3
    shift 3
    if [ -n "$only" ] && ! [[ $op_name =~ $only ]]; then prep=; return 0; fi
    op_args=("$@")
    op_prep=${prep:-} op_differ= op_differ_runs=0
    prep=
    op_outs=()
    [ "$outs" = - ] || IFS=, read -r -a op_outs <<< "$outs"
    rm -rf "$ref"
    ops=$((ops + 1))

    local ow=() nw=() oc=() nc=() ou=() nu=() fail= side n i=0
    # Warm-up, untimed: the old run makes the reference outputs.
    fresh_programs
    run_one old
    [ "$rc" = 0 ] || fail="old exit $rc"
    check_outputs old
    local warm=$wall
    run_one new
    [ "$rc" = 0 ] || fail="${fail:+$fail, }new exit $rc"
    check_outputs new
    warm=$(awk -v a="$warm" -v b="$wall" 'BEGIN { print (a > b ? a : b) }')
    if [ -n "$fixed_pairs" ]; then
        n=$fixed_pairs
    else
        n=$(awk -v w="$warm" 'BEGIN { print (w < 0.6 ? 15 : w < 2 ? 9 : w < 6 ? 5 : 3) }')
    fi
    [ -z "$fail" ] || n=0
    for ((i = 0; i < n; i++)); do
        [ $i = 0 ] || [ $((i % 4)) != 0 ] || fresh_programs
        local order=(old new)
        [ $((i % 2)) = 0 ] || order=(new old)
        for side in "${order[@]}"; do
            run_one "$side"
            if [ "$rc" != 0 ]; then fail="$side exit $rc"; break 2; fi
            check_outputs "$side"
            if [ "$side" = old ]; then
                ow+=("$wall") oc+=("$cpu") ou+=("$user")
            else
                nw+=("$wall") nc+=("$cpu") nu+=("$user")
            fi
            printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$op_name" "$i" "$side" "$wall" "$user" "$sys" >> "$runs"
        done
    done

    local line
    if [ -n "$fail" ]; then
        failed+=("$op_name ($fail)")
        line=$(printf '%-44s %9s %9s %6s  %8s %8s %6s  %6s  %6s %5s  %s' "$op_name" FAILED FAILED - FAILED FAILED - - - "$i" \
            "($fail)")
    else
        local mow mnw moc mnc mou mnu so sn
        mow=$(printf '%s\n' "${ow[@]}" | median) mnw=$(printf '%s\n' "${nw[@]}" | median)
        moc=$(printf '%s\n' "${oc[@]}" | median) mnc=$(printf '%s\n' "${nc[@]}" | median)
        mou=$(printf '%s\n' "${ou[@]}" | median) mnu=$(printf '%s\n' "${nu[@]}" | median)
        so=$(printf '%s\n' "${ow[@]}" | halfiqr) sn=$(printf '%s\n' "${nw[@]}" | halfiqr)
        line=$(awk -v n="$op_name" -v ow="$mow" -v nw="$mnw" -v oc="$moc" -v nc="$mnc" -v ou="$mou" \
            -v nu="$mnu" -v so="$so" -v sn="$sn" -v p="$n" 'BEGIN {
            rw = (ow > 0 ? nw / ow : 0); rc = (oc > 0 ? nc / oc : 0); ru = (ou > 0 ? nu / ou : 0)
            s = (so > sn ? so : sn)
            flag = ""
            if (rw > 1.05 && (rc > 1.05 || s < 0.025)) flag = "SLOWER"
            else if (rw > 1.05 || rc > 1.05) flag = "?"
            printf "%-44s %7.3f s %7.3f s %6.3f  %6.3f s %6.3f s %6.3f  %6.3f  %5.1f%% %5d  %s",
                n, ow, nw, rw, oc, nc, rc, ru, 100 * s, p, flag }')
        case $line in
        *SLOWER) slower+=("$op_name") ;;
        *' ?') unclear+=("$op_name") ;;
        *) within=$((within + 1)) ;;
        esac
    fi
    if [ -n "$op_differ" ]; then
        op_differ="in $op_differ_runs of $((2 + 2 * i)) runs:$op_differ"
        differ+=("$op_name ($op_differ)")
        line="$line  outputs differ ($op_differ)"
    fi
    printf '%s\n' "$line" | tee -a "$table"
    local cmd
    cmd=$(printf '%q ' "$op_name" "${op_prep:--}" "$op_folder" "${op_args[@]}")
    timed+=("$cmd")
    case $line in *SLOWER* | *' ?'*) marked+=("$cmd") ;; esac
}

# ---------------------------------------------------------------------------------------------
echo "== compare_builds: OLD $old_src (lexcli $old_sum)"
echo "                   NEW $new_src (lexcli $new_sum)"
[ "$old_sum" != "$new_sum" ] ||
    echo "   (the two lexcli are the same file: the ratios below are this machine's noise)"
echo "   $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg) at the start; inputs prepared in $(($(date +%s) - start)) s"
header | tee -a "$table"

# pintop
measure "pintop generate" pintop out.txt pintop generate "$A" -o @R/out.txt
measure "pintop generate a.utf8" pintop out.txt pintop generate "$in/a.utf8.txt" -o @R/out.txt
measure "pintop dedup --keep 1" pintop out.txt pintop dedup "$in/top.txt" -o @R/out.txt --keep 1
measure "pintop dedup --keep 3" pintop out.txt pintop dedup "$in/top.txt" -o @R/out.txt --keep 3

# phonetag
measure "phonetag annotate" phonetag out.txt phonetag annotate "$A" -o @R/out.txt
measure "phonetag annotate --review" phonetag out.txt,review.txt phonetag annotate "$A" -o @R/out.txt --review @R/review.txt
measure "phonetag annotate a.utf8" phonetag out.txt phonetag annotate "$in/a.utf8.txt" -o @R/out.txt
measure "phonetag annotate a.utf16" phonetag out.txt phonetag annotate "$in/a.utf16.txt" -o @R/out.txt
measure "phonetag correct" phonetag out.txt,log.txt phonetag correct "$A" -o @R/out.txt --log @R/log.txt
measure "phonetag correct --list review" phonetag out.txt,log.txt phonetag correct "$in/annotated.a.txt" -o @R/out.txt \
    --list "$in/review.a.txt" --log @R/log.txt
measure "phonetag dedup" phonetag out.txt phonetag dedup "$A" -o @R/out.txt
measure "phonetag dedup a.utf16" phonetag out.txt phonetag dedup "$in/a.utf16.txt" -o @R/out.txt
measure "phonetag dedup --memory 64M" phonetag out.txt phonetag dedup "$A" -o @R/out.txt --memory 64M --temp-dir @R
measure "phonetag clear" phonetag out.txt phonetag clear "$A" -o @R/out.txt

# lexsift
measure "lexsift article 1 MB" lexsift out.txt lexsift article "$A" "$art1" -o @R/out.txt
measure "lexsift article 10 MB" lexsift out.txt lexsift article "$B" "$art10" -o @R/out.txt
measure "lexsift filter --words --at any" lexsift out.txt lexsift filter "$A" -o @R/out.txt --words "$in/words.txt" --at any
measure "lexsift filter --length 2 4" lexsift out.txt lexsift filter "$A" -o @R/out.txt --length 2 4
measure "lexsift filter --length 2 4 a.utf8" lexsift out.txt lexsift filter "$in/a.utf8.txt" -o @R/out.txt --length 2 4
measure "lexsift filter --non-gb2312" lexsift out.txt lexsift filter "$A" -o @R/out.txt --non-gb2312

# bigseg
measure "bigseg segment 10 MB" bigseg fc.txt bigseg segment "$art10" -o @R/fc.txt
measure "bigseg stats 10 MB" bigseg tj.txt bigseg stats --input "$in/fc10.txt" -o @R/tj.txt
measure "bigseg count -j 1" bigseg tj.txt bigseg count "$art10" -o @R/tj.txt -j 1
measure "bigseg count -j 2" bigseg tj.txt bigseg count "$art10" -o @R/tj.txt -j 2

# lexsort
for s in length stroke pinyin; do
    measure "lexsort $s" lexsort out.txt lexsort $s "$A" -o @R/out.txt
done
measure "lexsort reference" lexsort out.txt lexsort reference "$A" "$B" -o @R/out.txt
measure "lexsort pinyin a.utf16" lexsort out.txt lexsort pinyin "$in/a.utf16.txt" -o @R/out.txt
measure "lexsort pinyin --memory 64M" lexsort out.txt lexsort pinyin "$A" -o @R/out.txt --memory 64M --temp-dir @R

# freqtune
measure "freqtune import" "$FT" data/freqtune.mdb freqtune import "$A"
measure "freqtune import a.utf8" "$FT" data/freqtune.mdb freqtune import "$in/a.utf8.txt"
prep=prep_db1m measure "freqtune export" "$FT" out.txt freqtune export -o @R/out.txt
prep=prep_db1m measure "freqtune export --format rime" "$FT" out.dict.yaml freqtune export -o @R/out.dict.yaml --format rime
prep=prep_db200k measure "freqtune count --corpus" "$FT" data/freqtune.mdb freqtune count --corpus "$in/articles"

# lexmerge, lexupdate
for s in union intersect difference delete; do
    measure "lexmerge $s" lexmerge out.txt lexmerge $s "$A" "$B" -o @R/out.txt
done
measure "lexmerge union a.utf8 b.utf8" lexmerge out.txt lexmerge union "$in/a.utf8.txt" "$in/b.utf8.txt" -o @R/out.txt
measure "lexmerge union a.utf16 b.utf16" lexmerge out.txt lexmerge union "$in/a.utf16.txt" "$in/b.utf16.txt" -o @R/out.txt
measure "lexmerge union --memory 64M" lexmerge out.txt lexmerge union "$A" "$B" -o @R/out.txt --memory 64M --temp-dir @R
all=(--user "$B" --waste "$in/waste.txt" --private "$in/private.txt")
measure "lexupdate update" "$LU" out.txt lexupdate update "$A" -o @R/out.txt "${all[@]}"
measure "lexupdate update a.utf8" "$LU" out.txt lexupdate update "$in/a.utf8.txt" -o @R/out.txt "${all[@]}"
measure "lexupdate update --memory 64M" "$LU" out.txt lexupdate update "$A" -o @R/out.txt "${all[@]}" --memory 64M --temp-dir @R

# lexconv
measure "lexconv convert quillo (GBK) -> rime" lexconv out.dict.yaml lexconv convert "$A" -o @R/out.dict.yaml --to rime
measure "lexconv convert rime 1M lines -> fcitx5" lexconv out.txt lexconv convert "$in/a1m.dict.yaml" -o @R/out.txt --to fcitx5
measure "lexconv convert rime luna_pinyin -> fcitx5" lexconv out.txt lexconv convert "$luna" -o @R/out.txt --to fcitx5
measure "lexconv convert a.utf8 -> quillo (GBK)" lexconv out.txt lexconv convert "$in/a.utf8.txt" -o @R/out.txt --to quillo \
    --output-encoding gbk
measure "lexconv convert a.utf16 -> rime" lexconv out.dict.yaml lexconv convert "$in/a.utf16.txt" -o @R/out.dict.yaml --to rime

# ---------------------------------------------------------------------------------------------
# Instruction counts

perf_ok=0
if command -v perf > /dev/null && perf stat -x, -e instructions true 2>&1 > /dev/null | grep -q '^[0-9]'; then
    perf_ok=1
fi
count_instructions() { # SIDE PREP FOLDER ARG...: the instructions of one run, "-" when it failed
    local side=$1 prep=$2 folder=$3 dist x
    shift 3
    local bin=$new_bin
    if [ "$side" = old ]; then dist=$old_dist bin=$old_bin; else dist=$new_dist; fi
    rm -rf "$run"
    mkdir -p "$run"
    copy_data "$dist/$folder" "$run/data"
    local args=(--data-dir "$run/data")
    for x in "$@"; do args+=("${x//@R/$run}"); done
    [ "$prep" = - ] || "$prep" "$dist" "$run"
    if [ $perf_ok = 1 ]; then
        (cd "$run" && perf stat -x, -e instructions -o "$res/count" "$bin" "${args[@]}") \
            > /dev/null 2>&1 < /dev/null || { echo -; return; }
        awk -F, '$3 ~ /^instructions/ { print $1; exit }' "$res/count"
    else
        (cd "$run" && valgrind --tool=callgrind --callgrind-out-file=/dev/null --log-file="$res/count" \
            "$bin" "${args[@]}") > /dev/null 2>&1 < /dev/null || { echo -; return; }
        sed -n 's/.*Collected : *\([0-9]*\).*/\1/p' "$res/count" | head -n 1
    fi
}
instructions() { # NAME PREP FOLDER ARG...: one run of each build, the two counts and their ratio
    local name=$1 o n
    shift
    o=$(count_instructions old "$@")
    n=$(count_instructions new "$@")
    awk -v n="$name" -v o="$o" -v w="$n" 'BEGIN {
        if (o == "-" || w == "-" || o == "" || w == "") { printf "%-44s FAILED\n", n; exit }
        printf "%-44s %15.0f %15.0f %7.4f\n", n, o, w, w / o }'
}
# With perf, every operation as it was timed. With callgrind (some 50 times slower), a few short
# operations on the 200,000-line lexicon, and each operation that the table marks, as timed.
if { [ $perf_ok = 1 ] || { [ $callgrind = 1 ] && command -v valgrind > /dev/null; }; } &&
    { [ -z "$only" ] || [ ${#marked[@]} -gt 0 ] || { [ $perf_ok = 1 ] && [ ${#timed[@]} -gt 0 ]; }; }; then
    echo
    if [ $perf_ok = 1 ]; then
        echo "instructions (perf stat, one run of each build)"
    else
        echo "instructions (callgrind, one run of each build; perf counts none on this machine)"
    fi
    printf '%-44s %15s %15s %7s\n' operation old new ratio
    {
        if [ $perf_ok = 1 ]; then
            for x in "${timed[@]}"; do eval "instructions $x"; done
        else
            L=$in/lex200k.txt
            if [ -z "$only" ]; then
                instructions "pintop generate 200k" - pintop pintop generate "$L" -o @R/out.txt
                instructions "phonetag annotate 200k" - phonetag phonetag annotate "$L" -o @R/out.txt
                instructions "phonetag dedup 200k" - phonetag phonetag dedup "$L" -o @R/out.txt
                instructions "lexsift filter --length 2 4 200k" - lexsift lexsift filter "$L" -o @R/out.txt --length 2 4
                instructions "lexsort pinyin 200k" - lexsort lexsort pinyin "$L" -o @R/out.txt
                instructions "lexmerge union 200k" - lexmerge lexmerge union "$L" "$in/waste.txt" -o @R/out.txt
                instructions "lexconv convert quillo (GBK) -> rime 200k" - lexconv lexconv convert "$L" \
                    -o @R/out.dict.yaml --to rime
            fi
            for x in "${marked[@]}"; do eval "instructions $x"; done
        fi
    } | tee -a "$table"
fi

# ---------------------------------------------------------------------------------------------
rm -rf "$run" "$res" "$ref"
echo
[ "$(sha256sum < "$new_src/lexcli" | cut -c1-12)" = "$new_sum" ] ||
    echo "note: $new_src/lexcli was replaced during the run; the table is of the copy made at its start"
[ "$(sha256sum < "$old_src/lexcli" | cut -c1-12)" = "$old_sum" ] ||
    echo "note: $old_src/lexcli was replaced during the run; the table is of the copy made at its start"
echo "$ops operations: $within within 5 % (both ratios <= 1.05), ${#slower[@]} SLOWER," \
    "${#unclear[@]} with one ratio above 1.05 (?), ${#failed[@]} failed, ${#differ[@]} with outputs that differ;" \
    "load $(cut -d' ' -f1-3 /proc/loadavg) at the end; $(($(date +%s) - start)) s"
for x in "${slower[@]}"; do echo "SLOWER: $x"; done
for x in "${unclear[@]}"; do echo "?: $x"; done
for x in "${failed[@]}"; do echo "FAILED: $x"; done
for x in "${differ[@]}"; do echo "outputs differ: $x"; done
[ ${#slower[@]} = 0 ] && [ ${#failed[@]} = 0 ] && [ ${#differ[@]} = 0 ]
