#!/usr/bin/env python3
"""make_dz.py OUT: a "dz.lxd" for the pintop benchmark when the suite's own is not built:
pinyin_simp's single characters with their most used reading, code page 936, CR LF."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from make_inputs import char_readings, encodable  # noqa: E402

lines = [c + r for c, r in sorted(char_readings().items()) if encodable(c + r)]
with open(sys.argv[1], "wb") as f:
    f.write("".join(l + "\r\n" for l in lines).encode("gbk"))
