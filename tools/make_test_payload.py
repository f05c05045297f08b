#!/usr/bin/env python3
"""Writes a stand-in payload: one file per resource row, deterministic bytes.

Profiles:
  small      sizes around the 8192-byte write chunk (0, 1 chunk, 1 chunk plus
             1 byte, several chunks); the default test payload
  realistic  the sizes of the release (about 79 MiB of incompressible data)
  empty      the release's package sizes with empty cabinets, to compare with
             'realistic' in the benchmarks

usage: make_test_payload.py <folder> [profile]
"""
import os
import random
import sys

MIB = 1024 * 1024
PROFILES = {
    "small": {
        "wyk1.7.0.msi": 4096, "sd170000.cab": 20000, "ss170000.cab": 8193,
        "st170000.cab": 8192, "sj170000.cab": 0, "sz170000.cab": 2048,
        "au.msi": 3000, "au.cab": 1000,
    },
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
    sizes = PROFILES[sys.argv[2] if len(sys.argv) > 2 else "small"]
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
