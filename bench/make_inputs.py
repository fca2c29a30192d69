#!/usr/bin/env python3
"""Builds the benchmark lexicons from real words of Debian packages.

lexicon-a.txt and lexicon-b.txt: 1,000,000 lines each, code page 936, CR LF; words from
jieba's dictionary and pinyin-database's phrases; about a third annotated with pinyin after
each character (中zhong国guo); 5% of the lines repeat an earlier line; the two lexicons
share half of their distinct lines. Deterministic (fixed seed).
"""
import os
import random
import sqlite3
import sys

LINES = 1_000_000
REPEAT_SHARE = 0.05
ANNOTATED_SHARE = 1 / 3

# The initial and final ids of pinyin-database's phrase tables, as the data build reads them.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "tools"))
from build_data import FINALS, INITIALS  # noqa: E402


def encodable(word):
    try:
        word.encode("gbk")
        return True
    except UnicodeEncodeError:
        return False


def char_readings():
    best = {}
    with open("/usr/share/rime-data/pinyin_simp.dict.yaml", encoding="utf-8") as f:
        body = False
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


def phrases():
    """(word, list of syllables or None)"""
    words = {}
    db = sqlite3.connect("/usr/share/pinyin-database/main.db")
    for n in range(1, 6):
        cols = ", ".join(f"s{j}, y{j}" for j in range(n + 1))
        for row in db.execute(f"SELECT phrase, freq, {cols} FROM py_phrase_{n}"):
            word = row[0]
            ids = row[2:]
            syl = []
            for j in range(0, len(ids), 2):
                s, y = ids[j], ids[j + 1]
                if not (0 <= s < 24 and 24 <= y < 57):
                    syl = None
                    break
                syl.append(INITIALS[s] + FINALS[y - 24])
            if word not in words and encodable(word):
                words[word] = syl
    jieba = "/usr/lib/python3/dist-packages/jieba/dict.txt"
    with open(jieba, encoding="utf-8") as f:
        for line in f:
            word = line.split(" ", 1)[0]
            if len(word) >= 2 and word not in words and encodable(word):
                words[word] = None
    return words


def annotate(word, syllables, chars):
    out = []
    for i, c in enumerate(word):
        r = syllables[i] if syllables and i < len(syllables) else chars.get(c, "")
        out.append(c + r)
    return "".join(out)


def lexicon(distinct, rng):
    lines = list(distinct)
    rng.shuffle(lines)
    repeats = LINES - len(lines)
    # Repeats go after their first occurrence: draw them, then splice by position.
    extra = [(rng.randrange(len(lines)), rng.randrange(len(lines))) for _ in range(repeats)]
    insert_at = {}
    for src, dst in extra:
        dst = max(dst, src)
        insert_at.setdefault(dst, []).append(lines[src])
    out = []
    for i, line in enumerate(lines):
        out.append(line)
        out.extend(insert_at.get(i, ()))
    return out


def main():
    work = sys.argv[1]
    os.makedirs(work, exist_ok=True)
    rng = random.Random(20261207)
    chars = char_readings()
    words = phrases()
    keys = sorted(words)
    rng.shuffle(keys)
    distinct_per = int(LINES * (1 - REPEAT_SHARE))
    need = distinct_per * 3 // 2
    # A third of the distinct lines are annotated; a word may occur both plain and annotated
    # (as in real lexicons, where both lines share one entry key).
    n_annotated = need // 3
    n_plain = need - n_annotated
    lines = keys[:n_plain]
    lines += [annotate(w, words[w], chars) for w in rng.sample(keys, n_annotated)]
    lines = list(dict.fromkeys(lines))
    rng.shuffle(lines)
    half = distinct_per // 2
    a = lines[:distinct_per]
    b = lines[half:half + distinct_per]
    for name, distinct in (("lexicon-a.txt", a), ("lexicon-b.txt", b)):
        out = lexicon(distinct, rng)
        with open(os.path.join(work, name), "wb") as f:
            f.write("".join(l + "\r\n" for l in out).encode("gbk"))
        print(f"{name}: {len(out)} lines, {len(set(out))} distinct")


if __name__ == "__main__":
    main()
