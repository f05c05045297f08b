"""The platform tests' Wine session: the suites' one session type
(tests/wine/harness.py: a copy of the prefix template per module, an X
display, the target build) with the probe and helper programs, and helpers
to read what they report.
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))

from harness import WineSession  # noqa: E402
from wine_base import read_items, run_quietly, unhex, win_path  # noqa: E402


def hexarg(text):
    """A probe argument that reaches the program byte for byte."""
    if isinstance(text, str):
        text = text.encode("latin-1")
    return "hex:" + text.hex()


def parse_lines(output):
    """'verb: key=value ...' lines into dicts; hex fields stay as text."""
    results = []
    for line in output.decode("latin-1").splitlines():
        if ":" not in line:
            continue
        verb, _, rest = line.partition(":")
        entry = {"verb": verb.strip()}
        for field in rest.split():
            key, _, value = field.partition("=")
            entry[key] = value
        results.append(entry)
    return results


def read_records(path):
    """Starts recorded by the stand-in: list of (file name, command line bytes)."""
    items = read_items(path)
    if [label for label, _ in items] != ["START", "CMDLINE"] * (len(items) // 2):
        raise AssertionError("broken start records in %s: %r" % (path, items))
    return [(name.decode("latin-1"), line) for (_, name), (_, line) in zip(items[::2], items[1::2])]


def reg_set(key, name, reg_type, data):
    """The probe's verb that stores data (bytes) as a registry value."""
    return ["reg-set", hexarg(key), hexarg(name), reg_type, data.hex() if data else "-"]


class WineEnv(WineSession):
    """The session of a platform test module; started in setUpModule and
    stopped in tearDownModule. Wine's error messages stay on: they show in a
    failure message, nothing else does."""

    debug = "fixme-all"

    def __init__(self):
        super().__init__("platform-" + os.path.splitext(os.path.basename(sys.argv[0]))[0])
        self.programs = self.win_dir
        self.drive_c = self.c_drive()
        self.scratch = self.work
        for name in ("platform_probe.exe", "platform_helper.exe"):
            if not os.path.exists(self.program(name)):
                raise RuntimeError("missing test program %s (build with WYK_TEST_PROGRAMS)"
                                   % self.program(name))

    # -- paths -------------------------------------------------------------

    def program(self, name):
        return os.path.join(self.programs, name)

    win = staticmethod(win_path)

    def unix(self, windows_path):
        """Unix path of a path on drive C: or Z:."""
        drive, rest = windows_path[:2].upper(), windows_path[2:].replace("\\", "/")
        if drive == "C:":
            return self.drive_c + rest
        if drive == "Z:":
            return rest
        raise ValueError(windows_path)

    def c_dir(self, relative, fresh=True):
        """A folder C:\\<relative>, emptied when fresh; returns (unix, windows)."""
        unix = os.path.join(self.drive_c, relative.replace("\\", "/"))
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
        for root, dirs, files in os.walk(tree):
            for name in dirs + files:
                path = os.path.join(root, name)
                if not os.path.islink(path):
                    os.chmod(path, 0o755)

    # -- start and stop ----------------------------------------------------

    def base_env(self, extra=None):
        """The environment of a call; WINEDLLOVERRIDES in extra adds to Wine's own."""
        extra = dict(extra or {})
        overrides = extra.pop("WINEDLLOVERRIDES", None)
        return self.env(extra, [overrides] if overrides else None)

    def start(self):
        if os.path.exists(self.scratch):
            self.make_writable(self.scratch)
        super().start()

    # -- running programs --------------------------------------------------

    def run(self, argv, env=None, cwd=None, timeout=60):
        """Runs a Windows program (Unix path first) and returns CompletedProcess."""
        return run_quietly([self.target.loader] + list(argv), self.base_env(env), timeout,
                           cwd=cwd or self.scratch)

    def probe(self, *verbs, exe=None, env=None, cwd=None, timeout=60, check=True):
        """Runs verbs (each a list) in one probe process; returns parsed lines."""
        argv = [exe or self.program("platform_probe.exe")]
        for i, verb in enumerate(verbs):
            if i:
                argv.append("+")
            argv.extend(str(part) for part in verb)
        result = self.run(argv, env=env, cwd=cwd, timeout=timeout)
        lines = parse_lines(result.stdout)
        if check and (result.returncode != 0 or len(lines) != len(verbs)):
            raise AssertionError("probe %r failed: exit %d, out %r, err %r"
                                 % (verbs, result.returncode, result.stdout, result.stderr[-2000:]))
        return lines

    def probe_one(self, *verb, **kwargs):
        return self.probe(list(verb), **kwargs)[0]

    def run_windows(self, command_line, box=False, env=None, limit_ms=30000):
        """Starts a command line from a Windows parent and gives its full 32-bit
        exit code, and with box=True the caption and text of the message box
        that it shows (pressing OK)."""
        verb = "run-box" if box else "run"
        result = self.run([self.program("platform_helper.exe"), verb, str(limit_ms),
                           command_line.encode("latin-1").hex()],
                          env=env, timeout=limit_ms / 1000 + 30)
        # The child shares the console, so its own lines come first.
        lines = [l for l in parse_lines(result.stdout) if l["verb"] == "run"]
        if result.returncode != 0 or len(lines) != 1 or "exit" not in lines[0]:
            raise AssertionError("run of %r failed: %r %r" % (command_line, result.stdout,
                                                              result.stderr[-2000:]))
        entry = lines[0]
        out = {"exit": int(entry["exit"]), "box": entry.get("box") == "1"}
        if out["box"]:
            out["caption"] = unhex(entry["caption"])
            out["text"] = unhex(entry["text"])
        return out

    def plant_recorder(self, unix_path):
        """A recording stand-in at unix_path (its file name is what it records)."""
        os.makedirs(os.path.dirname(unix_path), exist_ok=True)
        shutil.copyfile(self.program("platform_helper.exe"), unix_path)


_ENV = None


def setUpModule():
    """One Wine environment per test module; the modules import this and
    tearDownModule into their namespace."""
    global _ENV
    _ENV = WineEnv()
    _ENV.start()
    return _ENV


def tearDownModule():
    global _ENV
    if _ENV is not None:
        _ENV.stop()
        _ENV = None


def env():
    return _ENV
