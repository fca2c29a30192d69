#!/usr/bin/env bash
# Runs every lexcli operation of the bench inputs with two lexcli builds and compares the output
# files byte for byte: a change that should not change outputs (a refactoring, a speed-up) is
# checked on real 1,000,000-line lexicons, not only on the tests' small files.
#   bench/same_outputs.sh OLD_LEXCLI NEW_LEXCLI [WORK]
# WORK holds lexicon-a.txt and lexicon-b.txt (bench/make_inputs.py); the data dir is the new
# build's suite folder.
set -euo pipefail
old=$1 new=$2
work=${3:-$(dirname "$0")/work}
data=$(dirname "$new")
a=$work/lexicon-a.txt b=$work/lexicon-b.txt
head -n 200000 "$b" > "$work/waste.txt"
tail -n 100000 "$a" > "$work/private.txt"

status=0
check() { # name, then the arguments after "lexcli"; "@OUT" is the output
    local name=$1; shift
    local args_old=() args_new=()
    for x in "$@"; do
        args_old+=("${x/@OUT/$work/same-old.txt}")
        args_new+=("${x/@OUT/$work/same-new.txt}")
    done
    rm -f "$work/same-old.txt" "$work/same-new.txt"
    "$old" "${args_old[@]}" > /dev/null 2>&1 || true
    "$new" "${args_new[@]}" > /dev/null 2>&1 || true
    if [ -f "$work/same-old.txt" ] && cmp -s "$work/same-old.txt" "$work/same-new.txt"; then
        printf 'same      %s\n' "$name"
    else
        printf 'DIFFERENT %s\n' "$name"
        status=1
    fi
}

for mode in keep initials first6 omit; do
    check "pintop generate --long $mode" --data-dir "$data/pintop" pintop generate "$a" -o @OUT --long "$mode"
done
"$new" --data-dir "$data/pintop" pintop generate "$a" -o "$work/top.txt" > /dev/null
for keep in 1 2 3; do
    check "pintop dedup --keep $keep" pintop dedup "$work/top.txt" -o @OUT --keep "$keep"
done
for op in union intersect difference delete; do
    check "lexmerge $op" lexmerge "$op" "$a" "$b" -o @OUT
done
check "lexupdate update" lexupdate update "$a" -o @OUT --user "$b" --waste "$work/waste.txt" \
    --private "$work/private.txt"
exit $status
