#!/usr/bin/python3
"""Static check of a built bootstrapper executable: PE headers, imported
libraries, manifest, icon group, string tables and payload rows.

Usage: check_product_binary.py EXE [--payload DIR] [--x64] [--original-filename NAME]
                                  [--stub STUB]

  --payload DIR  folder of the payload files that were bound (default: the
                 folder "bound-payload" beside EXE)
  --x64          the executable is one of the 64-bit builds (machine AMD64,
                 PE32+, manifest architecture "amd64")
  --original-filename NAME
                 the file name the version resource must give (default
                 wyk-7-windows-i586.exe; the amd64 product is wyk-7-windows-amd64.exe)
  --stub STUB    the same program built without any payload row: its file
                 size is held to its limit (32-bit product only)
  --docs FILE    a document that quotes the size figures (with --stub): each
                 number marked <!-- size NAME --> must be the figure measured
                 now (the names are those of size_figures)

Every group of checks runs and reports; the exit code is 1 if any failed.
Needs Debian's python3-pefile (run with /usr/bin/python3).
"""
import argparse
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import payload_rows  # noqa: E402

RT_ICON = 3
RT_STRING = 6
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24
LANG_EN_US = 1033
STRING_LANGUAGES = (1033, 1041, 2052)
ENGINE_TOO_OLD_STRING = 4

ICON_GROUP_ID = 115
# Image ids 1..12 in this order: (size, bits per pixel).
ICON_IMAGES = [(size, bits) for bits in (4, 8, 32) for size in (48, 32, 24, 16)]

# The only libraries the executable may import: the platform always takes
# these from its own system directory, never from beside the program.
ALLOWED_IMPORTS = {"kernel32", "user32", "advapi32", "shell32", "ole32", "msvcrt"}
RUNTIME_DLL_PREFIXES = ("libgcc", "libstdc++", "libwinpthread")

# Every function the 32-bit program may import statically, per library: all of
# them exist on Windows XP SP2, where a missing import stops the program before
# its first line runs. Anything newer is looked up at run time.
XP_SP2_IMPORTS = {
    "advapi32": {"ConvertSidToStringSidA", "EqualSid", "GetSecurityInfo", "GetTokenInformation",
                 "InitializeSecurityDescriptor", "OpenProcessToken", "RegCloseKey",
                 "RegDeleteKeyA", "RegDeleteValueA", "RegOpenKeyExA", "SetSecurityDescriptorOwner",
                 "RegQueryInfoKeyA", "RegQueryValueExA", "RegQueryValueExW", "RegSetValueExA"},
    "kernel32": {"CloseHandle", "CompareStringW", "CreateDirectoryA", "CreateEventA",
                 "CreateFileA", "CreateMutexA", "CreateProcessA", "CreateThread", "DeleteFileA", "ExitProcess",
                 "FindClose", "FindFirstFileA", "FindResourceA", "FormatMessageA", "FreeLibrary",
                 "GetACP", "GetCurrentProcess", "GetCurrentThreadId", "GetEnvironmentVariableA",
                 "GetEnvironmentVariableW",
                 "GetExitCodeProcess", "GetFileAttributesA", "GetFileInformationByHandle",
                 "GetLastError", "GetLongPathNameW", "GetModuleHandleA", "GetProcAddress",
                 "GetShortPathNameW", "GetSystemDirectoryA", "GetTempPathA", "GetTempPathW",
                 "GetUserDefaultUILanguage", "GetVersionExA", "LoadLibraryA", "LoadResource",
                 "LocalAlloc", "LocalFree", "LockResource", "MultiByteToWideChar",
                 "RemoveDirectoryA", "ResumeThread", "SetDllDirectoryA", "SetEndOfFile", "SetEvent",
                 "SetFileAttributesA", "SetFilePointer",
                 "SetLastError", "SizeofResource", "WaitForSingleObject", "WideCharToMultiByte",
                 "WriteFile", "lstrcmpA"},
    "msvcrt": {"__getmainargs", "_localtime64", "_time64"},
    "ole32": {"CoTaskMemFree"},
    "shell32": {"SHGetFolderPathA", "SHGetFolderPathW"},
    "user32": {"DispatchMessageA", "DispatchMessageW", "GetMessageA", "GetMessageW",
               "GetProcessWindowStation", "GetUserObjectInformationA", "IsWindowUnicode", "LoadStringA", "MessageBoxA", "MsgWaitForMultipleObjectsEx",
               "PeekMessageA", "TranslateMessage"},
}

# (type name, id, file name in the payload folder), from the one payload table
PAYLOAD_ROWS = [(r.type_name, r.resource_id, r.file_name) for r in payload_rows.ROWS]

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT_V1 = "{urn:schemas-microsoft-com:compatibility.v1}"
SUPPORTED_OS = [
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Windows Vista
]


class Resources:
    """The resource tree as {type: {name: {language: bytes}}}; types and names
    are ints for numeric ids and str for names."""

    def __init__(self, pe):
        self.tree = {}
        if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
            return
        for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
            type_key = str(t.name) if t.name is not None else t.id
            names = self.tree.setdefault(type_key, {})
            for n in t.directory.entries:
                name_key = str(n.name) if n.name is not None else n.id
                langs = names.setdefault(name_key, {})
                for lang in n.directory.entries:
                    d = lang.data.struct
                    langs[lang.id] = pe.get_data(d.OffsetToData, d.Size)

    def names(self, type_key):
        return self.tree.get(type_key, {})

    def get(self, type_key, name_key):
        return self.tree.get(type_key, {}).get(name_key, {})


# Wine maps an image from its file only when its sections are page-aligned in
# the file; any other image it copies, payload and all, into private memory.
PAGE = 0x1000
# The 32-bit program's own size: its code and data (the sections other than
# the resources, without their padding) and the file without any payload row.
OWN_CODE_AND_DATA_LIMIT = 24 * 1024
STUB_FILE_LIMIT = 80 * 1024


def own_code_and_data(pe):
    """Bytes of code and data outside the resources: each other section's
    size as the linker wrote it, before padding to the file alignment."""
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]]
    resources = directory.VirtualAddress if directory.Size else None
    return sum(s.Misc_VirtualSize for s in pe.sections
               if resources is None or not s.contains_rva(resources))


def default_alignment_size(pe):
    """The file size the same headers and sections would take with the
    linker's default 512-byte file alignment: each part's own bytes rounded
    up to 512 (the page-aligned file rounds them up to 4096)."""
    def up(n):
        return (n + 511) // 512 * 512
    headers = pe.sections[0].get_file_offset() + 40 * len(pe.sections) if pe.sections else 0
    return up(headers) + sum(up(min(s.Misc_VirtualSize, s.SizeOfRawData)) for s in pe.sections)


def size_figures(pe, stub):
    """The size figures the documents quote, by name, as measured now."""
    stub_pe = pefile.PE(stub, fast_load=True)
    stub_size = os.path.getsize(stub)
    own = own_code_and_data(pe)
    return {"stub file": stub_size, "stub default alignment": default_alignment_size(stub_pe),
            "stub padding": stub_size - default_alignment_size(stub_pe),
            "own code and data": own, "own headroom": OWN_CODE_AND_DATA_LIMIT - own}


QUOTED_SIZE = re.compile(r"([0-9][0-9,]*)<!-- size ([a-z ]+) -->")


def check_quoted_sizes(pe, stub, docs):
    """Each size figure the document quotes against the build: a figure that
    drifted is named with its place and the value to write there."""
    figures = size_figures(pe, stub)
    with open(docs, encoding="utf-8") as f:
        text = f.read()
    errors, quoted = [], set()
    for match in QUOTED_SIZE.finditer(text):
        name, value = match.group(2), int(match.group(1).replace(",", ""))
        line = text.count("\n", 0, match.start()) + 1
        quoted.add(name)
        if name not in figures:
            errors.append("%s:%d quotes an unknown size figure %r" % (docs, line, name))
        elif value != figures[name]:
            errors.append("%s:%d quotes %s as %s; the build gives %s: write that"
                          % (docs, line, name, match.group(1), "{:,}".format(figures[name])))
    missing = sorted(set(figures) - quoted)
    if missing:
        errors.append("%s quotes no %s" % (docs, ", ".join(missing)))
    return errors


def check_page_alignment(pe):
    errors = []
    if pe.OPTIONAL_HEADER.FileAlignment != PAGE:
        errors.append("file alignment is 0x%x, expected 0x%x: Wine would copy the whole image into "
                      "private memory at load" % (pe.OPTIONAL_HEADER.FileAlignment, PAGE))
    for section in pe.sections:
        if section.PointerToRawData % PAGE:
            errors.append("section %s starts at file offset 0x%x, not on a page"
                          % (section.Name.rstrip(b"\0").decode("latin-1"), section.PointerToRawData))
    return errors


def check_size(pe, stub):
    errors = []
    own = own_code_and_data(pe)
    if own > OWN_CODE_AND_DATA_LIMIT:
        errors.append("code and data outside the resources are %d bytes, limit %d"
                      % (own, OWN_CODE_AND_DATA_LIMIT))
    if stub is not None:
        size = os.path.getsize(stub)
        if size > STUB_FILE_LIMIT:
            errors.append("the file without payload (%s) is %d bytes, limit %d" % (stub, size, STUB_FILE_LIMIT))
    return errors


def check_headers(pe, x64):
    errors = check_page_alignment(pe)
    machine, magic = (0x8664, 0x20B) if x64 else (0x14C, 0x10B)
    if pe.FILE_HEADER.Machine != machine:
        errors.append("machine is 0x%04x, expected 0x%04x" % (pe.FILE_HEADER.Machine, machine))
    if pe.OPTIONAL_HEADER.Magic != magic:
        errors.append("optional header magic is 0x%03x, expected 0x%03x (%s)"
                      % (pe.OPTIONAL_HEADER.Magic, magic, "PE32+" if x64 else "PE32"))
    if pe.OPTIONAL_HEADER.Subsystem != 2:
        errors.append("subsystem is %d, expected 2 (Windows GUI)" % pe.OPTIONAL_HEADER.Subsystem)
    return errors


def imported_libraries(pe):
    libs = []
    for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for entry in getattr(pe, attr, []):
            libs.append(entry.dll.decode("ascii", "replace"))
    return libs


def check_imports(pe):
    errors = []
    libs = imported_libraries(pe)
    bases = {}
    for lib in libs:
        base = lib.lower()
        if base.endswith(".dll"):
            base = base[:-4]
        bases[base] = lib
    if "kernel32" not in bases:
        errors.append("kernel32 is not imported at all: import table not read? (found %s)"
                      % (libs or "nothing"))
    if "version" in bases:
        errors.append("imports %s: it must be loaded at run time by full path" % bases["version"])
    for base, lib in sorted(bases.items()):
        if base.startswith(RUNTIME_DLL_PREFIXES):
            errors.append("imports the compiler runtime library %s: link it statically" % lib)
        elif base not in ALLOWED_IMPORTS and base != "version":
            errors.append("imports %s, which is not one of the system libraries %s"
                          % (lib, ", ".join(sorted(ALLOWED_IMPORTS))))
    return errors


# Runtime functions of the 32-bit program whose time has 32 bits: the log's
# stamp would be lost from 2038-01-19.
TIME_32_IMPORTS = {"time", "localtime", "_time32", "_localtime32"}


def check_xp_imports(pe):
    """Static imports of the 32-bit program that Windows XP SP2 lacks (or that
    nobody has checked against it yet), and those with a 32-bit time."""
    errors = []
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        base = entry.dll.decode("ascii", "replace").lower()
        base = base[:-4] if base.endswith(".dll") else base
        allowed = XP_SP2_IMPORTS.get(base, set())
        for imported in entry.imports:
            name = imported.name.decode("ascii", "replace") if imported.name else \
                "#%d" % imported.ordinal
            if base == "msvcrt" and name in TIME_32_IMPORTS:
                errors.append("msvcrt!%s has a 32-bit time, which ends in 2038" % name)
            elif name not in allowed:
                errors.append("%s!%s is imported statically, but is not known to exist on "
                              "Windows XP SP2: look it up at run time" % (base, name))
    return errors


def check_manifest(res, x64):
    errors = []
    manifests = res.names(RT_MANIFEST)
    if list(manifests) != [1]:
        return ["manifest ids are %s, expected exactly [1]" % sorted(manifests, key=str)]
    langs = manifests[1]
    if list(langs) != [LANG_EN_US]:
        errors.append("manifest languages are %s, expected [1033]" % sorted(langs))
    data = langs.get(LANG_EN_US)
    if data is None:
        return errors
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        return errors + ["manifest is not well-formed XML: %s" % e]
    if root.tag != ASM_V1 + "assembly":
        errors.append("root element is %s, expected assembly" % root.tag)

    identity = root.find(ASM_V1 + "assemblyIdentity")
    expected = {
        "version": "7.0.0.147",
        "processorArchitecture": "amd64" if x64 else "X86",
        "name": "wyk-7-windows-i586",
        "type": "win32",
    }
    if identity is None:
        errors.append("no assemblyIdentity")
    else:
        for key, value in expected.items():
            if identity.get(key) != value:
                errors.append("assemblyIdentity %s is %r, expected %r" % (key, identity.get(key), value))

    description = root.find(ASM_V1 + "description")
    if description is None or "Tavro Development Kit" not in (description.text or ""):
        errors.append("description does not name the product: %r"
                      % (None if description is None else description.text))

    levels = root.findall(".//%srequestedExecutionLevel" % ASM_V3)
    if len(levels) != 1:
        errors.append("%d requestedExecutionLevel elements, expected 1" % len(levels))
    else:
        if levels[0].get("level") != "requireAdministrator":
            errors.append("execution level is %r, expected 'requireAdministrator'" % levels[0].get("level"))
        if levels[0].get("uiAccess") != "false":
            errors.append("uiAccess is %r, expected 'false'" % levels[0].get("uiAccess"))

    systems = [e.get("Id") for e in root.iter(COMPAT_V1 + "supportedOS")]
    if systems != SUPPORTED_OS:
        errors.append("supportedOS entries are %s, expected exactly %s in this order" % (systems, SUPPORTED_OS))
    return errors


def row_bytes(width, bits):
    """Bytes of one bitmap row, padded to 32 bits."""
    return (width * bits + 31) // 32 * 4


def check_icon(res):
    errors = []
    groups = res.names(RT_GROUP_ICON)
    if ICON_GROUP_ID not in groups:
        return ["no icon group %d (groups: %s)" % (ICON_GROUP_ID, sorted(groups, key=str))]
    data = groups[ICON_GROUP_ID].get(LANG_EN_US)
    if data is None:
        return ["icon group %d has no language 1033 (has %s)" % (ICON_GROUP_ID, sorted(groups[ICON_GROUP_ID]))]
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if (reserved, kind) != (0, 1):
        errors.append("group header is (%d, %d), expected (0, 1)" % (reserved, kind))
    if count != len(ICON_IMAGES) or len(data) < 6 + 14 * count:
        return errors + ["icon group has %d entries (%d bytes), expected %d" % (count, len(data), len(ICON_IMAGES))]

    images = res.names(RT_ICON)
    for index, (size, bits) in enumerate(ICON_IMAGES):
        image_id = index + 1
        width, height, colours, _, planes, bitcount, nbytes, nid = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * index)
        where = "entry %d" % image_id
        want = (size, size, 16 if bits == 4 else 0, 1, bits, image_id)
        got = (width, height, colours, planes, bitcount, nid)
        if got != want:
            errors.append("%s: (width, height, colours, planes, bits, id) = %s, expected %s" % (where, got, want))
            continue
        image = images.get(image_id, {}).get(LANG_EN_US)
        if image is None:
            errors.append("%s: no RT_ICON image %d in language 1033" % (where, image_id))
            continue
        if len(image) != nbytes:
            errors.append("%s: image is %d bytes, the group says %d" % (where, len(image), nbytes))
        if len(image) < 40:
            errors.append("%s: image too short for a bitmap header" % where)
            continue
        hsize, bw, bh, bplanes, bbits = struct.unpack_from("<IiiHH", image, 0)
        if (hsize, bw, bh, bplanes, bbits) != (40, size, 2 * size, 1, bits):
            errors.append("%s: bitmap header (size, width, height, planes, bits) = %s, expected %s"
                          % (where, (hsize, bw, bh, bplanes, bbits), (40, size, 2 * size, 1, bits)))
        palette = 4 * (1 << bits) if bits <= 8 else 0
        expected_len = 40 + palette + size * row_bytes(size, bits) + size * row_bytes(size, 1)
        if len(image) != expected_len:
            errors.append("%s: image is %d bytes, a %dx%d %d-bit image with its mask is %d"
                          % (where, len(image), size, size, bits, expected_len))
    extra = sorted(set(images) - set(range(1, len(ICON_IMAGES) + 1)), key=str)
    if extra:
        errors.append("RT_ICON images beyond the group: %s" % extra)
    return errors


def decode_string_block(data):
    """The 16 strings of a string-table block, as text."""
    strings = []
    pos = 0
    for _ in range(16):
        if pos + 2 > len(data):
            raise ValueError("block ends after %d strings" % len(strings))
        (n,) = struct.unpack_from("<H", data, pos)
        pos += 2
        if pos + 2 * n > len(data):
            raise ValueError("string %d runs past the end of the block" % len(strings))
        strings.append(data[pos:pos + 2 * n].decode("utf-16-le"))
        pos += 2 * n
    return strings


def script_problems(lang, text):
    """Signs that the text was stored in the wrong encoding or language."""
    if "\ufffd" in text or any(0x80 <= ord(c) <= 0xFF for c in text):
        return "looks mis-encoded (replacement or Latin-1 characters)"
    kana = any(0x3040 <= ord(c) <= 0x30FF for c in text)
    han = any(0x4E00 <= ord(c) <= 0x9FFF for c in text)
    if lang == 1033 and not all(ord(c) < 0x80 for c in text):
        return "English text has non-ASCII characters"
    if lang == 1041 and not kana:
        return "Japanese text has no kana"
    if lang == 2052 and (kana or not han):
        return "Chinese text has kana or no Han characters"
    return None


def check_strings(res):
    errors = []
    # Strings 0..15 live in block 1 (block = id / 16 + 1).
    block = ENGINE_TOO_OLD_STRING // 16 + 1
    langs = res.get(RT_STRING, block)
    texts = {}
    for lang in STRING_LANGUAGES:
        data = langs.get(lang)
        if data is None:
            errors.append("no string block %d in language %d (have %s)" % (block, lang, sorted(langs)))
            continue
        try:
            text = decode_string_block(data)[ENGINE_TOO_OLD_STRING % 16]
        except (ValueError, UnicodeDecodeError) as e:
            errors.append("language %d: string block does not decode: %s" % (lang, e))
            continue
        if not text.strip():
            errors.append("language %d: string %d is empty" % (lang, ENGINE_TOO_OLD_STRING))
            continue
        problem = script_problems(lang, text)
        if problem:
            errors.append("language %d: string %d %s: %r" % (lang, ENGINE_TOO_OLD_STRING, problem, text))
        if "2.0" not in text:
            errors.append("language %d: string %d does not name the version 2.0: %r"
                          % (lang, ENGINE_TOO_OLD_STRING, text))
        texts[lang] = text
    if len(set(texts.values())) != len(texts):
        errors.append("some languages carry the same text: %s" % texts)
    return errors


def check_payload(res, payload_dir):
    errors = []
    expected = {(t, i) for t, i, _ in PAYLOAD_ROWS}
    for type_name, rid, file_name in PAYLOAD_ROWS:
        row = '"%s" %d' % (type_name, rid)
        langs = res.get(type_name, rid)
        if not langs:
            errors.append("row %s is missing" % row)
            continue
        if list(langs) != [LANG_EN_US]:
            errors.append("row %s has languages %s, expected only 1033" % (row, sorted(langs)))
        data = langs.get(LANG_EN_US)
        path = os.path.join(payload_dir, file_name)
        try:
            with open(path, "rb") as f:
                wanted = f.read()
        except OSError as e:
            errors.append("row %s: cannot read the bound file: %s" % (row, e))
            continue
        if data is not None and data != wanted:
            errors.append("row %s: %d bytes differ from %s (%d bytes)" % (row, len(data), path, len(wanted)))
    # Rows under the payload types that the table does not name.
    for type_key, names in res.tree.items():
        if not isinstance(type_key, str) or not type_key.startswith("TAVRO_"):
            continue
        for name_key in names:
            if (type_key, name_key) not in expected:
                errors.append('unexpected row "%s" %s' % (type_key, name_key))
    if "TAVRO_CAB8" in res.tree:
        errors.append('there must be no type "TAVRO_CAB8"')
    for type_key, names in res.tree.items():
        if isinstance(type_key, str) and 109 in names:
            errors.append('there must be no id 109 (found under "%s")' % type_key)
    return errors


# The version resource, field by field (language 1033, Unicode).
FILE_VERSION = (7, 0, 0, 147)
PRODUCT_VERSION = (1, 7, 0, 147)
VERSION_STRINGS = {
    "CompanyName": "Orvale",
    "FileDescription": "Tavro Development Kit 1.7.0 Setup",
    "FileVersion": "7.0.0.147",
    "ProductName": "Tavro Development Kit",
    "ProductVersion": "1.7.0-b147",
}
# The only ordinary resource types; the payload rows are the named types.
ORDINARY_TYPES = {RT_ICON, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST}


def split_version(ms, ls):
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def check_version(pe, res, original_filename):
    errors = []
    others = sorted(k for k in res.tree if not isinstance(k, str) and k not in ORDINARY_TYPES)
    if others:
        errors.append("resource types %s beyond icon, strings, icon group, version and manifest" % others)
    versions = res.names(RT_VERSION)
    if list(versions) != [1] or list(versions[1]) != [LANG_EN_US]:
        return errors + ["version resources are %s, expected id 1 in language 1033 only"
                         % {k: sorted(v) for k, v in versions.items()}]
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        return errors + ["the version resource does not parse"]
    fixed = fixed[0]
    got = split_version(fixed.FileVersionMS, fixed.FileVersionLS)
    if got != FILE_VERSION:
        errors.append("file version is %s, expected %s" % (got, FILE_VERSION))
    got = split_version(fixed.ProductVersionMS, fixed.ProductVersionLS)
    if got != PRODUCT_VERSION:
        errors.append("product version is %s, expected %s" % (got, PRODUCT_VERSION))
    if fixed.FileType != 1 or fixed.FileFlags != 0:
        errors.append("file type %d, flags 0x%x: expected an application (1) without flags"
                      % (fixed.FileType, fixed.FileFlags))

    tables, translations = {}, []
    for info in pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []:
        for table in getattr(info, "StringTable", []):
            tables[table.LangID.decode("ascii", "replace").lower()] = {
                k.decode("utf-8", "replace"): v.decode("utf-8", "replace") for k, v in table.entries.items()}
        for var in getattr(info, "Var", []):
            translations += list(var.entry.values())
    if list(tables) != ["040904b0"]:
        return errors + ["string tables %s, expected exactly 040904b0 (US English, Unicode)" % sorted(tables)]
    if translations != ["0x0409 0x04b0"]:
        errors.append("translations %s, expected ['0x0409 0x04b0']" % translations)
    wanted = dict(VERSION_STRINGS, OriginalFilename=original_filename)
    strings = tables["040904b0"]
    for key in sorted(set(wanted) | set(strings)):
        if strings.get(key) != wanted.get(key):
            errors.append("%s is %r, expected %r" % (key, strings.get(key), wanted.get(key)))
    return errors


def main(argv):
    parser = argparse.ArgumentParser(description="Static check of a bootstrapper executable.")
    parser.add_argument("exe")
    parser.add_argument("--payload", help="folder of the bound payload files")
    parser.add_argument("--x64", action="store_true", help="a 64-bit build")
    parser.add_argument("--original-filename", default="wyk-7-windows-i586.exe",
                        help="file name the version resource gives")
    parser.add_argument("--stub", help="the same program without payload rows (size limit)")
    parser.add_argument("--docs", help="a document whose quoted size figures must match (with --stub)")
    args = parser.parse_args(argv)
    payload_dir = args.payload or os.path.join(os.path.dirname(os.path.abspath(args.exe)), "bound-payload")

    try:
        pe = pefile.PE(args.exe)
    except (OSError, pefile.PEFormatError) as e:
        print("FAIL  %s cannot be read as a PE file: %s" % (args.exe, e))
        return 1
    res = Resources(pe)

    groups = [
        ("headers", lambda: check_headers(pe, args.x64)),
        ("imports", lambda: check_imports(pe)),
        ("XP imports", lambda: [] if args.x64 else check_xp_imports(pe)),
        ("size", lambda: [] if args.x64 else check_size(pe, args.stub)),
        ("quoted sizes", lambda: check_quoted_sizes(pe, args.stub, args.docs)
         if args.docs and args.stub else []),
        ("manifest", lambda: check_manifest(res, args.x64)),
        ("icon group", lambda: check_icon(res)),
        ("string tables", lambda: check_strings(res)),
        ("payload rows", lambda: check_payload(res, payload_dir)),
        ("version resource", lambda: check_version(pe, res, args.original_filename)),
    ]
    failed = 0
    print("checking %s (payload %s)" % (args.exe, payload_dir))
    for name, check in groups:
        errors = check()
        if errors:
            failed += 1
            print("FAIL  %s" % name)
            for e in errors:
                print("        %s" % e)
        else:
            print("ok    %s" % name)
    if failed:
        print("%d of %d groups failed" % (failed, len(groups)))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
