"""The article filter in python3, as a user would write it: the article's substrings of each
word length collected into a set and intersected with the words of that length (a length with
few words searches the article for each instead). Same output as lexcli lexsift article for
code page 936 inputs with CR LF."""
import re
import sys

source, article, out = sys.argv[1:4]
with open(source, "rb") as f:
    lines = f.read().decode("gbk", "replace").split("\r\n")
if lines and lines[-1] == "":
    lines.pop()
with open(article, "rb") as f:
    text = f.read().decode("gbk", "replace")
single = re.compile("[\x00-\x7f]")
words = [line[:1] + single.sub("", line[1:]) for line in lines]
by_length = {}
for w in words:
    if w:
        by_length.setdefault(len(w), set()).add(w)
found = set()
for k, wanted in by_length.items():
    if len(wanted) < 50:
        found |= {w for w in wanted if w in text}
    else:
        found |= wanted.intersection(text[i : i + k] for i in range(len(text) - k + 1))
with open(out, "wb") as f:
    f.write(b"".join((l + "\r\n").encode("gbk", "replace") for l, w in zip(lines, words) if w in found))
