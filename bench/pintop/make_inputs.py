#!/usr/bin/env python3
"""Inputs for the pintop benchmark when the suite's own are missing.

make_inputs.py dz OUT          "dz.lxd" from pinyin_simp's single characters (the reading
                               with the highest weight first), code page 936, CR LF
make_inputs.py lexicon OUT N   N lines of a standard lexicon from jieba's dictionary words,
                               a third annotated with pinyin after each character, CR LF
"""
import random
import sys

RIME = "/usr/share/rime-data/pinyin_simp.dict.yaml"
JIEBA = "/usr/lib/python3/dist-packages/jieba/dict.txt"


def readings():
    best = {}
    body = False
    with open(RIME, encoding="utf-8") as f:
        for line in f:
            if line.startswith("..."):
                body = True
                continue
            parts = line.rstrip("\n").split("\t")
            if not body or len(parts) < 2 or len(parts[0]) != 1:
                continue
            weight = int(parts[2]) if len(parts) > 2 and parts[2].isdigit() else 0
            if parts[0] not in best or weight > best[parts[0]][1]:
                best[parts[0]] = (parts[1], weight)
    return {c: r for c, (r, _) in best.items()}


def gbk_ok(text):
    try:
        text.encode("gbk")
        return True
    except UnicodeEncodeError:
        return False


def write(path, lines):
    with open(path, "wb") as f:
        f.write("".join(l + "\r\n" for l in lines).encode("gbk"))


def main():
    read = readings()
    if sys.argv[1] == "dz":
        write(sys.argv[2], [c + r for c, r in sorted(read.items()) if gbk_ok(c + r)])
        return
    n = int(sys.argv[3])
    words = []
    with open(JIEBA, encoding="utf-8") as f:
        for line in f:
            w = line.split(" ", 1)[0]
            if len(w) > 1 and gbk_ok(w) and all(c in read for c in w):
                words.append(w)
    rnd = random.Random(4)
    lines = []
    for i in range(n):
        w = words[i % len(words)] if i < len(words) else rnd.choice(words)
        if rnd.random() < 1 / 3:
            w = "".join(c + read[c] for c in w)
        lines.append(w)
    write(sys.argv[2], lines)


main()
