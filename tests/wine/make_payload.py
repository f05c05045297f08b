#!/usr/bin/python3
"""Writes a payload folder for the test programs: make_payload.py <set> <folder>.
  probe  the probe's own resources: blocks of exact sizes around the 8192-byte
         write chunk, and small stand-ins for the update-service package and cabinet
  large  cabinets of a few MiB each, so that writing them takes long enough for
         the hand-off between the cabinet thread and the engine to be watched
Contents are deterministic and differ per file, so a swapped or shifted file
cannot pass for the right one."""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from payload_rows import CABINETS, PACKAGE, SERVICE_FILES  # noqa: E402

MIB = 1024 * 1024
SETS = {
    "probe": dict([("probe_0.bin", 0), ("probe_8192.bin", 8192), ("probe_8193.bin", 8193),
                   ("probe_20000.bin", 20000), ("probe_cab6.bin", 700)]
                  + list(zip(SERVICE_FILES, (3000, 9000)))),
    # Cabinets in writing order (sd, ss, st, sj, sz); the service's package, then its cabinet.
    "large": dict(zip([PACKAGE] + CABINETS + SERVICE_FILES,
                      [65536, 20 * MIB + 5, 28 * MIB + 8191, 36 * MIB, 16 * MIB + 1, 2048, 3000,
                       1000])),
}


def main(kind, folder):
    os.makedirs(folder, exist_ok=True)
    for name, size in SETS[kind].items():
        path = os.path.join(folder, name)
        # Same name and size means same content: keep the file so nothing rebuilds.
        if os.path.exists(path) and os.path.getsize(path) == size:
            continue
        with open(path, "wb") as f:
            f.write(random.Random("wyk-%s:%s" % (kind, name)).randbytes(size))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
