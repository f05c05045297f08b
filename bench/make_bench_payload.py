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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from payload_rows import CABINETS, PACKAGE, SERVICE_FILES  # noqa: E402

MIB = 1024 * 1024
# Cabinets in writing order (sd, ss, st, sj, sz); the service's package, then its cabinet.
PROFILES = {
    "realistic": dict(zip([PACKAGE] + CABINETS + SERVICE_FILES,
                          [MIB // 2, int(10.5 * MIB), int(17.7 * MIB), int(33.9 * MIB), 16 * MIB,
                           2048, MIB // 5, MIB // 2])),
}
PROFILES["empty"] = dict(PROFILES["realistic"])
for _cab in CABINETS:
    PROFILES["empty"][_cab] = 0


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
