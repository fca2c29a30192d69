#!/usr/bin/python3
"""Builds the text data files of the suite as UTF-8 with LF; encode936 then writes the
shipped code page 936 copies. Sources (all read from the Debian packages at build time):

  Unihan_Readings.txt.bz2  (unicode-data)          readings of every ideograph
  pinyin_simp.dict.yaml    (rime-data-pinyin-simp)  weighted character readings, words
  main.db                  (pinyin-database)        phrases with their readings and counts
  dict.txt                 (python3-jieba)          word list with counts

Outputs in --out: dz.lxd, dz.txt, zn.lxd, lw.txt, ciku.lxd, and eval-annotated.txt, the
held-out words that neither zn.lxd nor lw.txt contains: one reference annotation per line, then
TAB-separated tags naming where its reading came from (simp, db) and whether jieba lists it."""

import argparse
import bz2
import os
import random
import re
import sqlite3
import sys
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from annotate_rule import Rule, WordTable, annotate, load_charset  # noqa: E402

HELD_OUT_SEED = 20260603
HELD_OUT_SHARE = 0.1

INITIALS = ["", "b", "c", "ch", "d", "f", "g", "h", "j", "k", "l", "m", "n", "p", "q", "r",
            "s", "sh", "t", "w", "x", "y", "z", "zh"]
FINALS = ["a", "ai", "an", "ang", "ao", "e", "ei", "en", "eng", "er", "i", "ia", "ian", "iang",
          "iao", "ie", "in", "ing", "iong", "iu", "o", "ong", "ou", "u", "ua", "uai", "uan",
          "uang", "ue", "ui", "un", "uo", "v"]


def is_ideograph(ch):
    name = unicodedata.name(ch, "")
    return ch == "\u3007" or name.startswith(("CJK UNIFIED IDEOGRAPH", "CJK COMPATIBILITY IDEOGRAPH"))


def toneless(py):
    """Unihan pinyin (zhòng, lǜ, ê̄) as the lexicons write it: no tones, ü as v, üe as ue."""
    s = unicodedata.normalize("NFD", py.strip().lower())
    s = s.replace("u\u0308", "v")
    s = "".join(c for c in s if unicodedata.category(c) != "Mn")
    s = re.sub(r"^([ln])ve$", r"\1ue", s)
    return s if re.fullmatch(r"[a-z]+", s) else None


def read_pinyin_simp(path):
    chars = {}   # char -> {reading: weight}
    words = {}   # word -> (syllables, weight), the heaviest reading of the word
    body = False
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not body:
                body = line == "..."
                continue
            parts = line.split("\t")
            if len(parts) < 2 or not parts[0] or line.startswith("#"):
                continue
            text, pinyin = parts[0], parts[1].split()
            weight = int(parts[2]) if len(parts) > 2 and parts[2].isdigit() else 0
            if len(pinyin) != len(text):
                continue
            if len(text) == 1:
                slot = chars.setdefault(text, {})
                slot[pinyin[0]] = max(slot.get(pinyin[0], -1), weight)
            elif text not in words or weight > words[text][1]:
                words[text] = (tuple(pinyin), weight)
    return chars, words


def read_unihan(path):
    """char -> readings in Unihan's order of preference: kHanyuPinlu by falling count, then
    kMandarin, kXHC1983, kTGHZ2013, kHanyuPinyin."""
    fields = {}
    wanted = ("kHanyuPinlu", "kMandarin", "kXHC1983", "kTGHZ2013", "kHanyuPinyin")
    with bz2.open(path, "rt", encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or "\t" not in line:
                continue
            cp, key, value = line.rstrip("\n").split("\t", 2)
            if key in wanted:
                cp = int(cp[2:], 16)
                if cp <= 0xFFFF:
                    fields.setdefault(chr(cp), {})[key] = value
    result = {}
    for ch, kv in fields.items():
        order = []
        pinlu = re.findall(r"([^\s(]+)\((\d+)\)", kv.get("kHanyuPinlu", ""))
        order += [p for p, _ in sorted(pinlu, key=lambda pc: -int(pc[1]))]
        order += kv.get("kMandarin", "").split()
        for key in ("kXHC1983", "kTGHZ2013", "kHanyuPinyin"):
            for item in kv.get(key, "").split():
                order += item.split(":", 1)[-1].split(",")
        readings = []
        for p in order:
            t = toneless(p)
            if t and t not in readings:
                readings.append(t)
        if readings:
            result[ch] = readings
    return result


def syllable_table(valid):
    """initial id * 64 + final id -> syllable, None where the pair is no real syllable."""
    table = [None] * (len(INITIALS) * 64)
    for s, initial in enumerate(INITIALS):
        for y, final in enumerate(FINALS, start=24):
            text = initial + final
            if text[0] in "jqxy" and text.endswith("v"):
                text = text[:-1] + "u"
            if text in valid:
                table[s * 64 + y] = text
    return table


def read_pinyin_db(path, valid):
    """phrase -> (syllables of its most frequent reading, summed count); single characters
    go into a second map char -> {reading: count}."""
    phrases, chars = {}, {}
    table = syllable_table(valid)
    con = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    for n in range(16):
        cols = ",".join(f"s{j}*64+y{j}" for j in range(n + 1))
        for row in con.execute(f"SELECT phrase, freq, {cols} FROM py_phrase_{n}"):
            phrase = row[0]
            if not phrase or len(phrase) != n + 1:
                continue
            try:
                syl = tuple([table[code] for code in row[2:]])
            except (IndexError, TypeError):
                continue
            if None in syl:
                continue
            freq = row[1] or 0
            if n == 0:
                slot = chars.setdefault(phrase, {})
                slot[syl[0]] = slot.get(syl[0], 0) + freq
                continue
            old = phrases.get(phrase)
            if old is None:
                phrases[phrase] = [syl, freq, freq]
            else:
                old[1] += freq
                if freq > old[2]:
                    old[0], old[2] = syl, freq
    con.close()
    return phrases, chars


def read_jieba(path):
    words = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.split()
            if parts:
                words[parts[0]] = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0
    return words


def rank_readings(charset, simp_chars, unihan, db_chars):
    """char -> readings, most common first: pinyin_simp's weights, Unihan to break ties and
    to cover what pinyin_simp lacks, then pinyin-database's single characters."""
    readings = {}
    # compatibility ideographs last: they may borrow the readings of the characters they
    # stand for
    for ch in sorted(charset, key=lambda c: c >= "\uF900"):
        if not is_ideograph(ch):
            continue
        uni = unihan.get(ch, [])
        uni_rank = {p: i for i, p in enumerate(uni)}
        simp = simp_chars.get(ch, {})
        order = sorted(simp, key=lambda p: (-simp[p], uni_rank.get(p, len(uni)), p))
        order += [p for p in uni if p not in order]
        db = db_chars.get(ch, {})
        order += [p for p in sorted(db, key=lambda p: (-db[p], p)) if p not in order]
        same = unicodedata.normalize("NFC", ch)
        if not order and same != ch:
            # a compatibility ideograph (郎 U+F92C) reads as the character it stands for
            order = readings.get(same) or unihan.get(same, [])
        if order:
            readings[ch] = order
    return readings


def prefer_word_usage(readings, simp_chars, words, refs, weight):
    """Moves a reading to the front when the dictionary words use it far more often than the
    first one and pinyin_simp's own preference is weak (咖 ga 725 / ka 127, yet 咖啡)."""
    usage = {}
    for w in words:
        for c, p in zip(w, refs[w]):
            slot = usage.setdefault(c, {})
            slot[p] = slot.get(p, 0) + weight(w)
    for c, used in usage.items():
        order = readings.get(c)
        best = max(used, key=used.get)
        if not order or best == order[0] or best not in order:
            continue
        simp = simp_chars.get(c, {})
        if (used[best] >= 3 * used.get(order[0], 0) and used[best] >= 10
                and simp.get(order[0], 0) < 10 * max(simp.get(best, 0), 1)):
            order.remove(best)
            order.insert(0, best)


def utf16_key(s):
    # candidate words hold only code page 936 characters, all in the BMP, where code point
    # order is UTF-16 order and plain sorting suffices; the word lists sort by this key
    return s.encode("utf-16-be")


def zn_order(words, freq, real, order):
    """Line order of zn.lxd. The tool applies the last line first, so a line placed later
    wins where words overlap. `real` holds the dictionary words (jieba, pinyin_simp), as
    against pinyin-database's input fragments."""
    if order == "words-last":     # dictionary words first in effect, each group longest first
        key = lambda w: (w in real, len(w), freq(w), w)
    elif order == "long-words-last":
        key = lambda w: (len(w), w in real, freq(w), w)
    elif order == "long-last":      # longest words first in effect, then frequent ones
        key = lambda w: (len(w), freq(w), utf16_key(w))
    elif order == "long-first":
        key = lambda w: (-len(w), freq(w), utf16_key(w))
    elif order == "freq-last":
        key = lambda w: (freq(w), len(w), utf16_key(w))
    elif order == "freq-first":
        key = lambda w: (-freq(w), len(w), utf16_key(w))
    else:
        raise SystemExit(f"unknown order {order}")
    return sorted(words, key=key)


def annotated(word, syllables):
    return "".join(c + p for c, p in zip(word, syllables))


def write_lines(path, lines):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for line in lines:
            f.write(line + "\n")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--unihan", required=True)
    ap.add_argument("--pinyin-simp", required=True)
    ap.add_argument("--pinyin-db", required=True)
    ap.add_argument("--jieba", required=True)
    ap.add_argument("--charset", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--eval-out", help="where eval-annotated.txt goes (default: --out)")
    ap.add_argument("--dz-usage", default="types", choices=["none", "types", "freq"],
                    help="let the readings used in dictionary words correct a weak ranking")
    ap.add_argument("--zn-order", default="long-last")
    ap.add_argument("--zn-blockers", type=int, default=1,
                    help="rounds of adding the words that the table would annotate wrongly")
    args = ap.parse_args()

    charset = load_charset(args.charset)
    rule = Rule(charset)
    simp_chars, simp_words = read_pinyin_simp(args.pinyin_simp)
    valid = {p for r in simp_chars.values() for p in r}
    valid |= {p for syl, _ in simp_words.values() for p in syl}
    unihan = read_unihan(args.unihan)
    db_phrases, db_chars = read_pinyin_db(args.pinyin_db, valid)
    jieba = read_jieba(args.jieba)

    readings = rank_readings(charset, simp_chars, unihan, db_chars)

    # Candidate words: every word of two or more ideographs that has a reading per character.
    # pinyin_simp's reading wins over pinyin-database's.
    refs, source = {}, {}
    for word, (syl, _, _) in db_phrases.items():
        refs[word], source[word] = syl, "db"
    for word, (syl, _) in simp_words.items():
        refs[word], source[word] = syl, "simp"
    known = set(readings).issuperset
    refs = {w: s for w, s in refs.items() if known(w)}

    def freq(w):
        db = db_phrases.get(w)
        simp = simp_words.get(w)
        return max(jieba.get(w, 0), db[1] if db else 0, simp[1] if simp else 0)

    real = {w for w in refs if w in jieba or source[w] == "simp"}

    rng = random.Random(HELD_OUT_SEED)
    ordered = sorted(refs)
    held_out = {w for w in ordered if rng.random() < HELD_OUT_SHARE}
    training = [w for w in ordered if w not in held_out]

    if args.dz_usage != "none":
        prefer_word_usage(readings, simp_chars, [w for w in training if w in real], refs,
                          (lambda w: jieba.get(w, 1)) if args.dz_usage == "freq" else (lambda w: 1))
    gbk_order = sorted(readings, key=lambda c: charset[c])
    dz_lxd = [c + p for c in gbk_order for p in readings[c]]
    dz_txt = [c + readings[c][0] for c in gbk_order]
    dictionary = {c: c + readings[c][0] for c in gbk_order}

    # zn.lxd: the training words that the character dictionary alone gets wrong ...
    # (for a bare word of known characters the dictionary alone gives each first reading)
    first = {c: r[0] for c, r in readings.items()}.__getitem__
    wrong = [w for w in training if refs[w] != tuple(map(first, w))]
    zn_words = set(wrong)
    for _ in range(args.zn_blockers):
        # ... and the training words that those entries would then annotate wrongly
        # (开会计划 is read by 会计 kuai ji unless 开会 comes first).
        table = WordTable(rule, [annotated(w, refs[w]) for w in zn_order(zn_words, freq, real, args.zn_order)])
        blockers = {w for w in training if w not in zn_words and table.touches(w)
                    and annotate(rule, w, table, dictionary) != annotated(w, refs[w])}
        if not blockers:
            break
        zn_words |= blockers
    zn = [annotated(w, refs[w]) for w in zn_order(zn_words, freq, real, args.zn_order)]

    # lw.txt: the correctly annotated real words: pinyin_simp's words and the
    # pinyin-database phrases that jieba lists as words, most frequent first.
    lw_words = [w for w in training if w in real]
    lw = [annotated(w, refs[w]) for w in sorted(lw_words, key=lambda w: (-freq(w), w))]

    # ciku.lxd: jieba's and pinyin_simp's words made only of double-byte characters (the
    # segmenter never matches anything else), sorted by UTF-16 code units, unique.
    in_charset = set(charset).issuperset
    ciku = {w for w in list(jieba) + list(simp_words) if w and in_charset(w)}
    ciku = sorted(ciku, key=utf16_key)

    held = sorted(held_out)
    os.makedirs(args.out, exist_ok=True)
    write_lines(os.path.join(args.out, "dz.lxd"), dz_lxd)
    write_lines(os.path.join(args.out, "dz.txt"), dz_txt)
    write_lines(os.path.join(args.out, "zn.lxd"), zn)
    write_lines(os.path.join(args.out, "lw.txt"), lw)
    write_lines(os.path.join(args.out, "ciku.lxd"), ciku)
    write_lines(args.eval_out or os.path.join(args.out, "eval-annotated.txt"),
                [annotated(w, refs[w]) + "\t" + source[w] + ("\tjieba" if w in jieba else "")
                 for w in held])
    print(f"build_data: {len(dz_txt)} characters, {len(dz_lxd)} readings; "
          f"{len(refs)} candidate words, {len(held)} held out; zn.lxd {len(zn)} lines "
          f"({len(wrong)} differing, {len(zn) - len(wrong)} blockers, order {args.zn_order}); "
          f"lw.txt {len(lw)}; ciku.lxd {len(ciku)}")


if __name__ == "__main__":
    main()
