#!/usr/bin/python3
"""Builds the demo payload of the setup program from the sources in resources/demo.

Output folder (the eight files under their cache names):
  wyk1.7.0.msi   the development kit package, transforms 1041 and 2052 embedded
  sj170000.cab   media disk 1: qor.msi, qor1041.MST, qor2052.MST
  sd170000.cab   media disk 2: demos.zip
  ss170000.cab   media disk 3: src.zip
  st170000.cab   media disk 4: tools.zip
  sz170000.cab   media disk 5: NOTICE.txt (the legal notice)
  au.msi, au.cab the update service 2.1.5.1 and its external cabinet
Extra folder (packages that only the end-to-end checks use):
  au-old.msi     update service 2.1.5.0 with the product code that the setup program removes
  au-newer.msi   update service 2.2.0.0 (registry only)
  qor.msi, qor1041.MST, qor2052.MST  copies, for checks of the runtime alone

Tools: wixl (databases), msibuild (table edits), msiinfo (reading properties),
gcab (cabinets); demo_msi_storage.py writes the transforms and embeds them,
which no tool here can do.

Reproducible: the same sources and --epoch give the same bytes. The packages
get fixed package codes and the epoch as their dates, and every file packed
into a cabinet carries the epoch as its time (in UTC).
"""
import argparse
import fcntl
import hashlib
import json
import os
import random
import shutil
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_msi_storage as storage  # noqa: E402

MIB = 1024 * 1024
DEFAULT_EPOCH = int(os.environ.get("SOURCE_DATE_EPOCH", "1704067200"))

# Media table of the kit: disk, cabinet, the files (by File key) in sequence order.
KIT_MEDIA = [
    (1, "sj170000.cab", ["QorMsi", "Qor1041Mst", "Qor2052Mst"]),
    (2, "sd170000.cab", ["DemosZip"]),
    (3, "ss170000.cab", ["SrcZip"]),
    (4, "st170000.cab", ["ToolsZip"]),
    (5, "sz170000.cab", ["NoticeFile"]),
]

# Cabinet sizes of the real release, filled up to with --realistic.
REALISTIC_SIZES = {
    "sd170000.cab": int(10.5 * MIB),
    "ss170000.cab": int(17.7 * MIB),
    "st170000.cab": int(33.9 * MIB),
    "sj170000.cab": int(16.0 * MIB),
}

# The tools archive is never tiny: a cabinet larger than a pipe buffer lets a
# check hold the setup program's cabinet writing at a point of its choosing.
DEFAULT_TOOLS_FILLER = 96 * 1024

PAYLOAD_NAMES = ["wyk1.7.0.msi", "sj170000.cab", "sd170000.cab", "ss170000.cab", "st170000.cab",
                 "sz170000.cab", "au.msi", "au.cab"]
EXTRA_NAMES = ["au-old.msi", "au-newer.msi", "qor.msi", "qor1041.MST", "qor2052.MST"]

OLD_SERVICE_CODE = "{6C1E2B90-3D4F-4A7B-9E21-0B5D8C3F7A42}"
SERVICES = {
    # name: product code, version, component guids, embedded cabinet, with the tool
    "au": ("{5B0D1A83-2C4E-4F6B-8A7D-9E0F1A2B3C81}", "2.1.5.1",
           "{6A1B2C3D-4E5F-4061-8273-94A5B6C7D811}", "{6A1B2C3D-4E5F-4061-8273-94A5B6C7D812}",
           False, True),
    "au-old": (OLD_SERVICE_CODE, "2.1.5.0",
               "{6A1B2C3D-4E5F-4061-8273-94A5B6C7D821}", "{6A1B2C3D-4E5F-4061-8273-94A5B6C7D822}",
               True, True),
    "au-newer": ("{8E2F3B94-4D5A-4C6B-9E8F-0A1B2C3D4E91}", "2.2.0.0",
                 "{6A1B2C3D-4E5F-4061-8273-94A5B6C7D831}", "{6A1B2C3D-4E5F-4061-8273-94A5B6C7D832}",
                 True, False),
}

# Package codes (summary revision number): one per distinct package, fixed so
# that a build gives the same bytes every time. A package whose content changes
# in a release must get a new one.
PACKAGE_CODES = {
    "kit": "{D4A1C6E2-7B3F-4E58-9A0C-1F2E3D4C5B61}",
    "qor": "{D4A1C6E2-7B3F-4E58-9A0C-1F2E3D4C5B62}",
    "au": "{D4A1C6E2-7B3F-4E58-9A0C-1F2E3D4C5B63}",
    "au-old": "{D4A1C6E2-7B3F-4E58-9A0C-1F2E3D4C5B64}",
    "au-newer": "{D4A1C6E2-7B3F-4E58-9A0C-1F2E3D4C5B65}",
}


class Builder:
    def __init__(self, args):
        self.args = args
        self.source = os.path.abspath(args.source)
        self.work = os.path.abspath(args.work)
        self.arch = args.arch
        self.win64 = "yes" if args.arch == "x64" else "no"
        self.program_files = "ProgramFiles64Folder" if args.arch == "x64" else "ProgramFilesFolder"
        self.common_files = "CommonFiles64Folder" if args.arch == "x64" else "CommonFilesFolder"
        self.epoch = args.epoch

    # -- helpers --------------------------------------------------------------

    def run(self, *cmd, cwd=None):
        # The cabinet tools turn file times into local dates: UTC gives every
        # builder the same ones.
        result = subprocess.run(list(cmd), cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                text=True, env=dict(os.environ, TZ="UTC"))
        # wixl prints GLib warnings for attributes it ignores; only the exit code counts.
        if result.returncode != 0:
            sys.stderr.write(result.stdout)
            raise SystemExit("demo_payload: %s failed with exit code %d" % (cmd[0], result.returncode))
        return result.stdout

    def wixl(self, wxs, out, defines, package):
        """Builds a package with the fixed code PACKAGE_CODES[package]; the files
        it packs into an embedded cabinet are dated copies (see dated)."""
        # wixl looks for source files relative to its working folder and
        # refuses absolute names: run it in the scratch folder, relative paths.
        cmd = [self.args.wixl, "-a", self.arch, "-o", os.path.abspath(out)]
        for key, value in defines.items():
            if os.path.isabs(value):
                value = os.path.relpath(value, self.work)
            cmd += ["-D", "%s=%s" % (key, value)]
        self.run(*cmd, os.path.abspath(wxs), cwd=self.work)
        self.stamp(out, package)

    def stamp(self, msi, package):
        root = storage.read_compound_file(open(msi, "rb").read())
        storage.stamp_package(root, PACKAGE_CODES[package], self.epoch)
        write_if_changed(msi, storage.write_compound_file(root))

    def dated(self, path):
        """A copy of a file or folder in the scratch folder, every file dated
        with the epoch (the originals keep their times: the build compares them)."""
        copy = os.path.join(self.work, "dated", os.path.basename(path))
        if os.path.isdir(path):
            shutil.rmtree(copy, ignore_errors=True)
            shutil.copytree(path, copy)
            files = [os.path.join(copy, name) for name in os.listdir(copy)]
        else:
            os.makedirs(os.path.dirname(copy), exist_ok=True)
            shutil.copyfile(path, copy)
            files = [copy]
        for name in files:
            os.utime(name, (self.epoch, self.epoch))
        return copy

    def properties(self, msi):
        text = self.run(self.args.msiinfo, "export", msi, "Property")
        rows = {}
        for line in text.splitlines()[3:]:
            if "\t" in line:
                key, value = line.split("\t", 1)
                rows[key] = value
        return rows

    def template(self, msi):
        for line in self.run(self.args.msiinfo, "suminfo", msi).splitlines():
            if line.startswith("Template: "):
                return line[len("Template: "):]
        raise SystemExit("demo_payload: %s has no template" % msi)

    def filler(self, name, size):
        """Incompressible, deterministic bytes (the same build gives the same payload)."""
        return random.Random("tavro-demo:" + name).randbytes(size) if size > 0 else b""

    def cabinet(self, out, files):
        """A cabinet (no compression) of (name in cabinet, source path) pairs."""
        folder = out + ".d"
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for name, path in files:
            shutil.copyfile(path, os.path.join(folder, name))
            os.utime(os.path.join(folder, name), (self.epoch, self.epoch))
        temp = os.path.abspath(out) + ".tmp"
        if os.path.exists(temp):
            os.remove(temp)
        self.run(self.args.gcab, "-c", temp, *[name for name, _ in files], cwd=folder)
        os.replace(temp, out)
        shutil.rmtree(folder)

    def archive(self, out, folder, filler_name, filler_size):
        with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as zf:
            for name in sorted(os.listdir(folder)):
                info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
                with open(os.path.join(folder, name), "rb") as f:
                    zf.writestr(info, f.read())
            if filler_size > 0:
                info = zipfile.ZipInfo(filler_name, date_time=(2024, 1, 1, 0, 0, 0))
                zf.writestr(info, self.filler(filler_name, filler_size))

    def transform(self, source_json, msi):
        with open(source_json, encoding="utf-8") as f:
            description = json.load(f)
        props = self.properties(msi)
        template = self.template(msi)
        platform = template.split(";")[0]
        code, version, upgrade = props["ProductCode"], props["ProductVersion"], props["UpgradeCode"]
        tables = {name: (t["columns"], t["rows"]) for name, t in description["tables"].items()}
        summary = {
            storage.PID_TITLE: "Transform",
            storage.PID_TEMPLATE: template,
            storage.PID_LASTAUTHOR: "%s;%d" % (platform, description["language"]),
            storage.PID_REVNUMBER: "%s%s;%s%s;%s" % (code, version, code, version, upgrade),
            storage.PID_PAGECOUNT: 200,
            # Applies to this product only: same product code and upgrade code.
            storage.PID_CHARCOUNT: 0x0002 | 0x0800,
        }
        return storage.transform_storage(description["codepage"], tables, summary)

    # -- the packages -----------------------------------------------------------

    def build_archives(self, fillers):
        archives = os.path.join(self.work, "archives")
        os.makedirs(archives, exist_ok=True)
        for name, filler_name in (("demos", "samples.bin"), ("src", "sources.bin"),
                                  ("tools", "tvc.bin")):
            self.archive(os.path.join(archives, name + ".zip"),
                         os.path.join(self.source, "archives", name), filler_name, fillers[name])
        return archives

    def build_qor(self, pack_size):
        pack = os.path.join(self.work, "runtime.pak")
        with open(pack, "wb") as f:
            f.write(b"Tavro runtime placeholder pack\r\n" + self.filler("runtime.pak", pack_size))
        os.utime(pack, (self.epoch, self.epoch))
        qor = os.path.join(self.work, "qor.msi")
        self.wixl(os.path.join(self.source, "qor.wxs"), qor, {
            "ProgramFilesFolder": self.program_files, "Win64": self.win64,
            "ContentDir": self.dated(os.path.join(self.source, "content")), "RuntimePack": pack}, "qor")
        for lang in (1041, 2052):
            mst = os.path.join(self.work, "qor%d.MST" % lang)
            with open(mst, "wb") as f:
                f.write(storage.write_compound_file(
                    self.transform(os.path.join(self.source, "transforms", "qor-%d.json" % lang), qor)))
        return qor

    def build_kit(self, archives, qor, out_dir):
        base = os.path.join(self.work, "kit-base.msi")
        self.wixl(os.path.join(self.source, "kit.wxs"), base, {
            "ProgramFilesFolder": self.program_files, "Win64": self.win64,
            "ContentDir": os.path.join(self.source, "content"), "ArchiveDir": archives,
            "QorMsi": qor, "Qor1041Mst": os.path.join(self.work, "qor1041.MST"),
            "Qor2052Mst": os.path.join(self.work, "qor2052.MST"),
            "CabinetWaitDll": os.path.abspath(self.args.cabinet_wait)}, "kit")

        # wixl knows no component conditions.
        queries = ["UPDATE `Component` SET `Condition` = 'WYKRERUN = \"1\" AND NOT Installed' "
                   "WHERE `Component` = 'RerunRequest'", "DELETE FROM `Media`"]
        sequence = 0
        for disk, cab, keys in KIT_MEDIA:
            for key in keys:
                sequence += 1
                queries.append("UPDATE `File` SET `Sequence` = %d WHERE `File` = '%s'" % (sequence, key))
            queries.append("INSERT INTO `Media` (`DiskId`, `LastSequence`, `Cabinet`) VALUES (%d, %d, '%s')"
                           % (disk, sequence, cab))
        cmd = [self.args.msibuild, base]
        for q in queries:
            cmd += ["-q", q]
        self.run(*cmd)

        sources = {
            "QorMsi": qor, "Qor1041Mst": os.path.join(self.work, "qor1041.MST"),
            "Qor2052Mst": os.path.join(self.work, "qor2052.MST"),
            "DemosZip": os.path.join(archives, "demos.zip"), "SrcZip": os.path.join(archives, "src.zip"),
            "ToolsZip": os.path.join(archives, "tools.zip"),
            "NoticeFile": os.path.join(self.source, "content", "NOTICE.txt"),
        }
        for _disk, cab, keys in KIT_MEDIA:
            self.cabinet(os.path.join(out_dir, cab), [(key, sources[key]) for key in keys])

        root = storage.read_compound_file(open(base, "rb").read())
        storage.stamp_package(root, PACKAGE_CODES["kit"], self.epoch)
        for lang in (1041, 2052):
            root.children[str(lang)] = self.transform(
                os.path.join(self.source, "transforms", "kit-%d.json" % lang), base)
        write_if_changed(os.path.join(out_dir, "wyk1.7.0.msi"), storage.write_compound_file(root))

    def build_service(self, name, folder):
        code, version, value_guid, tool_guid, embedded, with_tool = SERVICES[name]
        cabinet = "au.cab" if not embedded else "service.cab"
        out = os.path.join(self.work, name + ".msi")
        self.wixl(os.path.join(self.source, "update_service.wxs"), out, {
            "ServiceProductCode": code, "ServiceVersion": version,
            "ServiceComponentGuid": value_guid, "ToolComponentGuid": tool_guid,
            "ServiceCabinet": cabinet, "ServiceEmbedCab": "yes" if embedded else "no",
            "WithTool": "yes" if with_tool else "no",
            "CommonFilesFolder": self.common_files, "Win64": self.win64,
            "TvaRegExe": self.dated(os.path.abspath(self.args.tvaureg))}, name)
        publish(out, os.path.join(folder, name + ".msi"))
        if not embedded:
            self.cabinet(os.path.join(folder, cabinet), [("TvaRegExe", self.args.tvaureg)])

    def build(self):
        out_dir = os.path.abspath(self.args.out)
        extra_dir = os.path.abspath(self.args.extra)
        for d in (self.work, out_dir, extra_dir):
            os.makedirs(d, exist_ok=True)

        fillers = {"demos": 0, "src": 0, "tools": DEFAULT_TOOLS_FILLER}
        pack = 0
        passes = 3 if self.args.realistic else 1
        for _ in range(passes):
            archives = self.build_archives(fillers)
            qor = self.build_qor(pack)
            self.build_kit(archives, qor, out_dir)
            if not self.args.realistic:
                break
            # Second pass: correct each filler by what the cabinet still misses.
            for archive, cab in (("demos", "sd170000.cab"), ("src", "ss170000.cab"),
                                 ("tools", "st170000.cab")):
                fillers[archive] = max(0, fillers[archive] + REALISTIC_SIZES[cab]
                                       - os.path.getsize(os.path.join(out_dir, cab)))
            pack = max(0, pack + REALISTIC_SIZES["sj170000.cab"]
                       - os.path.getsize(os.path.join(out_dir, "sj170000.cab")))

        self.build_service("au", out_dir)
        self.build_service("au-old", extra_dir)
        self.build_service("au-newer", extra_dir)
        for name in ("qor.msi", "qor1041.MST", "qor2052.MST"):
            publish(os.path.join(self.work, name), os.path.join(extra_dir, name))


def write_if_changed(path, data):
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except FileNotFoundError:
        pass
    temp = path + ".tmp"
    with open(temp, "wb") as f:
        f.write(data)
    os.replace(temp, path)


def publish(source, dest):
    """Copies a finished file into an output folder in one step: a reader (the resource
    compiler of another target) sees the old file or the new one, never half of one."""
    temp = dest + ".tmp"
    shutil.copyfile(source, temp)
    os.replace(temp, dest)


def inputs_digest(args):
    """Digest of everything the payload is made from, to skip a build that another
    target has just done (several executables may bind the same payload folder)."""
    digest = hashlib.sha256()
    paths = []
    for root, dirs, files in os.walk(args.source):
        dirs.sort()
        paths += [os.path.join(root, name) for name in sorted(files)]
    here = os.path.dirname(os.path.abspath(__file__))
    paths += [args.cabinet_wait, args.tvaureg, os.path.join(here, "demo_payload.py"),
              os.path.join(here, "demo_msi_storage.py")]
    for path in paths:
        digest.update(os.path.relpath(path, args.source).encode() + b"\0")
        with open(path, "rb") as f:
            digest.update(hashlib.sha256(f.read()).digest())
    digest.update(("%s %s %d" % (args.arch, args.realistic, args.epoch)).encode())
    return digest.hexdigest()


def build_once(args):
    """Builds under a lock; when the outputs are already made from the same inputs,
    only refreshes their time stamps."""
    os.makedirs(args.work, exist_ok=True)
    outputs = [os.path.join(args.out, n) for n in PAYLOAD_NAMES] + \
              [os.path.join(args.extra, n) for n in EXTRA_NAMES]
    stamp = os.path.join(args.work, "inputs.sha256")
    with open(os.path.join(args.work, "build.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        digest = inputs_digest(args)
        try:
            with open(stamp) as f:
                done = f.read().strip() == digest
        except FileNotFoundError:
            done = False
        if done and all(os.path.exists(p) for p in outputs):
            for path in outputs:
                os.utime(path)
            return
        if os.path.exists(stamp):
            os.remove(stamp)
        Builder(args).build()
        with open(stamp, "w") as f:
            f.write(digest + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True, help="resources/demo")
    parser.add_argument("--out", required=True, help="folder for the eight payload files")
    parser.add_argument("--extra", required=True, help="folder for the packages only checks use")
    parser.add_argument("--work", required=True, help="scratch folder")
    parser.add_argument("--arch", choices=("x86", "x64"), required=True)
    parser.add_argument("--cabinet-wait", required=True, help="the custom action DLL")
    parser.add_argument("--tvaureg", required=True, help="the registration tool")
    parser.add_argument("--realistic", action="store_true", help="fill the cabinets to release sizes")
    parser.add_argument("--epoch", type=int, default=DEFAULT_EPOCH,
                        help="date of the packages and of the files in the cabinets, in seconds "
                             "since 1970 (default: SOURCE_DATE_EPOCH, else 2024-01-01)")
    parser.add_argument("--wixl", default="wixl")
    parser.add_argument("--msibuild", default="msibuild")
    parser.add_argument("--msiinfo", default="msiinfo")
    parser.add_argument("--gcab", default="gcab")
    build_once(parser.parse_args())


if __name__ == "__main__":
    main()
