#!/usr/bin/python3
"""Builds the text data files of the suite as UTF-8 with LF; encode936 then writes the
shipped code page 936 copies. Sources (all read from the Debian packages at build time):

  Unihan_Readings.txt.bz2  (unicode-data)          readings of every ideograph
  pinyin_simp.dict.yaml    (rime-data-pinyin-simp)  weighted character readings, words
  main.db                  (pinyin-database)        phrases with their readings and counts
  dict.txt                 (python3-jieba)          word list with counts
  luna_pinyin.dict.yaml    (rime-data-luna-pinyin)  traditional-character words, readings
  terra_pinyin.dict.yaml   (rime-data-terra-pinyin) the same with tones
  *.bin                    (libpinyin-data)         libpinyin's phrase tables
  opencc                   (opencc)                 turns the Rime words into simplified ones

The reference reading of every candidate word comes from a vote of the word lists, each
weighed by how often it agrees with the others (vote_readings).

--out DIR writes the shipped files, built from every candidate word: dz.lxd, dz.txt, zn.lxd,
lw.txt, ciku.lxd. --hold-out DIR writes the same tables built without a fixed random tenth of
the candidates, and eval-annotated.txt, that tenth: one reference annotation per line, then
TAB-separated tags naming where its reading came from (simp, db) and whether jieba lists it.
--folds K scores K-fold cross-validation of the word tables and prints the scores."""

import argparse
import bz2
import collections
import math
import os
import random
import re
import sqlite3
import struct
import subprocess
import sys
import time
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from annotate_rule import Rule, WordTable, annotate, load_charset  # noqa: E402

HELD_OUT_SEED = 20260603
HELD_OUT_SHARE = 0.1
FOLD_SEED = 20260607
# What makes a reading of a character one that annotation must choose between (dy.txt).
POLYPHONE_WORDS = 2
POLYPHONE_SHARE = 0.05
# The longest piece of a word that becomes an entry of its own.
DERIVED_LENGTH = 3
# How many more words a dictionary word must spoil than fix before it leaves the word table.
REAL_WORD_WORTH = 4
# The longest dictionary word that votes for the characters of the words holding it.
PIECE_LENGTH = 4

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


# libpinyin's syllables: a ChewingKey is 16 bits, initial (5), middle (2), final (5), tone (3);
# the ids are those of libpinyin's chewing_enum.h. A syllable is written initial + middle +
# final, then spelt as pinyin spells it (yi, wu, yu; -iu, -ui, -un).
LP_INITIALS = ["", "b", "c", "ch", "d", "f", "h", "g", "k", "j", "m", "n", "l", "r", "p", "q",
               "s", "sh", "t", "w", "x", "y", "z", "zh"]
LP_MIDDLES = ["", "i", "u", "v"]
LP_FINALS = ["", "a", "ai", "an", "ang", "ao", "e", None, "ei", "en", "eng", "er", "ng", "o",
             "ong", "ou", "in", "ing"]


def libpinyin_syllable(key):
    initial, middle, final = key & 31, (key >> 5) & 3, (key >> 7) & 31
    if initial >= len(LP_INITIALS) or final >= len(LP_FINALS) or LP_FINALS[final] is None:
        return None
    ini, mid, fin = LP_INITIALS[initial], LP_MIDDLES[middle], LP_FINALS[final]
    if (ini, mid) in (("y", "i"), ("w", "u")) and fin:
        mid = ""                                    # ya, yan, wa, wo (not yia, wuo)
    if ini in ("j", "q", "x", "y") and mid == "v":
        mid = "u"                                   # ju, xuan, yue
    s = ini + mid + fin
    if ini and ini not in ("y", "w"):
        s = re.sub(r"iou$", "iu", s)
        s = re.sub(r"uei$", "ui", s)
        s = re.sub(r"uen$", "un", s)
    s = re.sub(r"^([jqxy])uen$", r"\1un", s)
    s = re.sub(r"^([ln])ve$", r"\1ue", s)
    return "weng" if s == "wong" else s


def read_libpinyin(folder, valid):
    """The phrases of libpinyin's system dictionaries (its compiled phrase tables, read as
    libpinyin writes them): phrase -> {syllables: count}. A table file is a length and a
    checksum, then the total frequency, three offsets, the index (an offset per phrase) and the
    phrases: length, number of readings, frequency, the characters (UCS-4), then per reading
    one key per character and the reading's count."""
    phrases = {}
    names = ["gb_char.bin", "gbk_char.bin", "merged.bin"]
    names += sorted(n for n in os.listdir(folder) if n.endswith(".bin") and n not in names
                    and n not in ("phrase_index.bin", "pinyin_index.bin", "opengram.bin",
                                  "addon_phrase_index.bin", "addon_pinyin_index.bin"))
    for name in names:
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        length, _ = struct.unpack_from("<II", data, 0)
        if length != len(data) - 8:
            raise SystemExit(f"build_data: {name} is not a libpinyin phrase table")
        body = memoryview(data)[8:]
        _, index_begin, content_begin, content_end = struct.unpack_from("<IIII", body, 0)
        index = body[index_begin:content_begin - 1].cast("I")
        content = body[content_begin:content_end - 1]
        for offset in index:
            if not offset:
                continue
            n, readings, _ = struct.unpack_from("<BBI", content, offset)
            phrase = "".join(map(chr, struct.unpack_from(f"<{n}I", content, offset + 6)))
            at = offset + 6 + 4 * n
            for _ in range(readings):
                keys = struct.unpack_from(f"<{n}H", content, at)
                (count,) = struct.unpack_from("<I", content, at + 2 * n)
                at += 2 * n + 4
                syl = tuple(libpinyin_syllable(k) for k in keys)
                if n > 1 and all(p in valid for p in syl):
                    slot = phrases.setdefault(phrase, {})
                    slot[syl] = slot.get(syl, 0) + count
    return phrases


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


def vote_readings(words, voters, readings, rounds=2, log=print):
    """word -> its reference reading by a weighted vote. Each voter gives the readings it lists
    for a word their shares (`voters`: (name, word -> {reading: weight}), readings already
    checked); a voter's weight is the log-odds of how often it agrees with the others: over the
    words it shares with at least one other voter, the share it gives to the reading that the
    others, weighted as they are at that point, put first. Ties go to the characters' more
    common readings, then to the reading itself."""
    rank = {c: {p: i for i, p in enumerate(r)} for c, r in readings.items()}
    shares = [{w: share(table[w]) for w in words if table.get(w)} for _, table in voters]
    listings = {}
    for k, table in enumerate(shares):
        for w in table:
            listings.setdefault(w, []).append(k)

    def best(w, score):
        top = max(score.values())
        tied = [r for r, v in score.items() if v >= top - 1e-9]
        if len(tied) == 1:
            return tied[0]
        return max(tied, key=lambda r: (-sum(rank[c].get(p, 99) for c, p in zip(w, r)), r))

    def vote(w, listing, weight):
        score = collections.defaultdict(float)
        for k in listing:
            for r, v in shares[k][w].items():
                score[r] += weight[k] * v
        return best(w, score)

    weight = [1.0] * len(voters)
    shared_words = [(w, ks) for w, ks in listings.items() if len(ks) > 1]
    for _ in range(rounds):
        agree = [0.0] * len(voters)
        shared = [0] * len(voters)
        for w, listing in shared_words:
            for k in listing:
                others = [j for j in listing if j != k]
                agree[k] += shares[k][w].get(vote(w, others, weight), 0.0)
                shared[k] += 1
        rate = [min(max(a / n if n else 0.5, 0.501), 0.999999) for a, n in zip(agree, shared)]
        weight = [math.log(r / (1 - r)) for r in rate]
    log("vote: " + ", ".join(f"{name} agrees {100 * r:.2f}% on {n} words, weight {wt:.2f}"
                             for (name, _), r, n, wt in zip(voters, rate, shared, weight)))
    refs = {}
    for w, listing in listings.items():
        if len(listing) == 1 and len(shares[listing[0]][w]) == 1:
            refs[w] = next(iter(shares[listing[0]][w]))
        else:
            refs[w] = vote(w, listing, weight)
    return refs


def piece_readings(refs, dictionary, longest, words_of_their_own):
    """phrase -> {reading: 1}: for the phrases that no dictionary lists as a word, the reading
    with every character that a dictionary word inside it covers read as in that word, the
    longest such word first (杀不了 takes the liao of 不了). A dictionary word keeps its own
    reading (车行道 is not read through 车行 che hang); phrases that no word inside them covers
    get no reading."""
    pieces = {d for d in dictionary if 1 < len(d) <= longest and d in refs}
    result = {}
    for w, r in refs.items():
        if w in words_of_their_own:
            continue
        reading = list(r)
        covered = [False] * len(w)
        for n in range(min(longest, len(w) - 1), 1, -1):
            for i in range(len(w) - n + 1):
                d = w[i:i + n]
                if d in pieces and not any(covered[i:i + n]):
                    reading[i:i + n] = refs[d]
                    covered[i:i + n] = [True] * n
        if any(covered):
            result[w] = {tuple(reading): 1}
    return result


def utf16_key(s):
    # candidate words hold only code page 936 characters, all in the BMP, where code point
    # order is UTF-16 order and plain sorting suffices; the word lists sort by this key
    return s.encode("utf-16-be")


def zn_order(words, freq, real, order, late=()):
    """Line order of zn.lxd. The tool applies the last line first, so a line placed later
    wins where words overlap. `real` holds the dictionary words (jieba, pinyin_simp), as
    against pinyin-database's input fragments."""
    if order == "words-last":     # dictionary words first in effect, each group longest first
        key = lambda w: (w in real, len(w), freq(w), w)
    elif order == "long-words-last":
        key = lambda w: (len(w), w in real, freq(w), w)
    elif order == "long-last":      # longest words first in effect, then frequent ones
        key = lambda w: (len(w), w in late, freq(w), utf16_key(w))
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
        self.libpinyin = read_libpinyin(args.libpinyin, self.valid)

        self.readings = rank_readings(self.charset, self.simp_chars, self.unihan, self.db_chars)
        # Candidate words: every word of two or more ideographs with a reading per character.
        known = set(self.readings).issuperset
        words = [w for w in set(self.simp_words) | set(self.db_phrases) if known(w)]
        # The voters, each with the readings it lists that are made of valid syllables and of
        # readings its characters are known to have (libpinyin holds phrases whose keys
        # belong to other characters: 大明法度 da jing fa du).
        attested = {c: set(r) for c, r in self.readings.items()}

        def checked(table):
            out = {}
            for w in words:
                weights = table.get(w)
                if weights:
                    weights = {r: v for r, v in weights.items()
                               if all(p in attested[c] for c, p in zip(w, r))}
                    if weights:
                        out[w] = weights
            return out

        simp = {}
        for w, weights in self.simp_words.items():
            weights = {r: v for r, v in weights.items() if self.valid.issuperset(r)}
            if len(weights) > 1:
                weights = {r: max(v, 1) * running_text_factor(w, r, self.simp_chars, self.pinlu)
                           for r, v in weights.items()}
            simp[w] = weights
        # One voter for both Rime dictionaries: terra is luna with tones, and two voters of one
        # lineage would each count the other's agreement as their own.
        rime_words = {}
        for table in rime:
            for w, rs in table.items():
                slot = rime_words.setdefault(w, {})
                for r in rs:
                    slot[r] = slot.get(r, 0) + 1 / len(rs)
        voters = [("pinyin_simp", checked(simp)), ("pinyin-database", checked(self.db_phrases)),
                  ("libpinyin", checked(self.libpinyin)), ("rime", checked(rime_words))]
        refs = vote_readings(words, voters, self.readings)
        # Then the dictionary words inside each word vote too, and the votes are weighed again:
        # a phrase that only pinyin-database lists (杀不了 sha bu le) is read as the words in it.
        dictionary = set(self.simp_words) | set(self.jieba) | set(self.libpinyin)
        dictionary |= set(rime_words)
        real = set(self.simp_words) | set(self.jieba)
        voters.append(("words inside", piece_readings(refs, dictionary, PIECE_LENGTH, real)))
        self.refs = vote_readings(words, voters, self.readings)
        self.candidates = sorted(self.refs)
        self.source = {w: "simp" if w in self.simp_words else "db" for w in self.refs}
        self.real = {w for w in self.refs if w in self.jieba or w in self.simp_words}
        self.rime_words = len(rime_words)

    def freq(self, w):
        db = self.db_phrases.get(w)
        simp = self.simp_words.get(w)
        return max(self.jieba.get(w, 0), sum(db.values()) if db else 0,
                   max(simp.values()) if simp else 0)


def derive_words(words, refs, first, least, purity, longest):
    """The pieces of words (two to `longest` characters, none a candidate word itself) that
    read otherwise than their characters' first readings in at least `least` words, and so in
    at least `purity` of the words that hold them: 成长 cheng zhang, learnt from 快乐成长,
    一同成长 and the like even where 成长 itself is not among the words."""
    pieces = set()
    known = set(words)
    for w in words:
        r = refs[w]
        marks = [k for k, c in enumerate(w) if r[k] != first(c)]
        for k in marks:
            for n in range(2, longest + 1):
                for i in range(max(0, k - n + 1), min(k, len(w) - n) + 1):
                    piece = w[i:i + n]
                    if n < len(w) and piece not in known:
                        pieces.add(piece)
    seen = collections.defaultdict(collections.Counter)
    for w in words:
        r = refs[w]
        for n in range(2, min(longest, len(w) - 1) + 1):
            for i in range(len(w) - n + 1):
                piece = w[i:i + n]
                if piece in pieces:
                    seen[piece][r[i:i + n]] += 1
    derived = {}
    for piece, readings in seen.items():
        best, count = readings.most_common(1)[0]
        if (count >= least and count >= purity * sum(readings.values())
                and best != tuple(map(first, piece))):
            derived[piece] = best
    return derived


def split_annotation(rule, text):
    """The letters behind each double-byte character of an annotated word."""
    out = []
    for c in text:
        if c in rule.double:
            out.append("")
        elif out:
            out[-1] += c
    return out


def harmful_entries(rule, words, refs, entries, first, dictionary, real):
    """The entries that give a character a reading other than its first in more of the words
    that hold them wrongly than rightly, counted on the words as annotated. A dictionary word
    (`real`) must spoil REAL_WORD_WORTH times as many: 藏文 zang wen is worth more than
    收藏文物 and 珍藏文物."""
    table = WordTable(rule, [annotated(w, refs[w]) for w in entries])
    good = collections.Counter()
    bad = collections.Counter()
    for w in words:
        if not table.touches(w):
            continue
        got = split_annotation(rule, annotate(rule, w, table, dictionary))
        ref = refs[w]
        blamed = set()
        for i in range(len(w)):
            for j in range(i + 2, min(len(w), i + table.longest) + 1):
                e = w[i:j]
                if e not in table.priority:
                    continue
                er = refs[e]
                for k in range(i, j):
                    if er[k - i] != first(w[k]) and got[k] == er[k - i]:
                        blamed.add((e, got[k] == ref[k]))
        for e, right in blamed:
            (good if right else bad)[e] += 1
    return {e for e, n in bad.items() if n > good[e] * (REAL_WORD_WORTH if e in real else 1)}


def blocking_pieces(rule, words, refs, entries, zn_words, dictionary, purity):
    """Pieces of two or three characters, read the same way in at least two words and in
    `purity` of those that hold them, that cover a character the table reads wrongly in some
    word: applied before the entries of their length, they keep those entries out (全面 before
    面的 mian di in 全面的)."""
    table = WordTable(rule, [annotated(w, refs[w]) for w in entries])
    wanted = set()
    for w in words:
        if w in zn_words or not table.touches(w):
            continue
        got = split_annotation(rule, annotate(rule, w, table, dictionary))
        ref = refs[w]
        for k in range(len(w)):
            if got[k] == ref[k]:
                continue
            for n in (2, 3):
                for i in range(max(0, k - n + 1), min(k, len(w) - n) + 1):
                    piece = w[i:i + n]
                    if piece != w and piece not in zn_words:
                        wanted.add(piece)
    seen = collections.defaultdict(collections.Counter)
    for w in words:
        r = refs[w]
        for n in (2, 3):
            for i in range(len(w) - n + 1):
                piece = w[i:i + n]
                if piece in wanted:
                    seen[piece][r[i:i + n]] += 1
    pieces = {}
    for piece, readings in seen.items():
        best, count = readings.most_common(1)[0]
        if count >= 2 and count >= purity * sum(readings.values()):
            pieces[piece] = best
    return pieces


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
        # ... the pieces that read otherwise in several words (成长 from 快乐成长, 一同成长),
        refs = dict(refs)
        derived = derive_words(words, refs, first, args.derive_min, args.derive_purity,
                               DERIVED_LENGTH)
        refs.update(derived)
        zn_words |= set(derived)
        late = set()
        order = lambda ws: zn_order(ws, src.freq, real, args.zn_order, late)
        for _ in range(args.prune):
            # ... without the entries that would read more words wrong than right (的长 de
            # zhang, a phrase of pinyin-database, in 很长的) ...
            spoils = harmful_entries(src.rule, words, refs, order(zn_words), first,
                                     self.dictionary, real)
            if not spoils:
                break
            zn_words -= spoils
        self.pruned = len(set(wrong) | set(derived)) - len(zn_words)
        # ... with the pieces that keep the entries out of the words they would spoil, applied
        # before the other entries of their length (全面 before 面的 mian di in 全面的) ...
        pieces = blocking_pieces(src.rule, words, refs, order(zn_words), zn_words,
                                 self.dictionary, args.derive_purity)
        refs.update(pieces)
        late.update(pieces)
        zn_words |= late
        for _ in range(args.zn_blockers):
            # ... and the words that those entries would then annotate wrongly (开会计划 is
            # read by 会计 kuai ji unless 开会 comes first).
            table = WordTable(src.rule, [annotated(w, refs[w]) for w in order(zn_words)])
            blockers = {w for w in words if w not in zn_words and table.touches(w)
                        and annotate(src.rule, w, table, self.dictionary) != annotated(w, refs[w])}
            if not blockers:
                break
            zn_words |= blockers
        self.derived, self.blocking = len(derived), len(late)
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


def polyphones(src, tables, words):
    """char -> its readings, most common first, for the characters that dictionary words read
    in more than one way: the readings that at least POLYPHONE_WORDS dictionary words use, or
    that take POLYPHONE_SHARE of the character's weight in pinyin_simp. Automatic annotation
    lists the words that read such a character by its first reading as guesses."""
    usage = collections.defaultdict(collections.Counter)
    for w in words:
        if w in src.real:
            for c, p in zip(w, src.refs[w]):
                usage[c][p] += 1
    result = {}
    for c, order in tables.readings.items():
        simp = src.simp_chars.get(c, {})
        total = sum(simp.values())
        kept = [p for k, p in enumerate(order)
                if k == 0 or usage[c][p] >= POLYPHONE_WORDS
                or (total and simp.get(p, 0) >= POLYPHONE_SHARE * total)]
        if len(kept) > 1:
            result[c] = kept
    return result


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
    ap.add_argument("--libpinyin", required=True, help="libpinyin-data's phrase tables")
    ap.add_argument("--charset", required=True)
    ap.add_argument("--out", help="folder of the shipped files, built from every candidate word")
    ap.add_argument("--hold-out", help="folder of the tables built without the held-out tenth, "
                                       "and of eval-annotated.txt, that tenth")
    ap.add_argument("--folds", type=int, default=0, help="score K-fold cross-validation")
    ap.add_argument("--dz-usage", default="types", choices=["none", "types", "freq"],
                    help="let the readings used in dictionary words correct a weak ranking")
    ap.add_argument("--zn-order", default="long-last")
    ap.add_argument("--derive-min", type=int, default=2,
                    help="words a piece must be read otherwise in to become an entry")
    ap.add_argument("--derive-purity", type=float, default=0.8,
                    help="share of the words holding a piece that must read it that way")
    ap.add_argument("--prune", type=int, default=1,
                    help="rounds of dropping the entries that spoil more words than they fix")
    ap.add_argument("--zn-blockers", type=int, default=1,
                    help="rounds of adding the words that the table would annotate wrongly")
    args = ap.parse_args()

    started = time.monotonic()
    src = Sources(args)
    ordered = src.candidates
    print(f"build_data: {len(ordered)} candidate words ({src.rime_words} Rime words, "
          f"{len(src.libpinyin)} libpinyin phrases voting), "
          f"read in {time.monotonic() - started:.1f} s")

    if args.out:
        tables = Tables(src, ordered, args)
        write_tables(src, tables, args.out)
        # ciku.lxd: jieba's and pinyin_simp's words made only of double-byte characters (the
        # segmenter never matches anything else), sorted by UTF-16 code units, unique.
        in_charset = set(src.charset).issuperset
        ciku = {w for w in list(src.jieba) + list(src.simp_words) if w and in_charset(w)}
        write_lines(os.path.join(args.out, "ciku.lxd"), sorted(ciku, key=utf16_key))
        # dy.txt: the polyphonic characters and their readings, in the format of dz.lxd;
        # cp.txt: jieba's words that hold one of them, most frequent first, annotated where
        # they have a reference reading (the order of the review list of automatic annotation,
        # and the words that confirm a reading there).
        poly = polyphones(src, tables, ordered)
        write_lines(os.path.join(args.out, "dy.txt"),
                    [c + p for c in tables.gbk_order(src.charset) if c in poly for p in poly[c]])
        ranked = [w for w in src.jieba if in_charset(w) and any(c in poly for c in w)]
        ranked.sort(key=lambda w: (-src.jieba[w], utf16_key(w)))
        write_lines(os.path.join(args.out, "cp.txt"),
                    [annotated(w, src.refs[w]) if w in src.refs else w for w in ranked])
        print(f"build_data: {len(tables.readings)} characters; zn.lxd {len(tables.zn)} lines "
              f"({tables.differing} differing, {tables.derived} pieces, {tables.pruned} dropped, "
              f"{tables.blocking} blocking pieces, order {args.zn_order}); "
              f"lw.txt {len(tables.lw)}; ciku.lxd {len(ciku)}; dy.txt {len(poly)} characters; "
              f"cp.txt {len(ranked)} words")

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
