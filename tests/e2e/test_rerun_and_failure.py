"""The re-run request the package can leave behind, and a package failure code."""
import os
import threading
import time
import unittest

from e2e_support import (KIT_DIR, KIT_KEY, PRODUCT_CODE_AU, PRODUCT_CODE_KIT, RUNTIME_KEY, UPDATE_KEY,
                         VENDOR_KEY, Scenario, engine_runs, hklm, lasting_runs, new_tag)


class EngineRunCounter:
    """Watches the processes while a run lasts (every 10 ms) and keeps the engine runs
    of the kit package that carry the scenario's tag."""

    def __init__(self, tag):
        self.tag = tag
        self.seen = {}
        self.done = threading.Event()
        self.thread = threading.Thread(target=self.watch, daemon=True)

    def watch(self):
        while not self.done.is_set():
            engine_runs(self.tag, self.seen)
            time.sleep(0.01)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.done.set()
        self.thread.join()

    def kit_runs(self):
        return [args for args in lasting_runs(self.seen) if "wyk1.7.0.msi" in args]


class RerunRequest(Scenario):
    def run_counted(self, args):
        tag = new_tag()
        with EngineRunCounter(tag) as counter:
            code = self.prefix.run(self.exe, args, tag=tag)
        return code, counter.kit_runs()

    def test_rerun_request_gives_exactly_one_second_run_and_is_cleared(self):
        code, runs = self.run_counted("/s WYKRERUN=1")
        self.assertEqual(code, 0)
        self.assertEqual(len(runs), 2, runs)
        # The second run got the very same command line.
        self.assertEqual(runs[0], runs[1])
        self.assertIsNone(self.prefix.get_value(hklm(VENDOR_KEY), "InstallStatus"))
        # The vendor key itself stays: the kit's own keys live below it.
        self.assertTrue(self.prefix.key_exists(hklm(KIT_KEY)))
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_KIT))

    def test_without_the_request_the_package_runs_once(self):
        code, runs = self.run_counted("/s")
        self.assertEqual(code, 0)
        self.assertEqual(len(runs), 1, runs)


class PackageFailure(Scenario):
    def test_failure_code_is_returned_unchanged_and_skips_the_update_service(self):
        # The package's launch condition refuses the install: the engine's 1603.
        code = self.prefix.run(self.exe, "/s WYKREFUSE=1")
        self.assertEqual(code, 1603)
        self.assertFalse(self.prefix.product_installed(PRODUCT_CODE_KIT))
        self.assertFalse(os.path.exists(self.prefix.c_drive(KIT_DIR)))
        # No kit home, so no runtime; and no update service after a failure.
        self.assertFalse(self.prefix.key_exists(hklm(RUNTIME_KEY)))
        self.assertFalse(self.prefix.product_installed(PRODUCT_CODE_AU))
        self.assertIsNone(self.prefix.get_value(hklm(UPDATE_KEY), "AUVersion"))
        au = os.path.join(self.prefix.user_data_folder("locallow"), "Halvec", "Tavro", "AU")
        self.assertFalse(os.path.exists(os.path.join(au, "au.msi")))


if __name__ == "__main__":
    unittest.main()
