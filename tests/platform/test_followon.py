"""The follow-on installs with a recording installer engine: the public
runtime from the kit's home folder, and the update service with its removal
of an older version and its registration tool."""
import os
import shutil
import unittest

import wine_env
from wine_env import hexarg, read_records, reg_set, unhex, win_path
from wine_env import setUpModule, tearDownModule  # noqa: F401 (one Wine environment per module)
import product  # noqa: E402
from product import OLD_SERVICE_REMOVAL as REMOVAL  # noqa: E402

REG_SZ, REG_DWORD = 1, 4
KIT, AUTO_UPDATE, INSTALLER = map(product.hklm, (product.KIT, product.AUTO_UPDATE, product.INSTALLER))
RUNTIME_FILES = ("qor.msi", "qor1041.MST", "qor2052.MST")
TOOL_TAIL = "\\Tavro\\Tavro Update\\tvaureg.exe"


def set_wide_text(key, name, text):
    """A REG_SZ value that may hold any letter: reg.exe stores it as given."""
    wine_env.env().wine("reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", text, "/f")


def exact_text(folder):
    """The program's 8-bit text of an existing folder: exact, or its short form."""
    return unhex(wine_env.env().probe_one("folder-text", hexarg(folder.encode()))["path"])


class RecordingTestCase(unittest.TestCase):

    def setUp(self):
        env = wine_env.env()
        self.engine_dir, self.engine_dir_win = env.c_dir("fo-engine")
        env.plant_recorder(os.path.join(self.engine_dir, "msiexec.exe"))
        self.engine_win = self.engine_dir_win + "\\msiexec.exe"
        self.record = os.path.join(self.engine_dir, "record.txt")

    def recording(self, exit_code=0):
        return {"WYK_ENGINE_LOG": win_path(self.record),
                "WYK_ENGINE_CODES": str(exit_code)}

    def records(self):
        return read_records(self.record, names=True)


class PublicRuntime(RecordingTestCase):

    def setUp(self):
        super().setUp()
        env = wine_env.env()
        self.kit, self.kit_win = env.c_dir("kit")
        self.put_files(self.kit, RUNTIME_FILES + ("keep.txt",))
        env.registry(("delk", KIT), reg_set(KIT, "TavroHome", REG_SZ, self.kit_win.encode() + b"\0"))
        self.addCleanup(env.registry, ("delk", KIT))

    @staticmethod
    def put_files(folder, names):
        for name in names:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(name.encode())

    def install(self, language, folder="", engine=None, exit_code=0, cwd=None):
        wine_env.env().probe(["public-runtime", hexarg(engine or self.engine_win), language,
                              hexarg(folder)], env=self.recording(exit_code), cwd=cwd)
        return self.records()

    def left_in_kit(self):
        return sorted(os.listdir(self.kit))

    def expected(self, tail, home=None):
        home = home or self.kit_win
        return ('"%s" /i "%s\\qor.msi" %s' % (self.engine_win, home, tail)).encode()

    def test_english_has_nothing_after_sdksilent(self):
        records = self.install(1033)
        self.assertEqual(records, [("msiexec.exe", self.expected("/qn ADDLOCAL=ALL SDKSILENT=1"))])
        self.assertEqual(self.left_in_kit(), ["keep.txt"])

    def test_other_languages_name_their_transform(self):
        for language in (2052, 1041):
            with self.subTest(language=language):
                self.setUp()
                records = self.install(language)
                self.assertEqual(records, [("msiexec.exe", self.expected(
                    'TRANSFORMS="%s\\qor%d.MST" /qn ADDLOCAL=ALL SDKSILENT=1'
                    % (self.kit_win, language)))])
                # Both transforms go, whatever the language.
                self.assertEqual(self.left_in_kit(), ["keep.txt"])

    def test_folder_with_blanks_is_one_quoted_argument(self):
        records = self.install(1041, "D:\\pub folder")
        self.assertEqual(records, [("msiexec.exe", self.expected(
            'TRANSFORMS="%s\\qor1041.MST" /qn ADDLOCAL=ALL SDKSILENT=1 INSTALLDIR="D:\\pub folder"'
            % self.kit_win))])

    def test_kit_home_ending_in_a_backslash(self):
        home = self.kit_win + "\\"
        wine_env.env().registry(reg_set(KIT, "TavroHome", REG_SZ, home.encode() + b"\0"))
        records = self.install(2052)
        self.assertEqual(records, [("msiexec.exe", self.expected(
            'TRANSFORMS="%s\\qor2052.MST" /qn ADDLOCAL=ALL SDKSILENT=1' % home, home=home))])
        self.assertEqual(self.left_in_kit(), ["keep.txt"])

    def test_files_are_deleted_when_the_install_fails_or_cannot_start(self):
        records = self.install(1033, exit_code=1603)
        self.assertEqual(len(records), 1)
        self.assertEqual(self.left_in_kit(), ["keep.txt"])
        self.setUp()
        records = self.install(1033, engine=self.engine_dir_win + "\\missing.exe")
        self.assertEqual(records, [])
        self.assertEqual(self.left_in_kit(), ["keep.txt"])

    def test_no_kit_home_runs_and_deletes_nothing(self):
        env = wine_env.env()
        env.registry(("delk", KIT))
        self.assertEqual(self.install(1033), [])
        self.assertEqual(self.left_in_kit(), sorted(RUNTIME_FILES + ("keep.txt",)))
        # A home value that is not a complete text counts as none.
        env.registry(reg_set(KIT, "TavroHome", REG_SZ, self.kit_win.encode()))
        self.assertEqual(self.install(1033), [])
        self.assertEqual(self.left_in_kit(), sorted(RUNTIME_FILES + ("keep.txt",)))

    def test_kit_home_that_is_not_absolute_counts_as_missing(self):
        # Would-be targets at the root of the current drive and in the current
        # folder: an elevated run must neither install them nor delete them.
        env = wine_env.env()
        cwd, cwd_win = env.c_dir("fo-cwd")
        os.mkdir(os.path.join(cwd, "kit"))
        planted = [os.path.join(folder, name) for folder in (env.c_drive(), cwd,
                                                             os.path.join(cwd, "kit"))
                   for name in RUNTIME_FILES]
        for path in planted:
            with open(path, "wb") as f:
                f.write(b"not the kit's")
            self.addCleanup(lambda p=path: os.path.exists(p) and os.remove(p))
        for home in (b"", b"kit", b".", b"\\", b"C:kit"):
            with self.subTest(home=home):
                env.registry(reg_set(KIT, "TavroHome", REG_SZ, home + b"\0"))
                self.assertEqual(self.install(2052, cwd=cwd), [])
                self.assertEqual([p for p in planted if not os.path.exists(p)], [])
        self.assertEqual(self.left_in_kit(), sorted(RUNTIME_FILES + ("keep.txt",)))

    def test_kit_home_outside_the_code_page_never_becomes_its_look_alike(self):
        # "\u0141" has only a best fit ("L") on code page 1252. The home is used
        # by its short form; once the folder is gone it has none and counts as
        # missing. The decoy at the look-alike is never run nor deleted.
        env = wine_env.env()
        real, real_win = env.c_dir("\u0141kit")
        decoy, _ = env.c_dir("Lkit")
        for folder in (real, decoy):
            self.put_files(folder, RUNTIME_FILES)
        set_wide_text(KIT, "TavroHome", real_win)
        home = exact_text(real_win).decode("ascii")
        self.assertEqual(self.install(1033), [("msiexec.exe", self.expected(
            "/qn ADDLOCAL=ALL SDKSILENT=1", home=home))])
        self.assertEqual(os.listdir(real), [])
        os.rmdir(real)
        os.remove(self.record)
        self.assertEqual(self.install(1033), [])
        self.assertEqual(sorted(os.listdir(decoy)), sorted(RUNTIME_FILES))

    def test_no_package_runs_nothing_but_deletes_the_transforms(self):
        os.remove(os.path.join(self.kit, "qor.msi"))
        self.assertEqual(self.install(2052), [])
        self.assertEqual(self.left_in_kit(), ["keep.txt"])

    def test_folder_named_like_the_package_counts_as_present(self):
        os.remove(os.path.join(self.kit, "qor.msi"))
        os.mkdir(os.path.join(self.kit, "qor.msi"))
        records = self.install(1033)
        self.assertEqual(len(records), 1)
        self.assertEqual(self.left_in_kit(), ["keep.txt", "qor.msi"])

    def test_command_line_that_does_not_fit_is_not_run(self):
        fixed = self.expected("/qn ADDLOCAL=ALL SDKSILENT=1") + b' INSTALLDIR='
        longest = "D:\\" + "p" * (1023 - len(fixed) - 3)
        records = self.install(1033, longest)
        self.assertEqual(len(records), 1)
        self.assertEqual(len(records[0][1]), 1023)
        self.assertTrue(records[0][1].endswith(('INSTALLDIR=%s' % longest).encode()))
        self.setUp()
        self.assertEqual(self.install(1033, longest + "p"), [])
        self.assertEqual(self.left_in_kit(), ["keep.txt"])  # still cleaned up


class UpdateService(RecordingTestCase):

    @classmethod
    def setUpClass(cls):
        env = wine_env.env()
        saved = env.get_value(INSTALLER, "InstallerLocation")
        cls.saved_location = saved[1] if saved else None
        lines = env.probe(["user-data-folder"], ["common-files"])
        cls.user_data = unhex(lines[0]["path"]).decode()
        cls.common = unhex(lines[1]["path"]).decode()
        cls.au_win = cls.user_data + "\\Halvec\\Tavro\\AU\\"
        cls.au = env.unix(cls.au_win)
        cls.tool_win = cls.common + "\\Tavro\\Tavro Update\\tvaureg.exe"
        # Programs at the shorter beginnings of the tool's path, where an
        # unquoted start would look first.
        cls.decoys = [env.unix(path) for path in cls.decoy_paths(cls.tool_win)]

    @staticmethod
    def decoy_paths(path):
        parts = path.split(" ")
        return [" ".join(parts[:i]) + ".exe" for i in range(1, len(parts))]

    @classmethod
    def tearDownClass(cls):
        env = wine_env.env()
        if cls.saved_location is not None:
            env.registry(reg_set(INSTALLER, "InstallerLocation", REG_SZ, cls.saved_location))
        env.registry(("delk", AUTO_UPDATE))

    def setUp(self):
        super().setUp()
        env = wine_env.env()
        env.registry(reg_set(INSTALLER, "InstallerLocation", REG_SZ,
                             self.engine_dir_win.encode() + b"\0"), ("delk", AUTO_UPDATE))
        if os.path.exists(self.au):
            shutil.rmtree(self.au)
        os.makedirs(os.path.dirname(self.au.rstrip("/")), exist_ok=True)
        self.planted = [env.unix(self.tool_win)] + self.decoys
        for program in self.planted:
            env.plant_recorder(program)

    def tearDown(self):
        # The decoys would stand in the way of anything else started unquoted
        # from those folders in this prefix.
        for program in self.planted:
            if os.path.exists(program):
                os.remove(program)

    def payload(self, name):
        path = os.path.join(wine_env.env().win_dir, "platform-probe-payload", name)
        with open(path, "rb") as f:
            return f.read()

    def staged(self, name):
        path = os.path.join(self.au, name)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def install(self, exe="platform_probe.exe"):
        env = wine_env.env()
        env.probe(["install-update-service"], exe=env.exe(exe), env=self.recording())
        return self.records()

    def install_line(self):
        return ('"%s" /i "%sau.msi" ALLUSERS=1 /qn' % (self.engine_win, self.au_win)).encode()

    def registration(self):
        return ("tvaureg.exe", ('"%s" -r qor 1.7.0-b147' % self.tool_win).encode())

    def test_older_service_is_removed_then_installed_and_registered(self):
        wine_env.env().registry(reg_set(AUTO_UPDATE, "AUVersion", REG_SZ, b"2.1.5.0\0"))
        records = self.install()
        self.assertEqual(records, [
            ("msiexec.exe", REMOVAL),  # through the pumping runner: the whole line is the arguments
            ("msiexec.exe", self.install_line()),
            self.registration(),
        ])
        self.assertEqual(self.staged("au.cab"), self.payload("au.cab"))
        self.assertEqual(self.staged("au.msi"), self.payload("au.msi"))

    def test_current_or_unrecorded_service_is_not_removed(self):
        cases = [reg_set(AUTO_UPDATE, "AUVersion", REG_SZ, b"2.1.5.1\0"),
                 reg_set(AUTO_UPDATE, "AUVersion", REG_SZ, b"2.1.5.10\0"),
                 ("mkkey", AUTO_UPDATE),
                 ("delk", AUTO_UPDATE)]
        for setup in cases:
            with self.subTest(setup=setup):
                self.setUp()
                wine_env.env().registry(("delk", AUTO_UPDATE), setup)
                self.assertEqual(self.install(), [("msiexec.exe", self.install_line()),
                                                  self.registration()])

    def test_second_run_replaces_the_staged_files(self):
        os.makedirs(self.au)
        for name in ("au.cab", "au.msi"):
            with open(os.path.join(self.au, name), "wb") as f:
                f.write(b"\x01" * 100000)
        self.install()
        self.assertEqual(self.staged("au.cab"), self.payload("au.cab"))
        self.assertEqual(self.staged("au.msi"), self.payload("au.msi"))

    def test_missing_package_row_ends_the_step_after_the_cabinet(self):
        wine_env.env().registry(reg_set(AUTO_UPDATE, "AUVersion", REG_SZ, b"2.1.5.0\0"))
        self.assertEqual(self.install(exe="platform_probe_no1119.exe"), [])
        self.assertEqual(self.staged("au.cab"), self.payload("au.cab"))
        self.assertIsNone(self.staged("au.msi"))

    def test_cabinet_is_written_before_the_package(self):
        # The package's target cannot be created: the step ends in the fatal
        # report, with the cabinet already on disk and nothing run.
        env = wine_env.env()
        os.makedirs(os.path.join(self.au, "au.msi"))
        probe = win_path(env.exe("platform_probe.exe"))
        result = env.run_line(b'"%s" install-update-service' % probe.encode(), dialog=True,
                              env=self.recording())
        self.assertIsNotNone(result.dialog)
        self.assertTrue(result.dialog["TEXT"].startswith(
            b"Installer : Wrapper.CreateFile  failed with error 5: "), result.dialog["TEXT"])
        self.assertEqual(result.exit_code, 5)
        self.assertEqual(self.staged("au.cab"), self.payload("au.cab"))
        self.assertEqual(self.records(), [])

    def test_common_files_folder_outside_the_code_page_is_named_by_its_short_form(self):
        # "\u0141" has only a best fit on code page 1252: the tool must be started
        # from the real folder (by its short form), never from "C:\\Lommon" nor
        # from the default folder, where no tool is left.
        env = wine_env.env()
        real, real_win = env.c_dir("\u0141ommon")
        best_fit, _ = env.c_dir("Lommon")
        for folder in (real, best_fit):
            env.plant_recorder(folder + TOOL_TAIL.replace("\\", "/"))
        os.remove(env.unix(self.tool_win))
        self.set_common_files(real_win)
        self.addCleanup(self.set_common_files, self.common)
        tool = exact_text(real_win) + TOOL_TAIL.encode()
        self.assertTrue(tool.isascii(), tool)
        self.assertEqual(self.install(), [("msiexec.exe", self.install_line()),
                                          ("tvaureg.exe", b'"%s" -r qor 1.7.0-b147' % tool)])

    def set_common_files(self, folder):
        # The platform's look-up reads this value.
        set_wide_text(r"HKLM\Software\Microsoft\Windows\CurrentVersion", "CommonFilesDir", folder)

    def test_common_files_folder_that_is_no_absolute_folder_is_skipped(self):
        # The look-up replaced in the probe: answers that are empty, relative,
        # rooted or drive-relative, one with no exact name nor a short form (a
        # missing folder), and a success that writes nothing. Tools wait where
        # such a line would find them: on the current drive, in the current folder.
        env = wine_env.env()
        cwd, _ = env.c_dir("fo-cwd")
        tails = [TOOL_TAIL, "\\Common" + TOOL_TAIL]
        planted = [env.c_drive() + t.replace("\\", "/") for t in tails]
        planted.append(os.path.join(cwd, "Common") + TOOL_TAIL.replace("\\", "/"))
        for program in planted:
            env.plant_recorder(program)
            self.addCleanup(os.remove, program)
        for answer in ("", "Common", "\\Common", "C:Common", "C:\\\u0141nowhere", None):
            with self.subTest(answer=answer):
                self.setUp()
                fake = hexarg(answer.encode()) if answer is not None else "-"
                env.probe(["fake-folder", 43, fake], ["install-update-service"],
                          env=self.recording(), cwd=cwd)
                self.assertEqual(self.records(), [("msiexec.exe", self.install_line())])

    def test_unquoted_tool_path_would_start_a_decoy(self):
        # Shows that the decoys are where an unquoted start looks first.
        line = '%s -r qor 1.7.0-b147' % self.tool_win
        wine_env.env().probe(["run-and-wait", hexarg(line)], env=self.recording())
        records = self.records()
        self.assertEqual(len(records), 1)
        self.assertEqual(records[0][0], os.path.basename(self.decoys[0]))


if __name__ == "__main__":
    unittest.main()
