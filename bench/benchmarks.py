#!/usr/bin/env python3
"""Measures the bootstrapper against its limits, side by side, for the
shipped PE32 under WoW64 (Wine's 32-bit loader) and for the 64-bit build with
the same constants. Where this machine cannot execute 32-bit code, only the
64-bit column is measured, and the output says so and why.

1. time from the bootstrapper's start to the engine's start, release-size payload
   against empty cabinets (limit: ratio 1.20);
2. the cabinet thread's staging time for the five release-size cabinets,
   judged against the platform's own cost: within 1.10 x the same 8192-byte
   writes from the same mapped image by a bare program that starts the same
   engine stand-in beside them (same loader, same prefix, same run); natively,
   the design (a Linux program doing those writes) within 1.0 x `dd bs=8k`,
   with `cp`, which copies inside the kernel, printed beside;
3. peak private (anonymous) memory while staging 79 MiB against staging empty
   cabinets (limit: within 4 MiB);
4. the PE32 without payload (limit: 80 KiB) and its code and data outside
   the resources (limit: 24 KiB);
5. (full mode) the steps from the launch to the engine's start, from Wine's trace;
6. where the cabinet thread's time goes, per cabinet and step, from a timed
   build of the same program (base/timing_points.h).

A full run restarts the Wine server, warms every measure up once, then runs
every measure once per round, interleaved, with the written bytes flushed to
disk before each one. The judged ratios are taken per full run (ratio of
medians) and decided on their median over the full runs, printed with their
spread. --quick measures figure 2 and its steps only.

The report is also written into docs/benchmarks.md, between the marker comments
of its mode (full or quick), with the date and the machine, unless --no-docs.

usage: benchmarks.py BUILD [--quick] [--runs N] [--rounds N] [--no-docs]"""
import argparse
import ctypes
import datetime
import math
import os
import platform
import pefile
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tools"))
sys.path.insert(0, os.path.join(here, "..", "tests", "wine"))
sys.path.insert(0, os.path.join(here, "..", "tests", "static"))
from payload_rows import CABINETS, ROWS  # noqa: E402
from harness import WINE32, WINE64, WINESERVER, probe_32bit_code, XServer  # noqa: E402
from check_product_binary import OWN_CODE_AND_DATA_LIMIT, STUB_FILE_LIMIT, own_code_and_data  # noqa: E402

TIMELINE_RUNS = 5
# The product's write size (payload/extract_resource.cpp), which the bare programs copy.
CHUNK = 8192
DOCS = os.path.join(here, "..", "docs", "benchmarks.md")

IN_CREATE, IN_CLOSE_WRITE = 0x100, 0x8


class Watch:
    """Times from the first cabinet's creation to the last one's close, read
    with inotify as the events arrive."""

    def __init__(self, folder, first, last):
        self.libc = ctypes.CDLL("libc.so.6", use_errno=True)
        self.fd = self.libc.inotify_init()
        self.libc.inotify_add_watch(self.fd, folder.encode(), IN_CREATE | IN_CLOSE_WRITE)
        self.first, self.last = first, last
        self.start = self.end = None
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while self.end is None:
            data = os.read(self.fd, 65536)
            now = time.perf_counter()
            offset = 0
            while offset < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, offset)
                name = data[offset + 16: offset + 16 + length].rstrip(b"\0").decode()
                offset += 16 + length
                if mask & IN_CREATE and name == self.first and self.start is None:
                    self.start = now
                if mask & IN_CLOSE_WRITE and name == self.last and self.start is not None:
                    self.end = now

    def seconds(self, timeout=120):
        self.thread.join(timeout)
        os.close(self.fd)
        if self.start is None or self.end is None:
            raise RuntimeError("staging was not observed")
        return self.end - self.start


def wine_env(prefix, display):
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", DISPLAY=display,
               WINEDLLOVERRIDES="mscoree,mshtml=")
    return env


def anon_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("RssAnon:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def run_bootstrapper(wine, exe, env, cache, record):
    for name in os.listdir(cache):
        os.unlink(os.path.join(cache, name))
    watch = Watch(cache, CABINETS[0], CABINETS[-1])
    process = subprocess.Popen([wine, exe], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak = 0
    while process.poll() is None:
        kib = anon_kib(process.pid)
        if kib:
            peak = max(peak, kib)
        time.sleep(0.002)
    staging = watch.seconds()
    with open(record) as f:
        engine_ms = float(f.read().strip().splitlines()[-1].split("=")[1])
    return engine_ms, staging, peak


def empty_folder(target):
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)


def fresh_watch(target):
    empty_folder(target)
    return Watch(target, CABINETS[0], CABINETS[-1])


def copy_time(payload, target, command):
    watch = fresh_watch(target)
    for name in CABINETS:
        source = os.path.join(payload, name)
        if command == "cp":
            subprocess.run(["cp", source, target], check=True)
        else:
            subprocess.run(["dd", f"if={source}", f"of={os.path.join(target, name)}", "bs=8k",
                            "status=none"], check=True)
    return watch.seconds()


# type name -> resource id of each cabinet, in writing order
CABINET_ROWS = {r.type_name: r.resource_id for r in ROWS if r.file_name in CABINETS}


def cabinet_spans(image):
    """Each cabinet's name, file offset and size inside the executable, in writing order."""
    pe = pefile.PE(image, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    spans = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        name = str(kind.name) if kind.name else None
        for entry in kind.directory.entries:
            if name in CABINET_ROWS and entry.id == CABINET_ROWS[name]:
                data = entry.directory.entries[0].data.struct
                spans[name] = (pe.get_offset_from_rva(data.OffsetToData), data.Size)
    names = dict(zip(CABINET_ROWS, CABINETS))
    return [f"{names[row]}:{spans[row][0]}:{spans[row][1]}" for row in CABINET_ROWS]


def windows_path(path, env):
    return subprocess.run([WINE64, "winepath", "-w", path], env=env, check=True, capture_output=True,
                          text=True).stdout.strip()


def same_writes_wine(wine, program, image, target, env):
    watch = fresh_watch(target)
    subprocess.run([wine, program, windows_path(image, env), windows_path(target, env)], env=env,
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return watch.seconds()


def bare_engine_start(wine, program, image, target, engine, env, record):
    """A bare program that starts the engine stand-in at once, beside the same
    writes on a second thread or with no writes (target None): (ms to the
    engine's start, seconds of staging or None)."""
    folder, watch = "-", None
    if target is not None:
        watch = fresh_watch(target)
        folder = windows_path(target, env)
    subprocess.run([wine, program, windows_path(image, env), folder, engine], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(record) as f:
        engine_ms = float(f.read().strip().splitlines()[-1].split("=")[1])
    return engine_ms, watch.seconds() if watch else None


def same_writes_native(program, image, target, spans):
    watch = fresh_watch(target)
    subprocess.run([program, image, target] + spans, check=True)
    return watch.seconds()


def make_prefix(wine, prefix, env):
    """wineboot -i; once seen here to fail at random ("could not load
    kernel32.dll") in a fresh prefix, so a failed prefix is made again once."""
    for attempt in (1, 2):
        boot = subprocess.run([wine, "wineboot", "-i"], env=env, capture_output=True, text=True)
        if boot.returncode == 0:
            return
        print(f"wineboot failed (attempt {attempt}): {boot.stderr.strip()[-500:]}", file=sys.stderr)
        subprocess.run([WINESERVER, "-k"], env=env, capture_output=True)
        shutil.rmtree(prefix, ignore_errors=True)
    raise RuntimeError("wineboot failed twice")


TRACE_LINE = re.compile(r"^(\d+\.\d+):([0-9a-f]+):trace:(loaddll|process|module):(.*)$")
LOADED = re.compile(r'^build_module Loaded L"[^"]*\\\\([^"\\]+)"')
ATTACH = re.compile(r'^MODULE_InitDLL \(([0-9A-F]+)(?: L"([^"]+)")?,PROCESS_ATTACH,[0-9A-F]+\) - (CALL|RETURN)')


def wine_clock_ms():
    """Now on the clock of Wine's trace time stamps (its tick count: the raw
    monotonic clock in ms, 32 bits wide)."""
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000 % 2**32


def start_timeline(argv, env, program, engine="msiexec.exe"):
    """Where the time from a program's launch to its engine's start goes, from
    Wine's own time-stamped trace of library loads, library initialisation
    and process creation: [(ms since the loader was started, step)]. Before
    the program's image is reported loaded, Wine starts and maps the image
    (with a copy of it, for an image Wine does not map from the file). The
    trace itself slows each step a little; compare the rows, not the totals
    with figure 1."""
    traced = dict(env, WINEDEBUG="+timestamp,+loaddll,+process,+module")
    launched = wine_clock_ms() / 1000
    err = subprocess.run(argv, env=traced, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                         check=True).stderr.decode("latin-1")
    steps, own, mapped, calls, entry, called = [], None, [], {}, None, False
    for line in err.splitlines():
        match = TRACE_LINE.match(line)
        if match is None:
            continue
        at, thread, _, text = float(match.group(1)), match.group(2), match.group(3), match.group(4)
        loaded, attach = LOADED.match(text), ATTACH.match(text)
        name = loaded.group(1).lower() if loaded else None
        if name == program.lower():
            own = thread
            steps.append((at, f"{program} reported loaded (Wine started, image mapped)"))
        elif own is None:
            continue
        elif name == engine:
            steps.append((at, "engine image mapped"))
        elif text.startswith("CreateProcessInternalW started") and thread == own:
            steps.append((at, "engine process created"))
        elif called:
            continue
        elif loaded and thread == own:
            mapped.append((at, loaded.group(1)))
        elif attach and thread == own:
            address, library, phase = attach.groups()
            if phase == "CALL":
                if mapped:
                    what = f"{len(mapped)} libraries mapped" if len(mapped) > 1 else f"{mapped[0][1]} mapped"
                    steps.append((mapped[-1][0], what))
                    mapped = []
                calls[address] = (at, library)
            elif address in calls:
                began, library = calls.pop(address)
                steps.append((at, f"{library} initialised", (at - began) * 1000))
                entry = at
        elif text.startswith("CreateProcessInternalW app") and engine in text.lower():
            called = True
            if entry is not None:
                steps.append((entry, "imports initialised: the program's own code runs"))
            if mapped:
                steps.append((mapped[-1][0], f"maps {mapped[-1][1]}"))
            steps.append((at, "CreateProcess of the engine called"))
    steps.insert(0, (launched, "loader started"))
    return {step[1]: ((step[0] - launched) * 1000 % 2**32,) + step[2:] for step in steps}


def median_timeline(runs):
    """The steps every traced run shows, each at its median time (and with the
    median time its library initialisation took); libraries that take less
    than 2 ms to initialise are left out."""
    steps = []
    for label in [label for label in runs[0] if all(label in run for run in runs)]:
        values = [run[label] for run in runs]
        ms = statistics.median(v[0] for v in values)
        if len(values[0]) == 1:
            steps.append((ms, label))
            continue
        took = statistics.median(v[1] for v in values)
        if took >= 2:
            steps.append((ms, f"{label} ({took:.0f} ms)"))
    return sorted(steps, key=lambda step: step[0])  # stable: ties keep the trace's order


def print_timelines(timelines):
    print(f"5. from the launch to the engine's start, step by step (ms, median of {TIMELINE_RUNS} traced "
          "runs each, 79 MiB payload)")
    for label, steps in timelines:
        print(f"   {label}:")
        for ms, step in steps:
            print(f"   {ms:9.1f}  {step}")


# The timed build's points (base/timing_points.h): step n runs from point n - 1 to point n.
# The cabinet folder is made and checked once, before the first point: no step holds it.
STEPS = ["the path", "resource, checks before the open", "the open",
         "identity check of the opened file", "the writes", "the close", "the hold"]


def read_steps(path):
    """The cabinet thread's steps, one {step: ms} per cabinet, from the timed
    build's notes ("<point> <thread> <microseconds>" lines). The cabinet thread
    is the one that passes point 0; the main thread's own files are left out."""
    with open(path) as f:
        notes = [tuple(int(v) for v in line.split()) for line in f if line.strip()]
    thread = next(t for point, t, _ in notes if point == 0)
    cabinets = []
    for point, t, microseconds in notes:
        if t != thread or point > len(STEPS):
            continue
        if point == 0:
            cabinets.append({})
        cabinets[-1][point] = microseconds
    return [{STEPS[p - 1]: (c[p] - c[p - 1]) / 1000 for p in range(1, len(STEPS) + 1) if p in c and p - 1 in c}
            for c in cabinets]


def run_timed(wine, exe, env, cache, record, times):
    """The timed build once: its staging seconds and its steps per cabinet."""
    if os.path.exists(times[0]):
        os.unlink(times[0])
    _, staging, _ = run_bootstrapper(wine, exe, dict(env, WYK_BENCH_TIMES=times[1]), cache, record)
    return staging, read_steps(times[0])


def build_measures(label, folder, wine, env, cache, record, target, times, quick):
    """The measures of one build under its own loader; keys carry the label."""
    exe = {p: os.path.join(folder, f"wyk-bench-{p}.exe") for p in ("empty", "realistic", "realistic-timed")}
    same_writes = os.path.join(folder, "bench_same_writes.exe")
    engine = windows_path(os.path.join(folder, "bench-engine", "msiexec.exe"), env)
    measures = {
        (label, "realistic"): lambda: run_bootstrapper(wine, exe["realistic"], env, cache, record),
        (label, "bare beside writes"): lambda: bare_engine_start(
            wine, same_writes, exe["realistic"], target, engine, env, record),
        (label, "timed"): lambda: run_timed(wine, exe["realistic-timed"], env, cache, record, times),
    }
    if not quick:
        measures.update({
            (label, "empty"): lambda: run_bootstrapper(wine, exe["empty"], env, cache, record),
            (label, "wine"): lambda: same_writes_wine(wine, same_writes, exe["realistic"], target, env),
            (label, "bare"): lambda: bare_engine_start(wine, same_writes, exe["realistic"], None,
                                                       engine, env, record),
        })
    return exe["realistic"], measures


def full_run(measures, rounds, env):
    """One full run: a fresh Wine server, every measure once to warm the page
    cache and the prefix, then the rounds. Rounds interleave the measures, so
    a slow spell of the machine hits them all alike."""
    subprocess.run([WINESERVER, "-k"], env=env, capture_output=True)
    for measure in measures.values():
        measure()
    results = {key: [] for key in measures}
    for _ in range(rounds):
        for key, measure in measures.items():
            os.sync()  # the previous measure's written bytes go to disk first, not during this one
            results[key].append(measure())
    return results


def series_of(results):
    """Each measured quantity's values: {(label, quantity): [values]}."""
    series = {}
    for (label, name), values in results.items():
        if name in ("empty", "realistic"):
            for index, figure in enumerate(("start", "staging", "memory")):
                series[(label, f"{name} {figure}")] = [r[index] for r in values]
        elif name.startswith("bare"):
            series[(label, name)] = [r[0] for r in values]
            if values[0][1] is not None:
                series[(label, f"{name} staging")] = [r[1] for r in values]
        elif name == "timed":
            series[(label, "timed staging")] = [r[0] for r in values]
        else:
            series[(label, name)] = values
    return series


def judged(series, labels):
    """The judged figures of one full run, each a ratio (or difference) of medians."""
    med = {key: statistics.median(values) for key, values in series.items()}
    figures = {("", "native / dd"): med[("", "native")] / med[("", "dd")],
               ("", "native / cp"): med[("", "native")] / med[("", "cp")]}
    for l in labels:
        figures[(l, "staging")] = med[(l, "realistic staging")] / med[(l, "bare beside writes staging")]
        if (l, "empty start") in med:
            figures[(l, "start")] = med[(l, "realistic start")] / med[(l, "empty start")]
            figures[(l, "memory")] = med[(l, "realistic memory")] - med[(l, "empty memory")]
            figures[(l, "staging / bare alone")] = med[(l, "realistic staging")] / med[(l, "wine")]
    return figures


def report_run(number, series, labels, seconds):
    med = {key: statistics.median(values) for key, values in series.items()}

    def row(text, name, form, shared=False):
        if (labels[0] if not shared else "", name) not in series:
            return
        cells = [f"{min(series[(l, name)]):9{form}} / {med[(l, name)]:9{form}}"
                 for l in ([""] if shared else labels)]
        print(f"   {text:<46} " + "   |   ".join(cells))

    print(f"-- full run {number} ({seconds:.0f} s; {len(next(iter(series.values())))} rounds; "
          "min / median; columns: " + " | ".join(labels) + ")")
    row("engine start, empty cabinets (ms)", "empty start", ".1f")
    row("engine start, 79 MiB payload (ms)", "realistic start", ".1f")
    row("bare program's engine start (ms)", "bare", ".1f")
    row("bare program's engine start, writes beside (ms)", "bare beside writes", ".1f")
    row("staging: cabinet thread (s)", "realistic staging", ".3f")
    row("staging: timed build (s)", "timed staging", ".3f")
    row("bare program's same writes alone (s)", "wine", ".3f")
    row("bare program's same writes, stand-in beside (s)", "bare beside writes staging", ".3f")
    row("native design (s)", "native", ".3f", shared=True)
    row("dd bs=8k (s)", "dd", ".3f", shared=True)
    row("cp (s)", "cp", ".3f", shared=True)
    row("peak private memory, empty (KiB)", "empty memory", ".0f")
    row("peak private memory, 79 MiB (KiB)", "realistic memory", ".0f")


def spread(values, form):
    return (f"{statistics.median(values):{form}} (spread {min(values):{form}} to {max(values):{form}}; "
            "runs " + ", ".join(f"{v:{form}}" for v in values) + ")")


def verdict(value, limit):
    return "met" if value <= limit else "not met"


def report_judged(runs, labels, stub, product, note):
    print(f"== judged on the median of {len(runs)} full runs, with their spread" + note)
    figures = [("2. staging: cabinet thread / bare program's same writes, stand-in beside", "staging", ".3f", 1.10),
               ("1. engine start: 79 MiB payload / empty cabinets", "start", ".3f", 1.20),
               ("3. extra peak private memory, 79 MiB against empty (KiB)", "memory", ".0f", 4096),
               ("   (staging / the bare program's writes alone, not judged)", "staging / bare alone", ".2f", None)]
    for text, name, form, limit in figures:
        if (labels[0], name) not in runs[0]:
            continue
        print(f"{text}" + (f" (limit {limit:{form}})" if limit else ""))
        for l in labels:
            values = [run[(l, name)] for run in runs]
            judged_text = f"  {verdict(statistics.median(values), limit)}" if limit else ""
            print(f"   {l:<18} {spread(values, form)}{judged_text}")
    native = [run[("", "native / dd")] for run in runs]
    print("2. natively: the design / dd bs=8k (limit 1.00)")
    print(f"   {'Linux':<18} {spread(native, '.3f')}  {verdict(statistics.median(native), 1.0)}")
    print(f"   {'(against cp)':<18} {spread([run[('', 'native / cp')] for run in runs], '.2f')}")
    print("4. the PE32's size")
    size = os.path.getsize(stub)
    print(f"   file without payload {size:,} bytes (limit {STUB_FILE_LIMIT:,}): {verdict(size, STUB_FILE_LIMIT)}")
    own = own_code_and_data(pefile.PE(product, fast_load=True))
    print(f"   code and data outside the resources {own:,} bytes (limit {OWN_CODE_AND_DATA_LIMIT:,}): "
          f"{verdict(own, OWN_CODE_AND_DATA_LIMIT)}")


def report_steps(steps, labels, chunks):
    """Figure 6: per column, the median ms of each step of each cabinet over
    every timed run, and the sum of the five cabinets."""
    print("6. where the cabinet thread's time goes: timed build, ms, median of "
          f"{len(steps[labels[0]])} runs (each run's cabinets summed for 'all five'); "
          f"the writes are {chunks:,} of {CHUNK} bytes; the cabinet folder, made before the first "
          "point, is in no step")
    short = ["path", "checks", "open", "open id", "writes", "close", "hold"]
    print("   " + "; ".join(f"{s}: {long}" for s, long in zip(short, STEPS)))
    for label in labels:
        print(f"   {label}")
        print("   " + f"{'cabinet':<14}" + "".join(f"{s:>9}" for s in short) + f"{'total':>9}")
        runs = steps[label]
        rows = [(CABINETS[i], [run[i] for run in runs if i < len(run)]) for i in range(len(CABINETS))]
        rows.append(("all five", [{s: sum(c.get(s, 0) for c in run) for s in STEPS} for run in runs]))
        for name, cabinets in rows:
            cells = [statistics.median(c.get(s, 0) for c in cabinets) for s in STEPS]
            total = statistics.median(sum(c.values()) for c in cabinets)
            print("   " + f"{name:<14}" + "".join(f"{v:9.2f}" for v in cells) + f"{total:9.2f}")


def main():
    parser = argparse.ArgumentParser(description="Benchmarks of the bootstrapper against its limits.")
    parser.add_argument("build", help="the native build folder made with -DWYK_BENCH=ON")
    parser.add_argument("--quick", action="store_true", help="staging (figure 2) and its steps only")
    parser.add_argument("--runs", type=int, default=3, help="full runs (the judged figures need 3 or more)")
    parser.add_argument("--rounds", type=int, help="rounds per full run (default 5 quick, 7 full)")
    parser.add_argument("--no-docs", action="store_true", help="do not write the report into docs/benchmarks.md")
    args = parser.parse_args()
    report = Tee(sys.stdout)
    sys.stdout = report
    load_before = os.getloadavg()[0]
    rounds = args.rounds or (5 if args.quick else 7)
    build = os.path.abspath(args.build)
    builds = [("64-bit build", os.path.join(build, "win-x64-i586"), WINE64)]
    no_32bit = probe_32bit_code()
    if no_32bit is None:
        builds[:0] = [("PE32 under WoW64", os.path.join(build, "win-i686"), WINE32)]
    else:
        print(f"NOTE: {no_32bit}; the PE32 is not measured, only the 64-bit build (the same "
              "sources and constants as 64-bit code)")
    labels = [label for label, _, _ in builds]
    stub = os.path.join(build, "win-i686", "wyk-7-windows-i586-stub.exe")
    product = os.path.join(build, "win-i686", "wyk-7-windows-i586.exe")
    work = tempfile.mkdtemp(prefix="wyk-bench-", dir=build)
    prefix = os.path.join(work, "prefix")
    xvfb = XServer()
    env = wine_env(prefix, xvfb.start())
    began = time.monotonic()
    try:
        # The first build's loader makes the prefix: a WoW64 one when that is the PE32's.
        make_prefix(builds[0][2], prefix, env)
        for _, folder, wine in builds:
            # Each loader's reg writes its own registry view, the one its build reads.
            engine_dir = windows_path(os.path.join(folder, "bench-engine"), env)
            subprocess.run([wine, "reg", "add", r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Installer",
                            "/v", "InstallerLocation", "/t", "REG_SZ", "/d", engine_dir, "/f"],
                           env=env, check=True, capture_output=True)
        record = os.path.join(work, "engine.txt")
        env["WYK_BENCH_RECORD"] = windows_path(record, env)
        times = os.path.join(work, "times.txt")
        times = (times, windows_path(times, env))
        users = os.path.join(prefix, "drive_c", "users")
        user = [u for u in os.listdir(users) if u not in ("Public",)][0]
        cache = os.path.join(users, user, "AppData", "LocalLow", "Halvec", "Tavro", "wyk1.7.0")
        os.makedirs(cache, exist_ok=True)
        print(f"prefix ready after {time.monotonic() - began:.0f} s; {args.runs} full runs of {rounds} rounds"
              + (" (quick: figure 2 and its steps only)" if args.quick else ""), flush=True)

        target = os.path.join(prefix, "drive_c", "bench-copy")
        payload = os.path.join(builds[-1][1], "bench-payload", "realistic")
        native = os.path.join(build, "bench", "native_same_writes")
        measures = {}
        for label, folder, wine in builds:
            image, built = build_measures(label, folder, wine, env, cache, record, target, times, args.quick)
            measures.update(built)
        spans = cabinet_spans(image)
        measures.update({
            ("", "native"): lambda: same_writes_native(native, image, target, spans),
            ("", "cp"): lambda: copy_time(payload, target, "cp"),
            ("", "dd"): lambda: copy_time(payload, target, "dd"),
        })
        runs, steps = [], {label: [] for label in labels}
        for number in range(1, args.runs + 1):
            started = time.monotonic()
            results = full_run(measures, rounds, env)
            series = series_of(results)
            report_run(number, series, labels, time.monotonic() - started)
            runs.append(judged(series, labels))
            for label in labels:
                steps[label] += [cabinets for _, cabinets in results[(label, "timed")]]
            sys.stdout.flush()
        timelines = [] if args.quick else measure_timelines(builds, env)
    finally:
        subprocess.run([WINESERVER, "-k"], env=env, capture_output=True)
        xvfb.stop()
        shutil.rmtree(work, ignore_errors=True)
    report_judged(runs, labels, stub, product, "" if no_32bit is None else
                  f" (the 64-bit build only: {no_32bit})")
    report_steps(steps, labels, sum(math.ceil(os.path.getsize(os.path.join(payload, name)) / CHUNK)
                                    for name in CABINETS))
    if timelines:
        print_timelines(timelines)
    print(f"all of it took {time.monotonic() - began:.0f} s")
    sys.stdout = report.stream
    if not args.no_docs:
        mode = "quick" if args.quick else "full"
        written = write_into_docs(DOCS, mode, machine_text(load_before, no_32bit), report.text())
        print(f"the report was written into {os.path.relpath(DOCS)} ({mode})" if written else
              f"NOTE: {os.path.relpath(DOCS)} has no markers for the {mode} report; nothing written")


class Tee:
    """Standard output that is kept as well, for the documents."""

    def __init__(self, stream):
        self.stream, self.parts = stream, []

    def write(self, text):
        self.parts.append(text)
        return self.stream.write(text)

    def flush(self):
        self.stream.flush()

    def text(self):
        return "".join(self.parts)


def machine_text(load_before, no_32bit):
    """Which machine gave the figures: processor, kernel, Wine, load, 32-bit code."""
    model = "unknown processor"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    wine = subprocess.run([WINE64, "--version"], capture_output=True, text=True).stdout.strip()
    code32 = "runs 32-bit code" if no_32bit is None else f"no 32-bit code ({no_32bit})"
    return (f"{model}, {os.cpu_count()} logical processors; Linux {platform.release()}; {wine}; "
            f"{code32}; load average {load_before:.2f} before, {os.getloadavg()[0]:.2f} after")


def write_into_docs(path, mode, machine, text):
    """Replaces what stands between the mode's markers; False when they are missing."""
    begin, end = f"<!-- bench {mode} report: begin -->", f"<!-- bench {mode} report: end -->"
    with open(path) as f:
        doc = f.read()
    if doc.count(begin) != 1 or doc.count(end) != 1 or doc.index(begin) > doc.index(end):
        return False
    when = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    command = " ".join(["bench/run-benchmarks.sh"] + sys.argv[2:])
    block = (f"{begin}\nWritten by `{command}` on {when}.\nMachine: {machine}.\n\n"
             f"```text\n{text.rstrip()}\n```\n{end}")
    with open(path, "w") as f:
        f.write(doc[:doc.index(begin)] + block + doc[doc.index(end) + len(end):])
    return True


def measure_timelines(builds, env):
    """Each build's timeline, 79 MiB payload, against the bare program that maps
    the same image and starts the same stand-in at once."""
    timelines = []
    for label, folder, wine in builds:
        exe = os.path.join(folder, "wyk-bench-realistic.exe")
        bare = os.path.join(folder, "bench_same_writes.exe")
        engine = windows_path(os.path.join(folder, "bench-engine", "msiexec.exe"), env)
        bare_argv = [wine, bare, windows_path(exe, env), "-", engine]
        timelines += [
            (f"bootstrapper ({label})", median_timeline(
                [start_timeline([wine, exe], env, os.path.basename(exe)) for _ in range(TIMELINE_RUNS)])),
            (f"bare program ({label})", median_timeline(
                [start_timeline(bare_argv, env, os.path.basename(bare)) for _ in range(TIMELINE_RUNS)]))]
    return timelines


if __name__ == "__main__":
    main()
