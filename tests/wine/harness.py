"""Runs the Windows builds of the bootstrapper under Wine for the test modules.

One Wine prefix is made per test run with `wineboot -i` (the template); each
test module works in a copy of it, with an X server of its own, so modules can
run side by side. Every Wine call has a time limit, and a module always ends
its wineserver and its X server, also when it fails. What the other Wine
suites share with it (X server, prefixes, environment) is in wine_base.py.

Python standard library only; run with /usr/bin/python3.

Which build runs (the PE32 under WoW64, or the 64-bit build where 32-bit
code cannot run) is wine_base.target(); WYK_WINE_DISPLAYS names the X
display numbers to try, e.g. "91-94".
"""
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import product

from wine_base import (WINESERVER, XServer, base_env, copy_template, die_with_parent,
                       display_numbers, end_wine, env_path, hex_text, read_items,
                       read_key_values, run_quietly, target, win_path)
from product import CABINETS, INSTALLER, PACKAGE, VENDOR, hklm  # noqa: F401 (suites take them here)

# Engine libraries and msiexec.exe in the system folder are Wine's own unless
# a test asks for the file that lies there.
SYSTEM_FILE_OVERRIDES = {"msi.dll": "msi=n", "msiexec.exe": "msiexec.exe=n"}

INSTALLER_KEY = hklm(INSTALLER)
VENDOR_KEY = hklm(VENDOR)
APP_DEFAULTS = "HKCU\\Software\\Wine\\AppDefaults"

# What CreateProcess reports when the new process ends before its start-up is done.
ERROR_INTERNAL_ERROR = 1359

REG_SZ = 1
REG_DWORD = 4


def x_server():
    """An X server of the suite's display range (not yet started)."""
    return XServer(display_numbers(os.environ.get("WYK_WINE_DISPLAYS", "91-94")))


def read_records(path):
    """The exact command lines the recording engine got, from its log."""
    records = []
    for label, data in read_items(path):
        if label != "CMDLINE":
            raise AssertionError("broken engine record %d: %s" % (len(records) + 1, label))
        records.append(data)
    return records


def read_fields(path):
    """{label: bytes} of the dialog reader's output."""
    return dict(read_items(path))


def command_line(exe, tail=b""):
    """'"<exe>"' + tail as bytes: the tail as the user would type it, quoting included."""
    return b'"' + win_path(exe).encode() + b'"' + (
        tail if isinstance(tail, bytes) else tail.encode("latin-1"))


def module_name():
    """The running test module's name without "test_"."""
    name = os.path.splitext(os.path.basename(sys.argv[0]))[0]
    return name[len("test_"):] if name.startswith("test_") else name


def locale_env(name):
    """Environment for a Unix locale such as "ja_JP.UTF-8", which
    tools/setup-deps.sh generates: Wine derives the interface language from it."""
    wanted = name.lower().replace("-", "")
    listed = subprocess.run(["locale", "-a"], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL).stdout.decode("latin-1").split()
    if not any(entry.lower().replace("-", "") == wanted for entry in listed):
        raise AssertionError("the locale %s is missing: run tools/setup-deps.sh" % name)
    return {"LC_ALL": name}


class RunResult:
    def __init__(self, exit_code, dialog=None, records=None):
        self.exit_code = exit_code
        self.dialog = dialog          # {"CAPTION": bytes, "TEXT": bytes} or None
        self.records = records or []  # command lines the recording engine got

    def __repr__(self):
        return "RunResult(exit_code=%r, dialog=%r, records=%r)" % (
            self.exit_code, self.dialog, self.records)


class FileEvents:
    """Creations, writes and completed writes in one folder, in the order the
    kernel reports them (inotifywait).

    A completed write (CLOSE_WRITE) can come late: while Wine starts a child
    process, the child holds copies of the parent's descriptors for a moment,
    and the file counts as closed only when the last copy goes. Creations and
    writes (MODIFY) are reported as they happen."""

    def __init__(self, folder):
        self.folder = folder
        self.output = None
        self.process = None
        self.lines = []

    def __enter__(self):
        self.output = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            ["inotifywait", "-m", "-e", "create,modify,close_write", "--format", "%e %f",
             self.folder],
            stdout=self.output, stderr=subprocess.PIPE, preexec_fn=die_with_parent)
        deadline = time.time() + 20
        for line in self.process.stderr:
            if b"Watches established" in line:
                break
            if time.time() > deadline:
                break
        else:
            raise RuntimeError("inotifywait did not start on %s" % self.folder)
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def stop(self):
        if self.process is None:
            return
        time.sleep(0.2)  # let the last events arrive
        self.process.terminate()
        self.process.wait(10)
        self.process.stderr.close()
        self.process = None
        self.output.seek(0)
        self.lines = self.output.read().decode("latin-1").splitlines()
        self.output.close()

    def events(self):
        """[(event, file name)], event "CREATE", "MODIFY" or "CLOSE_WRITE",
        once stopped. Repeated writes to one file show as one MODIFY."""
        result = []
        for line in self.lines:
            kinds, _, name = line.partition(" ")
            for kind in ("CREATE", "MODIFY", "CLOSE_WRITE"):
                if kind in kinds.split(","):
                    result.append((kind, name))
        return result

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

    debug = "-all"  # WINEDEBUG of every call

    def __init__(self, name):
        self.name = name
        self.target = target()
        self.win_dir = self.target.dir
        self.amd64_exe = self.target.amd64_exe
        self.test_dir = env_path("WYK_WINE_TEST_DIR")
        self.tools = os.path.join(self.win_dir, "wine-tools")
        self.fake_engine_dir = os.path.join(self.win_dir, "fake-engine")
        self.module_dir = os.path.join(self.test_dir, name)
        self.prefix = os.path.join(self.module_dir, "prefix")
        self.work = os.path.join(self.module_dir, "work")
        self.xserver = x_server()
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
        if os.path.exists(self.work):
            shutil.rmtree(self.work)
        os.makedirs(self.work)
        copy_template(self.prefix)
        self.xserver.start()
        self.started = True
        # Kept alive between the calls of the module (it ends by itself 30 s
        # after its last client should this process die without stopping it).
        subprocess.run([WINESERVER, "-p30"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30, check=True)
        self.user = self._prefix_user()

    def stop(self):
        if not self.started:
            return
        self.kill_wine()
        self.xserver.stop()
        self.started = False

    def kill_wine(self):
        end_wine(self.env(), timeout=30)

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
        """Runs registry_tool operations, e.g. ("set", key, name, type, hex)."""
        argv = []
        for op in operations:
            argv.extend(op)
        if not argv:
            return ""
        done = self.wine(os.path.join(self.tools, "registry_tool.exe"), *argv)
        return done.stdout.decode("latin-1")

    def get_value(self, key, name):
        """(type, bytes) of a value, or None when it does not exist."""
        out = self.registry(("get", key, name)).strip()
        if out == "missing":
            return None
        kind, _, data = out.partition(" ")
        return int(kind), bytes.fromhex(data)

    def key_exists(self, key):
        return self.registry(("haskey", key)).strip() == "yes"

    def version_ops(self, exe_name, version):
        key = APP_DEFAULTS + "\\" + exe_name
        return [("delk", key)] if version is None else [
            ("set", key, "Version", str(REG_SZ), hex_text(version))]

    def both_views(self, key):
        """The key in the target's own registry view and, under WoW64, also in
        the 64-bit one (which the 64-bit product build reads)."""
        return [key, key.replace("HKLM\\", "HKLM64\\", 1)] if self.target.pe32 else [key]

    def engine_location_ops(self, folder):
        if folder is None:
            return [("delv", key, "InstallerLocation") for key in self.both_views(INSTALLER_KEY)]
        return [("set", key, "InstallerLocation", str(REG_SZ), hex_text(folder))
                for key in self.both_views(INSTALLER_KEY)]

    # ---- files of the prefix -------------------------------------------------
    def c_drive(self, *parts):
        return os.path.join(self.prefix, "drive_c", *parts)

    def user_data_folder(self, kind):
        """Unix path of the user's LocalAppDataLow ("locallow") or roaming folder."""
        leaf = {"locallow": "LocalLow", "roaming": "Roaming"}[kind]
        return self.c_drive("users", self.user, "AppData", leaf)

    def user_data_folder_win(self, kind):
        leaf = {"locallow": "LocalLow", "roaming": "Roaming"}[kind]
        return "C:\\users\\%s\\AppData\\%s" % (self.user, leaf)

    def cache_folder(self, kind="locallow", suffix=""):
        return os.path.join(self.user_data_folder(kind), "Halvec", "Tavro", "wyk1.7.0" + suffix)

    def cache_folder_win(self, kind="locallow", suffix=""):
        return self.user_data_folder_win(kind) + "\\Halvec\\Tavro\\wyk1.7.0" + suffix

    def clear_cache(self):
        for kind in ("locallow", "roaming"):
            shutil.rmtree(os.path.join(self.user_data_folder(kind), "Halvec"), ignore_errors=True)

    def cache_tree(self):
        """Every file and folder below the two user data folders' Halvec
        folders: {"locallow/Halvec/Tavro/...": bytes or None for folders}."""
        tree = {}
        for kind in ("locallow", "roaming"):
            base = self.user_data_folder(kind)
            top = os.path.join(base, "Halvec")
            if not os.path.exists(top):
                continue
            for root, dirs, files in os.walk(top):
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
            if os.path.exists(target):
                os.unlink(target)
            os.rename(saved, target)

    def work_file(self, name):
        self.counter += 1
        return os.path.join(self.work, "%03d-%s" % (self.counter, name))

    # ---- programs ------------------------------------------------------------
    def probe_system(self, version=None, env=None, dll_overrides=None, error_code=0,
                     module=None):
        """What Wine tells a program of the target's bitness: version, UI language, code page,
        engine library version; on request the system's text for an error
        code ("message") and string 4 of a module ("string4"), as hex."""
        if version is not None:
            self.registry(*self.version_ops("system_probe.exe", version))
        out = self.work_file("probe.txt")
        args = [win_path(out), str(error_code)] + ([win_path(module)] if module else [])
        self.wine(os.path.join(self.tools, "system_probe.exe"), *args,
                  env=self.env(env, dll_overrides))
        return read_key_values(out)

    def run(self, exe, tail="", env=None, timeout=30, dialog=False, dll_overrides=None):
        """Runs a bootstrapper with the exact command line '"<exe>"' + tail
        (the tail as the user would type it, quoting included) and gives its
        32-bit exit code, what the recording engine was asked and, when a
        message box is expected, its caption and text."""
        command = self.work_file("command.txt")
        result = self.work_file("result.txt")
        log = self.work_file("engine.log")
        with open(command, "wb") as f:
            f.write(command_line(exe, tail))
        run_env = {"WYK_ENGINE_LOG": win_path(log)}
        run_env.update(env or {})
        full_env = self.env(run_env, dll_overrides)
        reader = DialogReader(self, timeout, full_env) if dialog else None
        limit_ms = int(timeout * 1000)
        try:
            for attempt in (1, 2):
                self.wine(os.path.join(self.tools, "run_all.exe"), win_path(result),
                          str(limit_ms), "-", win_path(command), timeout=timeout + 30, env=full_env,
                          check=False)
                with open(result, "rb") as f:
                    outcome = f.read().decode().strip()
                # The new process died while Wine was starting it, before the
                # program's own code ran: a start failure of Wine's, tried once more.
                if outcome != "nostart %d" % ERROR_INTERNAL_ERROR or attempt == 2:
                    break
                sys.stderr.write("Wine could not start %s; trying once more\n" % exe)
            if outcome == "timeout" or outcome.startswith("nostart"):
                self.kill_wine()
                raise AssertionError("%s: %s (command line %r)" % (os.path.basename(exe),
                                                                   outcome, tail))
            return RunResult(int(outcome), reader and reader.wait(), read_records(log))
        finally:
            if reader is not None:
                reader.stop()

    def start_program(self, program, *args, env=None):
        """Starts a Wine program in the background; the caller waits or kills."""
        return subprocess.Popen([self.target.loader, program] + list(args), env=env or self.env(),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                preexec_fn=die_with_parent)


class DialogReader:
    """The message box reader, started before the program that shows the box;
    it gives up by itself after timeout seconds."""

    def __init__(self, session, timeout, env=None):
        self.session = session
        self.timeout = timeout
        self.out = session.work_file("dialog.txt")
        self.process = session.start_program(os.path.join(session.tools, "dialog_reader.exe"),
                                             win_path(self.out), str(int(timeout * 1000)),
                                             env=env)

    def wait(self):
        """{"CAPTION": bytes, "TEXT": bytes} of the box, or None when none came."""
        try:
            self.process.wait(self.timeout + 30)
        except subprocess.TimeoutExpired:
            self.session.kill_wine()
            raise AssertionError("the message box reader did not finish")
        return read_fields(self.out) if self.process.returncode == 0 else None

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class EventWatcher:
    """The hand-off event watcher, started (and ready) before the program
    that creates the event; it gives up by itself after limit_ms."""

    def __init__(self, session, limit_ms):
        self.session = session
        self.limit = limit_ms / 1000
        self.out = session.work_file("watcher.txt")
        ready = session.work_file("watcher-ready")
        self.process = session.start_program(
            os.path.join(session.tools, "event_watcher.exe"), session.cache_folder_win() + "\\",
            win_path(self.out), win_path(ready), str(int(limit_ms)))
        deadline = time.time() + 30
        while not os.path.exists(ready) and time.time() < deadline:
            time.sleep(0.02)
        if not os.path.exists(ready):
            self.stop()
            raise AssertionError("the event watcher did not start")

    def wait(self):
        """What it saw (see event_watcher.c)."""
        try:
            self.process.wait(self.limit + 30)
        finally:
            self.stop()
        return read_key_values(self.out)

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


_module_session = None


def setUpModule():
    """One session per test module (each module runs as its own process);
    the modules import this and tearDownModule into their namespace."""
    global _module_session
    session = WineSession(module_name())
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


class WineTestCase(unittest.TestCase):
    """Base of the test modules' cases, with fresh state for every test:
    no cache tree, no vendor key, the recording engine found through
    "InstallerLocation", every bootstrapper on Windows 7."""

    EXES = ("wyk-7-windows-i586.exe", "wyk-7-windows-amd64.exe", "wyk-test-no-package.exe",
            "wyk-test-no-cab9.exe", "wyk-test-large.exe")

    @property
    def session(self):
        if _module_session is None:
            raise RuntimeError("no Wine session: the module must import setUpModule "
                               "and tearDownModule from harness")
        return _module_session

    def setUp(self):
        s = self.session
        s.clear_cache()
        ops = [("delk", key) for key in s.both_views(VENDOR_KEY)]
        ops += s.engine_location_ops(win_path(s.fake_engine_dir))
        for exe in self.EXES:
            ops += s.version_ops(exe, "win7")
        s.registry(*ops)

    # ---- shared expectations ------------------------------------------------
    def engine_path(self):
        return win_path(self.session.fake_engine_dir) + "\\msiexec.exe"

    def package_path(self, kind="locallow", suffix=""):
        return self.session.cache_folder_win(kind, suffix) + "\\" + PACKAGE

    def expected_line(self, middle, engine=None, package=None):
        """'"<engine>" /i "<package>" <middle> WRAPPER=1' as bytes; middle is
        everything between the package's closing quote plus one blank and
        " WRAPPER=1"."""
        return ('"%s" /i "%s" %s WRAPPER=1' % (engine or self.engine_path(),
                                              package or self.package_path(),
                                              middle)).encode("latin-1")

    def assertCabinetsComplete(self, folder, exe=None, names=CABINETS):
        for name in names:
            path = os.path.join(folder, name)
            self.assertTrue(os.path.isfile(path), "%s was not written" % name)
            with open(path, "rb") as f:
                data = f.read()
            expected = self.session.payload(name, exe)
            self.assertEqual(len(data), len(expected), "%s has the wrong size" % name)
            self.assertTrue(data == expected, "%s differs from its payload file" % name)
