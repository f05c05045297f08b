"""The process exit code in every way a run can end: the engine's own code,
1 for a missing main package or an engine that cannot be started, -3 for an
engine that cannot be found, -2 with its message box for an engine library
that is too old, and 1639 for command lines that do not fit."""
import os
import shutil
import unittest

import harness
from harness import INSTALLER_KEY, VENDOR_KEY, WineTestCase, win_path
from harness import setUpModule, tearDownModule  # noqa: F401 (one session per module)


class EngineExitCodes(WineTestCase):
    def test_engine_codes_are_returned_unchanged(self):
        s = self.session
        # 3221225477 is 0xC0000005: the top bit set comes back as a negative code.
        for code, expected in ((0, 0), (1603, 1603), (3010, 3010), (1602, 1602), (2, 2),
                               (3221225477, -1073741819)):
            with self.subTest(code=code):
                result = s.run(s.product, " /s", env={"WYK_ENGINE_CODES": str(code)})
                self.assertEqual(result.exit_code, expected)
                self.assertEqual(len(result.records), 1)

    def test_folder_with_trailing_backslash_is_used_unchanged(self):
        s = self.session
        folder = win_path(s.fake_engine_dir) + "\\"
        s.registry(*s.engine_location_ops(folder))
        result = s.run(s.product, "", env={"WYK_ENGINE_CODES": "1603"})
        self.assertEqual(result.exit_code, 1603)
        self.assertEqual(result.records,
                         [self.expected_line("", engine=folder + "\\msiexec.exe")])


class EarlyEnds(WineTestCase):
    def test_missing_main_package_row_gives_1_and_runs_nothing(self):
        s = self.session
        result = s.run(s.exe("wyk-test-no-package.exe"), " /s")
        self.assertEqual(result.exit_code, 1)
        self.assertEqual(result.records, [])
        files = [p for p, data in s.cache_tree().items() if data is not None]
        self.assertEqual(files, [], "no package and no cabinet may be written")

    def test_engine_that_cannot_be_started_gives_1(self):
        s = self.session
        # The folder exists but holds no msiexec.exe. A pending re-run request
        # is still read, cleared and honoured (and fails to start again).
        s.registry(*s.engine_location_ops(win_path(s.work)),
                   ("set", VENDOR_KEY, "InstallStatus", str(harness.REG_SZ),
                    harness.hex_text("reinstall")))
        result = s.run(s.product, "")
        self.assertEqual(result.exit_code, 1)
        self.assertEqual(result.records, [])
        self.assertIsNone(s.get_value(VENDOR_KEY, "InstallStatus"))
        self.assertCabinetsComplete(s.cache_folder())

    def engine_folder_of_length(self, length):
        """A folder below C:\\ with a copy of the recording engine, whose
        Windows path has the given length."""
        s = self.session
        windows, parts = "C:", []
        while len(windows) < length:
            room = length - len(windows) - 1
            parts.append("e" * (room if room <= 60 else min(60, room - 2)))
            windows += "\\" + parts[-1]
        os.makedirs(s.c_drive(*parts))
        self.addCleanup(shutil.rmtree, s.c_drive(parts[0]))
        shutil.copyfile(os.path.join(s.fake_engine_dir, "msiexec.exe"),
                        s.c_drive(*(parts + ["msiexec.exe"])))
        return windows

    def test_engine_path_of_259_characters_is_used(self):
        s = self.session
        folder = self.engine_folder_of_length(259 - len("\\msiexec.exe"))
        s.registry(*s.engine_location_ops(folder))
        result = s.run(s.product, "", env={"WYK_ENGINE_CODES": "3010"})
        self.assertEqual(result.exit_code, 3010)
        self.assertEqual(result.records,
                         [self.expected_line("", engine=folder + "\\msiexec.exe")])

    def test_engine_path_of_260_characters_is_not_found(self):
        s = self.session
        folder = self.engine_folder_of_length(260 - len("\\msiexec.exe"))
        s.registry(*s.engine_location_ops(folder))
        result = s.run(s.product, "")
        self.assertEqual(result.exit_code, -3)
        self.assertEqual(result.records, [])

    def test_missing_installer_location_gives_minus_3(self):
        s = self.session
        for case, ops in (("value removed", s.engine_location_ops(None)),
                          ("key removed", [("delk", INSTALLER_KEY)])):
            with self.subTest(case):
                s.clear_cache()
                s.registry(*ops)
                result = s.run(s.product, " /s")
                self.assertEqual(result.exit_code, -3)
                self.assertEqual(result.records, [])
                tree = s.cache_tree()
                files = sorted(p.rsplit("/", 1)[1] for p, d in tree.items() if d is not None)
                # The package written before the lookup stays; no cabinet thread ran.
                self.assertEqual(files, [harness.PACKAGE])
                self.assertEqual(tree["locallow/Halvec/Tavro/wyk1.7.0/" + harness.PACKAGE],
                                 s.payload(harness.PACKAGE))


class EngineVersionGate(WineTestCase):
    def use_engine_library(self, source):
        s = self.session
        s.replace_system_file("msi.dll", source)
        self.addCleanup(s.restore_system_file, "msi.dll")

    def library(self, version):
        return os.path.join(self.session.win_dir, "engine-libraries", "msi-%s.dll" % version)

    def run_refused(self):
        s = self.session
        result = s.run(s.product, " /s", dialog=True,
                       dll_overrides=[harness.SYSTEM_FILE_OVERRIDES["msi.dll"]])
        self.assertEqual(result.exit_code, -2)
        self.assertEqual(result.records, [])
        self.assertEqual(s.cache_tree(), {}, "nothing may be written before the gate")
        self.assertIsNotNone(result.dialog, "no message box was shown")
        return result

    def test_too_old_engine_is_refused_with_string_4_and_minus_2(self):
        s = self.session
        self.use_engine_library(self.library("2.0.2599.65535"))
        probe = s.probe_system(dll_overrides=[harness.SYSTEM_FILE_OVERRIDES["msi.dll"]],
                               module=s.product)
        self.assertEqual(probe["msi_version"], "2.0.2599.65535",
                         "the version must be read from the file in the system folder")
        string4 = bytes.fromhex(probe["string4"])
        self.assertTrue(string4, "the module has no string 4")
        result = self.run_refused()
        self.assertEqual(result.dialog["CAPTION"], b"")
        self.assertEqual(result.dialog["TEXT"], string4)

    def test_library_without_version_resource_is_refused(self):
        self.use_engine_library(os.path.join(self.session.tools, "plain_loader.exe"))
        self.run_refused()

    def test_missing_library_is_refused(self):
        self.use_engine_library(None)
        self.run_refused()

    def test_least_accepted_version_runs_the_engine(self):
        s = self.session
        self.use_engine_library(self.library("2.0.2600.0"))
        probe = s.probe_system(dll_overrides=[harness.SYSTEM_FILE_OVERRIDES["msi.dll"]])
        self.assertEqual(probe["msi_version"], "2.0.2600.0")
        result = s.run(s.product, "", env={"WYK_ENGINE_CODES": "3010"},
                       dll_overrides=[harness.SYSTEM_FILE_OVERRIDES["msi.dll"]])
        self.assertEqual(result.exit_code, 3010)
        self.assertEqual(result.records, [self.expected_line("")])


class OverlongCommandLines(WineTestCase):
    """Texts of 1023 characters fit their buffers; 1024 do not, and the run
    ends with 1639. When the options are at fault nothing is written."""

    def assertRefusedBeforeWriting(self, tail):
        s = self.session
        result = s.run(s.product, tail)
        self.assertEqual(result.exit_code, 1639)
        self.assertEqual(result.records, [])
        self.assertEqual(s.cache_tree(), {})

    def test_passed_on_text_of_1024_characters_is_refused(self):
        # Each passed-on argument is followed by one blank: 1023 + 1 = 1024.
        self.assertRefusedBeforeWriting(" P=" + "x" * 1021)

    def test_passed_on_text_of_1023_characters_fits_the_options(self):
        s = self.session
        result = s.run(s.product, " P=" + "x" * 1020)
        # The options fit, so the package is written; the line composed from
        # them cannot fit, so the engine is not run.
        self.assertEqual(result.exit_code, 1639)
        self.assertEqual(result.records, [])
        self.assertEqual(s.cache_tree()["locallow/Halvec/Tavro/wyk1.7.0/" + harness.PACKAGE],
                         s.payload(harness.PACKAGE))

    def test_silent_defaults_that_do_not_fit_are_refused(self):
        # 1000 characters of arguments leave no room for " /qn" and the features.
        self.assertRefusedBeforeWriting(" P=" + "x" * 997 + " /s")

    def test_public_runtime_folder_of_1024_characters_is_refused(self):
        self.assertRefusedBeforeWriting(" /INSTALLDIRPUBQOR=D:\\" + "p" * 1021)

    def test_public_runtime_folder_of_1023_characters_fits(self):
        s = self.session
        result = s.run(s.product, " /INSTALLDIRPUBQOR=D:\\" + "p" * 1020,
                       env={"WYK_ENGINE_CODES": "1603"})
        self.assertEqual(result.exit_code, 1603)
        self.assertEqual(result.records, [self.expected_line("")])

    def composed_tail(self, length):
        """A tail whose composed engine command line is exactly length long."""
        fixed = len(self.expected_line("P= "))
        return " P=" + "y" * (length - fixed)

    def test_composed_line_of_1023_characters_is_run(self):
        s = self.session
        tail = self.composed_tail(1023)
        result = s.run(s.product, tail)
        self.assertEqual(result.exit_code, 0)
        self.assertEqual([len(r) for r in result.records], [1023])
        self.assertEqual(result.records, [self.expected_line(tail[1:] + " ")])

    def test_composed_line_of_1024_characters_is_refused(self):
        s = self.session
        result = s.run(s.product, self.composed_tail(1024))
        self.assertEqual(result.exit_code, 1639)
        self.assertEqual(result.records, [])


if __name__ == "__main__":
    unittest.main()
