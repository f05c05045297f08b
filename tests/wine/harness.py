"""The one test support layer of every Wine suite: the program under test
and the loader that runs it (target()), an X server on a free display, a
prefix template made with wineboot and hard-linked copies
of it, the retry of a failed Wine start, the session of a test module
(registry in either view, programs run with their full exit code, message
boxes, the engine stand-in's records) and the readers of what the test
programs write.

Python standard library only; run with /usr/bin/python3. Paths come from the
environment the CTest registration (cmake/WineTests.cmake) sets:
  WYK_BUILD_DIR        the native build folder, with win-i686, win-x64-i586
                       and win-x64-amd64 below it
  WYK_WINE_TEST_DIR    work folder of the Wine suites (template, the choice
                       of target, one folder per module)
"""
import collections
import ctypes
import functools
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import product
from product import CABINETS, INSTALLER, PACKAGE, VENDOR, hklm  # noqa: F401 (suites take them here)

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


@functools.lru_cache(maxsize=None)
def target():
    """The build of this run (as the run's first check wrote it down)."""
    try:
        with open(target_file()) as f:
            name, _, note = f.read().partition("\n")
        return Target(name, note.strip())
    except FileNotFoundError:
        return choose_target()


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


# Root writes to any file whatever its mode, and Wine keeps a file's read-only
# attribute in its mode: with a server started so (Wine opens files in its
# server), a program meets the refusals Windows makes.
WITHOUT_ROOT_OVERRIDE = ["setpriv", "--inh-caps=-dac_override", "--bounding-set=-dac_override"]


def skip_unless_root(case, why):
    """Skips a test that needs root to make its situation, saying why."""
    if os.geteuid() != 0:
        case.skipTest("needs root: " + why)


def win_path(unix_path):
    """The Windows name of a Unix path through Wine's Z: drive."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def hex_text(text, terminated=True):
    """Hex of a text (latin-1) with its terminating zero; "-" for no bytes."""
    data = text.encode("latin-1") if isinstance(text, str) else bytes(text)
    return (data + (b"\0" if terminated else b"")).hex() or "-"


def hexarg(text):
    """A probe argument that reaches the program byte for byte."""
    return "hex:" + (text.encode("latin-1") if isinstance(text, str) else text).hex()


def reg_set(key, name, kind, data):
    """The registry operation that stores exactly these bytes as a value (a
    text too: no terminating zero is added)."""
    return ("set", key, name, str(kind), hex_text(data, terminated=False))


def unhex(value):
    """The bytes of a hex field; "" and "-" stand for none."""
    return b"" if value in ("", "-") else bytes.fromhex(value)


def read_pairs(path):
    """[(key, value)] of the key=value lines the test programs write, in order;
    none when the file is missing."""
    try:
        with open(path, "rb") as f:
            lines = f.read().decode("latin-1").splitlines()
    except FileNotFoundError:
        return []
    return [tuple(line.split("=", 1)) for line in lines if "=" in line]


def read_key_values(path, every=False):
    """The key=value lines of a file ({} when it is missing): {key: last value},
    or with every {key: [every value, in order]}."""
    values = {}
    for key, value in read_pairs(path):
        values.setdefault(key, []).append(value)
    return values if every else {key: found[-1] for key, found in values.items()}


# The prefix of a diagnostic log entry: an LF, the time stamp's line (the
# stamp captured), then ":: ", which the message follows.
LOG_ENTRY = re.compile(rb"\n([A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4})\n:: ")


def log_messages(folder):
    """The messages of the diagnostic log "tvusched.log" in a Unix folder, in
    order (bytes); none when there is no log."""
    try:
        with open(os.path.join(folder, "tvusched.log"), "rb") as f:
            return LOG_ENTRY.split(f.read())[2::2]
    except FileNotFoundError:
        return []


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


def end_process(process, patience=0):
    """Waits up to patience seconds for a process started here to end, then kills it."""
    try:
        process.wait(patience)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


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


def wineserver(env, *options, timeout=60, wrapper=(), check=False):
    """Runs the wineserver of the prefix in env with options: "-w" waits
    until it has ended (the registry is then saved to disk)."""
    subprocess.run(list(wrapper) + [WINESERVER, *options], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=timeout, check=check)


def end_wine(env, timeout=60):
    """Ends every Wine process of the prefix in env and waits for its wineserver."""
    for option in ("-k", "-w"):
        wineserver(env, option, timeout=timeout)


class XServer:
    """An Xvfb on a display that it picks itself: the first free one, taken
    with its lock in one step, so that runs side by side never share one (an
    X server that another run stops under a test would take its message
    boxes with it)."""

    def __init__(self):
        self.process = None
        self.display = None

    def start(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0",
             "1024x768x24"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            number = numbers.readline().strip()  # written once it takes connections
        if not number:
            self.stop()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        return self.display

    def stop(self):
        if self.process is not None:
            self.process.terminate()
            end_process(self.process, 10)
            self.process = None


def make_prefix(path, display, then=None, extra=None):
    """A fresh prefix at path, made with wineboot -i by the target's loader
    (a 64-bit prefix either way); then(env) may add to it before its
    wineserver ends. extra adds to the environment, e.g. USER (the profile
    folder's name) or LC_ALL. A fresh prefix now and then fails to start
    ("could not load kernel32.dll"): it is then removed and made once more."""
    env = base_env(path, display, extra=extra)
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
    wineserver(env, "-w", timeout=300)
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
        run_quietly([chosen.loader, os.path.join(chosen.dir, "platform_probe.exe"),
                     "set", "HKCU\\Software\\Wine\\WineDbg", "ShowCrashDialog", "4",
                     "00000000"], env, timeout=120).check_returncode()
    make_prefix(staging, display, then=no_crash_dialog)
    if os.path.exists(target_dir):
        shutil.rmtree(target_dir)
    os.rename(staging, target_dir)


def copy_template(target_dir):
    """A copy of the prefix template (made anew); the large program files are hard-linked."""
    source = template_path()
    if not os.path.isfile(os.path.join(source, "system.reg")):
        raise RuntimeError("no prefix template in %s (run the wine.prefix-template test)"
                           % source)
    shutil.rmtree(target_dir, ignore_errors=True)

    def link_or_copy(path, copy):
        (os.link if path.lower().endswith(LINKED_SUFFIXES) else shutil.copy2)(path, copy)
    # The template's own "wineserver" entry belongs to its server.
    shutil.copytree(source, target_dir, symlinks=True, copy_function=link_or_copy,
                    ignore=lambda folder, names: ["wineserver"] if folder == source else [])


# Engine libraries and msiexec.exe in the system folder are Wine's own unless
# a test asks for the file that lies there.
SYSTEM_FILE_OVERRIDES = {"msi.dll": "msi=n", "msiexec.exe": "msiexec.exe=n"}

INSTALLER_KEY = hklm(INSTALLER)
VENDOR_KEY = hklm(VENDOR)
APP_DEFAULTS = "HKCU\\Software\\Wine\\AppDefaults"

# What CreateProcess reports when the new process ends before its start-up is done.
ERROR_INTERNAL_ERROR = 1359

REG_SZ = 1
REG_EXPAND_SZ = 2
REG_DWORD = 4

USER_SHELL_FOLDERS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"
LOCAL_LOW_VALUE = "{A520A1A4-1780-4FF6-BD18-167343C5AF16}"
# SYSTEM's data folder: below the system folder.
SYSTEM_LOCAL_LOW = "C:\\windows\\system32\\config\\systemprofile\\AppData\\LocalLow"


def read_records(path, names=False):
    """The exact command lines the recording engine got, from its log (one
    "<file name>=<hex of the command line>" line per start); with names, as
    (file name of the started program, command line)."""
    pairs = [(name, unhex(line)) for name, line in read_pairs(path)]
    return pairs if names else [line for _, line in pairs]


def command_line(exe, tail=b""):
    """'"<exe>"' + tail as bytes: the tail as the user would type it, quoting included."""
    return b'"' + win_path(exe).encode() + b'"' + (
        tail if isinstance(tail, bytes) else tail.encode("latin-1"))


def module_name():
    """The running test module's name without "test_"."""
    return os.path.splitext(os.path.basename(sys.argv[0]))[0].removeprefix("test_")


def locale_env(name):
    """Environment for a Unix locale such as "ja_JP.UTF-8", which
    tools/setup-deps.sh generates: Wine derives the interface language from it."""
    wanted = name.lower().replace("-", "")
    listed = subprocess.run(["locale", "-a"], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL).stdout.decode("latin-1").split()
    if not any(entry.lower().replace("-", "") == wanted for entry in listed):
        raise AssertionError("the locale %s is missing: run tools/setup-deps.sh" % name)
    return {"LC_ALL": name}


# A run's 32-bit exit code, its message box ({"CAPTION": bytes, "TEXT": bytes} or
# None) and the command lines the recording engine got.
RunResult = collections.namedtuple("RunResult", "exit_code dialog records")


class FileEvents:
    """Creations, writes and completed writes in one folder, in the order the
    kernel reports them (inotifywait).

    A completed write (CLOSE_WRITE) can come late: while Wine starts a child
    process, the child holds copies of the parent's descriptors for a moment,
    and the file counts as closed only when the last copy goes. Creations and
    writes (MODIFY) are reported as they happen."""

    def __init__(self, folder):
        self.folder = folder
        self.lines = []

    def __enter__(self):
        self.output = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            ["inotifywait", "-m", "-e", "create,modify,close_write", "--format", "%e %f",
             self.folder],
            stdout=self.output, stderr=subprocess.PIPE, preexec_fn=die_with_parent)
        for line in self.process.stderr:
            if b"Watches established" in line:
                return self
        raise RuntimeError("inotifywait did not start on %s" % self.folder)

    def __exit__(self, *exc):
        time.sleep(0.2)  # let the last events arrive
        self.process.terminate()
        self.process.wait(10)
        self.process.stderr.close()
        self.output.seek(0)
        self.lines = self.output.read().decode("latin-1").splitlines()
        self.output.close()
        return False

    def events(self):
        """[(event, file name)], event "CREATE", "MODIFY" or "CLOSE_WRITE",
        once stopped. Repeated writes to one file show as one MODIFY."""
        lines = [line.partition(" ") for line in self.lines]
        return [(kind, name) for kinds, _, name in lines
                for kind in ("CREATE", "MODIFY", "CLOSE_WRITE") if kind in kinds.split(",")]

    def writing_order(self):
        """The files in the order they were created and written, one entry
        per uninterrupted stretch of CREATE and MODIFY events of a file."""
        order = []
        for kind, name in self.events():
            if kind != "CLOSE_WRITE" and (not order or order[-1] != name):
                order.append(name)
        return order

    def last_write(self, name):
        """Index in events() of the last CREATE or MODIFY of a file."""
        found = [i for i, (kind, n) in enumerate(self.events())
                 if n == name and kind != "CLOSE_WRITE"]
        if not found:
            raise AssertionError("%s was never written" % name)
        return found[-1]


class WineSession:
    """One prefix, one X server and one wineserver for one test module."""

    def __init__(self, name, xserver=None, debug="-all"):
        """xserver: a display already started by the caller, else one of its own;
        debug: WINEDEBUG of every call."""
        self.name = name
        self.debug = debug
        self.target = target()
        self.win_dir = self.target.dir
        self.amd64_exe = self.target.amd64_exe
        self.tools = os.path.join(self.win_dir, "wine-tools")
        self.fake_engine_dir = os.path.join(self.win_dir, "fake-engine")
        self.module_dir = os.path.join(env_path("WYK_WINE_TEST_DIR"), name)
        self.prefix = os.path.join(self.module_dir, "prefix")
        self.work = os.path.join(self.module_dir, "work")
        self.xserver = xserver or XServer()
        self.started = False
        self.counter = 0

    # ---- product and programs ------------------------------------------------
    def exe(self, name):
        """A program of the target build (the product's constants, its bitness)."""
        path = os.path.join(self.win_dir, name)
        if not os.path.exists(path):
            raise AssertionError("missing build output %s" % path)
        return path

    @property
    def product(self):
        return self.exe("wyk-7-windows-i586.exe")

    def payload(self, name, exe=None):
        """A payload file as bound into the given bootstrapper (the product by
        default): each build binds its own generated folder."""
        exe = exe or self.product
        folder = "large-payload" if os.path.basename(exe) == "wyk-test-large.exe" \
            else "bound-payload"
        with open(os.path.join(os.path.dirname(exe), folder, name), "rb") as f:
            return f.read()

    # ---- life cycle ----------------------------------------------------------
    def start(self):
        print("running %s" % self.target.describe(), flush=True)
        os.makedirs(self.module_dir, exist_ok=True)
        self.fresh_folder(self.work)
        copy_template(self.prefix)
        self.xserver.start()
        self.started = True
        self.start_wineserver()
        self.user = self._prefix_user()

    def start_wineserver(self, without_override=False):
        """Kept alive between the calls of the module (it ends by itself 30 s
        after its last client should this process die without stopping it).
        Wine opens files in its server, so a run without root's override needs
        a server started so (see WITHOUT_ROOT_OVERRIDE)."""
        wineserver(self.env(), "-p30", timeout=30, check=True,
                   wrapper=WITHOUT_ROOT_OVERRIDE if without_override else ())

    def stop(self):
        if not self.started:
            return
        self.kill_wine()
        self.xserver.stop()
        self.started = False

    def kill_wine(self):
        end_wine(self.env(), timeout=30)

    def wait_server(self):
        """Waits for the prefix's wineserver to end, which saves the registry."""
        wineserver(self.env(), "-w", timeout=120)

    def _prefix_user(self):
        users = os.path.join(self.prefix, "drive_c", "users")
        name = pwd.getpwuid(os.getuid()).pw_name
        if os.path.isdir(os.path.join(users, name)):
            return name
        others = [n for n in os.listdir(users) if n.lower() != "public"]
        if len(others) != 1:
            raise RuntimeError("cannot tell the prefix's user among %s" % others)
        return others[0]

    # ---- environment and calls ----------------------------------------------
    def env(self, extra=None, dll_overrides=None):
        return base_env(self.prefix, self.xserver.display, self.debug,
                        dll_overrides=dll_overrides or (), extra=extra)

    def call(self, argv, timeout=60, env=None, check=True):
        """Runs a Unix or Wine command with a time limit; ends Wine on overrun."""
        try:
            done = run_quietly(argv, env or self.env(), timeout)
        except subprocess.TimeoutExpired:
            self.kill_wine()
            raise AssertionError("timed out after %ss: %s" % (timeout, argv))
        if check and done.returncode != 0:
            raise AssertionError("%s failed with %d: %s" % (
                argv, done.returncode, done.stderr.decode("latin-1", "replace")))
        return done

    def wine(self, program, *args, timeout=60, env=None, check=True):
        return self.call([self.target.loader, program] + list(args), timeout=timeout, env=env, check=check)

    # ---- registry ------------------------------------------------------------
    def registry(self, *operations):
        """Runs the probe's registry verbs, e.g. ("set", key, name, type, hex);
        gives the fields each printed."""
        return self.probe(*operations) if operations else []

    def get_value(self, key, name, wide=False):
        """(type, bytes) of a value, or None when it does not exist; wide: by the wide call."""
        found = self.registry(("getw" if wide else "get", key, name))[0]
        return (int(found["type"]), unhex(found["data"])) if found["found"] == "1" else None

    def key_info(self, key):
        """(subkeys, values) of a key, or None when it does not exist."""
        found = self.registry(("info", key))[0]
        return (int(found["subkeys"]), int(found["values"])) if found["found"] == "1" else None

    def key_exists(self, key):
        return self.key_info(key) is not None

    def version_ops(self, exe_name, version):
        key = APP_DEFAULTS + "\\" + exe_name
        return [("delk", key)] if version is None else [
            ("set", key, "Version", str(REG_SZ), hex_text(version))]

    def both_views(self, key):
        """The key in the target's own registry view and, under WoW64, also in
        the 64-bit one (which the 64-bit product build reads)."""
        return [key, key.replace("HKLM\\", "HKLM64\\", 1)] if self.target.pe32 else [key]

    def engine_location_ops(self, folder):
        return [("delv", key, "InstallerLocation") if folder is None else
                ("set", key, "InstallerLocation", str(REG_SZ), hex_text(folder))
                for key in self.both_views(INSTALLER_KEY)]

    # ---- files of the prefix -------------------------------------------------
    def c_drive(self, *parts):
        return os.path.join(self.prefix, "drive_c", *parts)

    def unix(self, windows_path):
        """Unix path of a path on drive C: or Z:."""
        drive, rest = windows_path[:2].upper(), windows_path[2:].replace("\\", "/")
        if drive not in ("C:", "Z:"):
            raise ValueError(windows_path)
        return (self.c_drive() if drive == "C:" else "") + rest

    def c_dir(self, relative):
        """An empty folder C:\\<relative>; returns (unix, windows)."""
        unix = self.c_drive(relative.replace("\\", "/"))
        self.fresh_folder(unix)
        return unix, "C:\\" + relative.replace("/", "\\")

    def c_path(self, path):
        """The Windows name (C:\\...) of a Unix path below the prefix's drive_c."""
        return "C:\\" + os.path.relpath(path, self.c_drive()).replace("/", "\\")

    def temp_folder(self):
        """Unix path of the temporary folder that GetTempPathA gives a program
        here (where the diagnostic log goes without TMPDIR)."""
        windows = unhex(self.probe_one("temp-path")["path"]).decode("latin-1")
        return self.c_drive(*windows[3:].rstrip("\\").split("\\"))

    def user_data_folder(self, kind):
        """Unix path of the user's LocalAppDataLow ("locallow") or roaming folder."""
        leaf = {"locallow": "LocalLow", "roaming": "Roaming"}[kind]
        return self.c_drive("users", self.user, "AppData", leaf)

    def cache_folder(self, kind="locallow", suffix=""):
        return os.path.join(self.user_data_folder(kind), "Halvec", "Tavro", "wyk1.7.0" + suffix)

    def clear_cache(self):
        for kind in ("locallow", "roaming"):
            shutil.rmtree(os.path.join(self.user_data_folder(kind), "Halvec"), ignore_errors=True)

    def cache_tree(self):
        """Every file and folder below the two user data folders' Halvec
        folders: {"locallow/Halvec/Tavro/...": bytes or None for folders}."""
        tree = {}
        for kind in ("locallow", "roaming"):
            base = self.user_data_folder(kind)
            for root, dirs, files in os.walk(os.path.join(base, "Halvec")):
                rel = kind + "/" + os.path.relpath(root, base)
                tree[rel] = None
                for name in files:
                    with open(os.path.join(root, name), "rb") as f:
                        tree[rel + "/" + name] = f.read()
        return tree

    def replace_system_file(self, name, source):
        """Puts a file of ours in place of one in the system folder, or with
        source None just takes it away. The original is moved aside, never
        written, so the template it is linked to stays intact."""
        target = self.c_drive("windows", self.target.system_dir, name)
        saved = target + ".wyk-saved"
        if not os.path.exists(saved):
            os.rename(target, saved)
        elif os.path.exists(target):
            os.unlink(target)
        if source is not None:
            shutil.copyfile(source, target)

    def restore_system_file(self, name):
        target = self.c_drive("windows", self.target.system_dir, name)
        saved = target + ".wyk-saved"
        if os.path.exists(saved):
            os.replace(saved, target)

    @staticmethod
    def make_writable(tree):
        # chmod passes over the symbolic links it meets on its way down.
        subprocess.run(["chmod", "-R", "755", tree])

    def fresh_folder(self, path):
        """An empty folder at path, also where a test left one that nobody may write."""
        if os.path.exists(path):
            self.make_writable(path)
            shutil.rmtree(path)
        os.makedirs(path)

    def work_file(self, name):
        self.counter += 1
        return os.path.join(self.work, "%03d-%s" % (self.counter, name))

    # ---- programs ------------------------------------------------------------
    def probe(self, *verbs, exe=None, env=None, dll_overrides=None, cwd=None, timeout=60,
              check=True):
        """Runs verbs (each a list) in one platform probe process; returns a dict
        of the key=value fields of each line it prints (hex fields stay as text)."""
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

    def plant_recorder(self, unix_path):
        """The recording engine at unix_path: it records its file name too."""
        os.makedirs(os.path.dirname(unix_path), exist_ok=True)
        shutil.copyfile(os.path.join(self.fake_engine_dir, "msiexec.exe"), unix_path)

    def probe_system(self, version=None, env=None, dll_overrides=None, error_code=0,
                     module=None):
        """What Wine tells a program of the target's bitness (the probe's "system"
        verb): version, UI language, code page, system directory, engine library
        version; on request the system's text for an error code ("message") and
        string 4 of a module ("string4"), as hex."""
        if version is not None:
            self.registry(*self.version_ops("platform_probe.exe", version))
        asked = [(key, verb) for key, verb in (
            ("message", ["system-text", error_code]),
            ("string4", ["module-string", module and win_path(module), 4])) if verb[1]]
        values, *texts = self.probe(["system"], *[verb for _, verb in asked], env=env,
                                    dll_overrides=dll_overrides)
        values["system_directory"] = unhex(values["system_directory"]).decode("latin-1")
        for (key, _), line in zip(asked, texts):
            values[key] = line["text"].strip("-")  # the probe writes "-" for no bytes
        return values

    def run(self, exe, tail="", **kwargs):
        """Runs a bootstrapper with the exact command line '"<exe>"' + tail
        (the tail as the user would type it, quoting included); see run_line."""
        return self.run_line(command_line(exe, tail), **kwargs)

    def run_line(self, line, env=None, timeout=30, dialog=False, dll_overrides=None,
                 without_override=False, invisible=False):
        """Runs a command line (bytes) from a Windows parent and gives its
        32-bit exit code, what the recording engine was asked and, when a
        message box is expected, its caption and text; without_override: with
        a server of its own that has no root override (WITHOUT_ROOT_OVERRIDE);
        invisible: in a window station without WSF_VISIBLE (see observer.c)."""
        if without_override:
            self.kill_wine()
            self.start_wineserver(without_override=True)
        log = self.work_file("engine.log")
        run_env = {"WYK_ENGINE_LOG": win_path(log)}
        run_env.update(env or {})
        full_env = self.env(run_env, dll_overrides)
        reader = DialogReader(self, timeout, full_env) if dialog else None
        try:
            for attempt in (1, 2):
                outcome = Runs(self, [line], env=full_env, timeout=timeout,
                               invisible=invisible).wait()[0]
                # The new process died while Wine was starting it, before the
                # program's own code ran: a start failure of Wine's, tried once more.
                if outcome not in ("nostart %d" % ERROR_INTERNAL_ERROR, "no result") or attempt == 2:
                    break
                sys.stderr.write("Wine could not start %r; trying once more\n" % line)
            if not isinstance(outcome, int):
                self.kill_wine()
                raise AssertionError("%s: command line %r" % (outcome, line))
            return RunResult(outcome, reader and reader.wait(), read_records(log))
        finally:
            if reader is not None:
                reader.stop()
            if without_override:
                self.kill_wine()
                self.start_wineserver()

    def hold(self, path, limit_ms=120000):
        """Holds a file open without sharing (the observer's hold); gives the
        function that lets it go, for the test's clean-up."""
        stop = self.work_file("hold-stop")
        holder = Watcher(self, "hold", limit_ms, win_path(path), win_path(stop), ready=True)

        def release():
            open(stop, "w").close()
            holder.wait()
        return release

    @staticmethod
    def wait_for_file(path, process=None, limit=45):
        """Waits until a file that a program creates exists; fails when the
        time is up or process (a Popen) has ended first."""
        deadline = time.time() + limit
        while not os.path.exists(path):
            if process is not None and process.poll() is not None:
                raise AssertionError("%s ended with %d before %s appeared"
                                     % (process.args[1], process.returncode, path))
            if time.time() > deadline:
                raise AssertionError("%s did not appear" % path)
            time.sleep(0.02)


class Watcher:
    """The observer (observer.c) started in the background, so a test can act
    meanwhile: "observer.exe <mode> <output> <limit in ms> [<ready file>]
    args..."; it gives up by itself after limit_ms. With ready, it is started
    only once it has made the ready file. pausable keeps it in the test's
    session (see die_with_parent), so that a test may hold a program it
    started with SIGSTOP: a stopped process in an orphaned process group gets
    continued by the kernel."""

    def __init__(self, session, mode, limit_ms, *args, env=None, ready=False, pausable=False):
        self.session = session
        self.mode = mode
        self.limit = limit_ms / 1000
        self.out = session.work_file(mode + ".txt")
        self.stderr = session.work_file(mode + ".err")
        ready_file = session.work_file(mode + "-ready")
        with open(self.stderr, "wb") as err:
            self.process = subprocess.Popen(
                [session.target.loader, os.path.join(session.tools, "observer.exe"), mode,
                 win_path(self.out), str(int(limit_ms))]
                + ([win_path(ready_file)] if ready else []) + list(args),
                env=env or session.env(), stdout=subprocess.DEVNULL, stderr=err,
                preexec_fn=None if pausable else die_with_parent)
        if ready:
            try:
                session.wait_for_file(ready_file, self.process, limit=30)
            except AssertionError:
                self.stop()
                raise

    def wait(self):
        """{key: value} of what it saw, or None when it ended with an error
        code (nothing came)."""
        try:
            self.process.wait(self.limit + 30)
        except subprocess.TimeoutExpired:
            self.session.kill_wine()
            raise AssertionError("the observer's %s did not finish" % self.mode)
        return read_key_values(self.out) if self.process.returncode == 0 else None

    def stop(self):
        end_process(self.process)


class Runs(Watcher):
    """Bootstrappers (or any programs) started together through the observer."""

    def __init__(self, s, command_lines, env=None, cwd=None, timeout=60, pausable=False,
                 invisible=False):
        files = []
        for line in command_lines:
            path = s.work_file("command.txt")
            with open(path, "wb") as f:
                f.write(line if isinstance(line, bytes) else line.encode("latin-1"))
            files.append(win_path(path))
        self.count = len(files)
        super().__init__(s, "run", timeout * 1000, win_path(cwd) if cwd else "-",
                         *(["/invisible"] if invisible else []), *files, env=env,
                         pausable=pausable)

    def wait(self):
        """The outcome of each command line: an int exit code, or the text
        "nostart <error>" / "timeout"."""
        super().wait()
        if not os.path.exists(self.out):  # Wine failed to start the observer itself
            return ["no result"] * self.count
        with open(self.out) as f:
            return [int(line) if line.lstrip("-").isdigit() else line
                    for line in f.read().splitlines()]

    def loader_trace(self):
        with open(self.stderr, "rb") as f:
            return f.read().decode("latin-1", "replace")


class DialogReader(Watcher):
    """The message box reader, started before the program that shows the box."""

    def __init__(self, session, timeout, env=None):
        super().__init__(session, "box", timeout * 1000, env=env)

    def wait(self):
        """{"CAPTION": bytes, "TEXT": bytes} of the box, or None when none came."""
        fields = super().wait()
        return fields and {label: unhex(value) for label, value in fields.items()}


class EventWatcher(Watcher):
    """The hand-off event watcher (see observer.c), ready before the
    program that creates the event."""

    def __init__(self, session, limit_ms):
        folder = session.c_path(session.cache_folder()) + "\\"
        super().__init__(session, "event", limit_ms, folder, ready=True)


_module_session = None


def setUpModule(session_type=None):
    """One session per test module (each module runs as its own process);
    the modules import this and tearDownModule into their namespace."""
    global _module_session
    session = (session_type or WineSession)(module_name())
    try:
        session.start()
    except BaseException:
        session.stop()
        raise
    _module_session = session


def tearDownModule():
    global _module_session
    if _module_session is not None:
        _module_session.stop()
        _module_session = None


def module_session():
    if _module_session is None:
        raise RuntimeError("no Wine session: the module must import setUpModule "
                           "and tearDownModule from its suite's support")
    return _module_session


class WineTestCase(unittest.TestCase):
    """Base of the test modules' cases, with fresh state for every test:
    no cache tree, no vendor key, the recording engine found through
    "InstallerLocation", every bootstrapper on Windows 7."""

    EXES = ("wyk-7-windows-i586.exe", "wyk-7-windows-amd64.exe", "wyk-test-no-package.exe",
            "wyk-test-no-cab9.exe", "wyk-test-large.exe")

    @property
    def session(self):
        return module_session()

    def setUp(self):
        s = self.session
        s.clear_cache()
        ops = [("delk", key) for key in s.both_views(VENDOR_KEY)]
        ops += s.engine_location_ops(win_path(s.fake_engine_dir))
        for exe in self.EXES:
            ops += s.version_ops(exe, "win7")
        s.registry(*ops)

    def redirect_folder(self, value, path):
        """Points a user shell folder elsewhere for this test."""
        s = self.session
        original = s.get_value(USER_SHELL_FOLDERS, value)
        self.assertIsNotNone(original)

        def restore():
            s.registry(("set", USER_SHELL_FOLDERS, value, str(original[0]), original[1].hex()))
        self.addCleanup(restore)
        s.registry(("set", USER_SHELL_FOLDERS, value, str(REG_EXPAND_SZ), hex_text(path)))

    def use_system_local_low(self):
        """SYSTEM's LocalLow as the user data folder, present in the system
        folder of either bitness, as on 64-bit Windows."""
        for system in ("system32", "syswow64"):
            folder = self.session.c_drive("windows", system, *SYSTEM_LOCAL_LOW.split("\\")[3:])
            os.makedirs(folder, exist_ok=True)
            self.addCleanup(shutil.rmtree, os.path.join(folder, "Halvec"), True)
        self.redirect_folder(LOCAL_LOW_VALUE, SYSTEM_LOCAL_LOW)

    # ---- shared expectations ------------------------------------------------
    def engine_path(self):
        return win_path(self.session.fake_engine_dir) + "\\msiexec.exe"

    def package_path(self, kind="locallow", suffix=""):
        return self.session.c_path(os.path.join(self.session.cache_folder(kind, suffix), PACKAGE))

    def expected_line(self, middle, engine=None, package=None):
        """'"<engine>" /i "<package>" <middle> WRAPPER=1' as bytes; middle is
        everything between the package's closing quote plus one blank and
        " WRAPPER=1"."""
        return ('"%s" /i "%s" %s WRAPPER=1' % (engine or self.engine_path(),
                                              package or self.package_path(),
                                              middle)).encode("latin-1")

    def fatal_text(self, operation, code):
        """The fatal report's text: what failed, the error code and the platform's text for it."""
        message = bytes.fromhex(self.session.probe_system(error_code=code)["message"])
        return operation + b" failed with error %d: " % code + message

    def assertFatalBox(self, result, operation, code):
        self.assertEqual(result.exit_code, code)
        self.assertIsNotNone(result.dialog, "no message box was shown")
        self.assertEqual(result.dialog["CAPTION"], b"Error")
        self.assertEqual(result.dialog["TEXT"], self.fatal_text(operation, code))

    def assertCabinetsComplete(self, folder, exe=None, names=CABINETS):
        for name in names:
            path = os.path.join(folder, name)
            self.assertTrue(os.path.isfile(path), "%s was not written" % name)
            with open(path, "rb") as f:
                data = f.read()
            expected = self.session.payload(name, exe)
            self.assertEqual(len(data), len(expected), "%s has the wrong size" % name)
            self.assertTrue(data == expected, "%s differs from its payload file" % name)


def main():
    if sys.argv[1:] != ["make-template"]:
        sys.exit("usage: harness.py make-template")
    xserver = XServer()
    xserver.start()
    started = time.time()
    try:
        make_template(xserver.display)
    finally:
        xserver.stop()
    print("prefix template ready in %.1f s: %s" % (time.time() - started, template_path()))


if __name__ == "__main__":
    main()
