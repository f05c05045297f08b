"""The payload rows of the executable, read from payload/payload_rows.def.

Test support and benchmarks import this instead of writing the names out:

    ROWS            every row, in the order in which a run writes them
    PACKAGE         the kit package's file name ("wyk1.7.0.msi")
    CABINETS        the cabinets' file names, in writing order
    SERVICE_FILES   the update service's package and cabinet ("au.msi", "au.cab")
"""
import collections
import os
import re

DEF_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "payload",
                        "payload_rows.def")

Row = collections.namedtuple("Row", "writer type_name resource_id file_name")

_ROW = re.compile(r'^WYK_PAYLOAD_ROW\(([A-Za-z]+), "([A-Z0-9_]+)", ([0-9]+), "([^"]+)"\)$')


def read_rows(path=DEF_FILE):
    rows = []
    with open(path, encoding="ascii") as table:
        for line in table:
            line = line.strip()
            if not line.startswith("WYK_PAYLOAD_ROW"):
                continue
            match = _ROW.match(line)
            if match is None:
                raise ValueError("%s: cannot read the row %r" % (path, line))
            writer, type_name, resource_id, file_name = match.groups()
            rows.append(Row(writer, type_name, int(resource_id), file_name))
    if not rows:
        raise ValueError("%s holds no rows" % path)
    return rows


ROWS = read_rows()
PACKAGE = next(r.file_name for r in ROWS if r.writer == "kWrittenByMainSequence")
CABINETS = [r.file_name for r in ROWS if r.writer == "kWrittenByCabinetThread"]
# The package first: it is the file the engine is started on.
SERVICE_FILES = sorted((r.file_name for r in ROWS if r.writer == "kWrittenByUpdateService"),
                       key=lambda name: not name.endswith(".msi"))
FILE_NAMES = [r.file_name for r in ROWS]


def row_by_id(resource_id):
    return next(r for r in ROWS if r.resource_id == resource_id)
