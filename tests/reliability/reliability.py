"""Shared support of the reliability suites: runs of the bootstrapper that
overlap with other programs (several at once, an engine that waits, an
intruder acting on the staged files), a small disk mounted as the user data
folder, and registry values stored byte for byte.

Built on the Wine harness of tests/wine (prefix template, X server, registry
tool, exit codes through a runner program); Debian's /usr/bin/python3 only.
"""
import os
import pathlib
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))

import harness  # noqa: E402
from harness import CABINETS, PACKAGE, Runs, WineTestCase, read_key_values, win_path  # noqa: E402,F401
from payload_rows import SERVICE_FILES  # noqa: E402

RUNTIME_KEY = harness.hklm(harness.product.RUNTIME)
KIT_FILES = [PACKAGE] + CABINETS
ERROR_SHARING_VIOLATION = 32
ERROR_ACCESS_DENIED = 5
ERROR_DISK_FULL = 112

CREATE_FILE = b"Installer : Wrapper.CreateFile "
WRITE_FILE = b"Installer : Wrapper.WriteFile (In small chunks) "
OPEN_FOR_READING = b"Installer : Wrapper.OpenForReading "


class ReliabilityCase(WineTestCase):
    """Fresh state per test (see WineTestCase), plus the engine that waits,
    the intruder and the look at the kit cache."""

    def use_patient_engine(self):
        """The engine stand-in made to read the staged files and then wait for
        a stop file; gives (environment, hand-shake folder, report path)."""
        s = self.session
        hold = s.work_file("hold")
        os.makedirs(hold)
        report = s.work_file("engine-report.txt")
        return {"WYK_ENGINE_REPORT": win_path(report), "WYK_ENGINE_HOLD_DIR": win_path(hold)}, \
            hold, report

    def release(self, hold, package_name):
        pathlib.Path(hold, "stop-" + package_name).touch()

    def swap_attempts(self, paths, env=None, verb="try"):
        """What the observer's intruder could do to each file (each folder
        with "try-folder"): {name: {attempt: "ok" or code}}."""
        s = self.session
        report = s.work_file("swap.txt")
        s.wine(os.path.join(s.tools, "observer.exe"), verb, win_path(report),
               *[win_path(p) for p in paths], env=env)
        outcome = {}
        for key, value in read_key_values(report).items():
            name, _, attempt = key.rpartition(".")
            outcome.setdefault(name, {})[attempt] = value
        return outcome

    # ---- the cache -----------------------------------------------------------
    def kit_files(self):
        """{name: bytes} of the files in the kit cache folder."""
        folder = pathlib.Path(self.session.cache_folder())
        return {path.name: path.read_bytes() for path in folder.iterdir()} if folder.is_dir() else {}


class SmallDisk:
    """A tmpfs of the given size mounted over a folder of the prefix;
    unmounted again by the test's clean-up."""

    def __init__(self, case, folder, size):
        harness.skip_unless_root(case, "only root may mount a small disk (a tmpfs) to fill")
        os.makedirs(folder, exist_ok=True)
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s,mode=0755" % size, "tmpfs",
                               folder], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            case.skipTest("cannot mount a tmpfs here: %s" % done.stdout.decode().strip())
        case.addCleanup(unmount, folder)


def unmount(point, tries=20):
    """Takes a small disk away; a Wine process may still hold a file on it for
    a moment, so it is tried for a while before it is taken away lazily."""
    for _ in range(tries):
        if subprocess.run(["umount", point], stderr=subprocess.DEVNULL).returncode == 0:
            return
        time.sleep(0.25)
    subprocess.run(["umount", "-l", point], stderr=subprocess.DEVNULL)


def unmount_leftovers(folder):
    """Takes away small disks that a killed earlier run of the module left
    mounted in its prefix, before the prefix is copied afresh."""
    folder = os.path.abspath(folder) + "/"
    with open("/proc/mounts") as f:
        points = [line.split()[1] for line in f]
    for point in sorted(points, reverse=True):
        if point.startswith(folder):
            unmount(point, tries=0)


def setUpModule():
    """The harness's module set-up, after clearing leftovers of a killed run."""
    unmount_leftovers(os.path.join(harness.env_path("WYK_WINE_TEST_DIR"), harness.module_name()))
    harness.setUpModule()
