#!/usr/bin/env python3
"""The script a Rime user writes today for one job on *.dict.yaml files: the header read with
PyYAML, the entries in a dict keyed by (text, code), the result written back with the header and
made durable (fsync, rename), as our tools write theirs.

    rime_job.py sort-weight IN OUT      entries by falling weight
    rime_job.py sort-code IN OUT        entries by their code (pinyin order, near enough)
    rime_job.py dedup IN OUT            one entry per text and code, the larger weight
    rime_job.py union A B OUT           both dictionaries, one entry per text and code
    rime_job.py filter IN OUT MIN MAX   entries whose text has MIN..MAX characters
"""
import os
import sys

import yaml


def read(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    head, sep, body = text.partition("\n...\n")
    if not sep:
        head, body = "", text
    settings = yaml.safe_load(head.split("---", 1)[-1]) or {}
    columns = settings.get("columns", ["text", "code", "weight"])
    entries = {}
    for line in body.split("\n"):
        if not line or line.startswith("#"):
            continue
        fields = dict(zip(columns, line.split("\t")))
        key = (fields.get("text", ""), fields.get("code", ""))
        weight = float(fields["weight"]) if fields.get("weight") else 0.0
        if key not in entries or entries[key] < weight:
            entries[key] = weight
    return head, settings, entries


def write(path, head, entries):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(head + "\n...\n")
        f.writelines(f"{t}\t{c}\t{w:g}\n" for (t, c), w in entries)
        f.flush()
        os.fsync(f.fileno())
    os.rename(tmp, path)


def main(job, *args):
    if job == "union":
        head, _, a = read(args[0])
        _, _, b = read(args[1])
        for key, w in b.items():
            if key not in a or a[key] < w:
                a[key] = w
        write(args[2], head, a.items())
        return
    head, _, entries = read(args[0])
    items = list(entries.items())
    if job == "sort-weight":
        items.sort(key=lambda kv: -kv[1])
    elif job == "sort-code":
        items.sort(key=lambda kv: kv[0][1])
    elif job == "filter":
        low, high = int(args[2]), int(args[3])
        items = [kv for kv in items if low <= len(kv[0][0]) <= high]
    elif job != "dedup":
        sys.exit(f"unknown job {job}")
    write(args[1], head, items)


if __name__ == "__main__":
    main(*sys.argv[1:])
