#!/usr/bin/env python3
"""The encoding and line-end variants of the bench lexicons, and the small side files, that
bench/same_outputs.sh runs both builds on: make_variants.py WORK OUT.

From WORK/lexicon-a.txt and WORK/lexicon-b.txt (make_inputs.py) into OUT:
  a.utf16.txt       UTF-16LE with the mark, CR LF
  a.utf16odd.txt    the same with one byte more at the end (half a unit)
  a.utf8.txt        UTF-8, LF;  b.utf8.txt, b.utf16.txt the same for lexicon-b
  a.utf8bom.txt     UTF-8 with the mark, CR LF
  a.bomcr.txt       UTF-8 with the mark, LF, the last line ending in CR without LF
  a.cr.txt          UTF-8, every third line ending in a lone CR, the others in LF or CR LF
  a.cut.txt         code page 936, CR LF, every 997th line cut after a lead byte before its
                    LF, every 991st before its CR LF, the file ending in a lead byte
  edge.txt          200,000 lines of lexicon-a among the lines the tools treat apart: comments
                    at the top, blank lines, lines without a leading hanzi, one-hanzi lines,
                    long lines, digits, letters in both cases and widths, blanks and tabs
  lex200k.txt       the first 200,000 lines of lexicon-a
  waste.txt, private.txt   the first 200,000 lines of lexicon-b, the last 100,000 of lexicon-a
  words.txt         300 words of one or two characters (lexsift filter --words)
  table.ini         a replacement table for pintop (a few shuangpin keys)
  supp-bc.txt, supp-a.txt, supp-d.txt   texts for bigseg supplement (bc.ini, a, d)
  pinyin_simp.userdb.txt   a Rime user dictionary snapshot from pinyin_simp, a few deleted
Deterministic (fixed seeds).
"""
import os
import random
import sys

BOM = "\ufeff"


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    work, out = sys.argv[1:3]
    os.makedirs(out, exist_ok=True)
    raw_a = open(os.path.join(work, "lexicon-a.txt"), "rb").read()
    raw_b = open(os.path.join(work, "lexicon-b.txt"), "rb").read()
    a = raw_a.decode("gbk").split("\r\n")[:-1]
    b = raw_b.decode("gbk").split("\r\n")[:-1]

    def text(lines, end):
        return "".join(l + end for l in lines)

    utf16 = (BOM + text(a, "\r\n")).encode("utf-16-le")
    write(os.path.join(out, "a.utf16.txt"), utf16)
    write(os.path.join(out, "a.utf16odd.txt"), utf16 + b"\x4e")
    write(os.path.join(out, "b.utf16.txt"), (BOM + text(b, "\r\n")).encode("utf-16-le"))
    write(os.path.join(out, "a.utf8.txt"), text(a, "\n").encode("utf-8"))
    write(os.path.join(out, "b.utf8.txt"), text(b, "\n").encode("utf-8"))
    write(os.path.join(out, "a.utf8bom.txt"), (BOM + text(a, "\r\n")).encode("utf-8"))
    write(os.path.join(out, "a.bomcr.txt"), (BOM + text(a[:-1], "\n") + a[-1] + "\r").encode("utf-8"))
    ends = ("\r", "\n", "\r\n")
    write(os.path.join(out, "a.cr.txt"), "".join(l + ends[i % 3] for i, l in enumerate(a)).encode("utf-8"))

    # Cut lines: a line whose last character takes two bytes loses its trail byte.
    cut = []
    for i, line in enumerate(a):
        data = line.encode("gbk")
        two_byte_end = len(line) > 1 and ord(line[-1]) > 0x7F
        if two_byte_end and i % 997 == 5:
            cut.append(data[:-1] + b"\n")
        elif two_byte_end and i % 991 == 7:
            cut.append(data[:-1] + b"\r\n")
        else:
            cut.append(data + b"\r\n")
    last = next(l for l in reversed(a) if len(l) > 1 and ord(l[-1]) > 0x7F)
    cut.append(last.encode("gbk")[:-1])
    write(os.path.join(out, "a.cut.txt"), b"".join(cut))

    rng = random.Random(20261209)
    edge = [";词库 edge.txt", ";第二行注释", "; 第三行", ""]
    odd = ["", "   ", ";中间的注释", "abc中国", "123", "中", "国guo", "０中国", "中国０", "中0国",
           "Ｚｈｏｎｇ国", "中ZHONG国guo", "中国 ", " 中国", "中\t国", "中国\t123", "中国=zhongguo",
           "长" * 31, "长长" * 20 + "chang", "重chong庆", "重庆qing", "中國", "臺灣tai", "好"]
    for line in a[:200000]:
        edge.append(line)
        if rng.random() < 0.01:
            edge.append(rng.choice(odd))
    write(os.path.join(out, "edge.txt"), text(edge, "\r\n").encode("gbk"))

    write(os.path.join(out, "lex200k.txt"), text(a[:200000], "\r\n").encode("gbk"))
    write(os.path.join(out, "waste.txt"), text(b[:200000], "\r\n").encode("gbk"))
    write(os.path.join(out, "private.txt"), text(a[-100000:], "\r\n").encode("gbk"))

    def word(line):
        return line[:1] + "".join(c for c in line[1:] if ord(c) > 0x7F)

    short = sorted({word(l)[:n] for l in b for n in (1, 2)})
    write(os.path.join(out, "words.txt"), text(random.Random(4).sample(short, 300), "\r\n").encode("gbk"))

    table = ["zh=v", "ch=i", "sh=u", "iang=l", "uang=l", "ong=s", "iong=s", "ang=h", "eng=g",
             "ing=k", "ian=m", "uan=r", "0a=aa", "0ang=ah", "0e=ee", "0er=er", "0ou=ou"]
    write(os.path.join(out, "table.ini"), text(table, "\r\n").encode("gbk"))

    words = [word(l) for l in b[:3000] if len(word(l)) >= 2]
    write(os.path.join(out, "supp-bc.txt"), text(words[:500], "\r\n").encode("gbk"))
    write(os.path.join(out, "supp-a.txt"), text(words[500:1000] + ["a"], "\r\n").encode("gbk"))
    # d: words the word list holds (taken out) and new ones (put in).
    known = ["中国", "人民", "北京", "我们", "一个", "没有", "可以", "这个"]
    write(os.path.join(out, "supp-d.txt"), text(known + words[1000:1300] + ["d"], "\r\n").encode("gbk"))

    user = ["# Rime user dictionary", "#@/db_name\tpinyin_simp.userdb", "#@/db_type\tuserdb",
            "#@/rime_version\t1.8.5", "#@/tick\t2000", "#@/user_id\tbench"]
    with open("/usr/share/rime-data/pinyin_simp.dict.yaml", encoding="utf-8") as f:
        body = False
        n = 0
        for line in f:
            if line.startswith("..."):
                body = True
                continue
            parts = line.rstrip("\n").split("\t")
            if not body or len(parts) < 2 or parts[0].startswith("#"):
                continue
            n += 1
            c = -1 if n % 97 == 0 else n % 13 + 1
            user.append(f"{parts[1]} \t{parts[0]}\tc={c} d={n % 7 / 10:g} t={n % 2000}")
            if n == 30000:
                break
    write(os.path.join(out, "pinyin_simp.userdb.txt"), text(user, "\n").encode("utf-8"))


if __name__ == "__main__":
    main()
