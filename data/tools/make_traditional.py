#!/usr/bin/env python3
"""ft.txt: the traditional characters of code page 936, each followed by its simplified form
(國国), for lexcheck's check of traditional characters in a simplified lexicon.

A character is traditional when opencc's t2s turns it into another one and no word of two or
more characters of pinyin_simp (a simplified dictionary) holds it: 著 (著名), 乾 (乾坤) and 瞭
(瞭望) are changed by t2s out of context but stand in simplified words, so they are left out.
Output: UTF-8, one line per character, in code page 936 order; encode936 makes the shipped file."""
import argparse
import subprocess


def encodable(ch):
    try:
        ch.encode("cp936")
        return True
    except UnicodeEncodeError:
        return False


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--charset", required=True)  # encode936 --charset: code TAB character
    ap.add_argument("--pinyin-simp", required=True)
    ap.add_argument("--opencc", default="opencc")
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    chars = []
    with open(args.charset, encoding="utf-8") as f:
        for line in f:
            code, _, ch = line.rstrip("\n").partition("\t")
            if len(ch) == 1 and "\u4e00" <= ch <= "\u9fff":
                chars.append(ch)
    run = subprocess.run([args.opencc, "-c", "t2s.json"], input="\n".join(chars) + "\n",
                         capture_output=True, text=True, check=True)
    converted = run.stdout.split("\n")[: len(chars)]
    if len(converted) != len(chars):
        raise SystemExit(f"make_traditional: opencc returned {len(converted)} of {len(chars)} lines")
    in_words = set()
    with open(args.pinyin_simp, encoding="utf-8") as f:
        body = False
        for line in f:
            line = line.rstrip("\n")
            if not body:
                body = line == "..."
                continue
            word = line.split("\t", 1)[0]
            if len(word) >= 2 and not word.startswith("#"):
                in_words.update(word)
    with open(args.out, "w", encoding="utf-8", newline="\n") as out:
        for ch, simp in zip(chars, converted):
            if len(simp) == 1 and simp != ch and ch not in in_words and encodable(simp):
                out.write(ch + simp + "\n")


if __name__ == "__main__":
    main()
