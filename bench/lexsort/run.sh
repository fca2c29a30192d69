#!/usr/bin/env bash
# lexsort: the four sorts of lexcli lexsort on a 1,000,000-line lexicon against what a user
# would run instead: awk bucketing (length), LC_ALL=C sort on the UTF-8 text (stroke: code
# point order), sort in a zh_CN.GBK locale and a python3 + ICU sort-key script (pinyin), awk and
# a python3 dict script (reference). Target: each sort at most 0.5x the best of its peers.
# Medians of 5 runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib.sh"
W=$BENCH_WORK/lexsort
mkdir -p "$W"
A=$BENCH_WORK/lexicon-a.txt
B=$BENCH_WORK/lexicon-b.txt
bench_inputs
iconv -f GBK -t UTF-8 "$A" > "$W/a.utf8"
# The reference: every second line of lexicon two, reversed.
awk 'NR % 2' "$B" | tac > "$W/ref.txt"
SORT="sort -S 50% --parallel=2"

# A GBK locale of our own, without touching the system's locales.
gbk_locale=""
mkdir -p "$W/locale"
if [ -d "$W/locale/zh_CN.GBK" ] || localedef -i zh_CN -f GBK "$W/locale/zh_CN.GBK" >/dev/null 2>&1; then
    gbk_locale=$W/locale
fi

cat > "$W/pinyin.py" <<'PY'
import sys
import icu
coll = icu.Collator.createInstance(icu.Locale("zh"))
coll.setStrength(icu.Collator.SECONDARY)
with open(sys.argv[1], "rb") as f:
    lines = f.read().decode("gbk").split("\r\n")[:-1]
lines.sort(key=coll.getSortKey)
with open(sys.argv[2], "wb") as f:
    f.write("".join(l + "\r\n" for l in lines).encode("gbk"))
PY

cat > "$W/reference.py" <<'PY'
import sys
def lines(path):
    with open(path, "rb") as f:
        return f.read().split(b"\r\n")[:-1]
base = dict.fromkeys(l for l in lines(sys.argv[1]) if l[:1] >= b"\x81")
matched = [l for l in dict.fromkeys(lines(sys.argv[2])) if l in base]
for l in matched:
    del base[l]
with open(sys.argv[3], "wb") as f:
    f.write(b"".join(l + b"\r\n" for l in matched + list(base)))
PY

# Word length in the UTF-8 text, byte by byte: every non-ASCII character (one lead byte each),
# plus the first character when it is ASCII (the CR ending each line is ASCII). Each bucket
# goes to its own file; cat joins them in order.
cat > "$W/length.sh" <<'SH'
awk=$1 in=$2 out=$3 dir=$(dirname "$3")/buckets
rm -rf "$dir" && mkdir -p "$dir"
LC_ALL=C "$awk" -v dir="$dir" '{ t = $0; n = gsub(/[\300-\377]/, "", t); if (substr($0, 1, 1) < "\200") n++
  print > (dir "/" ((n >= 2 && n <= 30) ? n : 31)) }' "$in"
cd "$dir" && cat $(for b in $(seq 2 31); do [ -f "$b" ] && echo "$b"; done) > "$out"
SH
AWK_REFERENCE='NR == FNR { if (substr($0, 1, 1) >= "\201" && !($0 in base)) { base[$0]; order[++n] = $0 }; next }
  ($0 in base) { print; delete base[$0] }
  END { for (i = 1; i <= n; i++) if (order[i] in base) print order[i] }'

echo "== lexsort ($(wc -l < "$A") lines, $(du -h "$A" | cut -f1); reference $(wc -l < "$W/ref.txt") lines; load $(cut -d' ' -f1-3 /proc/loadavg))"

# compare NAME OURS-CMD then peers as "label|command"; one line per peer, then the best. With
# SAME=CMD, lexcli's figure stands only when bash -c CMD succeeds (it compares ours with a
# peer's output).
compare() {
    local name=$1 ours_cmd=$2
    shift 2
    local ours best="" best_name="" t label cmd times=()
    ours=$(bench_median5 bash -o pipefail -c "$ours_cmd")
    for peer in "$@"; do
        cmd=${peer#*|}
        times+=("$(bench_median5 bash -o pipefail -c "$cmd")")
    done
    if [ -n "${SAME:-}" ] && bench_figures "$ours" && ! bash -o pipefail -c "$SAME" 2>/dev/null; then
        ours=$(bench_failed "$ours_cmd" "its output is not the peer's")
    fi
    for peer in "$@"; do
        label=${peer%%|*}
        t=${times[0]}
        times=("${times[@]:1}")
        bench_line "$name" "$ours" "$label" "$t"
        # A failed peer is the best only when every peer failed.
        if [ -z "$best" ] || { bench_figures "$t" &&
            { ! bench_figures "$best" || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; }; }; then
            best=$t best_name=$label
        fi
    done
    bench_line "$name (best peer, target 0.50)" "$ours" "$best_name" "$best"
}

SAME="iconv -f UTF-8 -t GBK '$W/awk-length.txt' | cmp -s - '$W/ours-length.txt'" \
compare "lexsort length" "'$LEXCLI' lexsort length '$A' -o '$W/ours-length.txt'" \
    "mawk buckets (UTF-8)|bash '$W/length.sh' mawk '$W/a.utf8' '$W/awk-length.txt'" \
    "gawk buckets (UTF-8)|bash '$W/length.sh' gawk '$W/a.utf8' '$W/awk-length.txt'"

SAME="iconv -f UTF-8 -t GBK '$W/sort-stroke.txt' | cmp -s - '$W/ours-stroke.txt'" \
compare "lexsort stroke" "'$LEXCLI' lexsort stroke '$A' -o '$W/ours-stroke.txt'" \
    "LC_ALL=C sort (UTF-8)|LC_ALL=C $SORT '$W/a.utf8' > '$W/sort-stroke.txt'"

pinyin_peers=("python3 + ICU sort keys|/usr/bin/python3 '$W/pinyin.py' '$A' '$W/py-pinyin.txt'")
if [ -n "$gbk_locale" ]; then
    pinyin_peers=("sort in zh_CN.GBK|LOCPATH='$gbk_locale' LC_ALL=zh_CN.GBK $SORT '$A' > '$W/sort-pinyin.txt'"
        "${pinyin_peers[@]}")
else
    echo "   (no zh_CN.GBK locale: localedef failed; the GBK sort peer is left out)"
fi
# ICU's order is the same; only lines whose keys are equal may stand in another order.
SAME="cmp -s <(sort '$W/py-pinyin.txt') <(sort '$W/ours-pinyin.txt')" \
compare "lexsort pinyin" "'$LEXCLI' lexsort pinyin '$A' -o '$W/ours-pinyin.txt'" "${pinyin_peers[@]}"

compare "lexsort reference" "'$LEXCLI' lexsort reference '$A' '$W/ref.txt' -o '$W/ours-ref.txt'" \
    "mawk|LC_ALL=C mawk '$AWK_REFERENCE' '$A' '$W/ref.txt' > '$W/awk-ref.txt'" \
    "python3 dict|/usr/bin/python3 '$W/reference.py' '$A' '$W/ref.txt' '$W/py-ref.txt'"

awk 'BEGIN { for (i = 0; i < 100000; i++) printf "中华人民共和国zhong\r\n" }' | iconv -f UTF-8 -t GBK > "$W/same.txt"
for mode in stroke pinyin; do
    t=$(bench_median5 "$LEXCLI" lexsort "$mode" "$W/same.txt" -o "$W/same-$mode.txt")
    bench_figures "$t" && t=$(printf '%8.3f s' "$t") || t=$(printf '%8s  ' "$t")
    printf '%-44s %s   (target 0.2 s)\n' "lexsort $mode, 100,000 identical lines" "$t"
done
echo "peak memory: length $(bench_peak_mb "$LEXCLI" lexsort length "$A" -o "$W/ours-length.txt") MB," \
    "stroke $(bench_peak_mb "$LEXCLI" lexsort stroke "$A" -o "$W/ours-stroke.txt") MB," \
    "pinyin $(bench_peak_mb "$LEXCLI" lexsort pinyin "$A" -o "$W/ours-pinyin.txt") MB," \
    "reference $(bench_peak_mb "$LEXCLI" lexsort reference "$A" "$W/ref.txt" -o "$W/ours-ref.txt") MB"
