#!/usr/bin/env bash
# lexconv: conversions of a 1,000,000-line lexicon between the formats, each against the best
# pipeline a user would write instead (awk or gawk, with iconv where the encoding changes), and
# the reading and writing of the shared layer against iconv. Medians of 5 runs; the targets are
# at most 0.5 x the peer and under 1 s a conversion. Then a 6,000,000-line Rime dictionary, its
# peak memory with and without the merging of duplicates.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
bench_inputs
W=$BENCH_WORK/lexconv
mkdir -p "$W"
DATA=${BENCH_DATA:-$(dirname "$LEXCLI")}/lexconv
conv() { "$LEXCLI" --data-dir "$DATA" lexconv convert "$@"; }
core=$(bench_program bench_core)

# The inputs, made once: the standard lexicon annotated in full, in UTF-8, and as Rime and
# fcitx5 dictionaries, one line per input line.
if [ ! -f "$W/lexicon.dict.yaml" ]; then
    conv "$BENCH_WORK/lexicon-a.txt" -o "$W/lexicon.dict.yaml" --to rime --no-dedup >/dev/null 2>&1
    conv "$W/lexicon.dict.yaml" -o "$W/annotated.txt" --to quillo --no-dedup >/dev/null 2>&1
    conv "$W/lexicon.dict.yaml" -o "$W/lexicon.fcitx5.txt" --to fcitx5 --no-dedup >/dev/null 2>&1
    iconv -f UTF-8 -t CP936 "$W/annotated.txt" | sed 's/$/\r/' > "$W/annotated-gbk.txt"
    iconv -f CP936 -t UTF-8 "$BENCH_WORK/lexicon-a.txt" > "$W/lexicon-a.utf8.txt"
    { printf '\xff\xfe'; iconv -f CP936 -t UTF-16LE "$BENCH_WORK/lexicon-a.txt"; } > "$W/lexicon-a.utf16.txt"
fi
lines=$(grep -c . "$W/lexicon.dict.yaml")
echo "== lexconv ($lines lines of Rime, $(du -h "$W/lexicon.dict.yaml" | cut -f1); load $(cut -d' ' -f1-3 /proc/loadavg))"

export LC_ALL=C.UTF-8
row() { # name, our arguments (input output rest), peer command
    local name=$1 peer=$3 ours
    ours=$(bench_median5 sh -c "$2")
    bench_line "$name" "$ours" "awk/iconv" "$(bench_median5 bash -o pipefail -c "$peer")"
}
body='f{' ; skip='next} /^\.\.\.$/{f=1}'
row "rime -> fcitx5" \
    "'$LEXCLI' --data-dir '$DATA' lexconv convert '$W/lexicon.dict.yaml' -o '$W/o.txt' --to fcitx5" \
    "awk -F'\t' '$body gsub(/ /,\"\\x27\",\$2); print \$1\" \"\$2\" 0\"; $skip' '$W/lexicon.dict.yaml' > '$W/p.txt'"
row "rime -> libpinyin" \
    "'$LEXCLI' --data-dir '$DATA' lexconv convert '$W/lexicon.dict.yaml' -o '$W/o.txt' --to libpinyin" \
    "awk -F'\t' '$body gsub(/ /,\"\\x27\",\$2); print \$1\" \"\$2; $skip' '$W/lexicon.dict.yaml' > '$W/p.txt'"
row "fcitx5 -> rime" \
    "'$LEXCLI' --data-dir '$DATA' lexconv convert '$W/lexicon.fcitx5.txt' -o '$W/o.dict.yaml' --to rime" \
    "awk 'BEGIN{print \"---\\nname: p\\nversion: \\\"1\\\"\\n...\"} {gsub(/\\x27/,\" \",\$2); print \$1\"\\t\"\$2}' '$W/lexicon.fcitx5.txt' > '$W/p.txt'"
row "rime -> quillo (UTF-8)" \
    "'$LEXCLI' --data-dir '$DATA' lexconv convert '$W/lexicon.dict.yaml' -o '$W/o.txt' --to quillo" \
    "gawk -F'\t' '$body n=split(\$2,s,\" \"); w=\"\"; for(i=1;i<=n;i++) w=w substr(\$1,i,1) s[i]; print w; $skip' '$W/lexicon.dict.yaml' > '$W/p.txt'"
row "quillo (GBK) -> rime" \
    "'$LEXCLI' --data-dir '$DATA' lexconv convert '$W/annotated-gbk.txt' -o '$W/o.dict.yaml' --to rime" \
    "iconv -f CP936 -t UTF-8 '$W/annotated-gbk.txt' | gawk '{sub(/\\r\$/,\"\"); w=gensub(/[a-z]+/,\"\",\"g\"); c=gensub(/[^a-z]+/,\" \",\"g\"); sub(/^ /,\"\",c); print w\"\\t\"c}' > '$W/p.txt'"
row "rime -> sogou (GBK)" \
    "'$LEXCLI' --data-dir '$DATA' lexconv convert '$W/lexicon.dict.yaml' -o '$W/o.txt' --to sogou" \
    "awk -F'\t' '$body gsub(/ /,\"\\x27\",\$2); print \"\\x27\"\$2\" \"\$1\"\\r\"; $skip' '$W/lexicon.dict.yaml' | iconv -f UTF-8 -t CP936 > '$W/p.txt'"
row "rime -> qq (UTF-16)" \
    "'$LEXCLI' --data-dir '$DATA' lexconv convert '$W/lexicon.dict.yaml' -o '$W/o.txt' --to qq" \
    "awk -F'\t' '$body gsub(/ /,\"\\x27\",\$2); print \$2\" \"\$1\" 1\\r\"; $skip' '$W/lexicon.dict.yaml' | iconv -f UTF-8 -t UTF-16LE > '$W/p.txt'"

# The shared readers and writer, against iconv: every encoding into code page 936, and back.
# LineReader holds the whole text; LineStream, which lexconv, correct and the partitioned runs
# read with, decodes a few chunks ahead on a second thread. One peer time serves both rows.
encoding_rows() { # name, input, iconv's from and to, bench_core's output encoding (optional)
    local name=$1 in=$2 peer mode
    peer=$(bench_median5 sh -c "iconv -f $3 -t $4 '$in' > '$W/p.txt'")
    for mode in roundtrip stream; do
        bench_line "$name ($mode)" "$(bench_median5 "$core" $mode "$in" "$W/o.txt" ${5:-})" \
            "iconv" "$peer"
    done
}
encoding_rows "UTF-16 -> GBK" "$W/lexicon-a.utf16.txt" UTF-16 CP936
encoding_rows "UTF-8 -> GBK" "$W/lexicon-a.utf8.txt" UTF-8 CP936 gbk
encoding_rows "GBK -> UTF-8" "$BENCH_WORK/lexicon-a.txt" CP936 UTF-8 utf-8

# Six million lines: the same dictionary six times over (every line a duplicate five times).
if [ ! -f "$W/six.dict.yaml" ]; then
    { sed -n '1,/^\.\.\.$/p' "$W/lexicon.dict.yaml"
      for i in 1 2 3 4 5 6; do sed '1,/^\.\.\.$/d' "$W/lexicon.dict.yaml"; done; } > "$W/six.dict.yaml"
fi
six=$(grep -c . "$W/six.dict.yaml")
for mode in "" --no-dedup; do
    read -r t kb < <(bench_time '%e %M' "$LEXCLI" --data-dir "$DATA" lexconv convert "$W/six.dict.yaml" -o "$W/o.txt" --to fcitx5 $mode)
    if bench_figures "$t" "$kb"; then
        t=$(printf '%8.3f s' "$t") kb=$((kb / 1024))
    else
        t=$(printf '%8s  ' FAILED) kb=-
    fi
    printf '%-44s %s   peak RSS %5s MB   (input %s MB)\n' "$six lines rime -> fcitx5 ${mode:-(merged)}" \
        "$t" "$kb" "$(du -m "$W/six.dict.yaml" | cut -f1)"
done
rm -f "$W/o.txt" "$W/o.dict.yaml" "$W/p.txt" "$W"/*.rejects.txt
