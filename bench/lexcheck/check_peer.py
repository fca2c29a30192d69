#!/usr/bin/env python3
"""The checks a maintainer would script instead of lexcheck: over a Rime dictionary, every
syllable against the syllables of the readings of "dz.lxd", the syllable count against the
character count, and every reading against the readings the character has there. Prints one
line per fault, as lexcheck does, and exits 1 when there is any."""
import sys


def main():
    dictionary, readings_file = sys.argv[1], sys.argv[2]
    readings = {}
    with open(readings_file, encoding="gbk") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if len(line) >= 2:
                readings.setdefault(line[0], set()).add(line[1:])
    syllables = set().union(*readings.values())
    out = []
    with open(dictionary, encoding="utf-8") as f:
        body = False
        for n, line in enumerate(f, 1):
            line = line.rstrip("\r\n")
            if not body:
                body = line == "..."
                continue
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) < 2 or not fields[1]:
                continue
            word, code = fields[0], fields[1].split(" ")
            bad = [s for s in code if s not in syllables]
            if bad:
                out.append(f"{dictionary}:{n}: error: invalid-syllable: {' '.join(bad)}")
            elif len(code) != len(word):
                out.append(f"{dictionary}:{n}: error: count-mismatch: {word}")
            else:
                unknown = [c for c, s in zip(word, code) if c in readings and s not in readings[c]]
                if unknown:
                    out.append(f"{dictionary}:{n}: error: unknown-reading: {''.join(unknown)}")
    sys.stdout.write("\n".join(out) + ("\n" if out else ""))
    print(f"errors {len(out)}")
    return 1 if out else 0


if __name__ == "__main__":
    sys.exit(main())
