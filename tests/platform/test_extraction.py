"""Resource extraction from the probe's own resources (0, 8192, 8193 and
20000 bytes around the 8192-byte write chunk), and the fatal report when the
target cannot be created."""
import os
import shutil
import unittest

import wine_env
import harness  # noqa: E402 (found through the path that wine_env sets)
from wine_env import hexarg, reg_set, unhex, win_path
from wine_env import setUpModule, tearDownModule  # noqa: F401 (one Wine environment per module)

CABINET = "sd170000.cab"  # the cabinet the probe carries (resource 107)
SIZES = {9000: 0, 9001: 8192, 9002: 8193, 9003: 20000}
PAYLOAD_FILES = {9000: "probe_0.bin", 9001: "probe_8192.bin", 9002: "probe_8193.bin",
                 9003: "probe_20000.bin", 107: "probe_cab6.bin"}
READY, NO_EXACT_FORM = 0, 2  # results of the folder-text verb


def probe_payload(resource_id):
    env = wine_env.env()
    path = os.path.join(env.win_dir, "platform-probe-payload", PAYLOAD_FILES[resource_id])
    with open(path, "rb") as f:
        return f.read()


class Extraction(unittest.TestCase):

    def setUp(self):
        env = wine_env.env()
        self.folder, self.folder_win = env.c_dir("extract")
        self.addCleanup(env.make_writable, self.folder)

    def payload(self, resource_id):
        return probe_payload(resource_id)

    def target(self, name):
        return os.path.join(self.folder, name), self.folder_win + "\\" + name

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_sizes_around_the_write_chunk_are_byte_identical(self):
        verbs = []
        for resource_id in SIZES:
            verbs.append(["extract", resource_id, "TAVRO_INSTALLER",
                          hexarg(self.target("r%d.bin" % resource_id)[1])])
        lines = wine_env.env().probe(*verbs)
        self.assertEqual([l["result"] for l in lines], ["1"] * len(SIZES))
        for resource_id, size in SIZES.items():
            with self.subTest(resource_id=resource_id):
                data = self.read(self.target("r%d.bin" % resource_id)[0])
                self.assertEqual(len(data), size)
                self.assertEqual(data, self.payload(resource_id))

    def test_existing_larger_file_is_replaced_not_appended(self):
        unix, win = self.target("existing.bin")
        with open(unix, "wb") as f:
            f.write(b"\xee" * 50000)
        lines = wine_env.env().probe(["extract", 9002, "TAVRO_INSTALLER", hexarg(win)],
                                     ["extract", 9000, "TAVRO_INSTALLER",
                                      hexarg(self.target("empty.bin")[1])])
        self.assertEqual(lines[0]["result"], "1")
        self.assertEqual(self.read(unix), self.payload(9002))
        # A file of 0 bytes replaces one of the same name too.
        unix_empty = self.target("empty.bin")[0]
        self.assertEqual(self.read(unix_empty), b"")
        with open(unix_empty, "wb") as f:
            f.write(b"old")
        wine_env.env().probe(["extract", 9000, "TAVRO_INSTALLER", hexarg(self.target("empty.bin")[1])])
        self.assertEqual(self.read(unix_empty), b"")

    def test_stale_read_only_hidden_or_system_target_is_replaced(self):
        # The probe's file calls refuse what Windows refuses (writing a
        # read-only file, creating a hidden or system one anew), also as root.
        env = wine_env.env()
        for marks in (1, 2, 4, 7):
            with self.subTest(attributes=marks):
                unix, win = self.target("stale%d.bin" % marks)
                with open(unix, "wb") as f:
                    f.write(b"\xee" * 50000)
                lines = env.probe(["set-attributes", hexarg(win), marks],
                                  ["extract", 9002, "TAVRO_INSTALLER", hexarg(win)],
                                  ["attributes", hexarg(win)])
                self.assertEqual(lines[1]["result"], "1")
                self.assertEqual(self.read(unix), self.payload(9002))
                self.assertEqual(int(lines[2]["value"]) & 7, 0, "attributes left")

    def test_hard_link_planted_between_check_and_open_leaves_its_target(self):
        # The stale name is held from its checks on: the plant cannot take its
        # place, and nothing is cut before the opened file is vouched for.
        outside, outside_win = wine_env.env().c_dir("extract-outside")
        with open(os.path.join(outside, "target.bin"), "wb") as f:
            f.write(b"not the installer's")
        unix, win = self.target("stale.bin")
        with open(unix, "wb") as f:
            f.write(b"stale")
        lines = wine_env.env().probe(["plant-at-check", hexarg(outside_win + "\\target.bin")],
                                     ["extract", 9003, "TAVRO_INSTALLER", hexarg(win)])
        self.assertEqual(lines[1]["result"], "1")
        self.assertEqual(self.read(os.path.join(outside, "target.bin")), b"not the installer's")
        self.assertEqual(self.read(unix), self.payload(9003))

    def test_missing_row_leaves_an_existing_file_untouched(self):
        unix, win = self.target("kept.bin")
        with open(unix, "wb") as f:
            f.write(b"do not touch")
        os.utime(unix, (1000000000, 1000000000))
        line = wine_env.env().probe_one("extract", 9999, "TAVRO_INSTALLER", hexarg(win))
        self.assertEqual(line["result"], "0")
        self.assertEqual(self.read(unix), b"do not touch")
        self.assertEqual(os.stat(unix).st_mtime, 1000000000)

    def test_type_and_id_must_match_the_row(self):
        unix, win = self.target("cab.bin")
        lines = wine_env.env().probe(["extract", 107, "TAVRO_CAB7", hexarg(win)],
                                     ["extract", 108, "TAVRO_CAB6", hexarg(win)],
                                     ["extract", 107, "TAVRO_INSTALLER", hexarg(win)])
        self.assertEqual([l["result"] for l in lines], ["0", "0", "0"])
        self.assertFalse(os.path.exists(unix))
        line = wine_env.env().probe_one("extract", 107, "TAVRO_CAB6", hexarg(win))
        self.assertEqual(line["result"], "1")
        self.assertEqual(self.read(unix), self.payload(107))


class CreateFailures(unittest.TestCase):
    """A target that cannot be created ends the process through the fatal
    report with the platform's error code."""

    def setUp(self):
        env = wine_env.env()
        self.folder, self.folder_win = env.c_dir("extract-fail")
        self.addCleanup(env.make_writable, self.folder)
        self.probe = win_path(env.exe("platform_probe.exe"))

    def extract_reporting(self, target_win, prepare=None, env=None, action=None):
        line = '"%s" ' % self.probe
        if prepare:
            line += prepare + " + "
        line += action or "extract 9003 TAVRO_INSTALLER %s" % hexarg(target_win)
        line += " + log unreachable"
        result = wine_env.env().run_line(line.encode("latin-1"), dialog=True, env=env)
        self.assertIsNotNone(result.dialog, "no message box was shown")
        self.assertEqual(result.dialog["CAPTION"], b"Error")
        return result

    def system_text(self, code):
        return unhex(wine_env.env().probe_one("system-text", code)["text"])

    def test_target_that_is_a_folder(self):
        os.mkdir(os.path.join(self.folder, "folder.bin"))
        result = self.extract_reporting(self.folder_win + "\\folder.bin")
        self.assertEqual(result.dialog["TEXT"],
                         b"Installer : Wrapper.CreateFile  failed with error 5: "
                         + self.system_text(5))
        self.assertEqual(result.exit_code, 5)

    def test_target_held_open_without_sharing(self):
        unix = os.path.join(self.folder, "held.bin")
        win = self.folder_win + "\\held.bin"
        with open(unix, "wb") as f:
            f.write(b"held")
        self.addCleanup(wine_env.env().hold(unix))  # held without sharing while it runs
        result = self.extract_reporting(win)
        self.assertEqual(result.dialog["TEXT"],
                         b"Installer : Wrapper.CreateFile  failed with error 32: "
                         + self.system_text(32))
        self.assertEqual(result.exit_code, 32)
        with open(unix, "rb") as f:
            self.assertEqual(f.read(), b"held")

    def test_missing_folder(self):
        result = self.extract_reporting(self.folder_win + "\\no-such-folder\\x.bin")
        self.assertEqual(result.dialog["TEXT"],
                         b"Installer : Wrapper.CreateFile  failed with error 3: "
                         + self.system_text(3))
        self.assertEqual(result.exit_code, 3)
        self.assertEqual(os.listdir(self.folder), [])

class StagedFileIdentity(CreateFailures):
    """The check made when a written file is reopened for holding: a file
    swapped or changed in between ends the run with 1006; an identity query
    that fails ends it with that query's own error, never as "swapped"."""

    OPEN_FOR_READING = b"Installer : Wrapper.OpenForReading "
    IDENTITY = b"Installer : Wrapper.GetFileInformationByHandle "

    def assertFatal(self, result, operation, code):
        self.assertEqual(result.dialog["TEXT"], operation + b" failed with error %d: " % code
                         + self.system_text(code))
        self.assertEqual(result.exit_code, code)

    def test_file_swapped_or_grown_between_closing_and_holding_gives_1006(self):
        # The swapped-in file has the same bytes and size: only its identity
        # differs. The grown one is the same file with one byte more.
        for change in ("swap", "grow"):
            with self.subTest(change=change):
                result = self.extract_reporting(self.folder_win + "\\%s.bin" % change,
                                                prepare="after-close " + change)
                self.assertFatal(result, self.OPEN_FOR_READING, 1006)

    def test_second_name_made_between_check_and_open_gives_1006_and_cuts_nothing(self):
        unix, win = os.path.join(self.folder, "named.bin"), self.folder_win + "\\named.bin"
        with open(unix, "wb") as f:
            f.write(b"stale")
        result = self.extract_reporting(win, prepare="name-at-check %s" % hexarg(win + ".second"))
        self.assertFatal(result, b"Installer : Wrapper.CreateFile ", 1006)
        with open(unix, "rb") as f:
            self.assertEqual(f.read(), b"stale")

    def test_failed_identity_query_ends_with_its_own_error(self):
        # First call: the file just opened for writing, whose identity the hold
        # is compared with; second: the reopened one.
        for call in (1, 2):
            with self.subTest(call=call):
                result = self.extract_reporting(self.folder_win + "\\q%d.bin" % call,
                                                prepare="fail-file-information %d 50" % call)
                self.assertFatal(result, self.IDENTITY, 50)

    def test_unchanged_file_is_held(self):
        # The seams themselves change nothing when they do nothing.
        target = self.folder_win + "\\kept.bin"
        lines = wine_env.env().probe(["fail-file-information", 3, 50],
                                     ["extract", 9003, "TAVRO_INSTALLER", hexarg(target)])
        self.assertEqual(lines[1]["result"], "1")


class ReparsePointsAsWindowsShowsThem(StagedFileIdentity):
    """Reparse points as the probe shows them, the way Windows does and Wine
    does not: a tag in the directory entry, the attribute on the opened
    handle, and a link followed by every open that does not ask for the link
    itself. XP's handles cannot give a tag: there the entry's is taken."""

    SYMLINK, DEDUP = 0xA000000C, 0x80000013
    CREATE_FILE = b"Installer : Wrapper.CreateFile "

    def stale(self, name):
        unix, win = os.path.join(self.folder, name), self.folder_win + "\\" + name
        with open(unix, "wb") as f:
            f.write(b"stale")
        return unix, win

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_on_xp_a_stale_file_is_judged_by_its_directory_entry_tag(self):
        unix, win = self.stale("deduplicated.bin")
        lines = wine_env.env().probe(["as-xp"], ["reparse-point", hexarg(win), self.DEDUP, "-"],
                                     ["extract", 9003, "TAVRO_INSTALLER", hexarg(win)])
        self.assertEqual(lines[2]["result"], "1", "a deduplicated file is no link")
        self.assertEqual(self.read(unix), probe_payload(9003))
        unix, win = self.stale("link.bin")
        result = self.extract_reporting(
            win, prepare="as-xp + reparse-point %s %d -" % (hexarg(win), self.SYMLINK))
        self.assertFatal(result, self.CREATE_FILE, 681)
        self.assertEqual(self.read(unix), b"stale")

    def test_new_file_at_a_link_to_nowhere_is_refused_not_made_at_its_target(self):
        unix, win = os.path.join(self.folder, "link.bin"), self.folder_win + "\\link.bin"
        os.symlink(os.path.join(self.folder, "later.bin"), unix)
        result = self.extract_reporting(win, prepare="reparse-point %s %d %s" % (
            hexarg(win), self.SYMLINK, hexarg(self.folder_win + "\\later.bin")))
        self.assertFatal(result, self.CREATE_FILE, 681)
        self.assertEqual(os.listdir(self.folder), ["link.bin"])

    def test_on_xp_a_link_put_at_a_level_after_its_check_is_refused_by_its_hold(self):
        env = wine_env.env()
        data_win = unhex(env.probe_one("user-data-folder")["path"]).decode()
        halvec = os.path.join(env.unix(data_win), "Halvec")
        shutil.rmtree(halvec, ignore_errors=True)
        os.makedirs(halvec)
        os.symlink(self.folder, os.path.join(halvec, "Tavro"))
        self.addCleanup(shutil.rmtree, halvec, True)
        self.addCleanup(os.unlink, os.path.join(halvec, "Tavro"))
        result = self.extract_reporting(None, action="cache-package-path 0", prepare=(
            "as-xp + reparse-point %s %d %s" % (hexarg(data_win + "\\Halvec\\Tavro"),
                                               self.SYMLINK, hexarg(self.folder_win))))
        self.assertFatal(result, b"Installer : Wrapper.CreateDirectory ", 681)
        self.assertEqual(os.listdir(self.folder), [], "a folder was made through the link")


class FatalEndWhileTheCabinetThreadWrites(CreateFailures):
    """A fatal error on the main thread while the cabinet thread still writes
    (its writes slowed down here) ends the process only after that thread."""

    def test_cabinet_is_complete_and_the_event_set(self):
        env = wine_env.env()
        folder = env.unix(unhex(env.probe_one("user-data-folder")["path"]).decode())
        cabinet = os.path.join(folder, "Halvec", "Tavro", "wyk1.7.0", CABINET)
        if os.path.exists(cabinet):
            os.remove(cabinet)
        os.mkdir(os.path.join(self.folder, "folder.bin"))
        result = self.extract_reporting(self.folder_win + "\\folder.bin",
                                        prepare="stage-cabinets-slowly 3000")
        self.assertEqual(result.exit_code, 5)
        with open(cabinet, "rb") as f:
            self.assertEqual(f.read(), probe_payload(107), "the cabinet was cut short")


class UserFolderCause(unittest.TestCase):
    """Why the package path cannot be made is decided where it happens, not
    from a last-error value an earlier call left behind."""

    SHELL_FOLDERS = harness.USER_SHELL_FOLDERS
    LOCAL_LOW = harness.LOCAL_LOW_VALUE
    PROBE_VERSION = r"HKCU\Software\Wine\AppDefaults\platform_probe.exe"

    def test_failed_roaming_lookup_is_missing_whatever_error_was_left(self):
        # The XP branch, with a lookup that fails without a last error of its own.
        env = wine_env.env()
        env.registry(reg_set(self.PROBE_VERSION, "Version", 1, b"winxp\0"))
        self.addCleanup(env.registry, ("delk", self.PROBE_VERSION))
        lines = env.probe(["fail-roaming-folder"], ["cache-package-path", 122],
                          ["cache-package-path", 0])
        self.assertEqual([l["result"] for l in lines[1:]], ["no-user-folder"] * 2)

    def test_folder_without_an_exact_name_is_1113_a_missing_one_3(self):
        # The XP branch's look-up, replaced: a folder whose name has only a best
        # fit and that does not exist, so it has no short form either.
        env = wine_env.env()
        env.registry(reg_set(self.PROBE_VERSION, "Version", 1, b"winxp\0"))
        self.addCleanup(env.registry, ("delk", self.PROBE_VERSION))
        lines = env.probe(["fake-folder", 26, hexarg("C:\\\u0141nowhere".encode())],
                          ["cache-package-path", 0], ["run-bootstrap", "-"])
        self.assertEqual([l["result"] for l in lines[1:]], ["no-exact-name", "1113"])
        lines = env.probe(["fail-roaming-folder"], ["run-bootstrap", "-"])
        self.assertEqual(lines[1]["result"], "3")
        self.assertFalse(os.path.exists(env.c_drive("Lnowhere")))

    def test_missing_folder_is_missing_whatever_error_was_left(self):
        env = wine_env.env()
        saved = env.get_value(self.SHELL_FOLDERS, self.LOCAL_LOW)
        self.assertIsNotNone(saved)
        self.addCleanup(env.registry, reg_set(self.SHELL_FOLDERS, self.LOCAL_LOW, *saved))
        env.registry(reg_set(self.SHELL_FOLDERS, self.LOCAL_LOW, 2, b"C:\\wyk-missing\\data\0"))
        lines = env.probe(["cache-package-path", 0], ["cache-package-path", 122],
                          ["cache-package-path", 206])
        self.assertEqual([l["result"] for l in lines], ["no-user-folder"] * 3)
        self.assertFalse(os.path.exists(os.path.join(env.c_drive(), "wyk-missing")))


class FolderNames(unittest.TestCase):
    """A folder the platform gives as wide text becomes the program's 8-bit
    text only when that names the same folder: exactly, or by its short form."""

    def folder_text(self, folder):
        line = wine_env.env().probe_one("folder-text", hexarg(folder.encode()))
        return int(line["result"]), unhex(line["path"])

    def test_exact_forms_and_no_form(self):
        env = wine_env.env()
        env.c_dir("caf\u00e9")
        env.c_dir("\u0141\u00f3d\u017a")
        self.assertEqual(self.folder_text("C:\\windows"), (READY, b"C:\\windows"))
        # "é" is a letter of code page 1252: the same bytes as ever.
        self.assertEqual(self.folder_text("C:\\caf\u00e9"), (READY, b"C:\\caf\xe9"))
        # "Ł" has only a best fit there; an existing folder has a short form.
        result, text = self.folder_text("C:\\\u0141\u00f3d\u017a")
        self.assertEqual(result, READY)
        self.assertNotEqual(text.lower(), b"c:\\lodz")
        self.assertTrue(text.startswith(b"C:\\") and text.isascii(), text)
        # A folder that does not exist has no short form: refused, no best fit.
        self.assertEqual(self.folder_text("C:\\\u0141\u00f3d\u017a\\nowhere"),
                         (NO_EXACT_FORM, b""))


if __name__ == "__main__":
    unittest.main()
