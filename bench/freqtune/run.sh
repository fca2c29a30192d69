#!/usr/bin/env bash
# freqtune: imports of 200,000 and 1,000,000 real lexicon lines against sqlite3's own .import of
# the same rows and the LineReader round trip, and the statistics of 100 real articles
# (10-50 KB, from manpages-zh, fortunes-zh and debian-reference-zh-cn) in batch mode against a
# python3 Aho-Corasick script and a python3 substring-set script. Medians of 5 runs.
set -euo pipefail
here=$(dirname "$0")
source "$here/../lib.sh"
W=$BENCH_WORK/freqtune
D=$W/data # lexcli's --data-dir: the template, the database, the article folders
A=$BENCH_WORK/lexicon-a.txt
mkdir -p "$W" "$D"
[ -d "$W/articles" ] || python3 "$here/make_articles.py" "$W/articles"
cp "$BENCH_DATA/Quillo词库调频/freqtune.mmm" "$D/"
head -n 200000 "$A" > "$W/lex200k.txt"
cp "$A" "$W/lex1m.txt"
FT="$LEXCLI --data-dir $D freqtune"

# median5_after SETUP CMD: the median wall time of 5 runs of CMD, each after SETUP (not
# timed), or FAILED.
median5_after() {
    local setup=$1 times=() i t
    shift
    for i in 1 2 3 4 5; do
        bash -c "$setup"
        t=$(bench_once "$@")
        bench_figures "$t" || { echo FAILED; return 0; }
        times+=("$t")
    done
    printf '%s\n' "${times[@]}" | sort -g | sed -n 3p
}
core=$(bench_program bench_core)

SCHEMA="CREATE TABLE WordLib (SeqNo INTEGER, EntryLine TEXT, WordText TEXT, Freq INTEGER, WordLen INTEGER);"
echo "== freqtune (load $(cut -d' ' -f1-3 /proc/loadavg))"
for n in 200k 1m; do
    lex=$W/lex$n.txt
    python3 "$here/peers.py" rows "$lex" "$W/rows$n.txt"
    ours=$(bench_median5 $FT import "$lex")
    peer=$(median5_after "rm -f '$W/peer.db'" sqlite3 "$W/peer.db" "$SCHEMA" ".mode ascii" \
        ".import '$W/rows$n.txt' WordLib")
    bench_line "import $(wc -l < "$lex") lines" "$ours" "sqlite3 .import of the rows" "$peer"
    trip=$(bench_median5 "$core" roundtrip "$lex" "$W/roundtrip.txt")
    budget=FAILED
    bench_figures "$trip" "$peer" && budget=$(echo "3 * $trip + $peer" | bc -l)
    bench_line "import $(wc -l < "$lex") lines" "$ours" "3 x round trip + .import" "$budget"
    [ "$n" = 200k ] && cp "$D/freqtune.mdb" "$W/imported200k.mdb"
    rows=$(sqlite3 "$D/freqtune.mdb" "SELECT COUNT(*) FROM WordLib")
    [ "$rows" = "$(sqlite3 "$W/peer.db" "SELECT COUNT(*) FROM WordLib")" ] &&
        echo "   ($rows rows, as many as sqlite3 imported)"
done

# Counting: each run starts from the freshly imported 200,000 lines and the 100 articles.
reset="rm -rf '$D/未阅文章' '$D/已阅文章'; cp -r '$W/articles' '$D/未阅文章';
       cp '$W/imported200k.mdb' '$D/freqtune.mdb'"
ours=$(median5_after "$reset" $FT count --batch)
ac=$(bench_median5 python3 "$here/peers.py" ac "$W/lex200k.txt" "$W/articles")
sub=$(bench_median5 python3 "$here/peers.py" substr "$W/lex200k.txt" "$W/articles")
label="count 100 articles, $(du -sk "$W/articles" | cut -f1) KB, 200000 lines"
# The results list is the peers' list.
bash -c "$reset"
$FT count --batch > "$W/ours-list.txt" || :
python3 "$here/peers.py" ac "$W/lex200k.txt" "$W/articles" > "$W/ac-list.txt" || :
python3 "$here/peers.py" substr "$W/lex200k.txt" "$W/articles" > "$W/substr-list.txt" || :
bench_line "$label" "$(bench_same "$ours" "$W/ours-list.txt" "$W/ac-list.txt")" "python3 Aho-Corasick" "$ac"
bench_line "$label" "$(bench_same "$ours" "$W/ours-list.txt" "$W/substr-list.txt")" "python3 substring set" "$sub"
echo "peak memory: import 1m $(bench_peak_mb $FT import "$W/lex1m.txt") MB;" \
    "count $(bash -c "$reset"; bench_peak_mb $FT count --batch) MB;" \
    "python3 Aho-Corasick $(bench_peak_mb python3 "$here/peers.py" ac "$W/lex200k.txt" "$W/articles") MB"
