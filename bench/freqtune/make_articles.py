#!/usr/bin/env python3
"""Writes 100 real Chinese articles of 10 to 50 KB each (code page 936) for the freqtune bench:
make_articles.py OUTDIR.

The text comes from Debian packages: the Chinese manual pages (manpages-zh, roff markup
dropped), the Chinese fortunes (fortunes-zh, colour codes dropped) and the Debian Reference
(debian-reference-zh-cn, plain text). Articles alternate between the three sources and are cut
at line ends; the sizes are drawn with a fixed seed, so the set is the same on every run.
Characters that code page 936 lacks become "?".
"""
import glob
import gzip
import os
import random
import re
import sys

COUNT = 100
MIN_BYTES, MAX_BYTES = 10_000, 50_000


def manpages():
    lines = []
    for path in sorted(glob.glob("/usr/share/man/zh_CN/man*/*.gz")):
        with gzip.open(path, "rt", encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith((".", "'")):
                    continue
                line = re.sub(r"\\f[BIRP]|\\f\(..|\\[-e&|^]|\\\*\(..|\\\(..", "", line)
                if line.strip():
                    lines.append(line.rstrip("\n"))
    return lines


def fortunes():
    lines = []
    for name in ("chinese", "tang300", "song100"):
        with open(f"/usr/share/games/fortunes/{name}", encoding="utf-8", errors="replace") as f:
            for line in f:
                line = re.sub(r"\x1b\[[0-9;]*m", "", line).rstrip("\n")
                if line.strip() and line != "%":
                    lines.append(line)
    return lines


def reference():
    path = "/usr/share/debian-reference/debian-reference.zh-cn.txt.gz"
    with gzip.open(path, "rt", encoding="utf-8", errors="replace") as f:
        return [line.rstrip("\n") for line in f if line.strip()]


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rng = random.Random(1607)
    sources = [manpages(), fortunes(), reference()]
    positions = [0, 0, 0]
    for n in range(COUNT):
        k = n % 3
        lines, target = sources[k], rng.randint(MIN_BYTES, MAX_BYTES)
        body, size = [], 0
        while size < target:
            line = lines[positions[k] % len(lines)].encode("gbk", errors="replace") + b"\r\n"
            positions[k] += 1
            if size + len(line) > MAX_BYTES:
                break
            body.append(line)
            size += len(line)
        with open(os.path.join(out, f"article{n:03d}.txt"), "wb") as f:
            f.write(b"".join(body))


if __name__ == "__main__":
    main()
