"""The diagnostic log "tvusched.log" byte for byte: where it goes, how entries
are stamped and appended, and the entries of the library loader."""
import calendar
import datetime
import os
import unittest

import wine_env
import harness  # noqa: E402 (found through the path that wine_env sets)
from wine_env import hexarg, unhex
from wine_env import setUpModule, tearDownModule  # noqa: F401 (one Wine environment per module)

LOG = "tvusched.log"

# 2026-12-07 15:14:17 UTC, which is Tuesday the 8th at 00:14:17 nine hours east.
FIXED_MOMENT = calendar.timegm((2026, 12, 7, 15, 14, 17))
NINE_HOURS_EAST = "TZ=JST-9"
FIXED_PREFIX = b"\nTue Dec 08 00:14:17 2026\n:: "

STAMPED_ENTRY = harness.LOG_ENTRY


def fixed_clock():
    return [["fake-time", FIXED_MOMENT], ["crt-putenv", NINE_HOURS_EAST]]


class LogTestCase(unittest.TestCase):

    def setUp(self):
        env = wine_env.env()
        self.logs, self.logs_win = env.c_dir("logs")
        self.temp = env.temp_folder()
        self.remove_temp_log()
        self.addCleanup(self.remove_temp_log)

    def remove_temp_log(self):
        path = os.path.join(self.temp, LOG)
        if os.path.exists(path):
            os.remove(path)

    def read(self, folder):
        with open(os.path.join(folder, LOG), "rb") as f:
            return f.read()

    def assertNoLog(self, folder):
        self.assertFalse(os.path.exists(os.path.join(folder, LOG)), folder)


class WhereTheLogGoes(LogTestCase):

    def test_tmpdir_folder(self):
        wine_env.env().probe(*fixed_clock(), ["setenv", "TMPDIR", hexarg(self.logs_win)],
                             ["log", hexarg("message one")])
        self.assertEqual(self.read(self.logs), FIXED_PREFIX + b"message one")
        self.assertNoLog(self.temp)

    def test_tmpdir_with_trailing_backslash(self):
        wine_env.env().probe(*fixed_clock(), ["setenv", "TMPDIR", hexarg(self.logs_win + "\\")],
                             ["log", "m"])
        self.assertEqual(self.read(self.logs), FIXED_PREFIX + b"m")

    def test_unset_or_empty_tmpdir_uses_the_temporary_folder(self):
        env = wine_env.env()
        env.probe(*fixed_clock(), ["unsetenv", "TMPDIR"], ["log", "unset"])
        env.probe(*fixed_clock(), ["setenv", "TMPDIR", hexarg("")], ["log", "empty"])
        self.assertEqual(self.read(self.temp), FIXED_PREFIX + b"unset" + FIXED_PREFIX + b"empty")

    def test_missing_tmpdir_folder_drops_the_entry(self):
        missing = self.logs_win + "\\not-there"
        wine_env.env().probe(["setenv", "TMPDIR", hexarg(missing)], ["log", "lost"])
        self.assertFalse(os.path.exists(os.path.join(self.logs, "not-there")))
        self.assertEqual(os.listdir(self.logs), [])
        self.assertNoLog(self.temp)  # no fall-back to the temporary folder

    def test_tmpdir_without_an_exact_form_drops_the_entry(self):
        # On code page 1252 "Ł" and "ź" have only a best fit ("ó" is a letter
        # of it): "Lódz" exists, the named folder does not (nor its short form).
        env = wine_env.env()
        lodz, _ = env.c_dir("L\u00f3dz")
        env.probe(["setenv-wide", "TMPDIR", hexarg("C:\\Łódź".encode())], ["log", "lost"])
        self.assertEqual(os.listdir(lodz), [], "the entry went to the best-fit folder")
        self.assertNoLog(self.temp)

    def test_longest_folder_that_fits(self):
        # Folder + "\" + "tvusched.log" = 259 characters: the full path limit.
        env = wine_env.env()
        name = "d" * (259 - len("C:\\") - len("\\" + LOG))
        unix, win = env.c_dir(name)
        self.assertEqual(len(win + "\\" + LOG), 259)
        env.probe(*fixed_clock(), ["setenv", "TMPDIR", hexarg(win)], ["log", "fits"])
        self.assertEqual(self.read(unix), FIXED_PREFIX + b"fits")

    def test_folder_one_character_too_long_drops_the_entry(self):
        # 260 characters with the file name: nothing is written, not even a cut
        # name, and nothing goes to the temporary folder instead.
        env = wine_env.env()
        name = "e" * (260 - len("C:\\") - len("\\" + LOG))
        unix, win = env.c_dir(name)
        lines = env.probe(["setenv", "TMPDIR", hexarg(win)], ["log", "too long"],
                          ["temp-path"])
        self.assertEqual(len(lines), 3)
        self.assertEqual(os.listdir(unix), [])
        self.assertNoLog(self.temp)

    def test_tmpdir_of_259_and_260_characters(self):
        env = wine_env.env()
        for length in (259, 260, 300):
            with self.subTest(length=length):
                value = "C:\\" + "f" * (length - 3)
                lines = env.probe(["setenv", "TMPDIR", hexarg(value)], ["log", "x"],
                                  ["temp-path"])
                self.assertEqual(len(lines), 3)  # the probe went on normally
                self.assertNoLog(self.temp)


class Entries(LogTestCase):

    def setUp(self):
        super().setUp()
        self.tmpdir = ["setenv", "TMPDIR", hexarg(self.logs_win)]

    def test_entries_append_and_the_file_begins_with_a_line_feed(self):
        env = wine_env.env()
        env.probe(*fixed_clock(), self.tmpdir, ["log", hexarg("first\n")])
        env.probe(*fixed_clock(), self.tmpdir, ["log", hexarg("second")],
                  ["log", hexarg("third")])
        self.assertEqual(self.read(self.logs),
                         FIXED_PREFIX + b"first\n" + FIXED_PREFIX + b"second"
                         + FIXED_PREFIX + b"third")

    def test_existing_file_of_another_program_is_appended_to(self):
        with open(os.path.join(self.logs, LOG), "wb") as f:
            f.write(b"written by someone else\r\n" + bytes(range(256)))
        wine_env.env().probe(*fixed_clock(), self.tmpdir, ["log", "after"])
        self.assertEqual(self.read(self.logs), b"written by someone else\r\n" + bytes(range(256))
                         + FIXED_PREFIX + b"after")

    def test_message_bytes_are_written_unchanged(self):
        message = bytes(range(1, 256)) + b"\r\n%s%d"
        wine_env.env().probe(*fixed_clock(), self.tmpdir, ["log", hexarg(message)])
        self.assertEqual(self.read(self.logs), FIXED_PREFIX + message)

    def test_stamp_is_local_time_with_a_two_digit_day(self):
        # The fixed moment is the 7th in UTC and the 8th nine hours east, so a
        # UTC stamp or a blank-padded day both show.
        env = wine_env.env()
        early = calendar.timegm((2027, 3, 1, 20, 5, 9))  # Tue 2 Mar 05:05:09 nine hours east
        env.probe(["fake-time", early], ["crt-putenv", NINE_HOURS_EAST], self.tmpdir,
                  ["log", "a"])
        env.probe(*fixed_clock(), self.tmpdir, ["log", "b"])
        self.assertEqual(self.read(self.logs),
                         b"\nTue Mar 02 05:05:09 2027\n:: a" + FIXED_PREFIX + b"b")

    def test_stamps_past_the_end_of_32_bit_time(self):
        # 2^31 seconds, a late year of this century and the last day of the
        # year 3000, nine hours east: each keeps its stamp and line feed.
        env = wine_env.env()
        moments = [(2 ** 31, b"Tue Jan 19 12:14:08 2038"),
                   (calendar.timegm((2099, 12, 31, 14, 59, 59)), b"Thu Dec 31 23:59:59 2099"),
                   (calendar.timegm((3000, 12, 31, 14, 59, 59)), b"Wed Dec 31 23:59:59 3000")]
        for moment, _ in moments:
            env.probe(["fake-time", moment], ["crt-putenv", NINE_HOURS_EAST], self.tmpdir,
                      ["log", "m"])
        self.assertEqual(self.read(self.logs),
                         b"".join(b"\n" + stamp + b"\n:: m" for _, stamp in moments))

    def test_stamp_of_the_real_clock(self):
        env = wine_env.env()
        east = datetime.timezone(datetime.timedelta(hours=9))
        before = datetime.datetime.now(east).replace(microsecond=0)
        env.probe(["crt-putenv", NINE_HOURS_EAST], self.tmpdir, ["log", "now"])
        after = datetime.datetime.now(east)
        data = self.read(self.logs)
        match = STAMPED_ENTRY.match(data)
        self.assertIsNotNone(match, data)
        self.assertEqual(data[match.end():], b"now")
        stamp = datetime.datetime.strptime(match.group(1).decode(), "%a %b %d %H:%M:%S %Y")
        stamp = stamp.replace(tzinfo=east)
        self.assertTrue(before <= stamp <= after, (before, stamp, after))
        self.assertEqual(match.group(1).decode()[8:10], "%02d" % stamp.day)


class LibraryLoaderEntries(LogTestCase):
    """What the loader of system libraries writes to the log."""

    def setUp(self):
        super().setUp()
        env = wine_env.env()
        self.system = unhex(env.probe_one("system")["system_directory"])
        self.tmpdir = ["setenv", "TMPDIR", hexarg(self.logs_win)]

    def test_missing_library_names_the_full_path(self):
        line = wine_env.env().probe(*fixed_clock(), self.tmpdir,
                                    ["load-system-library", "wyk_no_such.dll"])[-1]
        self.assertEqual(line["loaded"], "0")
        self.assertEqual(self.read(self.logs),
                         FIXED_PREFIX + b"LoadLibrary(" + self.system
                         + b"\\wyk_no_such.dll) failed.  ErrorCode: 126")

    def test_name_too_long_for_the_path(self):
        # system directory + "\" + name = 260 characters: refused before loading.
        name = "n" * (260 - len(self.system) - 1 - 4) + ".dll"
        fitting = "m" * (259 - len(self.system) - 1 - 4) + ".dll"
        lines = wine_env.env().probe(*fixed_clock(), self.tmpdir,
                                     ["load-system-library", name],
                                     ["load-system-library", fitting])
        self.assertEqual((lines[-2]["loaded"], lines[-1]["loaded"]), ("0", "0"))
        data = self.read(self.logs)
        entries = data.split(FIXED_PREFIX)
        self.assertEqual(entries[0], b"")
        self.assertEqual(len(entries), 3, data)
        self.assertRegex(entries[1], rb"^_snprintf failed\.  ErrorCode: -?\d+$")
        # One character shorter still fits and is tried.
        self.assertTrue(entries[2].startswith(b"LoadLibrary(" + self.system + b"\\mmm"), entries[2])

    def test_successful_load_writes_nothing(self):
        lines = wine_env.env().probe(self.tmpdir, ["load-system-library", "shell32.dll"],
                                     ["load-system-library", "version.dll"],
                                     ["restrict-dll-search-path", hexarg("")])
        self.assertEqual([l.get("loaded", l.get("result")) for l in lines[1:]], ["1", "1", "1"])
        self.assertEqual(unhex(lines[1]["path"]).lower(), self.system.lower() + b"\\shell32.dll")
        self.assertNoLog(self.logs)


if __name__ == "__main__":
    unittest.main()
