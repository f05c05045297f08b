#!/usr/bin/env python3
"""Writes a payload folder with cabinets of a few MiB each, so that writing
them takes long enough for the hand-off between the cabinet thread and the
engine to be watched from outside. Contents are deterministic and differ per
file, so a swapped or shifted file cannot pass for the right one."""
import os
import random
import sys

MIB = 1024 * 1024
SIZES = {
    "wyk1.7.0.msi": 65536,
    "sd170000.cab": 20 * MIB + 5,
    "ss170000.cab": 28 * MIB + 8191,
    "st170000.cab": 36 * MIB,
    "sj170000.cab": 16 * MIB + 1,
    "sz170000.cab": 2048,
    "au.msi": 3000,
    "au.cab": 1000,
}


def content(name, size):
    return random.Random("wyk-large:" + name).randbytes(size)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, size in SIZES.items():
        path = os.path.join(folder, name)
        # Same name and size means same content: keep the file so nothing rebuilds.
        if os.path.exists(path) and os.path.getsize(path) == size:
            continue
        with open(path, "wb") as f:
            f.write(content(name, size))


if __name__ == "__main__":
    main()
