#!/usr/bin/python3
"""Writes the probe's own resource files: blocks of exact sizes around the
8192-byte write chunk, and small stand-ins for the update-service package and
cabinet. The bytes are a hash chain, so no two files and no two chunks agree."""
import hashlib
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from payload_rows import SERVICE_FILES  # noqa: E402

# file name -> size in bytes
FILES = {
    "probe_0.bin": 0,
    "probe_8192.bin": 8192,
    "probe_8193.bin": 8193,
    "probe_20000.bin": 20000,
    "probe_cab6.bin": 700,
}
# The update service's package and cabinet under their cache names.
FILES.update(zip(SERVICE_FILES, (3000, 9000)))


def content(name, size):
    out = bytearray()
    block = name.encode()
    while len(out) < size:
        block = hashlib.sha256(block).digest()
        out += block
    return bytes(out[:size])


def main(folder):
    os.makedirs(folder, exist_ok=True)
    for name, size in FILES.items():
        path = os.path.join(folder, name)
        data = content(name, size)
        try:
            with open(path, "rb") as f:
                if f.read() == data:
                    continue  # unchanged: keep the time stamp, nothing to rebuild
        except FileNotFoundError:
            pass
        with open(path, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
