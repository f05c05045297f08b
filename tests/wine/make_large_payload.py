#!/usr/bin/env python3
"""Writes a payload folder with cabinets of a few MiB each, so that writing
them takes long enough for the hand-off between the cabinet thread and the
engine to be watched from outside. Contents are deterministic and differ per
file, so a swapped or shifted file cannot pass for the right one."""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from payload_rows import CABINETS, PACKAGE, SERVICE_FILES  # noqa: E402

MIB = 1024 * 1024
# Cabinets in writing order (sd, ss, st, sj, sz); the service's package, then its cabinet.
SIZES = dict(zip([PACKAGE] + CABINETS + SERVICE_FILES,
                 [65536, 20 * MIB + 5, 28 * MIB + 8191, 36 * MIB, 16 * MIB + 1, 2048, 3000, 1000]))


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
