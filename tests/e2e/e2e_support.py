"""Support for the end-to-end suite: a clean Wine prefix per scenario (a
tests/wine/harness.py session, which also brings the target build, the X
server, the runner and the registry operations) and the processes of a run.
The programs of the target build:
  wyk-demo-e2e.exe        the setup program bound with the small demo payload
                          (its eight files in demo-e2e/, the packages only
                          checks use in demo-e2e-extra/)
  wyk-demo-e2e-large.exe  the same with release-size cabinets
WYK_E2E_KEEP, if set, keeps the prefixes of the scenarios for a look.
"""
import os
import shutil
import signal
import sys
import time
import unittest
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))

from harness import (REG_SZ, Runs, WineSession, command_line, copy_template, hklm,  # noqa: E402
                     make_prefix, module_name, target, win_path, XServer)
from product import (CABINETS, PACKAGE, PRODUCT_CODE_AU, PRODUCT_CODE_AU_NEWER,  # noqa: E402,F401
                     PRODUCT_CODE_AU_OLD, PRODUCT_CODE_KIT, PRODUCT_CODE_QOR)
from product import (AUTO_UPDATE as UPDATE_KEY, INSTALLER as INSTALLER_KEY,  # noqa: E402,F401
                     KIT as KIT_KEY, RUNTIME as RUNTIME_KEY, UNINSTALL as UNINSTALL_KEY,
                     VENDOR as VENDOR_KEY)

PAYLOAD_FILES = [PACKAGE] + CABINETS

# The program folder of the target's bitness ("Program Files (x86)" for the PE32).
PROGRAM_FILES = target().program_files
KIT_DIR = PROGRAM_FILES + "/Orvale/Tavro Development Kit 1.7.0"
RUNTIME_DIR = PROGRAM_FILES + "/Orvale/Tavro Runtime 1.7.0"
TOOL_DIR = PROGRAM_FILES + "/Common Files/Tavro/Tavro Update"


def built(name):
    """A file or folder of the target build."""
    return os.path.join(target().dir, name)


class Prefix(WineSession):
    """The Wine session of one scenario: a clean copy of the template prefix
    on the module's display (see harness.WineSession), the setup program run
    through the runner so that a check may hold it between start and finish."""

    def __init__(self, name, display, extra=None):
        """extra (environment, as in base_env) makes a prefix of its own instead:
        USER names the profile folder at wineboot time and at every run."""
        super().__init__("e2e-%s/%s" % (module_name(), name), xserver=display)
        self.extra = extra
        if os.path.isdir(self.prefix):
            self.kill_wine()
        if extra:
            os.makedirs(self.module_dir, exist_ok=True)
            make_prefix(self.prefix, display.display, extra=extra)
        else:
            copy_template(self.prefix)
        os.makedirs(self.c_drive("e2e"), exist_ok=True)
        os.makedirs(self.work, exist_ok=True)
        self.user = self._prefix_user()

    def env(self, extra=None, dll_overrides=None):
        return super().env(dict(self.extra or {}, **(extra or {})), dll_overrides)

    # -- running ----------------------------------------------------------------

    def start(self, exe, args, tag=None, timeout=400):
        """Starts the setup program (Z: path of exe, arguments as one text) through the
        runner, pausable (see harness.Runs); gives the Runs. A tag argument, passed on
        to the engine, lets a check find the engine runs of this scenario among all
        processes."""
        tail = (" " + args if args else "") + (" E2ETAG=%s" % tag if tag else "")
        return Runs(self, [command_line(exe, tail)], cwd=self.c_drive(), timeout=timeout,
                    pausable=True)

    def finish(self, runs):
        """The exit code (signed 32 bits) once the program has ended and the
        prefix's wineserver with it (the registry is then saved to disk)."""
        outcome = runs.wait()[0]
        self.wait_server()
        if not isinstance(outcome, int):
            raise AssertionError("the setup program: %s" % outcome)
        return outcome

    def run(self, exe, args="", timeout=400, tag=None):
        return self.finish(self.start(exe, args, tag, timeout))


    def remove(self):
        """Ends the prefix's programs and takes it away (unless WYK_E2E_KEEP is set)."""
        self.kill_wine()
        if not os.environ.get("WYK_E2E_KEEP"):
            shutil.rmtree(self.module_dir, ignore_errors=True)

    # -- looking at the result -----------------------------------------------------

    def product_installed(self, product_code):
        return self.key_exists(hklm(UNINSTALL_KEY + "\\" + product_code))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def command_lines():
    """(pid, command line) of every process, the arguments joined by blanks."""
    for pid in os.listdir("/proc"):
        if pid.isdigit():
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    yield pid, f.read().replace(b"\0", b" ").decode("utf-8", "replace")
            except OSError:
                pass  # the process has ended


def engine_runs(tag, seen):
    """Records in seen {pid: [times seen, later seen as another program, arguments from
    /i on]} every engine process (not the custom action server) whose command line
    carries the tag, and returns seen. A process caught while Wine still starts it
    shows the loader in front; the arguments are the same."""
    for pid, line in command_lines():
        if tag in line and "msiexec.exe" in line.lower() and " /i " in line:
            entry = seen.setdefault(pid, [0, False, None])
            entry[0] += 1
            entry[2] = line[line.index(" /i ") + 1:].rstrip()
        elif pid in seen and line:
            seen[pid][1] = True
    return seen


def lasting_runs(seen):
    """The arguments of the real engine runs in seen. When an engine starts a helper
    (its custom action server), the forked child shows the engine's own command line
    for the moment until it executes the helper: such a glimpse is seen once, or is
    later seen as the other program. An engine run lasts far longer than one look."""
    return [args for count, changed, args in seen.values() if count >= 2 and not changed]


def find_process(*markers):
    """Linux pid of the Wine process whose command line contains every marker, or None.
    (Wine shows a process's Windows command line, split, as its Linux one.)"""
    for pid, line in command_lines():
        if all(m in line for m in markers) and "observer.exe" not in line:
            return int(pid)
    return None


def hold(pid, limit=10):
    """Stops a process (SIGSTOP) and returns once all its threads have stopped: a
    thread stops only on its way out of the kernel, so a write in progress still
    lands after kill() has returned."""
    os.kill(pid, signal.SIGSTOP)
    deadline = time.time() + limit
    while time.time() < deadline:
        states = []
        for thread in os.listdir("/proc/%d/task" % pid):
            try:
                with open("/proc/%d/task/%s/stat" % (pid, thread)) as f:
                    states.append(f.read().rpartition(")")[2].split()[0])
            except FileNotFoundError:
                pass  # the thread has ended
        if all(state in ("T", "t") for state in states):
            return
        time.sleep(0.001)
    raise AssertionError("process %d did not stop" % pid)


def new_tag():
    return uuid.uuid4().hex[:12]


class Scenario(unittest.TestCase):
    """Base class: a display for the module, a clean prefix per test."""

    display = None

    @classmethod
    def setUpClass(cls):
        print("running %s" % target().describe(), flush=True)
        cls.exe = built("wyk-demo-e2e.exe")
        cls.payload = built("demo-e2e")
        cls.extra = built("demo-e2e-extra")
        cls.display = XServer()
        cls.display.start()

    @classmethod
    def tearDownClass(cls):
        cls.display.stop()

    def setUp(self):
        self.prefix = Prefix(self.id().split(".")[-1], self.display)
        self.addCleanup(self.prefix.remove)

    def assertValue(self, key, name, expected):
        """An HKLM text value in the target's own view, read by the wide call."""
        found = self.prefix.get_value(hklm(key), name, wide=True)
        self.assertIsNotNone(found, "HKLM\\%s has no value %s" % (key, name))
        self.assertEqual((found[0], found[1].decode("utf-16-le", "replace").rstrip("\0")),
                         (REG_SZ, expected), "HKLM\\%s value %s" % (key, name))
