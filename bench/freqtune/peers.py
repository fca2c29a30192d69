#!/usr/bin/env python3
"""What a user would script instead of freqtune's statistics, for the bench:

  peers.py ac LEXICON ARTICLES_DIR     Aho–Corasick automaton over the words, one pass per article
  peers.py substr LEXICON ARTICLES_DIR every substring of a word's length, looked up in a set
  peers.py rows LEXICON OUT            the import's rows for sqlite3's .import (ascii mode)

Rows as freqtune imports them: leading ";" lines skipped, word = the line's double-byte
characters, kept when it has 2 to 49. A word counts once per article that contains it,
compared after case folding. Prints what "lexcli freqtune list" prints: word, four blanks,
count, by falling count and then lexicon order.
"""
import os
import re
import sys
from collections import deque

PAIR = re.compile(rb"[\x81-\xfe][\x40-\x7e\x80-\xfe]")


def rows(path):
    with open(path, "rb") as f:
        lines = f.read().split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    out, header = [], True
    for raw in lines:
        if raw.endswith(b"\r"):
            raw = raw[:-1]
        if header and raw.startswith(b";"):
            continue
        header = False
        word = b"".join(PAIR.findall(raw)).decode("gbk", errors="replace")
        if 1 < len(word) < 50:
            out.append((raw, word))
    return out


def articles(folder):
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            yield f.read().decode("gbk", errors="replace").casefold()


def automaton(words):
    goto, fail, out = [{}], [0], [None]
    for i, w in enumerate(words):
        s = 0
        for c in w:
            nxt = goto[s].get(c)
            if nxt is None:
                nxt = len(goto)
                goto[s][c] = nxt
                goto.append({})
                fail.append(0)
                out.append(None)
            s = nxt
        out[s] = i
    link = [0] * len(goto)  # next node with a word on the failure chain
    queue = deque(goto[0].values())
    while queue:
        s = queue.popleft()
        for c, t in goto[s].items():
            f = fail[s]
            while f and c not in goto[f]:
                f = fail[f]
            fail[t] = goto[f].get(c, 0) if goto[f].get(c, 0) != t else 0
            link[t] = fail[t] if out[fail[t]] is not None else link[fail[t]]
            queue.append(t)
    return goto, fail, out, link


def count_ac(words, folder):
    goto, fail, out, link = automaton(words)
    counts = [0] * len(words)
    for text in articles(folder):
        seen, s = set(), 0
        for c in text:
            while s and c not in goto[s]:
                s = fail[s]
            s = goto[s].get(c, 0)
            t = s if out[s] is not None else link[s]
            while t and t not in seen:
                seen.add(t)
                counts[out[t]] += 1
                t = link[t]
    return counts


def count_substr(words, folder):
    index = {w: i for i, w in enumerate(words)}
    lengths = sorted({len(w) for w in words})
    counts = [0] * len(words)
    for text in articles(folder):
        found = set()
        for n in lengths:
            found.update(text[i:i + n] for i in range(len(text) - n + 1))
        for w in found.intersection(index):
            counts[index[w]] += 1
    return counts


def main():
    mode, lexicon = sys.argv[1], sys.argv[2]
    table = rows(lexicon)
    if mode == "rows":
        with open(sys.argv[3], "wb") as f:
            for seq, (line, word) in enumerate(table, 1):
                fields = [str(seq).encode(), line.decode("gbk", errors="replace").encode(),
                          word.encode(), b"0", str(len(word)).encode()]
                f.write(b"\x1f".join(fields) + b"\x1e")
        return
    folded = [w.casefold() for _, w in table]
    distinct = list(dict.fromkeys(folded))
    per_word = (count_ac if mode == "ac" else count_substr)(distinct, sys.argv[3])
    by_word = dict(zip(distinct, per_word))
    listed = [(-by_word[f], seq, w) for seq, ((_, w), f) in enumerate(zip(table, folded))
              if by_word[f] > 0]
    listed.sort()
    sys.stdout.write("".join(f"{w}    {-c}\n" for c, _, w in listed))


if __name__ == "__main__":
    main()
