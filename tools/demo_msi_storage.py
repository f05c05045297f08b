#!/usr/bin/python3
"""Compound-file storage of installer packages, and the least transform writer.

msitools can build databases, edit tables and add streams, but it can neither
generate a transform nor add a sub-storage to a package, and the installer
engine that runs here (Wine's msi) does not implement
MsiDatabaseGenerateTransform either (it answers ERROR_CALL_NOT_IMPLEMENTED).
This module fills exactly that gap:

- read and write compound files (version 3, 512-byte sectors) as a tree of
  storages and streams;
- write a transform: its own string pool, one row-wise stream per changed
  table (every row a full-row insert-or-update) and the summary information
  that the engine checks before it applies a transform;
- embed such a transform into a package as a sub-storage named by the
  language ("1041"), which TRANSFORMS=:1041 selects.

Standard library only.
"""
import struct

ENDOFCHAIN = 0xFFFFFFFE
FREESECT = 0xFFFFFFFF
FATSECT = 0xFFFFFFFD
DIFSECT = 0xFFFFFFFC
NOSTREAM = 0xFFFFFFFF
SECTOR = 512
MINI_SECTOR = 64
MINI_CUTOFF = 4096
SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")

CLSID_MSI_DATABASE = "000C1084-0000-0000-C000-000000000046"
CLSID_MSI_TRANSFORM = "000C1082-0000-0000-C000-000000000046"

SUMMARY_STREAM = "\x05SummaryInformation"
FMTID_SUMMARY = "F29F85E0-4FF9-1068-AB91-08002B27B3D9"


def guid_bytes(text):
    """Mixed-endian GUID bytes as stored in a compound file."""
    text = text.strip("{}")
    parts = text.split("-")
    return (struct.pack("<IHH", int(parts[0], 16), int(parts[1], 16), int(parts[2], 16))
            + bytes.fromhex(parts[3] + parts[4]))


def guid_text(data):
    a, b, c = struct.unpack("<IHH", data[:8])
    rest = data[8:].hex().upper()
    return "%08X-%04X-%04X-%s-%s" % (a, b, c, rest[:4], rest[4:])


class Storage:
    """A storage: a class id and named children (bytes for streams, Storage for storages)."""

    def __init__(self, clsid=None, children=None):
        self.clsid = clsid or "00000000-0000-0000-0000-000000000000"
        self.children = dict(children or {})


# --- reading -----------------------------------------------------------------

def read_compound_file(data):
    if data[:8] != SIGNATURE:
        raise ValueError("not a compound file")
    sector_shift, mini_shift = struct.unpack_from("<HH", data, 30)
    sector_size = 1 << sector_shift
    mini_size = 1 << mini_shift
    (num_fat, first_dir, _tx, mini_cutoff, first_minifat, num_minifat,
     first_difat, num_difat) = struct.unpack_from("<IIIIIIII", data, 44)
    difat = list(struct.unpack_from("<109I", data, 76))

    def sector(n):
        start = (n + 1) * sector_size
        return data[start:start + sector_size]

    next_difat = first_difat
    for _ in range(num_difat):
        entries = struct.unpack("<%dI" % (sector_size // 4), sector(next_difat))
        difat.extend(entries[:-1])
        next_difat = entries[-1]
    fat = []
    for n in difat[:num_fat]:
        fat.extend(struct.unpack("<%dI" % (sector_size // 4), sector(n)))

    def chain(start):
        out = []
        seen = set()
        while start not in (ENDOFCHAIN, FREESECT) and start < len(fat):
            if start in seen:
                raise ValueError("sector chain loops")
            seen.add(start)
            out.append(start)
            start = fat[start]
        return out

    def read_chain(start, size):
        return b"".join(sector(n) for n in chain(start))[:size]

    directory = b"".join(sector(n) for n in chain(first_dir))
    entries = []
    for off in range(0, len(directory), 128):
        raw = directory[off:off + 128]
        name_len = struct.unpack_from("<H", raw, 64)[0]
        name = raw[:max(name_len - 2, 0)].decode("utf-16-le")
        kind, _color = raw[66], raw[67]
        left, right, child = struct.unpack_from("<III", raw, 68)
        clsid = guid_text(raw[80:96])
        start, size = struct.unpack_from("<IQ", raw, 116)
        if sector_size == 512:
            size &= 0xFFFFFFFF
        entries.append((name, kind, left, right, child, clsid, start, size))

    root = entries[0]
    mini_stream = read_chain(root[6], root[7])
    minifat = []
    for n in chain(first_minifat):
        minifat.extend(struct.unpack("<%dI" % (sector_size // 4), sector(n)))

    def read_mini(start, size):
        out = bytearray()
        while start not in (ENDOFCHAIN, FREESECT) and len(out) < size:
            out += mini_stream[start * mini_size:(start + 1) * mini_size]
            start = minifat[start]
        return bytes(out[:size])

    def build(index):
        name, kind, left, right, child, clsid, start, size = entries[index]
        storage = Storage(clsid)
        stack = [child]
        while stack:
            i = stack.pop()
            if i == NOSTREAM:
                continue
            c = entries[i]
            stack.extend((c[2], c[3]))
            if c[1] == 2:
                storage.children[c[0]] = (read_mini(c[6], c[7]) if c[7] < mini_cutoff
                                          else read_chain(c[6], c[7]))
            elif c[1] == 1:
                storage.children[c[0]] = build(i)
        return storage

    return build(0)


# --- writing -----------------------------------------------------------------

def _name_key(name):
    return (len(name), name.upper())


def write_compound_file(root):
    """Serialises a Storage tree; the layout is deterministic for equal input."""
    entries = []  # [name, kind, clsid, data, left, right, child]

    def add(name, node):
        index = len(entries)
        if isinstance(node, Storage):
            entries.append([name, 1, node.clsid, b"", NOSTREAM, NOSTREAM, NOSTREAM])
            names = sorted(node.children, key=_name_key)
            indexes = [add(n, node.children[n]) for n in names]
            entries[index][6] = _balanced(entries, indexes)
        else:
            if len(name) > 31:
                raise ValueError("stream name too long: %r" % name)
            entries.append([name, 2, None, bytes(node), NOSTREAM, NOSTREAM, NOSTREAM])
        return index

    add("Root Entry", root)
    entries[0][1] = 5

    big = bytearray()           # regular sectors, in order, after the header
    fat = []
    mini = bytearray()
    minifat = []
    starts = {}

    for i, e in enumerate(entries):
        if e[1] != 2:
            continue
        data = e[3]
        if not data:
            starts[i] = ENDOFCHAIN
        elif len(data) < MINI_CUTOFF:
            first = len(minifat)
            count = (len(data) + MINI_SECTOR - 1) // MINI_SECTOR
            minifat.extend(range(first + 1, first + count))
            minifat.append(ENDOFCHAIN)
            mini += data + b"\0" * (count * MINI_SECTOR - len(data))
            starts[i] = first
        else:
            starts[i] = _append_chain(big, fat, data)

    root_start = _append_chain(big, fat, bytes(mini)) if mini else ENDOFCHAIN
    root_size = len(mini)

    dir_bytes = bytearray()
    for i, e in enumerate(entries):
        name, kind, clsid, data, left, right, child = e
        encoded = name.encode("utf-16-le")
        raw = bytearray(128)
        raw[0:len(encoded)] = encoded
        struct.pack_into("<HBB", raw, 64, len(encoded) + 2, kind, 1)
        struct.pack_into("<III", raw, 68, left, right, child)
        if kind in (1, 5):
            raw[80:96] = guid_bytes(clsid)
        if kind == 5:
            struct.pack_into("<IQ", raw, 116, root_start, root_size)
        elif kind == 2:
            struct.pack_into("<IQ", raw, 116, starts[i], len(data))
        dir_bytes += raw
    while len(dir_bytes) % SECTOR:
        dir_bytes += struct.pack("<64sHBBIII16sIQQIQ", b"", 0, 0, 0, NOSTREAM, NOSTREAM, NOSTREAM,
                                 b"", 0, 0, 0, 0, 0)
    first_dir = _append_chain(big, fat, bytes(dir_bytes))

    if minifat:
        raw = struct.pack("<%dI" % len(minifat), *minifat)
        raw += struct.pack("<I", FREESECT) * ((-len(minifat)) % (SECTOR // 4))
        first_minifat = _append_chain(big, fat, raw)
        num_minifat = len(raw) // SECTOR
    else:
        first_minifat, num_minifat = ENDOFCHAIN, 0

    # The FAT describes itself and the DIFAT sectors as well (the header lists
    # the first 109 FAT sectors, DIFAT sectors of 127 entries each the rest):
    # grow both until the FAT covers every sector.
    per = SECTOR // 4
    num_fat = num_difat = 0
    while True:
        num_difat = max(0, -(-(num_fat - 109) // (per - 1)))
        if (len(fat) + num_fat + num_difat + per - 1) // per <= num_fat:
            break
        num_fat += 1
    fat_first = len(fat)
    difat_first = fat_first + num_fat
    fat.extend([FATSECT] * num_fat)
    fat.extend([DIFSECT] * num_difat)
    fat.extend([FREESECT] * (num_fat * per - len(fat)))
    big += struct.pack("<%dI" % len(fat), *fat)

    fat_sectors = list(range(fat_first, fat_first + num_fat))
    for n in range(num_difat):
        chunk = fat_sectors[109 + n * (per - 1):109 + (n + 1) * (per - 1)]
        chunk += [FREESECT] * (per - 1 - len(chunk))
        chunk.append(difat_first + n + 1 if n + 1 < num_difat else ENDOFCHAIN)
        big += struct.pack("<%dI" % per, *chunk)

    difat = fat_sectors[:109] + [FREESECT] * (109 - min(num_fat, 109))
    header = bytearray(SECTOR)
    header[0:8] = SIGNATURE
    struct.pack_into("<HHHHH", header, 24, 0x3E, 3, 0xFFFE, 9, 6)
    struct.pack_into("<IIIIIIIII", header, 40, 0, num_fat, first_dir, 0, MINI_CUTOFF,
                     first_minifat, num_minifat, difat_first if num_difat else ENDOFCHAIN, num_difat)
    struct.pack_into("<109I", header, 76, *difat)
    return bytes(header) + bytes(big)


def _append_chain(big, fat, data):
    first = len(fat)
    count = max(1, (len(data) + SECTOR - 1) // SECTOR)
    fat.extend(range(first + 1, first + count))
    fat.append(ENDOFCHAIN)
    big += data + b"\0" * (count * SECTOR - len(data))
    return first


def _balanced(entries, indexes):
    """Links sibling entries (already sorted) into a balanced search tree; returns its root."""
    if not indexes:
        return NOSTREAM
    mid = len(indexes) // 2
    root = indexes[mid]
    entries[root][4] = _balanced(entries, indexes[:mid])
    entries[root][5] = _balanced(entries, indexes[mid + 1:])
    return root


# --- installer database pieces -------------------------------------------------

def _mime(c):
    if "0" <= c <= "9":
        return ord(c) - ord("0")
    if "A" <= c <= "Z":
        return ord(c) - ord("A") + 10
    if "a" <= c <= "z":
        return ord(c) - ord("a") + 36
    if c == ".":
        return 62
    if c == "_":
        return 63
    return -1


def table_stream_name(name):
    """The compound-file name of a table (or string pool) stream of a database."""
    out = ["\u4840"]
    i = 0
    while i < len(name):
        m = _mime(name[i])
        if m < 0:
            out.append(name[i])
            i += 1
            continue
        if i + 1 < len(name) and _mime(name[i + 1]) >= 0:
            out.append(chr(0x3800 + (_mime(name[i + 1]) << 6) + m))
            i += 2
        else:
            out.append(chr(0x4800 + m))
            i += 1
    return "".join(out)


class StringPool:
    """String pool of a transform or database (2-byte references)."""

    def __init__(self, codepage):
        self.codepage = codepage
        self.ids = {}
        self.entries = []  # [encoded bytes, refcount]

    def ref(self, text):
        if text is None or text == "":
            return 0
        if text not in self.ids:
            self.entries.append([text.encode("cp%d" % self.codepage if self.codepage else "ascii"), 0])
            self.ids[text] = len(self.entries)
        index = self.ids[text]
        self.entries[index - 1][1] += 1
        return index

    def streams(self):
        if len(self.entries) >= 0xFFFF:
            raise ValueError("string pool too large for 2-byte references")
        pool = struct.pack("<HH", self.codepage & 0xFFFF, self.codepage >> 16)
        data = bytearray()
        for encoded, refs in self.entries:
            if len(encoded) > 0xFFFF:
                raise ValueError("string too long for this writer")
            pool += struct.pack("<HH", len(encoded), refs)
            data += encoded
        return {table_stream_name("_StringPool"): bytes(pool),
                table_stream_name("_StringData"): bytes(data)}


class FileTime(int):
    """A VT_FILETIME value: 100-nanosecond intervals since 1601-01-01 UTC."""

    @classmethod
    def from_unix(cls, seconds):
        return cls((seconds + 11644473600) * 10000000)


VT_I2, VT_I4, VT_LPSTR, VT_FILETIME = 2, 3, 30, 64


def read_summary_information(data):
    """The properties of a summary information stream as {pid: value}: the
    inverse of summary_information for the types it writes."""
    (section_offset,) = struct.unpack_from("<I", data, 44)
    _size, count = struct.unpack_from("<II", data, section_offset)
    codepage = 1252
    raw = {}
    for n in range(count):
        pid, offset = struct.unpack_from("<II", data, section_offset + 8 + 8 * n)
        raw[pid] = section_offset + offset
    if 1 in raw:
        codepage = struct.unpack_from("<H", data, raw[1] + 4)[0]
    properties = {}
    for pid, at in raw.items():
        (kind,) = struct.unpack_from("<I", data, at)
        if kind == VT_I2:
            properties[pid] = struct.unpack_from("<H", data, at + 4)[0]
        elif kind == VT_I4:
            properties[pid] = struct.unpack_from("<i", data, at + 4)[0]
        elif kind == VT_LPSTR:
            (length,) = struct.unpack_from("<I", data, at + 4)
            properties[pid] = data[at + 8:at + 8 + length].rstrip(b"\0").decode("cp%d" % codepage)
        elif kind == VT_FILETIME:
            properties[pid] = FileTime(struct.unpack_from("<Q", data, at + 4)[0])
        else:
            raise ValueError("summary property %d has type %d, which this reader does not know"
                             % (pid, kind))
    return codepage, properties


# Summary property ids that differ from build to build unless they are fixed.
PID_CREATE_DTM, PID_LASTSAVE_DTM = 12, 13


def stamp_package(root, package_code, unix_time):
    """Gives a package (a Storage) a fixed package code and fixed creation and
    save dates, in place: the tools otherwise write a new code and the current
    time on every build."""
    codepage, properties = read_summary_information(root.children[SUMMARY_STREAM])
    properties[PID_REVNUMBER] = package_code
    properties[PID_CREATE_DTM] = properties[PID_LASTSAVE_DTM] = FileTime.from_unix(unix_time)
    root.children[SUMMARY_STREAM] = summary_information(codepage, properties)


def summary_information(codepage, properties):
    """A summary information property set. properties: {pid: int, str or FileTime}.
    Strings are VT_LPSTR in the given code page; FileTime values VT_FILETIME;
    ints are VT_I4, except the code page itself (pid 1), which is VT_I2."""
    body = bytearray()
    offsets = []
    items = sorted(properties.items())
    if 1 not in properties:
        items = [(1, codepage)] + items
    header_len = 8 + 8 * len(items)
    for pid, value in items:
        offsets.append((pid, header_len + len(body)))
        if pid == 1:
            body += struct.pack("<IhH", 2, value if value < 0x8000 else value - 0x10000, 0)
        elif isinstance(value, FileTime):
            body += struct.pack("<IQ", VT_FILETIME, value)
        elif isinstance(value, int):
            body += struct.pack("<Ii", 3, value)
        else:
            raw = value.encode("cp%d" % codepage) + b"\0"
            raw += b"\0" * ((-len(raw)) % 4)
            body += struct.pack("<II", 30, len(value.encode("cp%d" % codepage)) + 1) + raw
    section = bytearray(struct.pack("<II", header_len + len(body), len(items)))
    for pid, off in offsets:
        section += struct.pack("<II", pid, off)
    section += body
    head = struct.pack("<HHI16sI", 0xFFFE, 0, 0x00020006, b"\0" * 16, 1)
    head += guid_bytes(FMTID_SUMMARY) + struct.pack("<I", 28 + 20)
    return bytes(head + section)


# Summary property ids used in transforms.
PID_TITLE, PID_TEMPLATE, PID_LASTAUTHOR, PID_REVNUMBER, PID_PAGECOUNT, PID_CHARCOUNT = 2, 7, 8, 9, 14, 16


def transform_storage(codepage, tables, summary):
    """A transform as a Storage.

    tables: {table name: (column kinds, rows)} where a column kind is "s"
    (string), "i2" or "i4" and every row gives all columns; each row becomes
    a full-row record, which the engine inserts, or uses to replace the row
    with the same primary key. summary: summary properties (see above)."""
    pool = StringPool(codepage)
    streams = {}
    for table in sorted(tables):
        kinds, rows = tables[table]
        raw = bytearray()
        for row in rows:
            if len(row) != len(kinds):
                raise ValueError("%s: row %r does not give %d columns" % (table, row, len(kinds)))
            raw += struct.pack("<H", (len(kinds) << 8) | 1)
            for kind, value in zip(kinds, row):
                if kind == "s":
                    raw += struct.pack("<H", pool.ref(value))
                elif kind == "i2":
                    raw += struct.pack("<H", 0 if value is None else (value + 0x8000) & 0xFFFF)
                elif kind == "i4":
                    raw += struct.pack("<I", 0 if value is None else (value ^ 0x80000000) & 0xFFFFFFFF)
                else:
                    raise ValueError("unknown column kind %r" % kind)
        streams[table_stream_name(table)] = bytes(raw)
    streams.update(pool.streams())
    streams[SUMMARY_STREAM] = summary_information(codepage, summary)
    return Storage(CLSID_MSI_TRANSFORM, streams)
