#!/usr/bin/env bash
# bigseg: segmentation of a 1 MB and a 10 MB real article with the shipped "ciku.lxd", and the
# word statistics of the result, against what a user would run instead: friso (simple mode,
# forward maximum matching), jieba without HMM, a python3 forward-maximum-matching script over
# the same word list, and sort | uniq -c | sort -rn or an awk count for the statistics.
# Medians of 5 runs; the peers read the articles in UTF-8, bigseg in code page 936.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
HERE=$(cd "$(dirname "$0")" && pwd)
W=$BENCH_WORK/bigseg
mkdir -p "$W/data"
export LC_ALL=C
# Debian's python3, where python3-jieba is installed (another python3 may come first on PATH).
PY=/usr/bin/python3
[ -x "$PY" ] || PY=python3
if [ ! -f "$W/article-10m.gbk" ]; then
    "$PY" "$HERE/make_article.py" "$W"
fi
cp "$BENCH_DATA/bigseg/ciku.lxd" "$W/data/ciku.lxd"
: > "$W/data/bc.ini"

cat > "$W/fmm.py" <<'PY'
import sys
words_path, article, out = sys.argv[1:]
with open(words_path, encoding="gbk") as f:
    words = set(f.read().splitlines())
longest = max(len(w) for w in words)
result = []
with open(article, encoding="utf-8") as f:
    text = f.read()
run = []
def flush():
    s = "".join(run)
    i = 0
    while i < len(s):
        for n in range(min(longest, len(s) - i), 0, -1):
            if n == 1 or s[i:i + n] in words:
                result.append(s[i:i + n])
                i += n
                break
    run.clear()
for c in text:
    if "\u4e00" <= c <= "\u9fff":
        run.append(c)
    elif run:
        flush()
flush()
with open(out, "w", encoding="utf-8") as f:
    f.write("\n".join(result) + "\n")
PY

cat > "$W/jieba_cut.py" <<'PY'
import sys, logging
import jieba
jieba.setLogLevel(logging.ERROR)
with open(sys.argv[1], encoding="utf-8") as f:
    text = f.read()
with open(sys.argv[2], "w", encoding="utf-8") as f:
    f.write("\n".join(w for w in jieba.cut(text, HMM=False) if w.strip()) + "\n")
PY

have_friso=0
if command -v friso >/dev/null && [ -f /etc/friso/friso.ini ]; then
    have_friso=1
    sed -e 's/^friso.mode = .*/friso.mode = 1/' /etc/friso/friso.ini > "$W/friso.ini"
fi

# Each peer runs once in the open first, so that a broken one fails here instead of timing
# an error message.
"$PY" "$W/jieba_cut.py" "$W/article-1m.utf8" "$W/jieba-check.txt"
"$PY" "$W/fmm.py" "$W/data/ciku.lxd" "$W/article-1m.utf8" "$W/fmm-check.txt"

echo "== bigseg (ciku.lxd $(wc -l < "$W/data/ciku.lxd") words; load $(cut -d' ' -f1-3 /proc/loadavg))"
for size in 1m 10m; do
    article=$W/article-$size
    # friso reads line by line and ends at a line "quit".
    { cat "$article.utf8"; printf '\nquit\n'; } > "$article.friso"
    ours=$(bench_median5 "$LEXCLI" --data-dir "$W/data" bigseg segment "$article.gbk" -o "$W/fc-$size.txt")
    if [ $have_friso = 1 ]; then
        friso_t=$(bench_median5 bash -c "friso -init '$W/friso.ini' < '$article.friso' > '$W/friso-$size.txt'")
        bench_line "bigseg segment $size" "$ours" "friso (simple mode)" "$friso_t"
    else
        echo "   friso not installed: no friso figure"
    fi
    jieba_t=$(bench_median5 "$PY" "$W/jieba_cut.py" "$article.utf8" "$W/jieba-$size.txt")
    bench_line "bigseg segment $size" "$ours" "jieba (HMM off)" "$jieba_t"
    fmm_t=$(bench_median5 "$PY" "$W/fmm.py" "$W/data/ciku.lxd" "$article.utf8" "$W/fmm-$size.txt")
    bench_line "bigseg segment $size" "$ours" "python3 FMM (same word list)" "$fmm_t"
done

for size in 1m 10m; do
    fc=$W/fc-$size.txt
    ours=$(bench_median5 "$LEXCLI" --data-dir "$W/data" bigseg stats --input "$fc" -o "$W/tj-$size.txt")
    t=$(bench_median5 bash -c "sort '$fc' | uniq -c | sort -rn > '$W/uniq-$size.txt'")
    bench_line "bigseg stats $size ($(wc -l < "$fc") lines)" "$ours" "sort | uniq -c | sort -rn" "$t"
    for awk in mawk gawk; do
        t=$(bench_median5 bash -c "$awk '\$0 != \"\\r\" {c[\$0]++} END {for (w in c) print c[w] \"\\t\" w}' '$fc' | sort -rn > '$W/awk-$size.txt'")
        bench_line "bigseg stats $size" "$ours" "$awk count + sort -rn" "$t"
    done
done

echo "peak memory: segment 10m $(bench_peak_mb "$LEXCLI" --data-dir "$W/data" bigseg segment "$W/article-10m.gbk" -o "$W/fc-10m.txt") MB," \
    "stats 10m $(bench_peak_mb "$LEXCLI" --data-dir "$W/data" bigseg stats --input "$W/fc-10m.txt" -o "$W/tj-10m.txt") MB"

bash "$HERE/corpus.sh"
