"""The fatal error report: the box's caption and text, read from the real
window and closed by a helper, and the process exit code seen by a Windows
parent (all 32 bits of it); and where no box can be seen, its text in the
diagnostic log instead."""
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
        line = '"%s" fatal %d %s' % (self.probe, code, hexarg(operation))
        result = wine_env.env().run_line(line.encode("latin-1"), dialog=True)
        self.assertIsNotNone(result.dialog, "no message box was shown")
        self.assertEqual(result.dialog["CAPTION"], b"Error")
        return result

    def test_operation_ending_in_a_blank_gives_two_blanks(self):
        result = self.report(5, "Installer : Wrapper.CreateFile ")
        self.assertEqual(result.dialog["TEXT"],
                         b"Installer : Wrapper.CreateFile  failed with error 5: "
                         + self.system_text(5))
        self.assertTrue(self.system_text(5).endswith(b"\r\n"))  # used unchanged
        self.assertEqual(result.exit_code, 5)

    def test_operation_without_blank_and_other_codes(self):
        for code in (2, 32, 112):
            with self.subTest(code=code):
                result = self.report(code, "Disk.Write")
                self.assertEqual(result.dialog["TEXT"], b"Disk.Write failed with error %d: " % code
                                 + self.system_text(code))
                self.assertEqual(result.exit_code, code)

    def test_code_with_the_top_bit_set_shows_negative(self):
        for code in (0xC0000005, 0x80070005, 0xE0001234):
            with self.subTest(code=hex(code)):
                result = self.report(code, "Installer : Wrapper.WriteFile (In small chunks) ")
                signed = code - (1 << 32)
                self.assertEqual(result.dialog["TEXT"],
                                 b"Installer : Wrapper.WriteFile (In small chunks)  failed with error "
                                 + str(signed).encode() + b": " + self.system_text(code))
                self.assertEqual(result.exit_code, signed)

    def test_no_last_error_never_exits_with_success(self):
        result = self.report(0, "Installer : Wrapper.CloseHandle ")
        self.assertEqual(result.exit_code, 1627)
        # The box names the code the process ends with.
        self.assertEqual(result.dialog["TEXT"],
                         b"Installer : Wrapper.CloseHandle  failed with error 1627: "
                         + self.system_text(1627))

    def test_window_station_nobody_sees_gets_the_text_in_the_log(self):
        # Windows' box there never returns; the probe's MessageBoxA ends the
        # process with 89 there instead (see the probe), so the report must
        # not call it: its text goes to the log and the code stays.
        env = wine_env.env()
        logs, logs_win = env.c_dir("unseen-logs")
        operation = "Installer : Wrapper.CreateFile "
        result = env.run_line(('"%s" setenv TMPDIR %s + fatal 5 %s' % (
            self.probe, hexarg(logs_win), hexarg(operation))).encode("latin-1"), invisible=True)
        self.assertEqual(result.exit_code, 5)
        self.assertEqual(harness.log_messages(logs),
                         [operation.encode() + b" failed with error 5: " + self.system_text(5)])


if __name__ == "__main__":
    unittest.main()
