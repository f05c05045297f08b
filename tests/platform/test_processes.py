"""The two child-process runners against real Wine processes: exit codes,
the exact command line a child sees, failed starts, and the message pump of
the waiting thread."""
import os
import unittest

import wine_env
from wine_env import hexarg, read_records, win_path
from wine_env import setUpModule, tearDownModule  # noqa: F401 (one Wine environment per module)

STILL_ACTIVE = 259


class RecorderCase(unittest.TestCase):
    """The recording engine planted as recorder.exe; no tests of its own."""

    @classmethod
    def setUpClass(cls):
        env = wine_env.env()
        cls.folder, cls.folder_win = env.c_dir("runners")
        cls.recorder = os.path.join(cls.folder, "recorder.exe")
        env.plant_recorder(cls.recorder)
        cls.recorder_win = cls.folder_win + "\\recorder.exe"
        cls.record = os.path.join(cls.folder, "record.txt")

    def setUp(self):
        if os.path.exists(self.record):
            os.remove(self.record)

    def recording_env(self, exit_codes=0):
        """The recorder logs each start and ends with the code for it ("a,b,c" per start)."""
        return {"WYK_ENGINE_LOG": win_path(self.record),
                "WYK_ENGINE_CODES": str(exit_codes)}


class Runners(RecorderCase):

    def test_exit_codes_pass_unchanged_through_both_runners(self):
        codes = [0, 1, 1603, 3010, 0xC0000005]
        verbs = []
        for code in codes:
            verbs.append(["run-and-wait", hexarg('"%s" /x' % self.recorder_win)])
            verbs.append(["run-and-wait-pumping", hexarg(self.recorder_win), hexarg(" /x"),
                          "plain"])
        lines = wine_env.env().probe(*verbs, env=self.recording_env(
            ",".join("%d,%d" % (code, code) for code in codes)))
        for i, code in enumerate(codes):
            with self.subTest(code=code):
                self.assertEqual(int(lines[2 * i]["result"]), code)
                self.assertEqual(int(lines[2 * i + 1]["result"]), code)

    def test_missing_program_gives_1_at_once(self):
        missing = self.folder_win + "\\missing.exe"
        lines = wine_env.env().probe(["run-and-wait", hexarg('"%s" /i x' % missing)],
                                     ["run-and-wait", hexarg(missing)])
        for line in lines:
            self.assertEqual(line["result"], "1")
            self.assertLess(int(line["elapsed_ms"]), 2000)

    def test_pumping_runner_reports_the_start_error(self):
        lines = wine_env.env().probe(
            ["run-and-wait-pumping", hexarg(""), hexarg(" /x"), "plain"],
            ["run-and-wait-pumping", hexarg(self.folder_win + "\\missing.exe"), hexarg(" /x"),
             "plain"])
        for line in lines:
            self.assertNotEqual(int(line["result"]), 0)
            self.assertLess(int(line["elapsed_ms"]), 2000)
        self.assertIn(int(lines[1]["result"]), (2, 3))  # file or path not found

    def test_child_sees_the_command_line_byte_for_byte(self):
        line = '"%s" /i "C:\\a b\\pkg.msi"  TWO=2 "quoted \\"x\\"" WRAPPER=1' % self.recorder_win
        removal = " /x {6C1E2B90-3D4F-4A7B-9E21-0B5D8C3F7A42} /qn"
        lines = wine_env.env().probe(
            ["run-and-wait", hexarg(line)],
            ["run-and-wait-pumping", hexarg(self.recorder_win), hexarg(removal), "plain"],
            env=self.recording_env(42))
        self.assertEqual([l["result"] for l in lines], ["42", "42"])
        records = read_records(self.record, names=True)
        self.assertEqual(records, [("recorder.exe", line.encode()),
                                   ("recorder.exe", removal.encode())])

    def test_children_leave_no_handles_behind(self):
        child = hexarg('"%s" /x' % self.recorder_win)
        pumping = ["run-and-wait-pumping", hexarg(self.recorder_win), hexarg(" /x"), "plain"]
        lines = wine_env.env().probe(
            ["run-and-wait", child], pumping,  # warm up: first use loads libraries
            ["handle-slots"],
            ["run-and-wait", child], ["run-and-wait", child], pumping, pumping,
            ["handle-slots"])
        self.assertEqual(lines[-1]["highest"], lines[2]["highest"])


class MessagePump(RecorderCase):
    """While the pumping runner waits, a second thread of the probe posts to
    the waiting thread."""

    def pumping(self, sleep_ms, exit_code, mode):
        """The pumping runner's report on the recorder living sleep_ms."""
        return wine_env.env().probe_one(
            "run-and-wait-pumping", hexarg(self.recorder_win), hexarg(" /x"), mode,
            env={"WYK_ENGINE_SLEEP_MS": str(sleep_ms), "WYK_ENGINE_CODES": str(exit_code)})

    def test_messages_are_dispatched_and_a_quit_does_not_end_the_wait(self):
        # Child lives 2.5 s; at 0.3 s an ANSI and a Unicode window message, a
        # thread message and WM_QUIT arrive, at 0.6 s one more window message.
        line = self.pumping(2500, 7, "messages")
        self.assertEqual(int(line["result"]), 7)  # not STILL_ACTIVE: waited to the end
        self.assertGreaterEqual(int(line["elapsed_ms"]), 2400)
        self.assertEqual(line["wide_window_unicode"], "1")
        self.assertEqual(line["dispatched_ansi"], "2")
        self.assertEqual(line["dispatched_wide"], "1")
        self.assertEqual(line["quit_left"], "0")  # consumed
        self.assertEqual(line["remaining"], "0")

    def test_drain_stops_once_the_child_has_ended(self):
        # 50 messages arrive at 0.3 s; handling the first takes 2.5 s, in which
        # the child (0.6 s) ends: the other 49 stay queued.
        line = self.pumping(600, 9, "burst")
        self.assertEqual(int(line["result"]), 9)
        self.assertEqual(line["dispatched_ansi"], "1")
        self.assertEqual(line["remaining"], "49")

    def test_plain_wait_returns_when_the_child_ends(self):
        line = self.pumping(800, 3010, "plain")
        self.assertEqual(int(line["result"]), 3010)
        self.assertGreaterEqual(int(line["elapsed_ms"]), 700)
        self.assertNotEqual(int(line["result"]), STILL_ACTIVE)


if __name__ == "__main__":
    unittest.main()
