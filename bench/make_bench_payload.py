#!/usr/bin/env python3
"""Writes a stand-in payload for the benchmarks: one file per resource row,
deterministic incompressible bytes.

Profiles:
  realistic  the sizes of the release (about 79 MiB)
  empty      the release's package sizes with empty cabinets, to compare with
             'realistic'

usage: make_bench_payload.py <folder> <profile>
"""
import os
import random
import sys

MIB = 1024 * 1024
PROFILES = {
    "realistic": {
        "wyk1.7.0.msi": MIB // 2, "sd170000.cab": int(10.5 * MIB), "ss170000.cab": int(17.7 * MIB),
        "st170000.cab": int(33.9 * MIB), "sj170000.cab": 16 * MIB, "sz170000.cab": 2048,
        "au.msi": MIB // 5, "au.cab": MIB // 2,
    },
}
PROFILES["empty"] = dict(PROFILES["realistic"])
for _cab in ("sd", "ss", "st", "sj", "sz"):
    PROFILES["empty"][_cab + "170000.cab"] = 0


def content(name, size):
    return random.Random(name).randbytes(size)


def main():
    folder = sys.argv[1]
    sizes = PROFILES[sys.argv[2]]
    os.makedirs(folder, exist_ok=True)
    for name, size in sizes.items():
        path = os.path.join(folder, name)
        data = content(name, size)
        try:
            with open(path, "rb") as f:
                if f.read() == data:
                    continue  # keep the time stamp so nothing rebuilds
        except FileNotFoundError:
            pass
        with open(path, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
