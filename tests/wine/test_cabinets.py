"""The five cabinets and the hand-off event: what is written, in which order,
when the event exists and when it is set, that the run ends only after the
cabinet thread, and the fatal report when a staged file cannot be created."""
import os
import unittest

from harness import (CABINETS, PACKAGE, EventWatcher, FileEvents, WineTestCase, read_key_values,
                     read_pairs, win_path)
from harness import setUpModule, tearDownModule  # noqa: F401 (one session per module)

LARGE = "wyk-test-large.exe"
MARKER = "event-seen.marker"
ENGINE_END = "engine-ended.marker"


class CabinetTestCase(WineTestCase):
    def make_cache_folder(self):
        """The kit cache folder made beforehand, so it can be watched from the
        first file on (the bootstrapper finds the folders present, as on any
        later run)."""
        folder = self.session.cache_folder()
        os.makedirs(folder)
        return folder

    def sizes(self, values, label):
        """{cabinet: size, or None when missing} as a probe saw them."""
        return {name: (None if values["%s.%s" % (label, name)] == "missing"
                       else int(values["%s.%s" % (label, name)])) for name in CABINETS}

    def payload_sizes(self, exe, names=CABINETS):
        return {name: (len(self.session.payload(name, exe)) if name in names else None)
                for name in CABINETS}

    def assertWrittenInOrder(self, watch, names):
        """Each file created and written in one stretch, before the next one
        is created, and each one closed after writing."""
        self.assertEqual([n for n in watch.writing_order() if n in names], names)
        events = watch.events()
        for name in names:
            self.assertIn(("CLOSE_WRITE", name), events[watch.last_write(name):],
                          "%s was not closed after writing" % name)


class CabinetFiles(CabinetTestCase):
    def test_cabinets_are_identical_to_the_payload_and_written_in_order(self):
        s = self.session
        folder = self.make_cache_folder()
        with FileEvents(folder) as watch:
            result = s.run(s.product, " /s", env={"WYK_ENGINE_CODES": "1603"})
        self.assertEqual(result.exit_code, 1603)
        # The package comes first, on the main thread, then the cabinets in
        # their fixed order (not the package's media order).
        self.assertWrittenInOrder(watch, [PACKAGE] + CABINETS)
        self.assertCabinetsComplete(folder)
        self.assertEqual(sorted(os.listdir(folder)), sorted([PACKAGE] + CABINETS))

    def test_missing_cab9_row_skips_that_cabinet_and_still_sets_the_event(self):
        s = self.session
        exe = s.exe("wyk-test-no-cab9.exe")
        folder = self.make_cache_folder()
        probe = s.work_file("probe.txt")
        with FileEvents(folder) as watch:
            result = s.run(exe, "", env={"WYK_ENGINE_REPORT": win_path(probe),
                                         "WYK_ENGINE_EVENT_WAIT": "20000"})
        self.assertEqual(result.exit_code, 0)
        four = [n for n in CABINETS if n != "ss170000.cab"]
        self.assertWrittenInOrder(watch, [PACKAGE] + four)
        self.assertCabinetsComplete(folder, exe, names=four)
        self.assertFalse(os.path.exists(os.path.join(folder, "ss170000.cab")))
        values = read_key_values(probe)
        self.assertEqual(values["seen"], "1")
        self.assertEqual(values.get("set"), "1", "the event was never set")
        self.assertEqual(self.sizes(values, "at_set"), self.payload_sizes(exe, four))


def report_sections(path):
    """The engine report's lines, one dictionary per engine start."""
    sections = []
    for key, value in read_pairs(path):
        if key == "start":
            sections.append({})
        sections[-1][key] = value
    return sections


class ReRunAndEvent(CabinetTestCase):
    def test_re_run_finds_the_event_still_set(self):
        s = self.session
        probe = s.work_file("probe.txt")
        result = s.run(s.product, "", env={"WYK_ENGINE_REPORT": win_path(probe),
                                           "WYK_ENGINE_EVENT_WAIT": "20000",
                                           "WYK_ENGINE_SET_STATUS": "0:reinstall",
                                           "WYK_ENGINE_CODES": "1603,0"})
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(len(result.records), 2)
        first, second = report_sections(probe)
        # The first run waited until the event was set; the second finds the
        # same event (still held open, never reset) set from the start.
        self.assertEqual(first.get("set"), "1")
        self.assertEqual(second["seen"], "1")
        self.assertEqual(second["set_when_seen"], "1")


class HandOffEvent(CabinetTestCase):
    """Observed with the bootstrapper whose cabinets take long enough to write
    (about 100 MiB), from the engine and from a watcher started beforehand."""

    def run_watched(self):
        s = self.session
        s.clear_cache()
        folder = self.make_cache_folder()
        exe = s.exe(LARGE)
        probe = s.work_file("probe.txt")
        with FileEvents(folder) as watch:
            watcher = EventWatcher(s, 30000)
            try:
                result = s.run(exe, " /s", env={"WYK_ENGINE_REPORT": win_path(probe),
                                                "WYK_ENGINE_EVENT_WAIT": "20000"})
                watched = watcher.wait()
            finally:
                watcher.stop()
        return exe, result, read_key_values(probe), watched, watch

    def test_event_exists_before_the_engine_and_is_set_after_the_fifth_cabinet(self):
        for _ in range(3):
            exe, result, engine, watcher, watch = self.run_watched()
            complete = self.payload_sizes(exe)
            self.assertEqual(result.exit_code, 0)
            # The engine finds the event already created (and keeps it alive).
            self.assertEqual(engine["seen"], "1")
            self.assertEqual(engine.get("set"), "1")
            self.assertEqual(self.sizes(engine, "at_set"), complete)
            # The watcher saw it appear and then go to set.
            self.assertEqual(watcher["seen"], "1", "the event was never created")
            self.assertEqual(watcher["set"], "1", "the event was never set")
            self.assertEqual(self.sizes(watcher, "at_set"), complete,
                             "the event was set before every cabinet was complete")
            events = watch.events()
            self.assertIn(("CREATE", MARKER), events)
            self.assertGreater(events.index(("CREATE", MARKER)), watch.last_write(CABINETS[-1]),
                               "the event was seen set while the fifth cabinet was written")
            if watcher["set_when_seen"] == "0":
                # It was not set when first seen, so the transition was watched.
                self.assertNotEqual(self.sizes(watcher, "at_seen"), complete)
                return
        self.skipTest("the event was already set whenever the watcher first saw it; "
                      "its setting could not be watched")

    def test_run_ends_only_after_the_cabinet_thread(self):
        s = self.session
        exe = s.exe(LARGE)
        for _ in range(4):
            s.clear_cache()
            folder = self.make_cache_folder()
            mark = os.path.join(folder, ENGINE_END)
            with FileEvents(folder) as watch:
                # The engine ends at once; the run must still wait for the thread.
                result = s.run(exe, "", env={"WYK_ENGINE_CODES": "1602",
                                             "WYK_ENGINE_END_MARK": win_path(mark)})
            self.assertEqual(result.exit_code, 1602)
            self.assertCabinetsComplete(folder, exe)
            events = watch.events()
            if events.index(("CREATE", ENGINE_END)) < watch.last_write(CABINETS[-1]):
                # The engine had ended while the thread was still writing.
                return
        self.skipTest("the engine never ended before the cabinet thread; the wait "
                      "could not be put to the test")


class FatalReport(CabinetTestCase):
    """A staged file that cannot be created ends the run with a message box
    and the error code."""

    def hold(self, path):
        self.addCleanup(self.session.hold(path))

    def test_cabinet_held_open_ends_the_run_with_error_32(self):
        s = self.session
        folder = self.make_cache_folder()
        self.hold(os.path.join(folder, "st170000.cab"))
        result = s.run(s.product, "", dialog=True)
        self.assertFatalBox(result, b"Installer : Wrapper.CreateFile ", 32)
        self.assertFalse(result.dialog["TEXT"].endswith(b": "), "Wine has no text for error 32")
        # The engine had been started; the cabinets before the held one are
        # complete, none after it was begun.
        self.assertEqual(len(result.records), 1)
        self.assertCabinetsComplete(folder, names=CABINETS[:2])
        for name in CABINETS[3:]:
            self.assertFalse(os.path.exists(os.path.join(folder, name)), name)

    def test_package_held_open_ends_the_run_before_the_engine(self):
        s = self.session
        folder = self.make_cache_folder()
        self.hold(os.path.join(folder, PACKAGE))
        result = s.run(s.product, " /s", dialog=True)
        self.assertEqual(result.exit_code, 32)
        self.assertEqual(result.dialog["CAPTION"], b"Error")
        self.assertTrue(result.dialog["TEXT"].startswith(
            b"Installer : Wrapper.CreateFile  failed with error 32: "), result.dialog)
        self.assertEqual(result.records, [])
        self.assertEqual(sorted(os.listdir(folder)), [PACKAGE])


if __name__ == "__main__":
    unittest.main()
