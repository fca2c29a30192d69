#!/usr/bin/env bash
# Runs every lexcli operation of all nine tools with two installed builds and compares what they
# write byte for byte: the output, every side file (rejects, review lists, logs, the files written
# into the data dir), standard output without its elapsed-time line, standard error and the exit
# status. A change that should not change outputs (a refactoring, a speed-up) is checked on the
# real 1,000,000-line lexicons and their encoding variants, not only on the tests' small files.
#
#   bench/same_outputs.sh [--big] [--only REGEX] OLD_DIST NEW_DIST [WORK]
#
# OLD_DIST and NEW_DIST are install trees (lexcli and the tool folders beside it, as in dist/);
# a path to a lexcli binary stands for the folder it is in. WORK (default bench/work) holds
# lexicon-a.txt and lexicon-b.txt (made by make_inputs.py when missing) and the folder "same"
# for everything this script writes. --big adds the 10,000,000-line pair of make_big_inputs.py;
# --only runs the checks whose name matches REGEX.
#
# Each check runs in the same folder for both builds, one after the other, so that the paths in
# reports and logs are equal; its data dir is a fresh copy of that build's own tool folder
# (without the program), and the files of the copy that the run leaves as they were installed are
# not compared. Inputs that an operation reads but another one makes (a review list, a fixed-top
# lexicon, a database with counts) are made once by the old build, so that each check tests one
# operation. A check whose runs differ keeps them in WORK/same/different/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/dist_of.sh"

usage() {
    echo "usage: $0 [--big] [--only REGEX] OLD_DIST NEW_DIST [WORK]" >&2
    exit 2
}
big=0 only=
while [ $# -gt 0 ]; do
    case $1 in
    --big) big=1; shift ;;
    --only) [ $# -ge 2 ] || usage; only=$2; shift 2 ;;
    --) shift; break ;;
    -*) usage ;;
    *) break ;;
    esac
done
[ $# -ge 2 ] && [ $# -le 3 ] || usage
old_dist=$(dist_of "$1")
new_dist=$(dist_of "$2")
work=${3:-$here/work}
mkdir -p "$work"
work=$(cd "$work" && pwd)
FT=Quillo词库调频 LU=Quillo词库更新
tools=(pintop phonetag lexsift bigseg lexsort "$FT" lexmerge "$LU" lexconv)

same=$work/same
in=$same/in run=$same/run res=$same/result
rm -rf "$run" "$res" "$same/different" "$same/checks.tsv"
mkdir -p "$in" "$res"
start=$(date +%s)

# Both installs as they are now: the run must leave them so.
snapshot() { (cd "$1" && find . -printf '%P\t%s\t%T@\t%m\n' | LC_ALL=C sort); }
snapshot "$old_dist" > "$same/old-install.txt"
snapshot "$new_dist" > "$same/new-install.txt"

# ---------------------------------------------------------------------------------------------
# Inputs

[ -f "$work/lexicon-a.txt" ] && [ -f "$work/lexicon-b.txt" ] ||
    /usr/bin/python3 "$here/make_inputs.py" "$work" > /dev/null
A=$work/lexicon-a.txt B=$work/lexicon-b.txt
/usr/bin/python3 "$here/make_variants.py" "$work" "$in"
[ -f "$in/article-10mb.txt" ] || python3 "$here/lexsift/make_article.py" "$in" > /dev/null
[ -d "$in/articles" ] || python3 "$here/freqtune/make_articles.py" "$in/articles"
art1=$in/article-1mb.txt art10=$in/article-10mb.txt
iconv -f gbk -t utf-8 "$art1" > "$in/article.utf8.txt"
{ printf '\xff\xfe'; iconv -f gbk -t utf-16le "$art1"; } > "$in/article.utf16.txt"
gzip -c -n "$art1" > "$in/article.txt.gz"
mkdir -p "$in/half1" "$in/half2"
cp "$in"/articles/article0[0-4]*.txt "$in/half1/"
cp "$in"/articles/article0[5-9]*.txt "$in/half2/"
rime=/usr/share/rime-data
luna=$rime/luna_pinyin.dict.yaml simp=$rime/pinyin_simp.dict.yaml
terra=$rime/terra_pinyin.dict.yaml stroke=$rime/stroke.dict.yaml
for f in "$luna" "$simp" "$terra" "$stroke"; do
    [ -f "$f" ] || { echo "$0: $f is missing (Debian's rime-data packages)" >&2; exit 1; }
done

# The old build's own data copies, for the inputs it makes.
copy_data() { # FOLDER COPY: the tool folder's files without its program
    mkdir -p "$2"
    (cd "$1" && find . -type f ! -perm -u+x -exec cp -p --parents -t "$2" {} +)
}
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

# lexicon-a in every format lexconv writes (rime-userdb, which it only reads, is made by
# make_variants.py from pinyin_simp).
formats=(quillo fixedtop words rime rime-custom fcitx5 libpinyin sogou qq baidu)
fmt_file() { # FORMAT: where lexicon-a is in FORMAT
    case $1 in
    quillo) echo "$A" ;;
    rime) echo "$in/a.dict.yaml" ;;
    rime-userdb) echo "$in/pinyin_simp.userdb.txt" ;;
    *) echo "$in/a.$1.txt" ;;
    esac
}
for f in "${formats[@]:1}"; do
    old lexconv lexconv convert "$A" -o "$(fmt_file "$f")" --to "$f"
done
old lexconv lexconv convert "$B" -o "$in/b.fcitx5.txt" --to fcitx5
old lexconv lexconv convert "$luna" -o "$in/luna.utf8.txt" --to quillo
old pintop pintop generate "$A" -o "$in/top.txt"
old pintop pintop generate "$in/a.utf8.txt" -o "$in/top.utf8.txt" --separator "'"
old bigseg bigseg segment "$art1" -o "$in/fc.txt"
old bigseg bigseg supplement "$in/supp-bc.txt"
cp "$in/data-bigseg/bc.ini" "$in/bc.ini"
old bigseg bigseg count "$in/half1" -o "$in/part1.txt" --partial
old bigseg bigseg count "$in/half2" -o "$in/part2.txt" --partial
LC_ALL=C awk 'NR % 3 == 1' "$in/data-bigseg/ciku.lxd" > "$in/wordlist.txt"
old "$FT" freqtune import "$in/lex200k.txt" --db "$in/imported200k.mdb"
old "$FT" freqtune import "$A" --db "$in/imported1m.mdb"
cp "$in/imported200k.mdb" "$in/counted.mdb"
rm -rf "$in/data-$FT/未阅文章"
cp -r "$in/articles" "$in/data-$FT/未阅文章"
old "$FT" freqtune count --batch --db "$in/counted.mdb"
old "$FT" freqtune count --corpus "$in/half1" --db "$in/imported200k.mdb" --partial -o "$in/ftpart.txt"
# The eight inputs of the phonetag set; the review list of each, with the annotated lexicon it
# numbers, for correct --list.
pt_inputs=(a "$A" b "$B" a.utf8 "$in/a.utf8.txt" a.cut "$in/a.cut.txt" a.cr "$in/a.cr.txt"
    a.bomcr "$in/a.bomcr.txt" a.utf16 "$in/a.utf16.txt" a.utf16odd "$in/a.utf16odd.txt")
for ((i = 0; i < ${#pt_inputs[@]}; i += 2)); do
    old phonetag phonetag annotate "${pt_inputs[i + 1]}" -o "$in/annotated.${pt_inputs[i]}.txt" \
        --review "$in/review.${pt_inputs[i]}.txt"
done

# ---------------------------------------------------------------------------------------------
# The check

checks=0 different=0 files=0
declare -A per_tool
esc() { printf '%s' "$1" | sed 's/[][\.*^$#]/\\&/g'; }
# Reports print the time they took; the paths of the installs are the only ones that differ.
normalise() { # DIST FILE
    LC_ALL=C sed -E -i -e 's/^(耗费时间|耗时)：[0-9:.]+/\1：TIME/' -e "s#$(esc "$1")#DIST#g" "$2"
}
# What a run leaves in its folder: every file and folder, except the data files that are still
# as installed; installed data files it removed are listed as such.
listing() { # RUN INSTALLED_FOLDER|-
    local f
    (cd "$1" && find . -mindepth 1 \( -type d -printf '%P/\n' -o -printf '%P\n' \)) | LC_ALL=C sort |
        while IFS= read -r f; do
            case $f in
            data/) continue ;;
            data/*) if [ "$2" != - ]; then
                local src=$2/${f#data/}
                [ -d "$src" ] && [ "${f%/}" != "$f" ] && continue
                [ -f "$src" ] && [ ! -L "$1/$f" ] && cmp -s "$1/$f" "$src" && continue
            fi ;;
            esac
            printf '%s\n' "$f"
        done
    if [ "$2" != - ]; then
        (cd "$2" && find . -type f ! -perm -u+x -printf '%P\n') | LC_ALL=C sort |
            while IFS= read -r f; do
                [ -e "$1/data/$f" ] || printf 'data/%s (removed)\n' "$f"
            done
    fi
}

# check NAME FOLDER ARG...: "lexcli --data-dir RUN/data ARG..." with each build, in RUN, where
# @R in an ARG stands for RUN; FOLDER is the tool folder whose copy is the data dir, "-" for none
# (lexcli then finds its own). Set for one check: prep (a function run before each build with
# DIST and RUN, to put inputs in place), stdin (a file), fails=1 (the operation is meant to
# fail; otherwise a non-zero exit status is shown beside "same").
check() {
    local name=$1 folder=$2
    shift 2
    if [ -n "$only" ] && ! [[ $name =~ $only ]]; then return 0; fi
    local side dist x rc tool=${name%% *}
    for side in old new; do
        if [ $side = old ]; then dist=$old_dist; else dist=$new_dist; fi
        rm -rf "$run"
        mkdir -p "$run"
        local args=()
        if [ "$folder" != - ]; then
            copy_data "$dist/$folder" "$run/data"
            args=(--data-dir "$run/data")
        fi
        for x in "$@"; do args+=("${x//@R/$run}"); done
        [ -z "${prep:-}" ] || "$prep" "$dist" "$run"
        rc=0
        (cd "$run" && exec "$dist/lexcli" "${args[@]}") < "${stdin:-/dev/null}" \
            > "$res/$side.out" 2> "$res/$side.err" || rc=$?
        echo "$rc" > "$res/$side.rc"
        normalise "$dist" "$res/$side.out"
        normalise "$dist" "$res/$side.err"
        if [ "$folder" != - ]; then
            listing "$run" "$dist/$folder" > "$res/$side.files"
        else
            listing "$run" - > "$res/$side.files"
        fi
        rm -rf "${res:?}/$side"
        mv "$run" "$res/$side"
    done
    local diffs=() f o n
    o=$(< "$res/old.rc") n=$(< "$res/new.rc")
    [ "$o" = "$n" ] || diffs+=("exit status $o/$n")
    cmp -s "$res/old.out" "$res/new.out" || diffs+=(stdout)
    cmp -s "$res/old.err" "$res/new.err" || diffs+=(stderr)
    while IFS= read -r f; do diffs+=("only old: $f"); done < <(LC_ALL=C comm -23 "$res/old.files" "$res/new.files")
    while IFS= read -r f; do diffs+=("only new: $f"); done < <(LC_ALL=C comm -13 "$res/old.files" "$res/new.files")
    while IFS= read -r f; do
        case $f in */ | *" (removed)") continue ;; esac
        files=$((files + 1))
        cmp -s "$res/old/$f" "$res/new/$f" || diffs+=("$f")
    done < <(LC_ALL=C comm -12 "$res/old.files" "$res/new.files")
    checks=$((checks + 1))
    per_tool[$tool]=$((${per_tool[$tool]:-0} + 1))
    # What the old build did, for a look at any check: its status and the files it left.
    printf '%s\t%s\t%s\n' "$name" "$o" "$(cd "$res/old" && while IFS= read -r f; do
        printf '%s %s; ' "$f" "$(stat -c %s -- "$f" 2> /dev/null || echo -)"; done < "$res/old.files")" >> "$same/checks.tsv"
    if [ ${#diffs[@]} = 0 ]; then
        if [ "$o" != 0 ] && [ -z "${fails:-}" ]; then
            printf 'same      %s (exit status %s in both)\n' "$name" "$o"
        else
            printf 'same      %s\n' "$name"
        fi
    else
        different=$((different + 1))
        local shown
        shown=$(printf '%s, ' "${diffs[@]:0:6}")
        [ ${#diffs[@]} -le 6 ] || shown="$shown... (${#diffs[@]} in all)  "
        printf 'DIFFERENT %s (%s)\n' "$name" "${shown%, }"
        local keep
        keep=$same/different/$(printf '%03d' $checks)
        mkdir -p "$keep"
        printf '%s\n' "$name" > "$keep/name"
        mv "$res"/* "$keep/"
    fi
}

# The inputs the preps put in place.
put() { cp -r "$1" "$2"; }
prep_fc() { put "$in/fc.txt" "$2/data/fc.txt"; }
prep_bc() { put "$in/bc.ini" "$2/data/bc.ini"; }
prep_db200k() { put "$in/imported200k.mdb" "$2/data/freqtune.mdb"; }
prep_db1m() { put "$in/imported1m.mdb" "$2/data/freqtune.mdb"; }
prep_counted() { put "$in/counted.mdb" "$2/data/freqtune.mdb"; }
prep_article() { prep_db200k "$@"; put "$in/articles/article000.txt" "$2/article000.txt"; }
prep_articles() {
    prep_db200k "$@"
    put "$in/articles/article001.txt" "$2/"
    put "$in/articles/article002.txt" "$2/"
    put "$art1" "$2/article-1mb.txt"
}
prep_batch() { prep_db200k "$@"; put "$in/articles" "$2/data/未阅文章"; }
prep_ftdb() { put "$in/imported200k.mdb" "$2/ft.mdb"; }
prep_waste() { put "$in/waste.txt" "$2/waste.txt"; }

# ---------------------------------------------------------------------------------------------
# The checks

# The installs' own data files, which every check reads.
check_installs() {
    local t diffs=()
    for t in "${tools[@]}"; do
        rm -rf "$same/data-old" "$same/data-new"
        copy_data "$old_dist/$t" "$same/data-old"
        copy_data "$new_dist/$t" "$same/data-new"
        diff -rq "$same/data-old" "$same/data-new" > /dev/null || diffs+=("$t")
    done
    rm -rf "$same/data-old" "$same/data-new"
    checks=$((checks + 1))
    per_tool[install]=$((${per_tool[install]:-0} + 1))
    if [ ${#diffs[@]} = 0 ]; then
        echo "same      install data files"
    else
        different=$((different + 1))
        echo "DIFFERENT install data files ($(printf '%s, ' "${diffs[@]}" | sed 's/, $//'))"
    fi
}
[ -n "$only" ] && ! [[ "install data files" =~ $only ]] || check_installs

# Usage texts and usage errors.
check "lexcli --help" - --help
fails=1 check "lexcli unknown tool (fails)" - nosuchtool
for t in pintop phonetag lexsift bigseg lexsort freqtune lexmerge lexupdate lexconv; do
    check "$t --help" - "$t" --help
done
for op in "pintop generate" "pintop dedup" "phonetag annotate" "phonetag clear" "phonetag correct" \
    "phonetag extract" "phonetag adjust" "phonetag dedup" "lexsift article" "lexsift filter" \
    "bigseg segment" "bigseg stats" "bigseg supplement" "bigseg count" "bigseg merge-counts" \
    "lexsort length" "lexsort reference" "lexsort stroke" "lexsort pinyin" "freqtune import" \
    "freqtune export" "freqtune count" "freqtune list" "lexmerge union" "lexmerge intersect" \
    "lexmerge difference" "lexmerge delete" "lexupdate update" "lexconv convert" "lexconv formats"; do
    # shellcheck disable=SC2086
    check "$op --help" - $op --help
done
fails=1 check "pintop generate unknown option (fails)" pintop pintop generate "$A" -o @R/out.txt --nosuch
fails=1 check "pintop dedup --keep twice (fails)" pintop pintop dedup "$in/top.txt" -o @R/out.txt --keep 1 --keep 2
fails=1 check "phonetag dedup missing input (fails)" phonetag phonetag dedup @R/none.txt -o @R/out.txt
fails=1 check "lexsift filter two conditions (fails)" lexsift lexsift filter "$A" -o @R/out.txt --length 2 4 --non-gb2312

# pintop
for mode in keep initials first6 omit; do
    check "pintop generate --long $mode" pintop pintop generate "$A" -o @R/out.txt --long "$mode"
done
check "pintop generate" pintop pintop generate "$B" -o @R/out.txt
check "pintop generate (data beside lexcli)" - pintop generate "$B" -o @R/out.txt
check "pintop generate --separator '" pintop pintop generate "$A" -o @R/out.txt --separator "'"
check "pintop generate --separator _ --long initials" pintop pintop generate "$A" -o @R/out.txt --separator _ --long initials
check "pintop generate --table" pintop pintop generate "$A" -o @R/out.txt --table "$in/table.ini"
check "pintop generate --table --long first6" pintop pintop generate "$A" -o @R/out.txt --table "$in/table.ini" --long first6
fails=1 check "pintop generate --table missing (fails)" pintop pintop generate "$A" -o @R/out.txt --table @R/none.ini
for v in utf8 utf8bom utf16 utf16odd cut cr; do
    check "pintop generate a.$v" pintop pintop generate "$in/a.$v.txt" -o @R/out.txt
done
check "pintop generate edge lines" pintop pintop generate "$in/edge.txt" -o @R/out.txt --long omit
check "pintop generate rime luna_pinyin" pintop pintop generate "$luna" -o @R/out.dict.yaml
check "pintop generate fcitx5" pintop pintop generate "$in/a.fcitx5.txt" -o @R/out.txt
for e in utf-8 utf-16le; do
    check "pintop generate --output-encoding $e" pintop pintop generate "$A" -o @R/out.txt --output-encoding $e
done
check "pintop generate a.utf8 --output-encoding gbk" pintop pintop generate "$in/a.utf8.txt" -o @R/out.txt --output-encoding gbk
for keep in 1 2 3; do
    check "pintop dedup --keep $keep" pintop pintop dedup "$in/top.txt" -o @R/out.txt --keep $keep
    check "pintop dedup --keep $keep --memory 64M" pintop pintop dedup "$in/top.txt" -o @R/out.txt --keep $keep \
        --memory 64M --temp-dir @R
    check "pintop dedup --keep $keep UTF-8 with '" pintop pintop dedup "$in/top.utf8.txt" -o @R/out.txt --keep $keep
done
stdin=$in/top.txt check "pintop dedup - for input and output" pintop pintop dedup - -o - --keep 2
check "pintop dedup of a lexicon" pintop pintop dedup "$A" -o @R/out.txt

# phonetag: the eight inputs through annotate --review, annotate, correct, correct --list and
# dedup, all outputs, logs and review lists compared.
files_before=$files
for ((i = 0; i < ${#pt_inputs[@]}; i += 2)); do
    v=${pt_inputs[i]} f=${pt_inputs[i + 1]}
    check "phonetag annotate --review $v" phonetag phonetag annotate "$f" -o @R/out.txt --review @R/review.txt
    check "phonetag annotate $v" phonetag phonetag annotate "$f" -o @R/out.txt
    check "phonetag correct $v" phonetag phonetag correct "$f" -o @R/out.txt
    check "phonetag correct --list review $v" phonetag phonetag correct "$in/annotated.$v.txt" -o @R/out.txt \
        --list "$in/review.$v.txt" --log @R/log.txt
    check "phonetag dedup $v" phonetag phonetag dedup "$f" -o @R/out.txt
done
pt_files=$((files - files_before))
for v in a a.utf8 a.utf16 edge; do
    case $v in a) f=$A ;; *) f=$in/$v.txt ;; esac
    for op in clear extract adjust; do
        check "phonetag $op $v" phonetag phonetag $op "$f" -o @R/out.txt
    done
done
check "phonetag annotate --review edge lines" phonetag phonetag annotate "$in/edge.txt" -o @R/out.txt --review @R/review.txt
check "phonetag annotate --output-encoding utf-16le" phonetag phonetag annotate "$A" -o @R/out.txt --output-encoding utf-16le
check "phonetag annotate rime luna_pinyin" phonetag phonetag annotate "$luna" -o @R/luna_pinyin.dict.yaml
check "phonetag annotate fcitx5" phonetag phonetag annotate "$in/a.fcitx5.txt" -o @R/out.txt
check "phonetag annotate words" phonetag phonetag annotate "$in/a.words.txt" -o @R/out.txt --review @R/review.txt
check "phonetag correct --log" phonetag phonetag correct "$B" -o @R/out.txt --log @R/log.txt
check "phonetag correct --memory 64M" phonetag phonetag correct "$A" -o @R/out.txt --memory 64M
check "phonetag correct --capacity 2000000" phonetag phonetag correct "$A" -o @R/out.txt --capacity 2000000
check "phonetag correct --list review edge lines" phonetag phonetag correct "$in/edge.txt" -o @R/out.txt --list "$in/review.a.txt"
check "phonetag dedup --memory 64M" phonetag phonetag dedup "$A" -o @R/out.txt --memory 64M --temp-dir @R
check "phonetag dedup --capacity 2000000" phonetag phonetag dedup "$A" -o @R/out.txt --capacity 2000000
fails=1 check "phonetag dedup --capacity 900000 (fails)" phonetag phonetag dedup "$A" -o @R/out.txt --capacity 900000
check "phonetag dedup edge lines" phonetag phonetag dedup "$in/edge.txt" -o @R/out.txt
check "phonetag dedup rime luna_pinyin" phonetag phonetag dedup "$luna" -o @R/luna_pinyin.dict.yaml
check "phonetag clear rime lexicon-a" phonetag phonetag clear "$in/a.dict.yaml" -o @R/a.dict.yaml
stdin=$A check "phonetag dedup - for input and output" phonetag phonetag dedup - -o -
check "phonetag annotate (data beside lexcli)" - phonetag annotate "$B" -o @R/out.txt

# lexsift
check "lexsift article 1 MB" lexsift lexsift article "$A" "$art1" -o @R/out.txt
check "lexsift article 10 MB" lexsift lexsift article "$B" "$art10" -o @R/out.txt
check "lexsift article a.utf8 x UTF-8 article" lexsift lexsift article "$in/a.utf8.txt" "$in/article.utf8.txt" -o @R/out.txt
check "lexsift article a.utf16 x UTF-16 article" lexsift lexsift article "$in/a.utf16.txt" "$in/article.utf16.txt" -o @R/out.txt
check "lexsift article edge lines" lexsift lexsift article "$in/edge.txt" "$art1" -o @R/out.txt
check "lexsift article rime luna_pinyin" lexsift lexsift article "$luna" "$in/article.utf8.txt" -o @R/luna_pinyin.dict.yaml
for at in any start end; do
    check "lexsift filter --words --at $at" lexsift lexsift filter "$A" -o @R/out.txt --words "$in/words.txt" --at $at
    check "lexsift filter --words --at $at a.utf8" lexsift lexsift filter "$in/a.utf8.txt" -o @R/out.txt --words "$in/words.txt" --at $at
done
check "lexsift filter --words" lexsift lexsift filter "$B" -o @R/out.txt --words "$in/words.txt"
check "lexsift filter --length 2 4" lexsift lexsift filter "$A" -o @R/out.txt --length 2 4
check "lexsift filter --length 5 2147483647" lexsift lexsift filter "$A" -o @R/out.txt --length 5 2147483647
check "lexsift filter --length 0 1 edge lines" lexsift lexsift filter "$in/edge.txt" -o @R/out.txt --length 0 1
check "lexsift filter --length 3 3 a.utf16" lexsift lexsift filter "$in/a.utf16.txt" -o @R/out.txt --length 3 3
check "lexsift filter --non-gb2312" lexsift lexsift filter "$A" -o @R/out.txt --non-gb2312
check "lexsift filter --non-gb2312 luna_pinyin UTF-8" lexsift lexsift filter "$in/luna.utf8.txt" -o @R/out.txt --non-gb2312
check "lexsift filter --non-gb2312 rime" lexsift lexsift filter "$luna" -o @R/luna_pinyin.dict.yaml --non-gb2312
check "lexsift filter --length 2 3 --output-encoding utf-8" lexsift lexsift filter "$A" -o @R/out.txt --length 2 3 --output-encoding utf-8

# bigseg. Segmenting the 10 MB article takes a quarter of a second, so the whole one is used.
check "bigseg segment" bigseg bigseg segment "$art1"
check "bigseg segment 10 MB -o" bigseg bigseg segment "$art10" -o @R/fc.txt
for n in 8 50 3; do
    check "bigseg segment --no-split-below $n" bigseg bigseg segment "$art1" -o @R/fc.txt --no-split-below $n
done
check "bigseg segment UTF-8 article" bigseg bigseg segment "$in/article.utf8.txt"
check "bigseg segment UTF-16 article" bigseg bigseg segment "$in/article.utf16.txt"
check "bigseg segment --output-encoding utf-8" bigseg bigseg segment "$art1" -o @R/fc.txt --output-encoding utf-8
prep=prep_bc check "bigseg segment with bc.ini" bigseg bigseg segment "$art1"
prep=prep_fc check "bigseg stats" bigseg bigseg stats
check "bigseg stats --input -o" bigseg bigseg stats --input "$in/fc.txt" -o @R/tj.txt
check "bigseg stats of a lexicon" bigseg bigseg stats --input "$A" -o @R/tj.txt
for s in bc a d; do
    check "bigseg supplement $s" bigseg bigseg supplement "$in/supp-$s.txt"
done
prep=prep_bc check "bigseg supplement a after bc.ini" bigseg bigseg supplement "$in/supp-a.txt"
for j in 1 2; do
    check "bigseg count -j $j" bigseg bigseg count "$art10" -o @R/tj.txt -j $j
    check "bigseg count -j $j folder" bigseg bigseg count "$in/articles" -o @R/tj.txt -j $j
    check "bigseg count -j $j --partial" bigseg bigseg count "$in/articles" "$art1" -o @R/part.txt -j $j --partial
    check "bigseg count -j $j --chunk-size 65536" bigseg bigseg count "$art10" -o @R/tj.txt -j $j --chunk-size 65536
done
check "bigseg count" bigseg bigseg count "$art1" "$in/article.txt.gz" "$in/article.utf8.txt" "$in/article.utf16.txt"
check "bigseg count --no-split-below 8 --word-list" bigseg bigseg count "$art10" -o @R/tj.txt --no-split-below 8 \
    --word-list "$in/wordlist.txt"
prep=prep_bc check "bigseg count with bc.ini" bigseg bigseg count "$art1" -o @R/tj.txt
stdin=$art1 check "bigseg count - (standard input)" bigseg bigseg count - -o @R/tj.txt
check "bigseg merge-counts" bigseg bigseg merge-counts "$in/part1.txt" "$in/part2.txt" -o @R/tj.txt
check "bigseg merge-counts --partial" bigseg bigseg merge-counts "$in/part1.txt" "$in/part2.txt" -o @R/part.txt --partial
check "bigseg merge-counts --word-list" bigseg bigseg merge-counts "$in/part1.txt" "$in/part2.txt" -o @R/tj.txt \
    --word-list "$in/wordlist.txt"
prep=prep_ftdb check "bigseg merge-counts --db" bigseg bigseg merge-counts "$in/ftpart.txt" --db @R/ft.mdb

# lexsort
# The length sort of the million lines takes the partitioned path from 32M down, the others from 64M.
for op in length stroke pinyin; do
    m=64M
    [ $op != length ] || m=32M
    check "lexsort $op" lexsort lexsort $op "$A" -o @R/out.txt
    check "lexsort $op --memory $m" lexsort lexsort $op "$A" -o @R/out.txt --memory $m --temp-dir @R
    check "lexsort $op edge lines" lexsort lexsort $op "$in/edge.txt" -o @R/out.txt
done
check "lexsort reference" lexsort lexsort reference "$A" "$B" -o @R/out.txt
check "lexsort reference --memory 64M" lexsort lexsort reference "$A" "$B" -o @R/out.txt --memory 64M --temp-dir @R
check "lexsort reference --capacity 2000000" lexsort lexsort reference "$A" "$B" -o @R/out.txt --capacity 2000000
fails=1 check "lexsort reference --capacity 500000 (fails)" lexsort lexsort reference "$A" "$B" -o @R/out.txt --capacity 500000
check "lexsort reference missing REF" lexsort lexsort reference "$A" @R/none.txt -o @R/out.txt
check "lexsort reference edge lines" lexsort lexsort reference "$in/edge.txt" "$B" -o @R/out.txt
check "lexsort reference a.utf8 b.utf8" lexsort lexsort reference "$in/a.utf8.txt" "$in/b.utf8.txt" -o @R/out.txt
check "lexsort stroke a.utf8" lexsort lexsort stroke "$in/a.utf8.txt" -o @R/out.txt
check "lexsort pinyin a.utf16" lexsort lexsort pinyin "$in/a.utf16.txt" -o @R/out.txt
check "lexsort length a.cut" lexsort lexsort length "$in/a.cut.txt" -o @R/out.txt
check "lexsort length rime luna_pinyin" lexsort lexsort length "$luna" -o @R/luna_pinyin.dict.yaml
check "lexsort pinyin fcitx5" lexsort lexsort pinyin "$in/a.fcitx5.txt" -o @R/out.txt
for op in weight stroke pinyin; do
    check "lexsort $op rime lexicon-a" lexsort lexsort $op "$in/a.dict.yaml" -o @R/a.dict.yaml
    check "lexsort $op rime terra_pinyin" lexsort lexsort $op "$terra" -o @R/terra_pinyin.dict.yaml
done
check "lexsort weight fcitx5" lexsort lexsort weight "$in/a.fcitx5.txt" -o @R/out.txt
check "lexsort stroke --output-encoding utf-16le" lexsort lexsort stroke "$A" -o @R/out.txt --output-encoding utf-16le

# freqtune. Counting runs on the 200,000-line database (as bench/freqtune does), where the 100
# articles take a third of a second; the imports and exports take the whole lexicon.
check "freqtune import 200k" "$FT" freqtune import "$in/lex200k.txt"
check "freqtune import" "$FT" freqtune import "$A"
check "freqtune import --memory 64M" "$FT" freqtune import "$A" --memory 64M --temp-dir @R
check "freqtune import --db new file" "$FT" freqtune import "$B" --db @R/new.mdb
for v in a.utf8 a.bomcr edge; do
    check "freqtune import $v" "$FT" freqtune import "$in/$v.txt"
done
# freqtune reads code page 936 and UTF-8 only.
fails=1 check "freqtune import a.utf16 (fails)" "$FT" freqtune import "$in/a.utf16.txt"
check "freqtune import rime luna_pinyin" "$FT" freqtune import "$luna"
check "freqtune import rime lexicon-a" "$FT" freqtune import "$in/a.dict.yaml"
prep=prep_counted check "freqtune export" "$FT" freqtune export -o @R/out.txt
prep=prep_counted check "freqtune export --freq-only" "$FT" freqtune export -o @R/out.txt --freq-only
prep=prep_counted check "freqtune export --length 2 4" "$FT" freqtune export -o @R/out.txt --length 2 4
prep=prep_counted check "freqtune export --length 3 3 --freq-only" "$FT" freqtune export -o @R/out.txt --length 3 3 --freq-only
prep=prep_counted check "freqtune export --length 1 0" "$FT" freqtune export -o @R/out.txt --length 1 0
prep=prep_counted check "freqtune export --format quillo" "$FT" freqtune export -o @R/out.txt --format quillo
prep=prep_counted check "freqtune export --format rime" "$FT" freqtune export -o @R/out.dict.yaml --format rime
prep=prep_counted check "freqtune export --format fcitx5" "$FT" freqtune export -o @R/out.txt --format fcitx5
prep=prep_counted check "freqtune export --format rime --freq-only" "$FT" freqtune export -o @R/out.dict.yaml --format rime --freq-only
prep=prep_counted check "freqtune export --output-encoding utf-8" "$FT" freqtune export -o @R/out.txt --output-encoding utf-8
prep=prep_db1m check "freqtune export 1m" "$FT" freqtune export -o @R/out.txt
prep=prep_db1m check "freqtune export 1m --memory 64M" "$FT" freqtune export -o @R/out.txt --memory 64M --temp-dir @R
check "freqtune export --db" "$FT" freqtune export -o @R/out.txt --db "$in/counted.mdb"
fails=1 check "freqtune export missing database (fails)" "$FT" freqtune export -o @R/out.txt
prep=prep_article check "freqtune count" "$FT" freqtune count @R/article000.txt
prep=prep_articles check "freqtune count three articles" "$FT" freqtune count @R/article001.txt @R/article002.txt @R/article-1mb.txt
prep=prep_batch check "freqtune count --batch" "$FT" freqtune count --batch
for j in 1 2; do
    prep=prep_db200k check "freqtune count --corpus -j $j" "$FT" freqtune count --corpus "$in/articles" -j $j
done
prep=prep_db200k check "freqtune count --corpus article and folder" "$FT" freqtune count --corpus "$art1" "$in/half2"
prep=prep_db200k check "freqtune count --corpus --partial" "$FT" freqtune count --corpus "$in/articles" --partial -o @R/part.txt
prep=prep_counted check "freqtune list" "$FT" freqtune list
prep=prep_counted check "freqtune list --log" "$FT" freqtune list --log @R/词频.log
prep=prep_db200k check "freqtune list without counts" "$FT" freqtune list --log @R/词频.log

# lexmerge
for op in union intersect difference delete; do
    check "lexmerge $op" lexmerge lexmerge $op "$A" "$B" -o @R/out.txt
    check "lexmerge $op --memory 64M" lexmerge lexmerge $op "$A" "$B" -o @R/out.txt --memory 64M --temp-dir @R
    check "lexmerge $op --capacity 2000000" lexmerge lexmerge $op "$A" "$B" -o @R/out.txt --capacity 2000000
    check "lexmerge $op without B" lexmerge lexmerge $op "$A" -o @R/out.txt
    check "lexmerge $op a.utf8 b.utf8" lexmerge lexmerge $op "$in/a.utf8.txt" "$in/b.utf8.txt" -o @R/out.txt
    check "lexmerge $op a.utf8 b" lexmerge lexmerge $op "$in/a.utf8.txt" "$B" -o @R/out.txt
    check "lexmerge $op a.utf16 b.utf16" lexmerge lexmerge $op "$in/a.utf16.txt" "$in/b.utf16.txt" -o @R/out.txt
    check "lexmerge $op a.cut a.cr" lexmerge lexmerge $op "$in/a.cut.txt" "$in/a.cr.txt" -o @R/out.txt
    check "lexmerge $op edge lines" lexmerge lexmerge $op "$in/edge.txt" "$B" -o @R/out.txt
    check "lexmerge $op rime" lexmerge lexmerge $op "$luna" "$simp" -o @R/luna_pinyin.dict.yaml
    check "lexmerge $op fcitx5" lexmerge lexmerge $op "$in/a.fcitx5.txt" "$in/b.fcitx5.txt" -o @R/out.txt
done
fails=1 check "lexmerge union --capacity 1000000 (fails)" lexmerge lexmerge union "$A" "$B" -o @R/out.txt --capacity 1000000
check "lexmerge union --output-encoding utf-16le" lexmerge lexmerge union "$A" "$B" -o @R/out.txt --output-encoding utf-16le
stdin=$A check "lexmerge union - for input and output" lexmerge lexmerge union - "$B" -o -

# lexupdate
all=(--user "$B" --waste "$in/waste.txt" --private "$in/private.txt")
check "lexupdate update" "$LU" lexupdate update "$A" -o @R/out.txt "${all[@]}"
check "lexupdate update base only" "$LU" lexupdate update "$A" -o @R/out.txt
check "lexupdate update --user" "$LU" lexupdate update "$A" -o @R/out.txt --user "$B"
check "lexupdate update --waste" "$LU" lexupdate update "$A" -o @R/out.txt --waste "$in/waste.txt"
check "lexupdate update --private" "$LU" lexupdate update "$A" -o @R/out.txt --private "$in/private.txt"
prep=prep_waste check "lexupdate update --delete-waste" "$LU" lexupdate update "$A" -o @R/out.txt --user "$B" \
    --waste @R/waste.txt --delete-waste
check "lexupdate update --memory 64M" "$LU" lexupdate update "$A" -o @R/out.txt "${all[@]}" --memory 64M --temp-dir @R
check "lexupdate update --capacity 2000000" "$LU" lexupdate update "$A" -o @R/out.txt "${all[@]}" --capacity 2000000
fails=1 check "lexupdate update --capacity 1000000 (fails)" "$LU" lexupdate update "$A" -o @R/out.txt "${all[@]}" --capacity 1000000
fails=1 check "lexupdate update missing --user (fails)" "$LU" lexupdate update "$A" -o @R/out.txt --user @R/none.txt
check "lexupdate update a.utf8" "$LU" lexupdate update "$in/a.utf8.txt" -o @R/out.txt "${all[@]}"
check "lexupdate update a.utf16 b.utf16" "$LU" lexupdate update "$in/a.utf16.txt" -o @R/out.txt --user "$in/b.utf16.txt" \
    --waste "$in/waste.txt"
check "lexupdate update edge lines" "$LU" lexupdate update "$in/edge.txt" -o @R/out.txt --user "$B"
check "lexupdate update rime" "$LU" lexupdate update "$luna" -o @R/luna_pinyin.dict.yaml --user "$simp"
check "lexupdate update --output-encoding utf-8" "$LU" lexupdate update "$A" -o @R/out.txt "${all[@]}" --output-encoding utf-8

# lexconv: every format into every format it writes, from lexicon-a in that format; Debian's
# Rime dictionaries as they are; the options.
check "lexconv formats" lexconv lexconv formats
out_of() { [ "$1" = rime ] && echo @R/out.dict.yaml || echo @R/out.txt; }
for f in "${formats[@]}" rime-userdb; do
    for t in "${formats[@]}"; do
        check "lexconv convert $f -> $t" lexconv lexconv convert "$(fmt_file $f)" -o "$(out_of $t)" --to $t
    done
done
for d in luna_pinyin pinyin_simp terra_pinyin stroke; do
    for t in rime fcitx5 libpinyin quillo; do
        check "lexconv convert $d -> $t" lexconv lexconv convert "$rime/$d.dict.yaml" -o "$(out_of $t)" --to $t
    done
done
check "lexconv convert rime -> rime same name" lexconv lexconv convert "$luna" -o @R/luna_pinyin.dict.yaml --to rime
check "lexconv convert --no-dedup rime -> fcitx5" lexconv lexconv convert "$luna" -o @R/out.txt --to fcitx5 --no-dedup
check "lexconv convert --no-dedup quillo -> rime" lexconv lexconv convert "$A" -o @R/out.dict.yaml --to rime --no-dedup
check "lexconv convert --weight 100 quillo -> rime" lexconv lexconv convert "$A" -o @R/out.dict.yaml --to rime --weight 100
check "lexconv convert --weight 5 rime -> fcitx5" lexconv lexconv convert "$luna" -o @R/out.txt --to fcitx5 --weight 5
check "lexconv convert --weight-by-order quillo -> fcitx5" lexconv lexconv convert "$A" -o @R/out.txt --to fcitx5 --weight-by-order
check "lexconv convert --weight-by-order --no-dedup rime -> rime" lexconv lexconv convert "$simp" -o @R/out.dict.yaml --to rime \
    --weight-by-order --no-dedup
check "lexconv convert --quillo-weights rime -> quillo" lexconv lexconv convert "$luna" -o @R/out.txt --to quillo --quillo-weights
check "lexconv convert --quillo-weights fcitx5 -> quillo" lexconv lexconv convert "$in/a.fcitx5.txt" -o @R/out.txt --to quillo --quillo-weights
for ue in lue lve; do
    check "lexconv convert --ue $ue rime -> fcitx5" lexconv lexconv convert "$luna" -o @R/out.txt --to fcitx5 --ue $ue
    check "lexconv convert --ue $ue quillo -> sogou" lexconv lexconv convert "$A" -o @R/out.txt --to sogou --ue $ue
done
check "lexconv convert --from sogou" lexconv lexconv convert "$in/a.sogou.txt" -o @R/out.txt --to fcitx5 --from sogou
check "lexconv convert --from words" lexconv lexconv convert "$in/a.words.txt" -o @R/out.dict.yaml --to rime --from words
check "lexconv convert --from quillo rime file" lexconv lexconv convert "$luna" -o @R/out.txt --to words --from quillo
check "lexconv convert rime -> quillo --output-encoding gbk" lexconv lexconv convert "$luna" -o @R/out.txt --to quillo --output-encoding gbk
check "lexconv convert quillo -> quillo --output-encoding utf-16le" lexconv lexconv convert "$A" -o @R/out.txt --to quillo --output-encoding utf-16le
for v in a.utf8 a.utf8bom a.utf16 a.utf16odd a.cut a.cr a.bomcr edge; do
    check "lexconv convert $v -> rime" lexconv lexconv convert "$in/$v.txt" -o @R/out.dict.yaml --to rime
done
fails=1 check "lexconv convert --to rime-userdb (fails)" lexconv lexconv convert "$A" -o @R/out.txt --to rime-userdb
stdin=$luna check "lexconv convert - for input and output" lexconv lexconv convert - -o - --to fcitx5 --from rime
fails=1 check "lexconv convert without --to (fails)" lexconv lexconv convert "$A" -o @R/out.txt

# ---------------------------------------------------------------------------------------------
# The 10,000,000-line pair, when asked for: the operations bench/big.sh times, and the other
# operations that read a whole lexicon at a time.
if [ $big = 1 ]; then
    /usr/bin/python3 "$here/make_big_inputs.py" "$work" 10m > /dev/null
    A10=$work/lexicon-10m-a.txt B10=$work/lexicon-10m-b.txt
    head -n 2000000 "$B10" > "$in/waste-10m.txt"
    check "10m phonetag dedup" phonetag phonetag dedup "$A10" -o @R/out.txt
    check "10m phonetag dedup --memory 256M" phonetag phonetag dedup "$A10" -o @R/out.txt --memory 256M --temp-dir @R
    check "10m phonetag annotate --review" phonetag phonetag annotate "$A10" -o @R/out.txt --review @R/review.txt
    check "10m phonetag correct" phonetag phonetag correct "$A10" -o @R/out.txt
    for op in union intersect difference delete; do
        check "10m lexmerge $op" lexmerge lexmerge $op "$A10" "$B10" -o @R/out.txt
    done
    check "10m lexmerge union --memory 256M" lexmerge lexmerge union "$A10" "$B10" -o @R/out.txt --memory 256M --temp-dir @R
    check "10m lexupdate update" "$LU" lexupdate update "$A10" -o @R/out.txt --user "$B10" --waste "$in/waste-10m.txt"
    check "10m lexsort length" lexsort lexsort length "$A10" -o @R/out.txt
    check "10m lexsort reference" lexsort lexsort reference "$A10" "$B10" -o @R/out.txt
    check "10m pintop generate" pintop pintop generate "$A10" -o @R/out.txt
    check "10m lexconv convert quillo -> rime" lexconv lexconv convert "$A10" -o @R/out.dict.yaml --to rime
    check "10m freqtune import" "$FT" freqtune import "$A10"
fi

# ---------------------------------------------------------------------------------------------
untouched=0
snapshot "$old_dist" | cmp -s - "$same/old-install.txt" || untouched=1
snapshot "$new_dist" | cmp -s - "$same/new-install.txt" || untouched=2
checks=$((checks + 1))
per_tool[install]=$((${per_tool[install]:-0} + 1))
case $untouched in
0) echo "same      installs untouched" ;;
1) different=$((different + 1)); echo "DIFFERENT installs untouched (the old install changed during the run)" ;;
2) different=$((different + 1)); echo "DIFFERENT installs untouched (the new install changed during the run)" ;;
esac
rm -rf "$run" "$res"

[ -n "$only" ] && [ "$pt_files" = 0 ] || echo "phonetag: $pt_files files compared for the eight inputs"
summary=
for t in install lexcli pintop phonetag lexsift bigseg lexsort freqtune lexmerge lexupdate lexconv 10m; do
    [ -z "${per_tool[$t]:-}" ] || summary="$summary $t ${per_tool[$t]},"
done
summary=${summary# }
echo "$checks checks (${summary%,}), $files files compared, $different different, $(($(date +%s) - start)) s"
[ $different = 0 ]
