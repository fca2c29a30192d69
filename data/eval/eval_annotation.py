#!/usr/bin/python3
"""Scores automatic annotation on the held-out words of the data build.

For every line of eval-annotated.txt (the reference annotation, a TAB, then tags naming its
source) the bare word is annotated as phonetag does it, once with dz.txt alone and once with
dz.txt and zn.lxd, and compared with the reference whole.

  eval_annotation.py --charset charset.txt --eval eval-annotated.txt \
      --dz suite/phonetag/dz.txt --zn suite/phonetag/zn.lxd [--zn other-zn.lxd ...]
      [--min-score PERCENT]

--min-score fails (exit status 1) when a word table scores below PERCENT on all words.

dz.txt and zn.lxd are read as the tools read them (code page 936 unless they start with
FF FE); --utf8 reads the build's UTF-8 intermediates instead."""

import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from annotate_rule import Rule, WordTable, annotate, load_charset  # noqa: E402


def read_lines(path, utf8):
    data = open(path, "rb").read()
    if data[:2] == b"\xff\xfe":
        text = data[2:].decode("utf-16-le")
    else:
        # the files hold only ideographs and ASCII, which gb18030 decodes exactly as
        # code page 936 does
        text = data.decode("utf-8" if utf8 else "gb18030")
    lines = text.replace("\r\n", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def load_dictionary(lines):
    dictionary = {}
    for line in lines:
        if line and line[0] not in dictionary:
            dictionary[line[0]] = line
    return dictionary


def score(rule, items, table, dictionary):
    total = {}
    for reference, tags in items:
        word = rule.entry_word(reference)
        ok = annotate(rule, word, table, dictionary) == reference
        for tag in ("all",) + tags:
            hit, n = total.get(tag, (0, 0))
            total[tag] = (hit + ok, n + 1)
    return total


def report(name, total):
    parts = [f"{tag} {hit}/{n} = {100.0 * hit / n:.2f}%" for tag, (hit, n) in sorted(total.items())]
    print(f"{name}: " + "; ".join(parts))
    hit, n = total.get("all", (0, 0))
    return 100.0 * hit / n if n else 0.0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--charset", required=True)
    ap.add_argument("--eval", required=True)
    ap.add_argument("--dz", required=True)
    ap.add_argument("--zn", action="append", default=[])
    ap.add_argument("--utf8", action="store_true")
    ap.add_argument("--min-score", type=float)
    args = ap.parse_args()

    rule = Rule(load_charset(args.charset))
    items = []
    with open(args.eval, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            items.append((fields[0], tuple(fields[1:])))
    dictionary = load_dictionary(read_lines(args.dz, args.utf8))
    report("dz.txt only", score(rule, items, None, dictionary))
    failed = False
    for zn in args.zn:
        lines = read_lines(zn, args.utf8)
        percent = report(f"dz.txt + {os.path.basename(zn)} ({len(lines)} lines)",
                         score(rule, items, WordTable(rule, lines), dictionary))
        if args.min_score is not None and percent < args.min_score:
            print(f"{zn}: {percent:.2f}% is below {args.min_score:.2f}%", file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
