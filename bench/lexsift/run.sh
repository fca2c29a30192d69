#!/usr/bin/env bash
# lexsift: lexcli lexsift article for a 200,000-line and the 1,000,000-line real lexicon against
# a 1 MB and a 10 MB real article (manpages-zh, fortunes-zh, debian-reference-zh-cn), beside a
# python3 script that collects the article's substrings of every word length (exact peer) and
# grep -F -o -f over the distinct words (a partial peer: it prints matches, not lexicon lines,
# and misses overlapping ones). lexcli lexsift filter (every condition) on 1,000,000 lines
# against the LineReader/LineWriter round trip of the same lexicon.
# Targets: article <= 0.5x the python3 peer; conditions <= 2x the round trip.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib.sh"
work=$BENCH_WORK/lexsift
mkdir -p "$work"

lexicon=$BENCH_WORK/lexicon-a.txt
bench_inputs
if [ ! -f "$work/article-10mb.txt" ]; then
    if [ ! -d /usr/share/doc/debian-reference-zh-cn ] || [ ! -d /usr/share/games/fortunes ]; then
        echo "lexsift: the article packages are missing (run scripts/setup)" >&2
        exit 1
    fi
    python3 "$here/make_article.py" "$work"
fi
head -n 200000 "$lexicon" > "$work/lexicon-200k.txt"
# The distinct words of each lexicon for grep, and 300 words of one or two characters for the
# word-list conditions (fixed seed).
python3 - "$work" "$lexicon" "$BENCH_WORK/lexicon-b.txt" <<'PY'
import random, re, sys
work, lexicon, other = sys.argv[1:4]
def words(path):
    lines = open(path, "rb").read().decode("gbk").split("\r\n")
    return [l[:1] + re.sub("[\x00-\x7f]", "", l[1:]) for l in lines if l]
for src, dst in ((work + "/lexicon-200k.txt", "words-200k.txt"), (lexicon, "words-1m.txt")):
    with open(work + "/" + dst, "wb") as f:
        f.write("".join(w + "\n" for w in dict.fromkeys(words(src))).encode("gbk"))
short = sorted({w[:n] for w in words(other) for n in (1, 2)})
random.seed(4)
with open(work + "/condition-words.txt", "wb") as f:
    f.write("".join(w + "\r\n" for w in random.sample(short, 300)).encode("gbk"))
PY

core=$(bench_program bench_core)

echo "== lexsift (load $(cut -d' ' -f1 /proc/loadavg) on $(nproc) cores)"
for size in 200k 1m; do
    if [ $size = 200k ]; then src=$work/lexicon-200k.txt art=$work/article-1mb.txt; else src=$lexicon art=$work/article-10mb.txt; fi
    name="lexsift article $size lines x $(du -h "$art" | cut -f1) article"
    ours=$(bench_median5 "$LEXCLI" lexsift article "$src" "$art" -o "$work/ours-$size.txt")
    if [ $size = 200k ]; then
        py=$(bench_median5 python3 "$here/article_peer.py" "$src" "$art" "$work/py-$size.txt")
    else
        py=$(bench_once python3 "$here/article_peer.py" "$src" "$art" "$work/py-$size.txt")
    fi
    grep_t=$(bench_median5 sh -c "LC_ALL=C grep -F -o -f '$work/words-$size.txt' '$art' > '$work/grep-$size.txt'")
    # python3 writes the lines ours writes.
    ours=$(bench_same "$ours" "$work/ours-$size.txt" "$work/py-$size.txt")
    bench_line "$name" "$ours" "python3 substring sets$([ $size = 1m ] && echo ' (1 run)')" "$py"
    bench_line "$name" "$ours" "grep -F -o -f (partial)" "$grep_t"
    bench_figures "$ours" && echo "   (output identical to python3's: $(wc -l < "$work/ours-$size.txt") lines)"
done

base=$(bench_median5 "$core" roundtrip "$lexicon" "$work/roundtrip.txt")
for args in "--words $work/condition-words.txt --at any" "--words $work/condition-words.txt --at start" \
    "--words $work/condition-words.txt --at end" "--length 2 4" "--non-gb2312"; do
    # shellcheck disable=SC2086
    t=$(bench_median5 "$LEXCLI" lexsift filter "$lexicon" $args -o "$work/filter.txt")
    bench_line "lexsift filter ${args//$work\//}" "$t" "LineReader/LineWriter round trip" "$base"
done
echo "peak memory: article 1m x 10 MB $(bench_peak_mb "$LEXCLI" lexsift article "$lexicon" "$work/article-10mb.txt" -o "$work/ours-1m.txt") MB," \
    "python3 $(bench_peak_mb python3 "$here/article_peer.py" "$work/lexicon-200k.txt" "$work/article-1mb.txt" "$work/py-200k.txt") MB (200k x 1 MB);" \
    "filter --non-gb2312 $(bench_peak_mb "$LEXCLI" lexsift filter "$lexicon" --non-gb2312 -o "$work/filter.txt") MB"
