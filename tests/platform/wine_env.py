"""The platform tests' Wine session: the suites' one session type
(tests/wine/harness.py) with the probe and helpers to read what it reports.
"""
import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))

import harness  # noqa: E402
from harness import WineSession, read_records, reg_set, unhex, win_path  # noqa: E402,F401


def hexarg(text):
    """A probe argument that reaches the program byte for byte."""
    if isinstance(text, str):
        text = text.encode("latin-1")
    return "hex:" + text.hex()


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

    def c_dir(self, relative):
        """An empty folder C:\\<relative>; returns (unix, windows)."""
        unix = self.c_drive(relative.replace("\\", "/"))
        self.fresh_folder(unix)
        return unix, "C:\\" + relative.replace("/", "\\")

    def probe_one(self, *verb, **kwargs):
        return self.probe(list(verb), **kwargs)[0]

    def run_windows(self, command_line, box=False, env=None, limit_ms=30000, invisible=False):
        """Runs a command line from a Windows parent (observer.exe): its full
        32-bit exit code and, with box=True, the caption and text of the
        message box it shows; invisible: see run_line."""
        result = self.run_line(command_line.encode("latin-1"), env=env, dialog=box,
                               timeout=limit_ms / 1000, invisible=invisible)
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
