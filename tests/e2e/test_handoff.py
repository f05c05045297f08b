"""The hand-off: the package waits for the named event until the setup program's
cabinet thread has written the last cabinet.

Made visible with release-size cabinets (about 78 MiB) and a setup program that
is slowed down from outside: it runs 2 ms out of every 50 ms (SIGSTOP/SIGCONT),
so its cabinet writing takes far longer than the engine needs to reach the
package's wait; once the package reports that it waits, the setup program is
stopped altogether for a while. The engine (a separate process) runs at full
speed all along."""
import os
import signal
import sys
import time
import unittest

from e2e_support import (CABINETS, KIT_DIR, PRODUCT_CODE_KIT, Scenario, built, engine_runs, find_process,
                         hold, new_tag, read)

WAITING = "Cabinet wait: waiting for HalvecWYKCabExtractWaitEvent"
READY = "Cabinet wait: cabinets ready after "
HOLD_SECONDS = 5


def log_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace")
    except FileNotFoundError:
        return ""


class HandOff(Scenario):
    def test_package_waits_until_the_last_cabinet_is_written(self):
        exe = built("wyk-demo-e2e-large.exe")
        payload = built("demo-e2e-large")
        tag = new_tag()
        log = self.prefix.c_drive("e2e", "engine.log")
        runs = self.prefix.start(exe, r"/s /l*v C:\e2e\engine.log", tag=tag)
        pid = None
        try:
            deadline = time.time() + 60
            while pid is None and time.time() < deadline:
                pid = find_process(os.path.basename(exe), "E2ETAG=" + tag)
                time.sleep(0.005)
            self.assertIsNotNone(pid, "the setup program did not start")

            # Slow the setup program down until the package says it waits.
            deadline = time.time() + 180
            while WAITING not in log_text(log):
                self.assertLess(time.time(), deadline, "the package never started to wait")
                os.kill(pid, signal.SIGSTOP)
                time.sleep(0.048)
                os.kill(pid, signal.SIGCONT)
                time.sleep(0.002)
            hold(pid)

            cache = self.prefix.cache_folder()
            last = os.path.join(cache, "sz170000.cab")
            expected_last = os.path.getsize(os.path.join(payload, "sz170000.cab"))
            self.assertFalse(os.path.exists(last) and os.path.getsize(last) == expected_last,
                             "the cabinets were complete before the package waited: nothing to show")
            written = {n: os.path.getsize(os.path.join(cache, n)) for n in CABINETS
                       if os.path.exists(os.path.join(cache, n))}

            # While the cabinets are incomplete the package holds: the engine runs on,
            # nothing is installed and the wait has not ended.
            time.sleep(HOLD_SECONDS)
            self.assertTrue(engine_runs(tag, {}), "the engine is no longer running")
            self.assertNotIn(READY, log_text(log))
            self.assertFalse(os.path.exists(self.prefix.c_drive(KIT_DIR)))
            self.assertEqual(written, {n: os.path.getsize(os.path.join(cache, n)) for n in CABINETS
                                       if os.path.exists(os.path.join(cache, n))})

            os.kill(pid, signal.SIGCONT)
            last_complete = ready_seen = None
            deadline = time.time() + 300
            while ready_seen is None and time.time() < deadline and runs.process.poll() is None:
                now = time.time()
                if last_complete is None and os.path.exists(last) and os.path.getsize(last) == expected_last:
                    last_complete = now
                if READY in log_text(log):
                    ready_seen = now
                time.sleep(0.01)
            self.assertIsNotNone(ready_seen, "the package did not report the end of its wait")
            self.assertIsNotNone(last_complete)
            self.assertLessEqual(last_complete, ready_seen)
        finally:
            if pid is not None:
                try:
                    os.kill(pid, signal.SIGCONT)
                except ProcessLookupError:
                    pass

        self.assertEqual(self.prefix.finish(runs), 0)
        line = [l for l in log_text(log).splitlines() if READY in l][0]
        waited_ms = int(line.split(READY, 1)[1].split(" ", 1)[0])
        sys.stderr.write("\nheld while the cache folder held %s of %d cabinets (%s); package log: %s\n"
                         % (len(written), len(CABINETS),
                            ", ".join("%s %d bytes" % item for item in sorted(written.items())), line.strip()))
        self.assertGreaterEqual(waited_ms, HOLD_SECONDS * 1000, line)
        self.assertIn("(wait result 0)", line)
        for name in CABINETS:
            self.assertEqual(read(os.path.join(cache, name)), read(os.path.join(payload, name)), name)
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_KIT))
        self.assertTrue(os.path.isfile(self.prefix.c_drive(KIT_DIR, "tools.zip")))


if __name__ == "__main__":
    unittest.main()


class InterfaceLevels(Scenario):
    """Where the package waits: with a full interface in its interface sequence, with a
    basic one (whose run skips that sequence) at the start of its execution sequence.
    Either way exactly once, and before the execution sequence installs anything."""

    def waits_in_log(self, args):
        code = self.prefix.run(self.exe, args + r" /l*v C:\e2e\engine.log")
        self.assertEqual(code, 0)
        self.assertTrue(os.path.isfile(self.prefix.c_drive(KIT_DIR, "tools.zip")))
        lines = log_text(self.prefix.c_drive("e2e", "engine.log")).splitlines()
        ready = [i for i, l in enumerate(lines) if READY in l]
        self.assertEqual(len(ready), 1, [l for l in lines if "Cabinet wait" in l])
        install_files = [i for i, l in enumerate(lines) if "Action start" in l and "InstallFiles" in l]
        self.assertTrue(install_files)
        self.assertLess(ready[0], install_files[0])
        return lines, ready[0]

    def test_full_interface_waits_in_the_interface_sequence(self):
        lines, ready = self.waits_in_log("ADDLOCAL=ToolsFeature")
        execute = [i for i, l in enumerate(lines) if "Action start" in l and "ExecuteAction" in l]
        self.assertTrue(execute, "no interface sequence ran")
        self.assertLess(ready, execute[0])

    def test_basic_interface_waits_in_the_execution_sequence(self):
        lines, ready = self.waits_in_log("/qb ADDLOCAL=ToolsFeature")
        self.assertFalse([l for l in lines if "Action start" in l and "ExecuteAction" in l])
