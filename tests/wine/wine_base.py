"""What every Wine test suite needs: the program under test and the Wine
loader that runs it, an X server on a free display of the suite's own range,
a prefix template made with wineboot and copies of it, the environment of a
Wine call, and readers of the files the test programs write.

The suites import it from tests/wine (harness.py directly; the others put
that folder on sys.path). Python standard library only; run with
/usr/bin/python3. Paths come from the environment the CTest registration
(cmake/WineTests.cmake) sets:
  WYK_BUILD_DIR        the native build folder, with win-i686, win-x64-i586
                       and win-x64-amd64 below it
  WYK_WINE_TEST_DIR    work folder of the Wine suites (template, the choice
                       of target, one folder per module)
"""
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# The payload table's reader (tools/payload_rows.py) for every suite that imports this.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))

WINE32 = os.environ.get("WYK_WINE32", "/usr/lib/wine/wine")
WINE64 = os.environ.get("WYK_WINE64", "/usr/lib/wine/wine64")
WINESERVER = os.environ.get("WYK_WINESERVER", "/usr/lib/wine/wineserver")


def env_path(name):
    value = os.environ.get(name)
    if not value:
        raise RuntimeError("environment variable %s is not set (run through ctest)" % name)
    return value


class Target:
    """The build the suites run. "pe32": the shipped 32-bit program and test
    programs of its bitness, started by Wine's 32-bit loader in a 64-bit
    (WoW64) prefix. "x64": the same sources and constants as 64-bit code,
    for a machine that cannot execute 32-bit code; note says why."""

    def __init__(self, name, note=""):
        build = env_path("WYK_BUILD_DIR")
        self.name = name
        self.note = note
        self.pe32 = name == "pe32"
        self.dir = os.path.join(build, "win-i686" if self.pe32 else "win-x64-i586")
        self.loader = WINE32 if self.pe32 else WINE64
        self.amd64_exe = os.path.join(build, "win-x64-amd64", "wyk-7-windows-amd64.exe")
        # What a program of the target's bitness sees as its system folder
        # and program folders (Wine's Unix names below drive_c).
        self.system_dir = "syswow64" if self.pe32 else "system32"
        self.program_files = "Program Files (x86)" if self.pe32 else "Program Files"
        # Where its HKLM\Software values lie in the prefix's saved registry.
        self.software_key = "Software\\Wow6432Node" if self.pe32 else "Software"
        self.cache_suffix = ""

    def describe(self):
        if self.pe32:
            return "the PE32 under WoW64 (%s, loader %s)" % (self.dir, self.loader)
        return "the 64-bit build instead of the PE32 (%s): %s" % (self.dir, self.note)


def probe_32bit_code():
    """None when this machine runs Wine's 32-bit loader, a small 32-bit
    program; otherwise the reason it does not."""
    if not os.path.exists(WINE32):
        return "%s is missing (install wine32:i386)" % WINE32
    try:
        done = subprocess.run([WINE32, "--version"], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    except OSError as error:
        return "this machine cannot start the 32-bit program %s: %s" % (WINE32, error)
    if done.returncode != 0:
        return "the 32-bit program %s ended with %d: %s" % (
            WINE32, done.returncode, done.stderr.decode("latin-1", "replace").strip()[-300:])
    return None


def target_file():
    return os.path.join(env_path("WYK_WINE_TEST_DIR"), "target.txt")


def choose_target():
    """Checks once per test run which build the suites run and writes the
    answer where every suite reads it."""
    reason = probe_32bit_code()
    os.makedirs(os.path.dirname(target_file()), exist_ok=True)
    with open(target_file(), "w") as f:
        f.write("pe32\n" if reason is None else "x64\n%s\n" % reason)
    return Target("pe32") if reason is None else Target("x64", reason)


_target = None


def target():
    """The build of this run (as the run's first check wrote it down)."""
    global _target
    if _target is None:
        try:
            with open(target_file()) as f:
                name, _, note = f.read().partition("\n")
            _target = Target(name, note.strip())
        except FileNotFoundError:
            _target = choose_target()
    return _target


# Wine would offer to install its .NET and HTML engines and write desktop
# entries for the programs it installs: nothing a test wants.
BASE_DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"

# Files of a prefix that nothing writes once it is made: copies of a prefix
# hard-link them instead of copying (a prefix is some 700 MB). A test that
# replaces one removes the link first.
LINKED_SUFFIXES = (".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm", ".ax", ".tlb",
                   ".ds", ".nls", ".ttf", ".fon", ".msstyles", ".mui")

# This Wine build has no preloader to reserve the fixed addresses Wine needs
# before Linux places anything. With address randomization, a process now and
# then finds one taken ("failed to map the shared user data: c0000018") and
# dies before the program runs. Without randomization the layout is the same
# every time. The setting is inherited by every process the tests start.
ADDR_NO_RANDOMIZE = 0x0040000


def keep_addresses_fixed():
    libc = ctypes.CDLL(None, use_errno=True)
    current = libc.personality(0xFFFFFFFF)
    if current != -1 and not current & ADDR_NO_RANDOMIZE:
        libc.personality(current | ADDR_NO_RANDOMIZE)


keep_addresses_fixed()


def die_with_parent():
    """In a child before exec: it ends with the test process, also when ctest
    kills that at its time limit, and keeps out of the terminal's signals."""
    try:
        ctypes.CDLL("libc.so.6").prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except OSError:
        pass
    os.setsid()


def win_path(unix_path):
    """The Windows name of a Unix path through Wine's Z: drive."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def hex_text(text, terminated=True):
    """Hex of a text (latin-1) with its terminating zero; "-" for no bytes."""
    data = text.encode("latin-1") if isinstance(text, str) else bytes(text)
    return (data + (b"\0" if terminated else b"")).hex() or "-"


def unhex(value):
    """The bytes of a hex field; "" and "-" stand for none."""
    return b"" if value in ("", "-") else bytes.fromhex(value)


def read_items(path):
    """[(label, bytes)] of the 'LABEL <n>\\n<n bytes>\\n' items the test
    programs write, none when the file is missing. A 'START <name>' line (a
    recording stand-in naming itself) is an item without a length."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return []
    items = []
    pos = 0
    while pos < len(data):
        end = data.index(b"\n", pos)
        label, _, rest = data[pos:end].partition(b" ")
        pos = end + 1
        if label == b"START":
            items.append(("START", rest))
            continue
        stop = pos + int(rest)
        items.append((label.decode("latin-1"), data[pos:stop]))
        if data[stop:stop + 1] != b"\n":
            raise AssertionError("item %d of %s is not terminated" % (len(items), path))
        pos = stop + 1
    return items


def read_key_values(path, every=False):
    """The key=value lines of a file ({} when it is missing): {key: last value},
    or with every {key: [every value, in order]}."""
    values = {}
    if os.path.exists(path):
        with open(path, "rb") as f:
            for line in f.read().decode("latin-1").splitlines():
                key, sep, value = line.partition("=")
                if sep:
                    values.setdefault(key, []).append(value)
    return values if every else {key: found[-1] for key, found in values.items()}


# What Wine prints when a process of its own dies while starting, before any
# of the program's code has run (see keep_addresses_fixed; kept as a second
# line of defence).
WINE_START_FAILURES = (b"could not load kernel32.dll", b"failed to map the shared user data")


def run_quietly(argv, env, timeout, cwd=None):
    """Runs a command with a time limit (subprocess.TimeoutExpired when it is
    overrun). The output comes back through files: a wineserver that a Wine
    program starts would hold a pipe open long after the program has ended.
    A Wine start that failed before the program ran is tried once more."""
    for attempt in (1, 2):
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=err, timeout=timeout, preexec_fn=die_with_parent)
            out.seek(0)
            err.seek(0)
            done.stdout = out.read()
            done.stderr = err.read()
        failed_start = any(sign in done.stderr for sign in WINE_START_FAILURES)
        if done.returncode == 0 or not failed_start or attempt == 2:
            return done
        sys.stderr.write("Wine failed to start %s; trying once more\n" % argv[:2])
    return done


def base_env(prefix, display, debug="-all", dll_overrides=(), extra=None):
    """Environment of a Wine call: the test process's own without Wine's,
    locale and temporary folder settings and those of the engine stand-ins,
    which would leak into the prefix; then extra (None takes a variable away)."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "LC_", "WYK_ENGINE_"))
           and k not in ("TMPDIR", "LANG", "DISPLAY")}
    env.update({
        "WINEPREFIX": prefix,
        "WINEDEBUG": debug,
        "WINEDLLOVERRIDES": ";".join([BASE_DLL_OVERRIDES] + list(dll_overrides)),
        "LANG": "C.UTF-8",
        "DISPLAY": display or "",
    })
    for key, value in (extra or {}).items():
        if value is None:
            env.pop(key, None)
        else:
            env[key] = value
    return env


def end_wine(env, timeout=60):
    """Ends every Wine process of the prefix in env and waits for its wineserver."""
    for option in ("-k", "-w"):
        subprocess.run([WINESERVER, option], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=timeout)


def display_numbers(text):
    """The display numbers of a setting such as "91-94", ":98,:99" or ":95"."""
    numbers = []
    for part in text.split(","):
        first, _, last = part.strip().lstrip(":").partition("-")
        numbers.extend(range(int(first), int(last or first) + 1))
    return numbers


class XServer:
    """An Xvfb on the first free display of a suite's range."""

    def __init__(self, numbers):
        self.candidates = list(numbers)
        self.process = None
        self.display = None

    @staticmethod
    def lock_owner(number):
        try:
            with open("/tmp/.X%d-lock" % number) as f:
                return int(f.read().strip() or 0)
        except (OSError, ValueError):
            return 0

    @classmethod
    def in_use(cls, number):
        """A display whose lock names a living process (a stale lock is
        cleared by Xvfb itself)."""
        pid = cls.lock_owner(number)
        if pid <= 0:
            return False
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return False
        except PermissionError:
            pass
        return True

    def try_start(self, number):
        process = subprocess.Popen(
            ["Xvfb", ":%d" % number, "-nolisten", "tcp", "-screen", "0", "1024x768x24"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
        socket = "/tmp/.X11-unix/X%d" % number

        def ours():
            return os.path.exists(socket) and self.lock_owner(number) == process.pid
        deadline = time.time() + 10
        while time.time() < deadline and process.poll() is None and not ours():
            time.sleep(0.05)
        # Another run may have taken the number at the same moment: the lock says whose it is.
        if process.poll() is None and ours():
            self.process = process
            self.display = ":%d" % number
            return True
        if process.poll() is None:
            process.kill()
        process.wait()
        return False

    def start(self, patience=300):
        """Takes the first free display of the range; when all are busy (other
        test runs on the same machine), waits for one to become free: an X
        server that another run stops under a test would take its message
        boxes with it."""
        deadline = time.time() + patience
        while True:
            for number in self.candidates:
                if not self.in_use(number) and self.try_start(number):
                    return self.display
            if time.time() > deadline:
                raise RuntimeError("no free X display in %s" % self.candidates)
            time.sleep(1)

    def stop(self):
        if self.process is not None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.process = None


def make_prefix(path, display, debug="-all", then=None, extra=None):
    """A fresh prefix at path, made with wineboot -i by the target's loader
    (a 64-bit prefix either way); then(env) may add to it before its
    wineserver ends. extra adds to the environment, e.g. USER (the profile
    folder's name) or LC_ALL. A fresh prefix now and then fails to start
    ("could not load kernel32.dll"): it is then removed and made once more."""
    env = base_env(path, display, debug, extra=extra)
    for attempt in (1, 2):
        shutil.rmtree(path, ignore_errors=True)
        done = run_quietly([target().loader, "wineboot", "-i"], env, timeout=300)
        if done.returncode == 0:
            break
        end_wine(env)
        tail = done.stderr[-2000:].decode("latin-1", "replace")
        if attempt == 2:
            raise RuntimeError("wineboot -i failed again with %d in %s:\n%s"
                               % (done.returncode, path, tail))
        print("wineboot -i failed with %d in %s; making the prefix once more. "
              "Its last output:\n%s" % (done.returncode, path, tail), flush=True)
    try:
        if then is not None:
            then(env)
    except BaseException:
        end_wine(env)
        raise
    subprocess.run([WINESERVER, "-w"], env=env, timeout=300)
    return env


def template_path():
    return os.path.join(env_path("WYK_WINE_TEST_DIR"), "template")


def make_template(display):
    """The prefix every module copies, made once per test run: the target is
    chosen first, since its loader makes the prefix. A crashing program must
    not leave a debugger dialog behind."""
    chosen = choose_target()
    print("the Wine suites run %s" % chosen.describe(), flush=True)
    target_dir = template_path()
    staging = target_dir + ".new"

    def no_crash_dialog(env):
        run_quietly([chosen.loader, os.path.join(chosen.dir, "wine-tools", "registry_tool.exe"),
                     "set", "HKCU\\Software\\Wine\\WineDbg", "ShowCrashDialog", "4",
                     "00000000"], env, timeout=120).check_returncode()
    make_prefix(staging, display, then=no_crash_dialog)
    if os.path.exists(target_dir):
        shutil.rmtree(target_dir)
    os.rename(staging, target_dir)


def copy_template(target_dir):
    source = template_path()
    if not os.path.isfile(os.path.join(source, "system.reg")):
        raise RuntimeError("no prefix template in %s (run the wine.prefix-template test)"
                           % source)
    copy_prefix(source, target_dir)


def copy_prefix(source, target):
    """A copy of a prefix (made anew); the large program files are hard-linked."""
    if os.path.exists(target):
        shutil.rmtree(target)
    for root, dirs, files in os.walk(source):
        relative = os.path.relpath(root, source)
        out = os.path.join(target, relative) if relative != "." else target
        os.makedirs(out, exist_ok=True)
        for name in list(dirs):
            path = os.path.join(root, name)
            if os.path.islink(path):
                os.symlink(os.readlink(path), os.path.join(out, name))
                dirs.remove(name)
        for name in files:
            path = os.path.join(root, name)
            if relative == "." and name == "wineserver":
                continue  # belongs to the source's server
            if os.path.islink(path):
                os.symlink(os.readlink(path), os.path.join(out, name))
            elif name.lower().endswith(LINKED_SUFFIXES):
                os.link(path, os.path.join(out, name))
            else:
                shutil.copy2(path, os.path.join(out, name))


def main():
    if sys.argv[1:] != ["make-template"]:
        sys.exit("usage: wine_base.py make-template")
    xserver = XServer(display_numbers(os.environ.get("WYK_WINE_DISPLAYS", "91-94")))
    xserver.start()
    started = time.time()
    try:
        make_template(xserver.display)
    finally:
        xserver.stop()
    print("prefix template ready in %.1f s: %s" % (time.time() - started, template_path()))


if __name__ == "__main__":
    main()
