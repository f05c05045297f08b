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
