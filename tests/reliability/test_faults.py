"""Faults while staging and starting: a disk that fills up, a target held open
or that nobody may write, missing resource rows, an engine too old or one that
cannot be started. Each ends with its documented exit code and, where one is
documented, its message box, and leaves the files written before intact."""
import os
import subprocess
import time
import unittest

from reliability import (CREATE_FILE, ERROR_ACCESS_DENIED, ERROR_DISK_FULL,
                         ERROR_SHARING_VIOLATION, KIT_FILES, WRITE_FILE, ReliabilityCase,
                         SmallDisk)
import harness  # found through the path that reliability sets
from harness import CABINETS, PACKAGE, win_path
from harness import tearDownModule  # noqa: F401 (one session per module)
from reliability import setUpModule  # noqa: F401 (clears leftover mounts first)


class FaultCase(ReliabilityCase):
    def earlier_cache(self, marked=()):
        """The kit cache as an earlier run left it: the payload files, except
        that the names in marked hold a text of their own, so a test can tell
        a file that was left alone from one written again."""
        s = self.session
        folder = s.cache_folder()
        os.makedirs(folder, exist_ok=True)
        for name in KIT_FILES:
            data = (b"earlier run: " + name.encode()) if name in marked else s.payload(name)
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        return self.kit_files()

    def hold(self, path):
        """Holds the file open without sharing until the test's clean-up."""
        self.addCleanup(self.session.hold(path, 60000))

    def use_old_engine(self):
        """An engine library of version 2.0.2599.65535 in the system folder until
        the test's clean-up; gives the overrides that make Wine load it and
        string 4 of the product, the old-engine box's text."""
        s = self.session
        s.replace_system_file("msi.dll", os.path.join(s.win_dir, "engine-libraries",
                                                      "msi-2.0.2599.65535.dll"))
        self.addCleanup(s.restore_system_file, "msi.dll")
        override = [harness.SYSTEM_FILE_OVERRIDES["msi.dll"]]
        string4 = bytes.fromhex(s.probe_system(dll_overrides=override, module=s.product)["string4"])
        self.assertTrue(string4)
        return override, string4


class DiskFull(FaultCase):
    def test_disk_filling_while_a_cabinet_is_written(self):
        s = self.session
        large = s.exe("wyk-test-large.exe")
        SmallDisk(self, s.user_data_folder("locallow"), "1m")
        result = s.run(large, " /s", dialog=True, timeout=60)
        self.assertFatalBox(result, WRITE_FILE, ERROR_DISK_FULL)
        files = self.kit_files()
        # The package, written before, is whole; the first cabinet is cut
        # where the disk ran full (the partial file is not deleted); the
        # others were never begun.
        self.assertEqual(sorted(files), sorted([PACKAGE, CABINETS[0]]))
        self.assertTrue(files[PACKAGE] == s.payload(PACKAGE, large))
        expected = s.payload(CABINETS[0], large)
        partial = files[CABINETS[0]]
        self.assertGreater(len(partial), 0)
        self.assertLess(len(partial), len(expected))
        self.assertTrue(expected.startswith(partial), "the written part differs from the payload")

    def test_disk_too_small_for_the_package(self):
        s = self.session
        large = s.exe("wyk-test-large.exe")
        SmallDisk(self, s.user_data_folder("locallow"), "32k")
        result = s.run(large, "", dialog=True, timeout=60)
        self.assertFatalBox(result, WRITE_FILE, ERROR_DISK_FULL)
        self.assertEqual(result.records, [], "the engine must not run on a cut package")
        self.assertEqual(sorted(self.kit_files()), [PACKAGE])


class BlockedTargets(FaultCase):
    def make_unwritable(self, path):
        """A file that nobody may write, root included, though its attributes
        are normal (a read-only one is made writable and replaced: see
        test_staged_files): the immutable flag, which only root may set."""
        harness.skip_unless_root(self, "only root may make a file immutable (chattr +i)")
        if subprocess.run(["chattr", "+i", path]).returncode != 0:
            self.skipTest("cannot make a file read-only for root here")
        self.addCleanup(subprocess.run, ["chattr", "-i", path])

    def test_cabinet_held_open_without_sharing_gives_32(self):
        s = self.session
        earlier = self.earlier_cache(marked=(CABINETS[2],))
        self.hold(os.path.join(s.cache_folder(), CABINETS[2]))
        result = s.run(s.product, "", dialog=True)
        self.assertFatalBox(result, CREATE_FILE, ERROR_SHARING_VIOLATION)
        files = self.kit_files()
        # Written again before it: the package and the first two cabinets;
        # the held one and those after it keep what the earlier run left.
        for name in KIT_FILES[:3]:
            self.assertTrue(files[name] == s.payload(name), name)
        for name in KIT_FILES[3:]:
            self.assertTrue(files[name] == earlier[name], name)

    def test_unwritable_cabinet_gives_5(self):
        s = self.session
        earlier = self.earlier_cache(marked=(CABINETS[1],))
        self.make_unwritable(os.path.join(s.cache_folder(), CABINETS[1]))
        result = s.run(s.product, "", dialog=True)
        self.assertFatalBox(result, CREATE_FILE, ERROR_ACCESS_DENIED)
        files = self.kit_files()
        self.assertTrue(files[PACKAGE] == s.payload(PACKAGE))
        self.assertTrue(files[CABINETS[0]] == s.payload(CABINETS[0]))
        for name in CABINETS[1:]:
            self.assertTrue(files[name] == earlier[name], name)

    def test_unwritable_package_gives_5_before_the_engine(self):
        s = self.session
        earlier = self.earlier_cache(marked=(PACKAGE,))
        self.make_unwritable(os.path.join(s.cache_folder(), PACKAGE))
        result = s.run(s.product, "", dialog=True)
        self.assertFatalBox(result, CREATE_FILE, ERROR_ACCESS_DENIED)
        self.assertEqual(result.records, [])
        self.assertEqual(self.kit_files(), earlier)


class FatalEndOnTheCabinetThread(FaultCase):
    def test_cabinet_thread_failure_still_sets_the_event(self):
        # The package waits for the event; it must go on (and fail by itself)
        # once the process has ended, not wait out its limit.
        s = self.session
        self.earlier_cache()
        self.hold(os.path.join(s.cache_folder(), CABINETS[2]))
        watcher = harness.EventWatcher(s, 60000)
        try:
            result = s.run(s.product, "", dialog=True)
            ended = time.time()
            watched = watcher.wait()
        finally:
            watcher.stop()
        self.assertFatalBox(result, CREATE_FILE, ERROR_SHARING_VIOLATION)
        self.assertEqual(watched["seen"], "1", "the event was never created")
        self.assertEqual(watched["set"], "1", "the event was never set")
        self.assertLess(time.time() - ended, 15, "the waiting side did not go on at once")


class MissingRows(FaultCase):
    def test_missing_package_row_gives_1_and_touches_nothing(self):
        s = self.session
        earlier = self.earlier_cache(marked=(PACKAGE, CABINETS[1]))
        # A box would keep the process alive, and the run would time out.
        result = s.run(s.exe("wyk-test-no-package.exe"), " /s", timeout=20)
        self.assertEqual(result.exit_code, 1)
        self.assertEqual(result.records, [])
        self.assertEqual(self.kit_files(), earlier)

    def test_missing_cabinet_row_skips_only_that_cabinet(self):
        s = self.session
        exe = s.exe("wyk-test-no-cab9.exe")
        earlier = self.earlier_cache(marked=(CABINETS[1],))
        result = s.run(exe, "", env={"WYK_ENGINE_CODES": "1603"}, timeout=20)
        self.assertEqual(result.exit_code, 1603)
        self.assertEqual(len(result.records), 1)
        files = self.kit_files()
        self.assertTrue(files[CABINETS[1]] == earlier[CABINETS[1]], "ss170000.cab was touched")
        self.assertCabinetsComplete(s.cache_folder(), exe, [n for n in KIT_FILES if n != CABINETS[1]])


class EngineProblems(FaultCase):
    def test_too_old_engine_gives_minus_2_with_its_box_and_writes_nothing(self):
        s = self.session
        earlier = self.earlier_cache(marked=(PACKAGE,))
        override, string4 = self.use_old_engine()
        result = s.run(s.product, " /s", dialog=True, dll_overrides=override)
        self.assertEqual(result.exit_code, -2)
        self.assertEqual(result.dialog, {"CAPTION": b"", "TEXT": string4})
        self.assertEqual(result.records, [])
        self.assertEqual(self.kit_files(), earlier)

    def engine_folder(self, content):
        s = self.session
        folder = s.work_file("engine")
        os.makedirs(folder)
        if content is not None:
            with open(os.path.join(folder, "msiexec.exe"), "wb") as f:
                f.write(content)
        s.registry(*s.engine_location_ops(win_path(folder)))

    def test_engine_that_cannot_be_started_gives_1(self):
        s = self.session
        for case, content in (("no msiexec.exe in the folder", None),
                              ("msiexec.exe is not a program", b"not a program\r\n"),
                              ("msiexec.exe is empty", b"")):
            with self.subTest(case):
                s.clear_cache()
                self.earlier_cache(marked=(CABINETS[4],))
                self.engine_folder(content)
                result = s.run(s.product, " /s", timeout=20)  # no box, or it would time out
                self.assertEqual(result.exit_code, 1)
                # Everything was staged: the run waits for the cabinet thread.
                self.assertCabinetsComplete(s.cache_folder(), names=KIT_FILES)


class NobodyToCloseABox(FaultCase):
    """Started as deployment tools start it as SYSTEM: in a window station that
    is not visible, where a box would wait for ever. Each run ends at once
    (within the runner's limit, or it fails as "timeout") with the code it has
    after its box, and the box's text is in the diagnostic log."""

    def run_unseen(self, dll_overrides=None):
        """The run's outcome and what it logged: TMPDIR is not set (Wine's own
        server would take it), so the log is in the user's temporary folder."""
        s = self.session
        temp = s.temp_folder()
        if os.path.exists(os.path.join(temp, "tvusched.log")):
            os.remove(os.path.join(temp, "tvusched.log"))
        result = s.run(s.product, " /s", timeout=20, dll_overrides=dll_overrides, invisible=True)
        return result, harness.log_messages(temp)

    def test_fatal_staging_failure_is_logged_with_its_code(self):
        s = self.session
        os.makedirs(os.path.join(s.cache_folder(), PACKAGE))  # the package's name taken
        result, logged = self.run_unseen()
        self.assertEqual(result.exit_code, ERROR_ACCESS_DENIED)
        self.assertEqual(logged, [self.fatal_text(CREATE_FILE, ERROR_ACCESS_DENIED)])
        self.assertEqual(result.records, [])

    def test_too_old_engine_is_logged_with_minus_2(self):
        override, string4 = self.use_old_engine()
        result, logged = self.run_unseen(override)
        self.assertEqual(result.exit_code, -2)
        self.assertEqual(logged, [string4])
        self.assertEqual(self.kit_files(), {})


if __name__ == "__main__":
    unittest.main()
