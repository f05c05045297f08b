"""The platform tests' Wine session: the suites' one session type
(tests/wine/harness.py) with the probe and helpers to read what it reports.
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))

import harness  # noqa: E402
from harness import WineSession, hex_text, read_records, run_quietly, unhex, win_path  # noqa: E402,F401


def hexarg(text):
    """A probe argument that reaches the program byte for byte."""
    if isinstance(text, str):
        text = text.encode("latin-1")
    return "hex:" + text.hex()


def reg_set(key, name, reg_type, data):
    """The registry tool's operation that stores data (bytes) as a value."""
    return ("set", key, name, str(reg_type), hex_text(data, terminated=False))


class WineEnv(WineSession):
    """The session of a platform test module; started in setUpModule and
    stopped in tearDownModule. Wine's error messages stay on: they show in a
    failure message, nothing else does."""

    debug = "fixme-all"

    def __init__(self, name):
        super().__init__("platform-" + name)

    def unix(self, windows_path):
        """Unix path of a path on drive C: or Z:."""
        drive, rest = windows_path[:2].upper(), windows_path[2:].replace("\\", "/")
        if drive == "C:":
            return self.c_drive() + rest
        if drive == "Z:":
            return rest
        raise ValueError(windows_path)

    def c_dir(self, relative, fresh=True):
        """A folder C:\\<relative>, emptied when fresh; returns (unix, windows)."""
        unix = self.c_drive(relative.replace("\\", "/"))
        if fresh and os.path.exists(unix):
            self.make_writable(unix)
            try:
                shutil.rmtree(unix)
            except PermissionError:
                # An immutable file left by an interrupted run.
                subprocess.run(["chattr", "-R", "-i", unix], stderr=subprocess.DEVNULL)
                shutil.rmtree(unix)
        os.makedirs(unix, exist_ok=True)
        return unix, "C:\\" + relative.replace("/", "\\")

    @staticmethod
    def make_writable(tree):
        # chmod passes over the symbolic links it meets on its way down; an
        # immutable file it cannot change is c_dir's to deal with.
        subprocess.run(["chmod", "-R", "755", tree])

    def start(self):
        if os.path.exists(self.work):
            self.make_writable(self.work)
        super().start()

    def probe(self, *verbs, exe=None, env=None, dll_overrides=None, cwd=None, timeout=60,
              check=True):
        """Runs verbs (each a list) in one probe process; returns a dict of the
        key=value fields of each line it prints (hex fields stay as text)."""
        argv = [self.target.loader, exe or self.exe("platform_probe.exe")]
        for i, verb in enumerate(verbs):
            argv += (["+"] if i else []) + [str(part) for part in verb]
        result = run_quietly(argv, self.env(env, dll_overrides), timeout, cwd=cwd or self.work)
        lines = [dict(field.split("=", 1) for field in line.split()[1:])
                 for line in result.stdout.decode("latin-1").splitlines() if ":" in line]
        if check and (result.returncode != 0 or len(lines) != len(verbs)):
            raise AssertionError("probe %r failed: exit %d, out %r, err %r"
                                 % (verbs, result.returncode, result.stdout, result.stderr[-2000:]))
        return lines

    def probe_one(self, *verb, **kwargs):
        return self.probe(list(verb), **kwargs)[0]

    def run_windows(self, command_line, box=False, env=None, limit_ms=30000, invisible=False):
        """Runs a command line from a Windows parent (run_all.exe): its full
        32-bit exit code and, with box=True, the caption and text of the
        message box it shows. WYK_HOLD_FILE in env names a file held open
        without sharing meanwhile; invisible: see run_line."""
        extra = dict(env or {})
        held = extra.pop("WYK_HOLD_FILE", None)
        release = self.hold(self.unix(held)) if held else None
        try:
            result = self.run_line(command_line.encode("latin-1"), env=extra, dialog=box,
                                   timeout=limit_ms / 1000, invisible=invisible)
        finally:
            if release:
                release()
        out = {"exit": result.exit_code & 0xFFFFFFFF, "box": result.dialog is not None}
        out.update((field.lower(), text) for field, text in (result.dialog or {}).items())
        return out

    def plant_recorder(self, unix_path):
        """The recording engine at unix_path: it records its file name too."""
        os.makedirs(os.path.dirname(unix_path), exist_ok=True)
        shutil.copyfile(os.path.join(self.fake_engine_dir, "msiexec.exe"), unix_path)


def setUpModule():
    """One session per test module; the modules import this and
    tearDownModule into their namespace."""
    harness.setUpModule(WineEnv)


tearDownModule = harness.tearDownModule
env = harness.module_session
