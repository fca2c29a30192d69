#!/usr/bin/python3
"""Builds the text data files of the suite as UTF-8 with LF; encode936 then writes the
shipped code page 936 copies. Sources (all read from the Debian packages at build time):

  Unihan_Readings.txt.bz2  (unicode-data)          readings of every ideograph
  pinyin_simp.dict.yaml    (rime-data-pinyin-simp)  weighted character readings, words
  main.db                  (pinyin-database)        phrases with their readings and counts
  dict.txt                 (python3-jieba)          word list with counts
  luna_pinyin.dict.yaml    (rime-data-luna-pinyin)  traditional-character words, readings
  terra_pinyin.dict.yaml   (rime-data-terra-pinyin) the same with tones
  opencc                   (opencc)                 turns the Rime words into simplified ones

--out DIR writes the shipped files, built from every candidate word: dz.lxd, dz.txt, zn.lxd,
lw.txt, ciku.lxd. --hold-out DIR writes the same tables built without a fixed random tenth of
the candidates, and eval-annotated.txt, that tenth: one reference annotation per line, then
TAB-separated tags naming where its reading came from (simp, db) and whether jieba lists it.
--folds K scores K-fold cross-validation of the word tables and prints the scores."""

import argparse
import bz2
import collections
import os
import random
import re
import sqlite3
import subprocess
import sys
import time
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from annotate_rule import Rule, WordTable, annotate, load_charset  # noqa: E402

HELD_OUT_SEED = 20260603
HELD_OUT_SHARE = 0.1
FOLD_SEED = 20260607

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
    words = {}   # word -> {syllables: weight}, every reading the dictionary lists
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
            text, pinyin = parts[0], tuple(parts[1].split())
            weight = int(parts[2]) if len(parts) > 2 and parts[2].isdigit() else 0
            if len(pinyin) != len(text):
                continue
            slot = chars.setdefault(text, {}) if len(text) == 1 else words.setdefault(text, {})
            key = pinyin[0] if len(text) == 1 else pinyin
            slot[key] = max(slot.get(key, -1), weight)
    return chars, words


def read_rime_words(path, tones):
    """The words of two or more characters of a Rime dictionary: word -> set of readings.
    Readings weighted 0% are the dictionary's own way of saying "not used here"."""
    words = {}
    body = False
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not body:
                body = line == "..."
                continue
            parts = line.split("\t")
            if len(parts) < 2 or len(parts[0]) < 2 or line.startswith("#"):
                continue
            if len(parts) > 2 and parts[2].strip().rstrip("%") in ("0", "0.0"):
                continue
            pinyin = parts[1].split()
            if tones:
                pinyin = [p.rstrip("12345") for p in pinyin]
            pinyin = tuple(re.sub(r"^([ln])ve$", r"\1ue", p) for p in pinyin)
            if len(pinyin) == len(parts[0]):
                words.setdefault(parts[0], set()).add(pinyin)
    return words


def simplified(opencc, words):
    """Rime's traditional-character words in simplified characters (opencc t2s), merged;
    words whose length the conversion changes are dropped."""
    texts = sorted(words)
    run = subprocess.run([opencc, "-c", "t2s.json"], input="\n".join(texts) + "\n",
                         capture_output=True, text=True, encoding="utf-8", check=True)
    converted = run.stdout.split("\n")
    if len(converted) < len(texts):
        raise SystemExit(f"build_data: opencc returned {len(converted)} of {len(texts)} lines")
    result = {}
    for text, simple in zip(texts, converted):
        if len(simple) == len(text):
            result.setdefault(simple, set()).update(words[text])
    return result


def read_unihan(path):
    """char -> readings in Unihan's order of preference: kHanyuPinlu by falling count, then
    kMandarin, kXHC1983, kTGHZ2013, kHanyuPinyin; and char -> {reading: count} of
    kHanyuPinlu, the readings counted in running text."""
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
    result, counts = {}, {}
    for ch, kv in fields.items():
        order = []
        pinlu = re.findall(r"([^\s(]+)\((\d+)\)", kv.get("kHanyuPinlu", ""))
        order += [p for p, _ in sorted(pinlu, key=lambda pc: -int(pc[1]))]
        for p, n in pinlu:
            t = toneless(p)
            if t:
                slot = counts.setdefault(ch, {})
                slot[t] = slot.get(t, 0) + int(n)
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
    return result, counts


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
    """phrase -> {syllables: count} over all its readings; single characters go into a
    second map char -> {reading: count}."""
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
            slot = chars.setdefault(phrase, {}) if n == 0 else phrases.setdefault(phrase, {})
            key = syl[0] if n == 0 else syl
            slot[key] = slot.get(key, 0) + (row[1] or 0)
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


def share(weights):
    total = sum(weights.values())
    if total <= 0:
        return {r: 1 / len(weights) for r in weights}
    return {r: w / total for r, w in weights.items()}


def char_share(counts, ch, reading):
    slot = counts.get(ch)
    total = sum(slot.values()) if slot else 0
    return slot.get(reading, 0) / total if total else None


def running_text_factor(word, syllables, simp_chars, pinlu):
    """How much more often running text uses these readings of the word's characters
    (kHanyuPinlu) than pinyin_simp's character weights say. pinyin_simp weighs what people
    type (模 mo 1689, mu 22), running text counts what they say (模 mó 298, mú 64)."""
    factor = 1.0
    for ch, p in zip(word, syllables):
        spoken, typed = char_share(pinlu, ch, p), char_share(simp_chars, ch, p)
        if spoken is not None and typed is not None:
            factor *= (spoken + 0.01) / (typed + 0.01)
    return factor


def choose_readings(words, simp_words, simp_chars, db_phrases, rime, pinlu, readings, valid):
    """word -> its reference reading. pinyin_simp and pinyin-database each give every reading
    they list a share (pinyin_simp's weights corrected towards running text where it lists
    several); the highest sum wins. Ties, which pinyin-database has wherever it lists several
    readings, go to the readings the Rime dictionaries list, then to the characters' more
    common readings."""
    rank = {c: {p: i for i, p in enumerate(r)} for c, r in readings.items()}
    usable = lambda weights: {r: v for r, v in weights.items() if valid(r)}
    refs = {}
    for w in words:
        db = db_phrases.get(w, {})
        if len(db) == 1 and w not in simp_words:
            # most phrases: one source, one reading (pinyin-database's syllables are all valid)
            refs[w] = next(iter(db))
            continue
        score = collections.defaultdict(float)
        simp = usable(simp_words.get(w, {}))
        if len(simp) > 1:
            simp = {r: max(v, 1) * running_text_factor(w, r, simp_chars, pinlu)
                    for r, v in simp.items()}
        for weights in (simp, db):
            if weights:
                for r, s in share(weights).items():
                    score[r] += s
        if not score:
            continue
        listed = collections.defaultdict(float)
        for words_of in rime:
            found = [r for r in words_of.get(w, ()) if valid(r)]
            for r in found:
                listed[r] += 1 / len(found)
        refs[w] = max(score, key=lambda r: (round(score[r], 9), round(listed[r], 9),
                                             -sum(rank[c].get(p, 99) for c, p in zip(w, r)), r))
    return refs


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
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for line in lines:
            f.write(line + "\n")


class Sources:
    """Everything read from the Debian packages, and the candidate words with their
    reference readings."""

    def __init__(self, args):
        self.charset = load_charset(args.charset)
        self.rule = Rule(self.charset)
        self.simp_chars, self.simp_words = read_pinyin_simp(args.pinyin_simp)
        self.valid = {p for r in self.simp_chars.values() for p in r}
        self.valid |= {p for readings in self.simp_words.values() for r in readings for p in r}
        self.unihan, self.pinlu = read_unihan(args.unihan)
        self.db_phrases, self.db_chars = read_pinyin_db(args.pinyin_db, self.valid)
        self.jieba = read_jieba(args.jieba)
        rime = [simplified(args.opencc, read_rime_words(args.luna, tones=False)),
                simplified(args.opencc, read_rime_words(args.terra, tones=True))]

        self.readings = rank_readings(self.charset, self.simp_chars, self.unihan, self.db_chars)
        # Candidate words: every word of two or more ideographs with a reading per character.
        known = set(self.readings).issuperset
        words = [w for w in set(self.simp_words) | set(self.db_phrases) if known(w)]
        valid = self.valid.issuperset
        self.refs = choose_readings(words, self.simp_words, self.simp_chars, self.db_phrases,
                                    rime, self.pinlu, self.readings, valid)
        self.source = {w: "simp" if w in self.simp_words else "db" for w in self.refs}
        self.real = {w for w in self.refs if w in self.jieba or w in self.simp_words}
        self.rime_words = sum(len(r) for r in rime)

    def freq(self, w):
        db = self.db_phrases.get(w)
        simp = self.simp_words.get(w)
        return max(self.jieba.get(w, 0), sum(db.values()) if db else 0,
                   max(simp.values()) if simp else 0)


class Tables:
    """dz (readings per character, most common first), zn.lxd and lw.txt built from a set of
    candidate words."""

    def __init__(self, src, words, args):
        self.readings = {c: list(r) for c, r in src.readings.items()}
        refs, real = src.refs, src.real
        if args.dz_usage != "none":
            weight = (lambda w: src.jieba.get(w, 1)) if args.dz_usage == "freq" else (lambda w: 1)
            prefer_word_usage(self.readings, src.simp_chars, [w for w in words if w in real],
                              refs, weight)
        self.dictionary = {c: c + r[0] for c, r in self.readings.items()}

        # zn.lxd: the words that the character dictionary alone gets wrong ...
        # (for a bare word of known characters the dictionary alone gives each first reading)
        first = {c: r[0] for c, r in self.readings.items()}.__getitem__
        wrong = [w for w in words if refs[w] != tuple(map(first, w))]
        zn_words = set(wrong)
        order = lambda ws: zn_order(ws, src.freq, real, args.zn_order)
        for _ in range(args.zn_blockers):
            # ... and the words that those entries would then annotate wrongly (开会计划 is
            # read by 会计 kuai ji unless 开会 comes first).
            table = WordTable(src.rule, [annotated(w, refs[w]) for w in order(zn_words)])
            blockers = {w for w in words if w not in zn_words and table.touches(w)
                        and annotate(src.rule, w, table, self.dictionary) != annotated(w, refs[w])}
            if not blockers:
                break
            zn_words |= blockers
        self.zn = [annotated(w, refs[w]) for w in order(zn_words)]
        self.differing = len(wrong)

        # lw.txt: the correctly annotated real words: pinyin_simp's words and the
        # pinyin-database phrases that jieba lists as words, most frequent first.
        lw_words = [w for w in words if w in real]
        self.lw = [annotated(w, refs[w]) for w in sorted(lw_words, key=lambda w: (-src.freq(w), w))]

    def gbk_order(self, charset):
        return sorted(self.readings, key=lambda c: charset[c])

    def right(self, src, words):
        """(right with the character dictionary alone, right with zn.lxd too) over words."""
        table = WordTable(src.rule, self.zn)
        alone = with_table = 0
        for w in words:
            reference = annotated(w, src.refs[w])
            alone += annotate(src.rule, w, None, self.dictionary) == reference
            with_table += annotate(src.rule, w, table, self.dictionary) == reference
        return alone, with_table


def percent(right, total):
    return f"{100.0 * right / total:.2f}% ({right}/{total})"


def write_tables(src, tables, out):
    order = tables.gbk_order(src.charset)
    write_lines(os.path.join(out, "dz.lxd"), [c + p for c in order for p in tables.readings[c]])
    write_lines(os.path.join(out, "dz.txt"), [tables.dictionary[c] for c in order])
    write_lines(os.path.join(out, "zn.lxd"), tables.zn)
    write_lines(os.path.join(out, "lw.txt"), tables.lw)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--unihan", required=True)
    ap.add_argument("--pinyin-simp", required=True)
    ap.add_argument("--pinyin-db", required=True)
    ap.add_argument("--jieba", required=True)
    ap.add_argument("--luna", required=True)
    ap.add_argument("--terra", required=True)
    ap.add_argument("--opencc", default="opencc")
    ap.add_argument("--charset", required=True)
    ap.add_argument("--out", help="folder of the shipped files, built from every candidate word")
    ap.add_argument("--hold-out", help="folder of the tables built without the held-out tenth, "
                                       "and of eval-annotated.txt, that tenth")
    ap.add_argument("--folds", type=int, default=0, help="score K-fold cross-validation")
    ap.add_argument("--dz-usage", default="types", choices=["none", "types", "freq"],
                    help="let the readings used in dictionary words correct a weak ranking")
    ap.add_argument("--zn-order", default="long-last")
    ap.add_argument("--zn-blockers", type=int, default=1,
                    help="rounds of adding the words that the table would annotate wrongly")
    args = ap.parse_args()

    started = time.monotonic()
    src = Sources(args)
    ordered = sorted(src.refs)
    print(f"build_data: {len(ordered)} candidate words ({src.rime_words} Rime words for ties), "
          f"read in {time.monotonic() - started:.1f} s")

    if args.out:
        tables = Tables(src, ordered, args)
        write_tables(src, tables, args.out)
        # ciku.lxd: jieba's and pinyin_simp's words made only of double-byte characters (the
        # segmenter never matches anything else), sorted by UTF-16 code units, unique.
        in_charset = set(src.charset).issuperset
        ciku = {w for w in list(src.jieba) + list(src.simp_words) if w and in_charset(w)}
        write_lines(os.path.join(args.out, "ciku.lxd"), sorted(ciku, key=utf16_key))
        print(f"build_data: {len(tables.readings)} characters; zn.lxd {len(tables.zn)} lines "
              f"({tables.differing} differing, {len(tables.zn) - tables.differing} blockers, "
              f"order {args.zn_order}); lw.txt {len(tables.lw)}; ciku.lxd {len(ciku)}")

    if args.hold_out:
        rng = random.Random(HELD_OUT_SEED)
        held = [w for w in ordered if rng.random() < HELD_OUT_SHARE]
        held_set = set(held)
        tables = Tables(src, [w for w in ordered if w not in held_set], args)
        write_tables(src, tables, args.hold_out)
        write_lines(os.path.join(args.hold_out, "eval-annotated.txt"),
                    [annotated(w, src.refs[w]) + "\t" + src.source[w]
                     + ("\tjieba" if w in src.jieba else "") for w in held])
        alone, with_table = tables.right(src, held)
        print(f"held out: {len(held)} words; dz.txt alone {percent(alone, len(held))}, "
              f"dz.txt + zn.lxd ({len(tables.zn)} lines) {percent(with_table, len(held))}")

    if args.folds > 1:
        rng = random.Random(FOLD_SEED)
        fold_of = {w: rng.randrange(args.folds) for w in ordered}
        total_alone = total_table = 0
        for k in range(args.folds):
            test = [w for w in ordered if fold_of[w] == k]
            tables = Tables(src, [w for w in ordered if fold_of[w] != k], args)
            alone, with_table = tables.right(src, test)
            total_alone += alone
            total_table += with_table
            print(f"fold {k + 1}/{args.folds}: {len(test)} words; dz.txt alone "
                  f"{percent(alone, len(test))}, dz.txt + zn.lxd {percent(with_table, len(test))}",
                  flush=True)
        print(f"{args.folds}-fold: dz.txt alone {percent(total_alone, len(ordered))}, "
              f"dz.txt + zn.lxd {percent(total_table, len(ordered))}")
    print(f"build_data: {time.monotonic() - started:.1f} s")


if __name__ == "__main__":
    main()
