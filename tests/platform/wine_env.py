"""Wine set-up of the platform tests: a prefix of their own inside the build
folder, an X display for message boxes, the probe and helper programs, and
helpers to read what they report.

Environment (set by the CTest registration):
  WYK_PLATFORM_PROGRAMS  folder of platform_probe.exe, platform_helper.exe, ...
  WYK_PLATFORM_WORK      folder for the prefix and the test files
  WYK_PLATFORM_PRODUCT   the bootstrapper built for x86_64 (optional)
  WYK_PLATFORM_DISPLAYS  X displays to try, ":98,:99" unless set
"""
import ctypes
import fcntl
import os
import shutil
import signal
import subprocess
import tempfile
import time

WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"

# Wine's own noise and first-start helpers that the tests do not want.
BASE_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"


def _end_with_parent():
    """In a child before exec: end when the test process ends, also when
    ctest kills it at its time limit."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


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


def unhex(value):
    return b"" if value in ("", "-") else bytes.fromhex(value)


def read_records(path):
    """Starts recorded by the stand-in: list of (file name, command line bytes)."""
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        data = f.read()
    records = []
    pos = 0
    while pos < len(data):
        end = data.index(b"\n", pos)
        name = data[pos:end].decode("latin-1")
        assert name.startswith("START "), data
        pos = end + 1
        end = data.index(b"\n", pos)
        header = data[pos:end].decode("latin-1")
        assert header.startswith("CMDLINE "), data
        n = int(header.split()[1])
        pos = end + 1
        records.append((name[6:], data[pos:pos + n]))
        pos += n + 1
    return records


class WineEnv:
    """One prefix and one display for a test module; started in setUpModule
    and stopped in tearDownModule."""

    def __init__(self):
        self.programs = os.environ.get("WYK_PLATFORM_PROGRAMS", "")
        self.work = os.environ.get("WYK_PLATFORM_WORK", "")
        if not self.programs or not self.work:
            raise RuntimeError("WYK_PLATFORM_PROGRAMS and WYK_PLATFORM_WORK must be set")
        self.product = os.environ.get("WYK_PLATFORM_PRODUCT", "")
        self.prefix = os.path.join(self.work, "prefix")
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.scratch = os.path.join(self.work, "scratch")
        self.xvfb = None
        self.display = None
        for name in ("platform_probe.exe", "platform_helper.exe"):
            if not os.path.exists(self.program(name)):
                raise RuntimeError("missing test program %s (build with WYK_TEST_PROGRAMS)"
                                   % self.program(name))

    # -- paths -------------------------------------------------------------

    def program(self, name):
        return os.path.join(self.programs, name)

    @staticmethod
    def win(unix_path):
        """Windows path of a Unix path (through drive Z:)."""
        return "Z:" + os.path.abspath(unix_path).replace("/", "\\")

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
        env = {k: v for k, v in os.environ.items()
               if not k.startswith("WINE") and k not in ("DISPLAY", "TMPDIR")}
        env.update({
            "WINEPREFIX": self.prefix,
            # Errors stay on: they show in a failure message, nothing else does.
            "WINEDEBUG": "fixme-all",
            "WINEDLLOVERRIDES": BASE_OVERRIDES,
            "WINEARCH": "win64",
        })
        if self.display:
            env["DISPLAY"] = self.display
        if extra:
            for key, value in extra.items():
                if key == "WINEDLLOVERRIDES":
                    value = BASE_OVERRIDES + ";" + value
                if value is None:
                    env.pop(key, None)
                else:
                    env[key] = value
        return env

    def start(self):
        os.makedirs(self.work, exist_ok=True)
        self._start_display()
        with open(os.path.join(self.work, "prefix.lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            ready = os.path.join(self.prefix, ".wyk-ready")
            if not os.path.exists(ready):
                if os.path.exists(self.prefix):
                    shutil.rmtree(self.prefix)
                subprocess.run([WINE64, "wineboot", "--init"], env=self.base_env(),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               timeout=300, check=True)
                subprocess.run([WINESERVER, "-w"], env=self.base_env(), timeout=300)
                open(ready, "w").close()
        if os.path.exists(self.scratch):
            self.make_writable(self.scratch)
            shutil.rmtree(self.scratch)
        os.makedirs(self.scratch)
        # Keep the server up between the many short program runs; it ends by
        # itself half a minute after the last one if this process dies.
        subprocess.run([WINESERVER, "-p30"], env=self.base_env(), timeout=60,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def stop(self):
        subprocess.run([WINESERVER, "-k"], env=self.base_env(), timeout=60,
                       stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=self.base_env(), timeout=60,
                       stderr=subprocess.DEVNULL)
        if self.xvfb is not None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
            self.xvfb = None

    @staticmethod
    def _display_in_use(number):
        """A display whose lock file names a living process."""
        try:
            with open("/tmp/.X%s-lock" % number) as f:
                pid = int(f.read().strip() or 0)
        except (OSError, ValueError):
            return False
        if pid <= 0:
            return False
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return False  # stale: Xvfb clears it itself
        except PermissionError:
            pass
        return True

    def _try_display(self, display):
        number = display.lstrip(":")
        proc = subprocess.Popen(["Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                preexec_fn=_end_with_parent)
        deadline = time.time() + 10
        while time.time() < deadline and proc.poll() is None:
            if os.path.exists("/tmp/.X11-unix/X%s" % number):
                self.xvfb, self.display = proc, display
                return True
            time.sleep(0.1)
        if proc.poll() is None:
            proc.kill()
        proc.wait()
        return False

    def _start_display(self, patience=300):
        """Takes the first free display of ours; when another run of these
        tests holds both, waits for one (an X server that another run stops
        under us would take our message boxes with it)."""
        candidates = os.environ.get("WYK_PLATFORM_DISPLAYS", ":98,:99").split(",")
        deadline = time.time() + patience
        while True:
            for display in candidates:
                if not self._display_in_use(display.lstrip(":")) and self._try_display(display):
                    return
            if time.time() > deadline:
                raise RuntimeError("no free X display among %s" % candidates)
            time.sleep(1)

    # -- running programs --------------------------------------------------

    def run(self, argv, env=None, cwd=None, timeout=60):
        """Runs a Windows program (Unix path first) and returns CompletedProcess."""
        # Output goes through files, not pipes: Wine's own background processes
        # (started with the first program) inherit the handles and would hold a
        # pipe open long after the program has ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.run([WINE64] + list(argv), env=self.base_env(env),
                                  cwd=cwd or self.scratch, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(proc.args, proc.returncode, out.read(), err.read())

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


def start_module_env():
    """Called from setUpModule: one Wine environment per test module."""
    global _ENV
    _ENV = WineEnv()
    _ENV.start()
    return _ENV


def stop_module_env():
    global _ENV
    if _ENV is not None:
        _ENV.stop()
        _ENV = None


def env():
    return _ENV
