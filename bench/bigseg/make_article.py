"""Real Chinese articles for the segmentation benchmark, from Debian's packages: the Debian
reference (text), the Chinese fortunes (ANSI colours removed) and the Chinese manual pages (roff
requests and escapes removed). Paragraphs are taken from the three in turn and repeated until each
article reaches its size; each is written twice, in code page 936 (CR LF) for bigseg and in
UTF-8 (LF) for the peers.

    make_article.py OUTDIR   ->  OUTDIR/article-1m.{gbk,utf8}, OUTDIR/article-10m.{gbk,utf8}
"""
import gzip
import os
import re
import sys


def debian_reference():
    path = "/usr/share/debian-reference/debian-reference.zh-cn.txt.gz"
    with gzip.open(path, "rt", encoding="utf-8", errors="replace") as f:
        yield from f.read().split("\n\n")


def fortunes():
    ansi = re.compile(r"\x1b\[[0-9;]*[A-Za-z]")
    for name in ("chinese", "tang300", "song100"):
        path = "/usr/share/games/fortunes/%s.u8" % name
        if os.path.exists(path):
            with open(path, encoding="utf-8", errors="replace") as f:
                for item in f.read().split("\n%\n"):
                    yield ansi.sub("", item)


def manpages():
    escape = re.compile(r"\\f[BIRP]|\\f\[[A-Z]*\]|\\[,/&:]|\\\(..|\\[-e ]")
    root = "/usr/share/man/zh_CN"
    for section in sorted(os.listdir(root)):
        folder = os.path.join(root, section)
        for name in sorted(os.listdir(folder)):
            if not name.endswith(".gz"):
                continue
            try:
                with gzip.open(os.path.join(folder, name), "rt", encoding="utf-8") as f:
                    lines = f.read().split("\n")
            except (OSError, UnicodeDecodeError):
                continue
            text = [escape.sub("", l) for l in lines if l and l[0] not in ".'"]
            yield "\n".join(text)


def has_hanzi(paragraph):
    return any("\u4e00" <= c <= "\u9fff" for c in paragraph)


def corpus_text():
    """The distinct text: the three sources in turn, so that it mixes prose, verse and manual
    text; only what code page 936 can hold, so that both encodings carry the same text."""
    sources = [[p.strip() for p in s() if has_hanzi(p)] for s in (debian_reference, fortunes, manpages)]
    paragraphs = []
    for i in range(max(len(s) for s in sources)):
        paragraphs.extend(s[i] for s in sources if i < len(s))
    text = "\n".join(paragraphs).encode("gbk", errors="ignore").decode("gbk")
    # friso reads its input line by line and ends at a line "quit".
    return "\n".join(l for l in text.split("\n") if l.strip() != "quit")


def main():
    out = sys.argv[1]
    text = corpus_text()
    for name, size in (("1m", 1 << 20), ("10m", 10 << 20)):
        gbk = b""
        body = text.encode("gbk")
        while len(gbk) < size:
            gbk += body[: size - len(gbk)]
        article = gbk.decode("gbk", errors="ignore")
        with open(os.path.join(out, "article-%s.gbk" % name), "wb") as f:
            f.write(article.replace("\n", "\r\n").encode("gbk"))
        with open(os.path.join(out, "article-%s.utf8" % name), "wb") as f:
            f.write(article.encode("utf-8"))


if __name__ == "__main__":
    main()
