#!/usr/bin/env python3
"""Recall of two brevik-cli builds on damaged copies of the sample files.

Each sample is damaged the way disks and crashed writers damage files (cut short, pages zeroed,
4 KiB regions zeroed, bytes flipped), with a fixed seed per file and scenario, and listed by
both builds. Recall is the share of the items a healthy listing shows (subject and time) that
the damaged listing shows again. Items marked as having damaged parts are counted too.

  bench/damage_recall.py NEW_CLI OLD_CLI FILE.pst...
"""
import json
import os
import random
import subprocess
import sys
import tempfile
from collections import Counter


def listing(cli, path):
    run = subprocess.run([cli, "list", "--json", path], capture_output=True, timeout=300)
    try:
        items = json.loads(run.stdout)["items"]
    except (ValueError, KeyError):
        return Counter(), 0
    keys = Counter((i["subject"], i["time"]) for i in items)
    return keys, sum(1 for i in items if i.get("damaged"))


def zero(data, offset, length):
    end = min(len(data), offset + length)
    data[offset:end] = bytes(end - offset)


def scenarios():
    def cut(share):
        return lambda d, r: d[: int(len(d) * share)]

    def pages(share):
        def apply(d, r):
            n = len(d) // 512
            for p in r.sample(range(1, n), max(1, int(n * share))):
                zero(d, p * 512, 512)
            return d
        return apply

    def regions(count):
        def apply(d, r):
            for _ in range(count):
                zero(d, r.randrange(512, max(513, len(d) - 4096)) & ~511, 4096)
            return d
        return apply

    def flips(share):
        def apply(d, r):
            for _ in range(max(1, int(len(d) * share))):
                d[r.randrange(512, len(d))] ^= 1 << r.randrange(8)
            return d
        return apply

    return [("cut to 90%", cut(0.9)), ("cut to 60%", cut(0.6)),
            ("1% of pages zeroed", pages(0.01)), ("5% of pages zeroed", pages(0.05)),
            ("30 4 KiB regions zeroed", regions(30)), ("0.1% of bytes flipped", flips(0.001))]


def main():
    new_cli, old_cli, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    rows = []
    with tempfile.TemporaryDirectory() as tmp:
        for name, apply in scenarios():
            recall = {"new": [], "old": []}
            marked = 0
            for f in files:
                healthy, _ = listing(new_cli, f)
                total = sum(healthy.values())
                if total == 0:
                    continue
                seed = sum(map(ord, os.path.basename(f) + name))
                data = apply(bytearray(open(f, "rb").read()), random.Random(seed))
                damaged = os.path.join(tmp, "damaged.pst")
                open(damaged, "wb").write(data)
                for label, cli in (("new", new_cli), ("old", old_cli)):
                    found, marks = listing(cli, damaged)
                    recall[label].append(sum((healthy & found).values()) / total)
                    if label == "new":
                        marked += marks
            mean = {k: sum(v) / len(v) for k, v in recall.items()}
            rows.append((name, mean["old"], mean["new"], marked))
    print(f"{'damage':28} {'old':>6} {'new':>6} {'items marked':>13}")
    for name, old, new, marked in rows:
        print(f"{name:28} {old:6.3f} {new:6.3f} {marked:13d}")


if __name__ == "__main__":
    main()
