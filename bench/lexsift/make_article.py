#!/usr/bin/env python3
"""Builds the benchmark articles from real Chinese text of Debian packages.

Sources: debian-reference-zh-cn (HTML, tags stripped), manpages-zh (roff, requests and font
escapes stripped) and fortunes-zh (colour codes and separators stripped). Lines without a
Chinese character are dropped, repeated lines kept once, characters outside code page 936
left out. Writes code page 936 text with CR LF: OUT_DIR/article-1mb.txt (the first 1,000,000
bytes, cut at a line end) and OUT_DIR/article-10mb.txt (the text repeated to 10,000,000
bytes: the packages hold fewer distinct lines than that).
"""
import glob
import gzip
import html
import os
import re
import sys


def read(path):
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rb") as f:
        return f.read().decode("utf-8", "replace")


def reference_lines():
    for path in sorted(glob.glob("/usr/share/doc/debian-reference-zh-cn/docs/*.html")):
        text = re.sub(r"(?s)<(script|style).*?</\1>", " ", read(path))
        text = re.sub(r"<br\s*/?>|</p>|</li>|</h\d>|</tr>|</pre>", "\n", text)
        yield from html.unescape(re.sub(r"<[^>]*>", "", text)).splitlines()


def manpage_lines():
    for path in sorted(glob.glob("/usr/share/man/zh_CN/man*/*")):
        for line in read(path).splitlines():
            if line.startswith((".", "'")):
                line = line.split(" ", 1)[1] if " " in line and line[1:3] in ("B ", "I ") else ""
            yield re.sub(r"\\f[BIRP1-4]|\\f\(..|\\\*\(..|\\\(..|\\[-&e|^ ]", "", line)


def fortune_lines():
    for name in ("chinese", "tang300", "song100"):
        for line in read("/usr/share/games/fortunes/" + name).splitlines():
            if line.strip() != "%":
                yield re.sub(r"\x1b\[[0-9;]*m", "", line)


def main():
    out_dir = sys.argv[1]
    seen, text = set(), []
    for source in (reference_lines(), manpage_lines(), fortune_lines()):
        for line in source:
            line = line.strip()
            if line in seen or not re.search("[\u4e00-\u9fff]", line):
                continue
            seen.add(line)
            text.append(line.encode("gbk", "ignore") + b"\r\n")
    whole = b"".join(text)
    cut = whole.rfind(b"\r\n", 0, 1_000_000) + 2
    with open(os.path.join(out_dir, "article-1mb.txt"), "wb") as f:
        f.write(whole[:cut])
    big = whole * (10_000_000 // len(whole) + 1)
    cut = big.rfind(b"\r\n", 0, 10_000_000) + 2
    with open(os.path.join(out_dir, "article-10mb.txt"), "wb") as f:
        f.write(big[:cut])
    print(f"articles: {len(whole)} distinct bytes, {len(text)} lines")


if __name__ == "__main__":
    main()
