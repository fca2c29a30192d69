"""The 1 GiB corpus of bench/bigseg/corpus.sh: the Debian text of make_article.py (the Debian
reference, the Chinese fortunes, the Chinese manual pages), repeated as often as needed, in
FILES files of MIB MiB each (UTF-8, LF), each file starting at another line of the text.

    make_corpus.py OUTDIR [FILES [MIB]]   (default 64 files of 16 MiB)
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_article import corpus_text  # noqa: E402


def main():
    out = sys.argv[1]
    files = int(sys.argv[2]) if len(sys.argv) > 2 else 64
    size = (int(sys.argv[3]) if len(sys.argv) > 3 else 16) << 20
    os.makedirs(out, exist_ok=True)
    lines = corpus_text().encode("utf-8").split(b"\n")
    for i in range(files):
        start = len(lines) * i // files
        chunk, have, k = [], 0, start
        while have < size:
            line = lines[k % len(lines)] + b"\n"
            chunk.append(line)
            have += len(line)
            k += 1
        with open(os.path.join(out, "%03d.txt" % i), "wb") as f:
            f.write(b"".join(chunk))


main()
