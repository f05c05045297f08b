"""Where the staged files go: the per-user cache tree on each kind of system,
the engine taken from the system folder on Server 2003, a second run over an
existing tree, the 64-bit build's folder, and user data folders that cannot
be found or are too deep."""
import os
import shutil
import unittest

import harness
from harness import CABINETS, LOCAL_LOW_VALUE, PACKAGE, SYSTEM_LOCAL_LOW, WineTestCase
from harness import setUpModule, tearDownModule  # noqa: F401 (one session per module)

DEFAULT_FEATURES = "ADDLOCAL=PublicqorFeature,ToolsFeature"

# What Wine reports to a 64-bit program for each setting (checked, not assumed).
VERSIONS = {"winxp": ("5", "1"), "win2003": ("5", "2"), "vista": ("6", "0"),
            "win7": ("6", "1"), "win10": ("6", "2")}


class CacheTreeTestCase(WineTestCase):
    checked_versions = set()

    def use_version(self, name, exe="wyk-7-windows-i586.exe"):
        s = self.session
        if name not in self.checked_versions:
            probe = s.probe_system(version=name)
            self.assertEqual((probe["major"], probe["minor"]), VERSIONS[name],
                             "Wine's version setting %s" % name)
            self.checked_versions.add(name)
        s.registry(*s.version_ops(exe, name))

    def expected_tree(self, kind, suffix="", names=(PACKAGE,) + tuple(CABINETS), exe=None):
        folder = kind + "/Halvec/Tavro/wyk1.7.0" + suffix
        tree = {kind + "/Halvec": None, kind + "/Halvec/Tavro": None, folder: None}
        for name in names:
            tree[folder + "/" + name] = self.session.payload(name, exe)
        return tree

    def assertTree(self, expected):
        actual = self.session.cache_tree()
        self.assertEqual(sorted(actual), sorted(expected))
        for path, data in expected.items():
            self.assertTrue(actual[path] == data, "%s differs from its payload" % path)


class TreeByWindowsVersion(CacheTreeTestCase):
    def test_version_6_systems_use_local_app_data_low(self):
        s = self.session
        for version in ("vista", "win7", "win10"):
            with self.subTest(version=version):
                s.clear_cache()
                self.use_version(version)
                result = s.run(s.product, " /s")
                self.assertEqual(result.exit_code, 0)
                self.assertEqual(result.records,
                                 [self.expected_line(" /qn " + DEFAULT_FEATURES)])
                self.assertTree(self.expected_tree("locallow"))

    def test_xp_uses_the_roaming_folder(self):
        s = self.session
        self.use_version("winxp")
        result = s.run(s.product, "")
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(result.records,
                         [self.expected_line("", package=self.package_path("roaming"))])
        self.assertTree(self.expected_tree("roaming"))

    def test_server_2003_uses_roaming_and_the_engine_of_the_system_folder(self):
        s = self.session
        self.use_version("win2003")
        s.replace_system_file("msiexec.exe", os.path.join(s.fake_engine_dir, "msiexec.exe"))
        self.addCleanup(s.restore_system_file, "msiexec.exe")
        # The registry is not read on 5.2: the value may as well be missing.
        s.registry(*s.engine_location_ops(None))
        system = s.probe_system(version="win2003")["system_directory"]
        result = s.run(s.product, " A=1", env={"WYK_ENGINE_CODES": "3010"},
                       dll_overrides=[harness.SYSTEM_FILE_OVERRIDES["msiexec.exe"]])
        self.assertEqual(result.exit_code, 3010)
        self.assertEqual(result.records, [self.expected_line(
            "A=1 ", engine=system + "\\msiexec.exe", package=self.package_path("roaming"))])
        self.assertTree(self.expected_tree("roaming"))

    def test_other_versions_need_installer_location_despite_a_system_engine(self):
        s = self.session
        s.replace_system_file("msiexec.exe", os.path.join(s.fake_engine_dir, "msiexec.exe"))
        self.addCleanup(s.restore_system_file, "msiexec.exe")
        s.registry(*s.engine_location_ops(None))
        for version in ("winxp", "win7"):
            with self.subTest(version=version):
                self.use_version(version)
                result = s.run(s.product, "",
                               dll_overrides=[harness.SYSTEM_FILE_OVERRIDES["msiexec.exe"]])
                self.assertEqual(result.exit_code, -3)
                self.assertEqual(result.records, [])


class RepeatedRuns(CacheTreeTestCase):
    def test_second_run_replaces_the_files_in_place(self):
        s = self.session
        first = s.run(s.product, " /s")
        self.assertEqual(first.exit_code, 0)
        folder = s.cache_folder()
        names = (PACKAGE,) + tuple(CABINETS)
        inodes = {}
        for name in names:
            path = os.path.join(folder, name)
            # Longer than any payload file: a file appended to or not truncated shows.
            with open(path, "wb") as f:
                f.write(b"\xa5" * 30000)
            inodes[name] = os.stat(path).st_ino
        folder_inodes = [os.stat(folder).st_ino, os.stat(os.path.dirname(folder)).st_ino]

        second = s.run(s.product, " /s")
        self.assertEqual(second.exit_code, 0)
        self.assertEqual(second.records, first.records)
        self.assertTree(self.expected_tree("locallow"))
        for name in names:
            self.assertEqual(os.stat(os.path.join(folder, name)).st_ino, inodes[name],
                             "%s was not rewritten in place" % name)
        self.assertEqual([os.stat(folder).st_ino, os.stat(os.path.dirname(folder)).st_ino],
                         folder_inodes)


class SixtyFourBitBuild(CacheTreeTestCase):
    def test_files_go_to_the_x64_folder_under_their_usual_names(self):
        s = self.session
        result = s.run(s.amd64_exe, "")
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(result.records, [self.expected_line(
            "", package=self.package_path(suffix="_x64"))])
        self.assertTree(self.expected_tree("locallow", suffix="_x64", exe=s.amd64_exe))

    def test_a_data_folder_below_the_system_folder_is_named_as_it_is(self):
        # Nothing redirects 64-bit code: the path stays, and names where the files are.
        s = self.session
        self.use_system_local_low()
        result = s.run(s.amd64_exe, "")
        self.assertEqual(result.exit_code, 0)
        folder = SYSTEM_LOCAL_LOW + "\\Halvec\\Tavro\\wyk1.7.0_x64"
        self.assertEqual(result.records, [self.expected_line("", package=folder + "\\" + PACKAGE)])
        self.assertCabinetsComplete(s.c_drive("windows", "system32", *folder.split("\\")[3:]),
                                    exe=s.amd64_exe, names=(PACKAGE,) + tuple(CABINETS))


class UserDataFolderProblems(CacheTreeTestCase):
    def test_user_data_folder_that_cannot_be_found_gives_3(self):
        s = self.session
        for version, value in (("win7", LOCAL_LOW_VALUE), ("winxp", "AppData")):
            with self.subTest(version=version):
                self.use_version(version)
                self.redirect_folder(value, "C:\\wyk-missing\\data")
                result = s.run(s.product, " /s")
                self.assertEqual(result.exit_code, 3)
                self.assertEqual(result.records, [])
                self.assertFalse(os.path.exists(s.c_drive("wyk-missing")),
                                 "nothing may be written")
                self.assertEqual(s.cache_tree(), {})

    def deep_folder(self, length):
        """An existing folder below C:\\ whose Windows path has this length."""
        windows = "C:"
        parts = []
        while len(windows) < length:
            room = length - len(windows) - 1  # after the next backslash
            piece = room if room <= 60 else min(60, room - 2)
            parts.append("d" * piece)
            windows += "\\" + parts[-1]
        unix = self.session.c_drive(*parts)
        os.makedirs(unix)
        self.addCleanup(shutil.rmtree, self.session.c_drive(parts[0]))
        return windows, unix

    def test_package_path_of_259_characters_is_used(self):
        s = self.session
        # "\Halvec\Tavro\wyk1.7.0\wyk1.7.0.msi" adds 35 characters.
        windows, unix = self.deep_folder(259 - 35)
        self.redirect_folder(LOCAL_LOW_VALUE, windows)
        result = s.run(s.product, "")
        package = windows + "\\Halvec\\Tavro\\wyk1.7.0\\" + PACKAGE
        self.assertEqual(len(package), 259)
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(result.records, [self.expected_line("", package=package)])
        self.assertCabinetsComplete(os.path.join(unix, "Halvec", "Tavro", "wyk1.7.0"))

    def test_package_path_of_260_characters_gives_206(self):
        s = self.session
        windows, unix = self.deep_folder(260 - 35)
        self.redirect_folder(LOCAL_LOW_VALUE, windows)
        result = s.run(s.product, "")
        self.assertEqual(result.exit_code, 206)
        self.assertEqual(result.records, [])
        written = [n for _, _, files in os.walk(unix) for n in files]
        self.assertEqual(written, [])


if __name__ == "__main__":
    unittest.main()
