#!/usr/bin/python3
"""Writes the empty frequency database template: make_wordlib.py SCHEMA.sql OUT.
The file is built beside OUT and renamed over it, so an interrupted build leaves no half
database behind."""
import os
import sqlite3
import sys

schema, out = sys.argv[1], sys.argv[2]
tmp = out + ".tmp"
if os.path.exists(tmp):
    os.remove(tmp)
con = sqlite3.connect(tmp)
with open(schema, encoding="utf-8") as f:
    con.executescript(f.read())
con.commit()
con.close()
os.replace(tmp, out)
