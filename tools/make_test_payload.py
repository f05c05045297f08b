#!/usr/bin/env python3
"""Writes a small stand-in payload: one file per resource row, deterministic
bytes, with sizes chosen around the 8192-byte write chunk (0, 1 chunk, 1 chunk
plus 1 byte, several chunks). Used when no payload folder is named."""
import hashlib
import os
import sys

SIZES = {
    "wyk1.7.0.msi": 4096,
    "sd170000.cab": 20000,
    "ss170000.cab": 8193,
    "st170000.cab": 8192,
    "sj170000.cab": 0,
    "sz170000.cab": 2048,
    "au.msi": 3000,
    "au.cab": 1000,
}


def content(name, size):
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(f"{name}:{counter}".encode()).digest()
        counter += 1
    return bytes(out[:size])


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, size in SIZES.items():
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
