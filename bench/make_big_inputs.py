#!/usr/bin/env python3
"""Builds the lexicons of the big benchmark (bench/big.sh) from the words of make_inputs.py.

lexicon-10m-a.txt and lexicon-10m-b.txt: 10,000,000 lines each, sharing half of their distinct
lines, like the 1,000,000-line pair; lexicon-50m.txt: 50,000,000 lines. Code page 936, CR LF;
5% of the lines repeat an earlier line. Real lexicons of this size are merged ones: beside the
corpus words, plain and annotated (中zhong国guo), their lines are compounds of two words, plain
or annotated. Deterministic (fixed seeds); a file that exists is kept.

usage: make_big_inputs.py WORK [10m] [50m]
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_inputs import annotate, char_readings, phrases  # noqa: E402

REPEAT_SHARE = 0.05


class Lines:
    """The distinct line number i of the benchmark's line space, computed, never stored."""

    def __init__(self):
        words = phrases()
        self.words = sorted(words)
        random.Random(20261208).shuffle(self.words)
        self.syllables = [words[w] for w in self.words]
        self.chars = char_readings()
        self.n = len(self.words)

    def word(self, k, annotated):
        w = self.words[k]
        return annotate(w, self.syllables[k], self.chars) if annotated else w

    @staticmethod
    def kind(i):
        return (i * 2654435761 >> 7) % 20

    def line(self, i):
        # Distinct i give distinct pairs (a, b): a = i mod n, and b moves on with i div n.
        a = i % self.n
        kind = self.kind(i)
        if i < self.n:
            # Every word first, a third of them annotated.
            return self.word(a, kind < 7)
        if i < 2 * self.n and kind == 19:
            # Once for a word: its twin, plain where it came annotated, or the other way.
            return self.word(a, not self.kind(a) < 7)
        b = (i * 7919 + i // self.n) % self.n
        return self.word(a, kind < 7) + self.word(b, kind < 7)


def write(path, lines, first, count, seed):
    if os.path.exists(path):
        print(f"{path}: kept")
        return
    rng = random.Random(seed)
    tmp = path + ".part"
    made = 0
    nxt = first
    with open(tmp, "wb") as f:
        batch = []
        while made < count:
            if made > 0 and rng.random() < REPEAT_SHARE:
                batch.append(lines.line(rng.randrange(first, nxt)))
            else:
                batch.append(lines.line(nxt))
                nxt += 1
            made += 1
            if len(batch) == 100_000:
                f.write(("\r\n".join(batch) + "\r\n").encode("gbk"))
                batch = []
        if batch:
            f.write(("\r\n".join(batch) + "\r\n").encode("gbk"))
    os.rename(tmp, path)
    print(f"{path}: {count} lines")


def main():
    work = sys.argv[1]
    sizes = sys.argv[2:] or ["10m"]
    os.makedirs(work, exist_ok=True)
    lines = Lines()
    if "10m" in sizes:
        distinct = int(10_000_000 * (1 - REPEAT_SHARE))
        write(os.path.join(work, "lexicon-10m-a.txt"), lines, 0, 10_000_000, 1)
        write(os.path.join(work, "lexicon-10m-b.txt"), lines, distinct // 2, 10_000_000, 2)
    if "50m" in sizes:
        write(os.path.join(work, "lexicon-50m.txt"), lines, 0, 50_000_000, 3)


if __name__ == "__main__":
    main()
