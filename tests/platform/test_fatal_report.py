"""The fatal error report: the box's caption and text, read from the real
window and closed by a helper, and the process exit code seen by a Windows
parent (all 32 bits of it); and where no box can be seen, the two boxes'
texts in the diagnostic log instead."""
import os
import unittest

import wine_env
import harness  # noqa: E402 (found through the path that wine_env sets)
from wine_env import hexarg, unhex, win_path
from wine_env import setUpModule, tearDownModule  # noqa: F401 (one Wine environment per module)


class FatalReport(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        env = wine_env.env()
        cls.probe = win_path(env.exe("platform_probe.exe"))

    def system_text(self, code):
        line = wine_env.env().probe_one("system-text", code)
        return unhex(line["text"])

    def report(self, code, operation):
        result = wine_env.env().run_windows(
            '"%s" fatal %d %s' % (self.probe, code, hexarg(operation)), box=True)
        self.assertTrue(result["box"], "no message box was shown")
        self.assertEqual(result["caption"], b"Error")
        return result

    def test_operation_ending_in_a_blank_gives_two_blanks(self):
        result = self.report(5, "Installer : Wrapper.CreateFile ")
        self.assertEqual(result["text"], b"Installer : Wrapper.CreateFile  failed with error 5: "
                         + self.system_text(5))
        self.assertTrue(self.system_text(5).endswith(b"\r\n"))  # used unchanged
        self.assertEqual(result["exit"], 5)

    def test_operation_without_blank_and_other_codes(self):
        for code in (2, 32, 112):
            with self.subTest(code=code):
                result = self.report(code, "Disk.Write")
                self.assertEqual(result["text"], b"Disk.Write failed with error %d: " % code
                                 + self.system_text(code))
                self.assertEqual(result["exit"], code)

    def test_code_with_the_top_bit_set_shows_negative(self):
        for code in (0xC0000005, 0x80070005, 0xE0001234):
            with self.subTest(code=hex(code)):
                result = self.report(code, "Installer : Wrapper.WriteFile (In small chunks) ")
                signed = code - (1 << 32)
                self.assertEqual(result["text"],
                                 b"Installer : Wrapper.WriteFile (In small chunks)  failed with error "
                                 + str(signed).encode() + b": " + self.system_text(code))
                self.assertEqual(result["exit"], code)

    def test_no_last_error_never_exits_with_success(self):
        result = self.report(0, "Installer : Wrapper.CloseHandle ")
        self.assertEqual(result["exit"], 1627)
        # The box names the code the process ends with.
        self.assertEqual(result["text"], b"Installer : Wrapper.CloseHandle  failed with error 1627: "
                         + self.system_text(1627))


class NoBoxNobodyCanClose(unittest.TestCase):
    """On a window station without WSF_VISIBLE Windows' box never returns; the
    probe's MessageBoxA ends the process there with 89 (see the probe). The
    product must not call it there: the text goes to the log, the code stays."""

    def run_unseen(self, *verbs, dll_overrides=None):
        env = wine_env.env()
        logs, logs_win = env.c_dir("unseen-logs")
        argv = ["invisible-station", "+", "setenv", "TMPDIR", hexarg(logs_win)]
        for verb in verbs:
            argv += ["+"] + [str(part) for part in verb]
        done = env.wine(env.exe("platform_probe.exe"), *argv,
                        env=env.env(None, dll_overrides), check=False)
        self.assertIn(b"invisible-station: result=1", done.stdout)
        return done, harness.log_messages(logs)

    def test_fatal_report_is_logged_and_ends_with_its_code(self):
        operation = "Installer : Wrapper.CreateFile "
        done, logged = self.run_unseen(["fatal", 5, hexarg(operation)])
        self.assertEqual(done.returncode, 5)
        self.assertEqual(logged, [operation.encode() + b" failed with error 5: "
                                  + unhex(wine_env.env().probe_one("system-text", 5)["text"])])

    def test_old_engine_refusal_is_logged_and_gives_minus_2(self):
        env = wine_env.env()
        env.replace_system_file("msi.dll", os.path.join(env.win_dir, "engine-libraries",
                                                        "msi-2.0.2599.65535.dll"))
        self.addCleanup(env.restore_system_file, "msi.dll")
        override = [harness.SYSTEM_FILE_OVERRIDES["msi.dll"]]
        string4 = bytes.fromhex(env.probe_system(dll_overrides=override,
                                                 module=env.exe("platform_probe.exe"))["string4"])
        done, logged = self.run_unseen(["run-bootstrap", "-"], dll_overrides=override)
        self.assertIn(b"run-bootstrap: result=-2", done.stdout)
        self.assertEqual(done.returncode, 0)
        self.assertEqual(logged, [string4])


if __name__ == "__main__":
    unittest.main()
