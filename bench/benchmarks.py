#!/usr/bin/env python3
"""Measures the bootstrapper against its limits, side by side in one run.

1. time from the bootstrapper's start to the engine's start, release-size payload
   against empty cabinets (limit: ratio 1.2);
2. the cabinet thread's staging time for the five release-size cabinets against
   cp and dd bs=8k copying the same bytes on the same file system (limit 1.15);
3. peak private (anonymous) memory while staging 79 MiB against staging empty
   cabinets (limit: within 4 MiB);
4. the 32-bit product without payload, in bytes (limit: 64 KiB).
Each run is repeated; minimum and median are printed."""
import ctypes
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
CABINETS = ["sd170000.cab", "ss170000.cab", "st170000.cab", "sj170000.cab", "sz170000.cab"]
RUNS = int(os.environ.get("WYK_BENCH_RUNS", "5"))

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


def run_bootstrapper(exe, env, cache, record):
    for name in os.listdir(cache):
        os.unlink(os.path.join(cache, name))
    watch = Watch(cache, CABINETS[0], CABINETS[-1])
    process = subprocess.Popen([WINE, exe], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
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


def copy_time(payload, target, command):
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    watch = Watch(target, CABINETS[0], CABINETS[-1])
    for name in CABINETS:
        source = os.path.join(payload, name)
        if command == "cp":
            subprocess.run(["cp", source, target], check=True)
        else:
            subprocess.run(["dd", f"if={source}", f"of={os.path.join(target, name)}", "bs=8k",
                            "status=none"], check=True)
    return watch.seconds()


def summary(values):
    return min(values), statistics.median(values)


def main():
    build = os.path.abspath(sys.argv[1])
    x64 = os.path.join(build, "win-x64-i586")
    stub = os.path.join(build, "win-i686", "wyk-7-windows-i586-stub.exe")
    work = tempfile.mkdtemp(prefix="wyk-bench-", dir=build)
    prefix = os.path.join(work, "prefix")
    display = f":{400 + os.getpid() % 200}"
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "800x600x16"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env = wine_env(prefix, display)
    for _ in range(100):
        if os.path.exists(f"/tmp/.X11-unix/X{display[1:]}"):
            break
        time.sleep(0.05)
    try:
        boot = subprocess.run([WINE, "wineboot", "-i"], env=env, capture_output=True, text=True)
        if boot.returncode != 0:
            raise RuntimeError("wineboot failed: " + boot.stderr[-2000:])
        engine_dir = subprocess.run([WINE, "winepath", "-w", os.path.join(x64, "bench-engine")], env=env,
                                    check=True, capture_output=True, text=True).stdout.strip()
        subprocess.run([WINE, "reg", "add", r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Installer",
                        "/v", "InstallerLocation", "/t", "REG_SZ", "/d", engine_dir, "/f"],
                       env=env, check=True, capture_output=True)
        record = os.path.join(work, "engine.txt")
        env["WYK_BENCH_RECORD"] = subprocess.run([WINE, "winepath", "-w", record], env=env, check=True,
                                                 capture_output=True, text=True).stdout.strip()
        users = os.path.join(prefix, "drive_c", "users")
        user = [u for u in os.listdir(users) if u not in ("Public",)][0]
        cache = os.path.join(users, user, "AppData", "LocalLow", "Halvec", "Tavro", "wyk1.7.0")
        os.makedirs(cache, exist_ok=True)

        results = {}
        for profile in ("empty", "realistic"):
            exe = os.path.join(x64, f"wyk-bench-{profile}.exe")
            run_bootstrapper(exe, env, cache, record)  # warm the page cache and the prefix
            results[profile] = [run_bootstrapper(exe, env, cache, record) for _ in range(RUNS)]
        payload = os.path.join(x64, "bench-payload", "realistic")
        copy_target = os.path.join(prefix, "drive_c", "bench-copy")
        cp_times = [copy_time(payload, copy_target, "cp") for _ in range(RUNS)]
        dd_times = [copy_time(payload, copy_target, "dd") for _ in range(RUNS)]
    finally:
        subprocess.run([WINESERVER, "-k"], env=env, capture_output=True)
        xvfb.terminate()
        shutil.rmtree(work, ignore_errors=True)

    def column(profile, index):
        return [r[index] for r in results[profile]]

    print(f"runs per figure: {RUNS}; figures as min / median")
    e_min, e_med = summary(column("empty", 0))
    r_min, r_med = summary(column("realistic", 0))
    print("1. time to engine start (ms)")
    print(f"   empty cabinets     {e_min:9.1f} / {e_med:9.1f}")
    print(f"   79 MiB payload     {r_min:9.1f} / {r_med:9.1f}")
    print(f"   ratio (median)     {r_med / e_med:9.2f}   limit 1.20")
    s_min, s_med = summary(column("realistic", 1))
    c_min, c_med = summary(cp_times)
    d_min, d_med = summary(dd_times)
    print("2. staging the five cabinets (s)")
    print(f"   cabinet thread     {s_min:9.3f} / {s_med:9.3f}")
    print(f"   cp                 {c_min:9.3f} / {c_med:9.3f}")
    print(f"   dd bs=8k           {d_min:9.3f} / {d_med:9.3f}")
    print(f"   ratio to cp        {s_med / c_med:9.2f}   limit 1.15")
    print(f"   ratio to dd        {s_med / d_med:9.2f}   limit 1.15")
    pe_min, pe_med = summary(column("empty", 2))
    pr_min, pr_med = summary(column("realistic", 2))
    print("3. peak private (anonymous) memory (KiB)")
    print(f"   empty cabinets     {pe_min:9d} / {pe_med:9.0f}")
    print(f"   79 MiB payload     {pr_min:9d} / {pr_med:9.0f}")
    print(f"   difference         {pr_med - pe_med:9.0f}   limit 4096")
    print("4. the 32-bit product without payload (bytes)")
    print(f"   {os.path.getsize(stub):9d}   limit 65536")


if __name__ == "__main__":
    main()
