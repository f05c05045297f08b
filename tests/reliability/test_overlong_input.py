"""Overlong and malformed input: arguments and public runtime folders of 1023,
1024 and 100000 characters, log folders at the path limit, a user data
folder too deep for the cache paths, and registry values of every type and
size. Each ends with its documented outcome; no text is ever cut."""
import os
import shutil
import unittest

from reliability import ReliabilityCase, Runs
import harness  # found through the path that reliability sets
from harness import INSTALLER_KEY, LOCAL_LOW_VALUE, PACKAGE, VENDOR_KEY, reg_set, win_path
from harness import setUpModule, tearDownModule  # noqa: F401 (one session per module)

INVALID_COMMAND_LINE = 1639
PACKAGE_BELOW_USER_FOLDER = "\\Halvec\\Tavro\\wyk1.7.0\\" + PACKAGE
# The platform's limit for a command line: 32767 characters with the
# terminating zero. Wine refuses a longer one with ERROR_INVALID_PARAMETER.
PLATFORM_LINE_LIMIT = 32767
ERROR_INVALID_PARAMETER = 87

REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD = 0, 1, 2, 3, 4
REG_DWORD_BIG_ENDIAN, REG_LINK, REG_MULTI_SZ, REG_RESOURCE_LIST, REG_QWORD = 5, 6, 7, 8, 11


def c_folder_of_length(session, length, top):
    """A folder below C:\\<top> whose Windows path has exactly the given
    length; gives (Windows path, Unix path). Made on disk."""
    windows, parts = "C:\\" + top, [top]
    while len(windows) < length:
        room = length - len(windows) - 1
        parts.append("d" * (room if room <= 60 else min(60, room - 2)))
        windows += "\\" + parts[-1]
    assert len(windows) == length
    unix = session.c_drive(*parts)
    os.makedirs(unix, exist_ok=True)
    return windows, unix


class LongCommandLines(ReliabilityCase):
    def assertNothingStaged(self, result):
        self.assertEqual(result.records, [])
        self.assertEqual(self.session.cache_tree(), {})

    def test_arguments_of_1023_1024_and_32000_characters_are_refused_before_writing(self):
        s = self.session
        for length in (1023, 1024, 32000):
            with self.subTest(length=length):
                s.clear_cache()
                # Each passed-on argument is followed by a blank, so even 1023
                # characters leave no room for the terminating zero.
                result = s.run(s.product, " P=" + "x" * (length - 2))
                self.assertEqual(result.exit_code, INVALID_COMMAND_LINE)
                self.assertNothingStaged(result)

    def test_argument_of_1022_characters_fits_but_the_engine_line_does_not(self):
        s = self.session
        result = s.run(s.product, " P=" + "x" * 1020)
        self.assertEqual(result.exit_code, INVALID_COMMAND_LINE)
        self.assertEqual(result.records, [])
        self.assertEqual(sorted(self.kit_files()), [PACKAGE])

    def test_public_runtime_folder_of_1023_fits_1024_and_32000_are_refused(self):
        s = self.session
        option = " /INSTALLDIRPUBQOR="
        result = s.run(s.product, option + "D:\\" + "p" * 1020, env={"WYK_ENGINE_CODES": "1603"})
        self.assertEqual(result.exit_code, 1603)
        self.assertEqual(result.records, [self.expected_line("")])
        for length in (1024, 32000):
            with self.subTest(length=length):
                s.clear_cache()
                result = s.run(s.product, option + "D:\\" + "p" * (length - 3))
                self.assertEqual(result.exit_code, INVALID_COMMAND_LINE)
                self.assertNothingStaged(result)

    def test_public_runtime_folder_is_limited_by_the_runtime_line(self):
        # With /s the folder goes on the runtime's own line, which must fit in
        # 1023 characters too. One character past the longest folder that fits,
        # the runtime is not installed; its package and transforms go all the
        # same, and the exit code is the kit's.
        s = self.session
        kit, kit_key = s.c_drive("pub-kit"), harness.hklm(harness.product.KIT)
        s.registry(("set", kit_key, "TavroHome", str(REG_SZ), harness.hex_text("C:\\pub-kit")))
        self.addCleanup(s.registry, ("delk", kit_key))
        self.addCleanup(shutil.rmtree, kit, True)
        runtime = ('"%s" /i "C:\\pub-kit\\qor.msi" /qn ADDLOCAL=ALL SDKSILENT=1 INSTALLDIR='
                   % self.engine_path())
        longest = "D:\\" + "p" * (1023 - len(runtime) - 3)
        main = self.expected_line(" /qn ADDLOCAL=PublicqorFeature,ToolsFeature")
        for folder, runs in ((longest, [main, (runtime + longest).encode()]),
                             (longest + "p", [main])):
            with self.subTest(length=len(folder)):
                os.makedirs(kit, exist_ok=True)
                for name in ("qor.msi", "qor1041.MST", "qor2052.MST"):
                    open(os.path.join(kit, name), "wb").close()
                result = s.run(s.product, " /s /INSTALLDIRPUBQOR=" + folder,
                               env={"WYK_ENGINE_CODES": "1603"})
                self.assertEqual(result.exit_code, 1603)
                self.assertEqual(result.records, runs)
                self.assertEqual(os.listdir(kit), [])

    def start_outcome(self, tail):
        s = self.session
        runs = Runs(self.session, [harness.command_line(s.product, tail)], timeout=30)
        return runs.wait()[0]

    def test_command_lines_past_the_platform_limit_never_start(self):
        """The platform takes a command line of at most 32766 characters (and
        its zero); a longer one (an argument or a public runtime folder of
        100000 characters) fails to start the program at all, so nothing is
        staged. The longest one reaches the program, which refuses it."""
        s = self.session
        fixed = len(harness.command_line(s.product, " P="))
        longest = " P=" + "z" * (PLATFORM_LINE_LIMIT - 1 - fixed)
        self.assertEqual(self.start_outcome(longest), INVALID_COMMAND_LINE)
        for case, tail in (("one character more", longest + "z"),
                           ("argument of 100000", " P=" + "x" * 99998),
                           ("public runtime folder of 100000",
                            " /INSTALLDIRPUBQOR=D:\\" + "p" * 99997)):
            with self.subTest(case):
                outcome = self.start_outcome(tail)
                self.assertEqual(outcome, "nostart %d" % ERROR_INVALID_PARAMETER, "start of a %d-character command line"
                                 % len(harness.command_line(s.product, tail)))
                self.assertEqual(s.cache_tree(), {})


class LogFolderLimits(ReliabilityCase):
    """The diagnostic log goes to TMPDIR or the temporary folder. A folder
    that leaves no room for "\\tvusched.log" within 259 characters drops the
    entry instead of writing to a cut path, and there is no fallback from
    TMPDIR to the temporary folder. The entry comes from the product's own
    library loader, run through the probe program that links its objects:
    a system library that does not exist is logged."""

    LOG = "tvusched.log"
    ABSENT = "wyk_absent.dll"

    def log_through_probe(self, variables):
        s = self.session
        probe = s.exe("platform_probe.exe")
        args = []
        for name, value in variables.items():
            args += ["setenv", name, "hex:" + value.encode().hex(), "+"]
        done = s.wine(probe, *(args + ["load-system-library", self.ABSENT]))
        self.assertIn(b"loaded=0", done.stdout)

    def logs_below(self, unix_folder):
        found = []
        for root, _, files in os.walk(unix_folder):
            found += [os.path.join(root, n) for n in files if n.startswith("tvusched")]
        return found

    def assertEntry(self, unix_folder):
        with open(os.path.join(unix_folder, self.LOG), "rb") as f:
            data = f.read()
        self.assertTrue(data.startswith(b"\n"))
        self.assertRegex(data, rb":: LoadLibrary\([A-Za-z]:\\windows\\system32\\wyk_absent\.dll\) "
                               rb"failed\.  ErrorCode: 126$")

    def check_lengths(self, top_name, cases, variables_for):
        s = self.session
        top = s.c_drive(top_name)
        self.addCleanup(shutil.rmtree, top, True)
        for length, written in cases:
            with self.subTest(length=length):
                shutil.rmtree(top, ignore_errors=True)
                windows, unix = c_folder_of_length(s, length, top_name)
                self.log_through_probe(variables_for(windows))
                if written:
                    self.assertEntry(unix)
                    self.assertEqual(self.logs_below(top), [os.path.join(unix, self.LOG)])
                else:
                    self.assertEqual(self.logs_below(top), [], "an entry went to a cut path")

    def test_tmpdir_folders_up_to_the_limit(self):
        s = self.session
        # The folder, a backslash and the file name: 246 + 1 + 12 = 259.
        self.check_lengths("tmpdir", ((246, True), (247, False), (259, False), (260, False)),
                           lambda folder: {"TMPDIR": folder})
        # No fallback from TMPDIR to the temporary folder.
        temp = os.path.join(s.c_drive("users"), s.user, "AppData", "Local", "Temp")
        self.assertEqual(self.logs_below(temp), [])

    def test_temporary_folders_up_to_the_limit(self):
        # TMPDIR unset: the platform's temporary folder, to which it adds the
        # backslash itself.
        self.check_lengths("tempdir", ((246, True), (247, False), (258, False), (259, False),
                                       (260, False)),
                           lambda folder: {"TMPDIR": "", "TMP": folder, "TEMP": folder})


class DeepUserDataFolder(ReliabilityCase):
    def test_cache_paths_past_259_characters_give_206_and_run_nothing(self):
        s = self.session
        top = s.c_drive("deep")
        self.addCleanup(shutil.rmtree, top, True)
        longest = 259 - len(PACKAGE_BELOW_USER_FOLDER)
        for length, expected in ((longest, 0), (longest + 1, 206), (250, 206), (259, 206)):
            with self.subTest(length=length):
                shutil.rmtree(top, ignore_errors=True)
                windows, unix = c_folder_of_length(s, length, "deep")
                self.redirect_folder(LOCAL_LOW_VALUE, windows)
                result = s.run(s.product, " /s")
                self.assertEqual(result.exit_code, expected)
                written = [os.path.join(r, n) for r, _, files in os.walk(unix) for n in files]
                if expected == 0:
                    self.assertEqual(len(result.records), 1)
                    self.assertIn(b'/i "' + windows.encode() + PACKAGE_BELOW_USER_FOLDER.encode()
                                  + b'"', result.records[0])
                    self.assertEqual(len(written), 6)
                else:
                    self.assertEqual(result.records, [])
                    self.assertEqual(written, [], "nothing may be written for a path too long")
                    # Folder levels that fit may have been made on the way;
                    # never one under a cut name.
                    made = [os.path.relpath(r, unix) for r, _, _ in os.walk(unix)][1:]
                    self.assertIn(made, [[], ["Halvec"], ["Halvec", "Halvec/Tavro"],
                                         ["Halvec", "Halvec/Tavro", "Halvec/Tavro/wyk1.7.0"]])


class InstallStatusValues(ReliabilityCase):
    """The re-run request through a full run: only a string value whose
    stored bytes end in the terminating zero, whose text is exactly
    "reinstall" and which fits the 512-byte buffer asks for a second run."""

    def run_with_status(self, kind, data):
        s = self.session
        s.registry(reg_set(VENDOR_KEY, "InstallStatus", kind, data))
        self.assertEqual(s.get_value(VENDOR_KEY, "InstallStatus"), (kind, data),
                         "the value could not be stored as given")
        return s.run(s.product, "", env={"WYK_ENGINE_CODES": "1603,3010"})

    def test_values_that_ask_for_a_re_run(self):
        s = self.session
        padded = b"reinstall" + b"\0" * (512 - 9)
        for case, kind, data in (
                ("REG_SZ", REG_SZ, b"reinstall\0"),
                ("REG_EXPAND_SZ", REG_EXPAND_SZ, b"reinstall\0"),
                # A well-formed list of strings is text too: its first string counts.
                ("REG_MULTI_SZ", REG_MULTI_SZ, b"reinstall\0\0"),
                ("text ends at its first zero", REG_SZ, b"reinstall\0tail\0"),
                ("fills the 512 bytes exactly", REG_SZ, padded)):
            with self.subTest(case):
                result = self.run_with_status(kind, data)
                self.assertEqual(result.exit_code, 3010)
                self.assertEqual(len(result.records), 2)
                self.assertEqual(result.records[0], result.records[1])
                # Cleared, and the vendor key went with its last value.
                self.assertFalse(s.key_exists(VENDOR_KEY))

    def test_values_that_ask_for_nothing_are_left_alone(self):
        s = self.session
        text = b"reinstall\0"
        cases = [("%s holding the text" % name, kind, text) for name, kind in (
            ("REG_NONE", REG_NONE), ("REG_BINARY", REG_BINARY), ("REG_DWORD_BIG_ENDIAN",
                                                                 REG_DWORD_BIG_ENDIAN),
            ("REG_LINK", REG_LINK), ("REG_RESOURCE_LIST", REG_RESOURCE_LIST),
            ("REG_QWORD", REG_QWORD))]
        cases += [
            ("REG_DWORD", REG_DWORD, b"\x01\x00\x00\x00"),
            ("size 0", REG_SZ, b""),
            ("empty text", REG_SZ, b"\0"),
            ("without terminating zero", REG_SZ, b"reinstall"),
            ("REG_EXPAND_SZ without terminating zero", REG_EXPAND_SZ, b"reinstall"),
            ("REG_MULTI_SZ with a single zero", REG_MULTI_SZ, b"reinstall\0"),
            ("other case", REG_SZ, b"Reinstall\0"),
            ("longer text", REG_SZ, b"reinstall \0"),
            ("one byte past the buffer", REG_SZ, b"reinstall" + b"\0" * (513 - 9)),
            # (a longer value would not fit the probe's command line)
            ("15000 bytes", REG_SZ, b"reinstall" + b"r" * 14990 + b"\0"),
            ("511 characters and the zero", REG_SZ, b"r" * 511 + b"\0"),
        ]
        for case, kind, data in cases:
            with self.subTest(case):
                result = self.run_with_status(kind, data)
                self.assertEqual(result.exit_code, 1603)
                self.assertEqual(len(result.records), 1)
                self.assertEqual(s.get_value(VENDOR_KEY, "InstallStatus"), (kind, data))


class InstallerLocationValues(ReliabilityCase):
    def engine_folder_of_length(self, length):
        s = self.session
        windows, unix = c_folder_of_length(s, length, "engine")
        self.addCleanup(shutil.rmtree, s.c_drive("engine"), True)
        shutil.copyfile(os.path.join(s.fake_engine_dir, "msiexec.exe"),
                        os.path.join(unix, "msiexec.exe"))
        return windows

    def run_with_location(self, kind, data):
        s = self.session
        s.registry(reg_set(INSTALLER_KEY, "InstallerLocation", kind, data))
        self.assertEqual(s.get_value(INSTALLER_KEY, "InstallerLocation"), (kind, data),
                         "the value could not be stored as given")
        return s.run(s.product, "", env={"WYK_ENGINE_CODES": "3010"})

    def test_folders_that_find_the_engine(self):
        s = self.session
        short = win_path(s.fake_engine_dir).encode()
        longest = self.engine_folder_of_length(259 - len("\\msiexec.exe")).encode()
        for case, kind, data, folder in (
                ("REG_SZ", REG_SZ, short + b"\0", short),
                ("without terminating zero", REG_SZ, short, short),
                ("REG_EXPAND_SZ, used unexpanded", REG_EXPAND_SZ, short + b"\0", short),
                ("REG_BINARY: the type is not judged", REG_BINARY, short, short),
                ("longest folder", REG_SZ, longest + b"\0", longest),
                ("longest folder without terminating zero", REG_SZ, longest, longest)):
            with self.subTest(case):
                result = self.run_with_location(kind, data)
                self.assertEqual(result.exit_code, 3010)
                self.assertEqual(result.records, [self.expected_line(
                    "", engine=folder.decode() + "\\msiexec.exe")])

    def test_folders_too_long_for_the_engine_path_give_minus_3(self):
        s = self.session
        folder = self.engine_folder_of_length(260 - len("\\msiexec.exe")).encode()
        for case, kind, data in (
                ("one character too long", REG_SZ, folder + b"\0"),
                ("one character too long, without zero", REG_SZ, folder),
                ("259 characters and the zero", REG_SZ, b"C:\\" + b"e" * 256 + b"\0"),
                ("259 characters without zero", REG_SZ, b"C:\\" + b"e" * 256),
                ("15000 bytes", REG_SZ, b"C:\\" + b"e" * 14996 + b"\0")):
            with self.subTest(case):
                s.clear_cache()
                result = self.run_with_location(kind, data)
                self.assertEqual(result.exit_code, -3)
                self.assertEqual(result.records, [])
                # The package written before the lookup stays; no cabinet was begun.
                self.assertEqual(sorted(self.kit_files()), [PACKAGE])

    def test_values_that_are_no_absolute_folder_give_minus_3(self):
        # Used as they are, they would name "\msiexec.exe" on the current drive
        # or a path below a current folder. An engine waits in C:\engine, C:'s
        # current folder being C:\ for a program started on another drive.
        self.engine_folder_of_length(len("C:\\engine"))
        for case, kind, data in (("size 0", REG_SZ, b""), ("empty text", REG_SZ, b"\0"),
                                 ("REG_DWORD", REG_DWORD, b"\x41\x41\x41\x41"),
                                 ("rooted", REG_SZ, b"\\engine\0"),
                                 ("drive-relative", REG_SZ, b"C:engine\0")):
            with self.subTest(case):
                result = self.run_with_location(kind, data)
                self.assertEqual(result.exit_code, -3)
                self.assertEqual(result.records, [])


if __name__ == "__main__":
    unittest.main()
