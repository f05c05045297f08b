"""Safe library loading: the search path without the current directory, and
libraries taken only from the system directory. A planted library leaves a
trace file when the loader picks it up."""
import os
import shutil
import unittest

import wine_env
from wine_env import hexarg, unhex, win_path
from wine_env import setUpModule, tearDownModule  # noqa: F401 (one Wine environment per module)

PLANTED = "wyk_planted.dll"  # a name that no system directory holds


class PlantedLibraries(unittest.TestCase):

    def setUp(self):
        env = wine_env.env()
        self.work = os.path.join(env.work, "plant-%s" % self._testMethodName)
        if os.path.exists(self.work):
            shutil.rmtree(self.work)
        # cwd: the current directory of the probe; beside: a copy of the probe
        # with the library next to it.
        self.cwd = os.path.join(self.work, "cwd")
        self.beside = os.path.join(self.work, "beside")
        os.makedirs(self.cwd)
        os.makedirs(self.beside)
        self.probe_copy = os.path.join(self.beside, "setup.exe")
        shutil.copyfile(env.exe("platform_probe.exe"), self.probe_copy)
        self.trace = os.path.join(self.work, "trace.txt")
        self.logs, self.logs_win = env.c_dir("liblogs")
        self.system = unhex(env.probe_one("system")["system_directory"])

    def plant(self, folder, name):
        shutil.copyfile(wine_env.env().exe("wine-tools/trace_library.dll"), os.path.join(folder, name))

    def probe(self, *verbs, exe=None, overrides=None):
        return wine_env.env().probe(["setenv", "TMPDIR", hexarg(self.logs_win)], *verbs,
                                    exe=exe, cwd=self.cwd, dll_overrides=overrides and [overrides],
                                    env={"WYK_TRACE_FILE": win_path(self.trace)})[1:]

    def traces(self):
        if not os.path.exists(self.trace):
            return []
        with open(self.trace, "rb") as f:
            # "<library's path>|<program's path>" per load
            return [line.split(b"|")[0] for line in f.read().splitlines()]

    def log(self):
        path = os.path.join(self.logs, "tvusched.log")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def test_restricting_the_search_path_is_accepted_without_an_entry(self):
        # Wine 8 keeps the current directory in the search for an empty
        # folder (Windows drops it), so only the call's outcome is checked here.
        lines = self.probe(["restrict-dll-search-path", hexarg("")],
                           ["restrict-dll-search-path", hexarg("")])
        self.assertEqual([l["result"] for l in lines], ["1", "1"])
        self.assertIsNone(self.log())

    def test_system_library_is_never_looked_for_elsewhere(self):
        self.plant(self.cwd, PLANTED)
        self.plant(self.beside, PLANTED)
        line = self.probe(["load-system-library", PLANTED], exe=self.probe_copy)[0]
        self.assertEqual(line["loaded"], "0")
        self.assertEqual(self.traces(), [])
        self.assertTrue(self.log().endswith(
            b":: LoadLibrary(" + self.system + b"\\" + PLANTED.encode() + b") failed.  ErrorCode: 126"),
            self.log())
        # The same name by plain name from the same program is found beside it.
        line = self.probe(["load-plain", PLANTED], exe=self.probe_copy)[0]
        self.assertEqual(line["loaded"], "1")
        self.assertEqual(len(self.traces()), 1)

    def test_engine_version_check_ignores_a_planted_version_library(self):
        # Native first for the planted name, so Wine would take a planted copy
        # wherever its search reaches one.
        self.plant(self.cwd, "version.dll")
        for restrict in (False, True):
            with self.subTest(restrict=restrict):
                verbs = [["restrict-dll-search-path", hexarg("")]] if restrict else []
                lines = self.probe(*verbs, ["check-engine-version"],
                                   ["load-system-library", "version.dll"],
                                   overrides="version=n,b")
                self.assertEqual(lines[-2]["result"], "1")  # the engine's version was read
                self.assertEqual(unhex(lines[-1]["path"]).lower(),
                                 self.system.lower() + b"\\version.dll")
                self.assertEqual(self.traces(), [])
                self.assertIsNone(self.log())

    def test_trace_shows_a_planted_version_library_when_it_is_loaded(self):
        # The other side of the test above: a program beside the planted copy
        # loads it (Wine's own user32 already asks for it by name at start).
        self.plant(self.beside, "version.dll")
        line = self.probe(["load-plain", "version.dll"], exe=self.probe_copy,
                          overrides="version=n,b")[0]
        self.assertEqual(line["loaded"], "1")
        self.assertTrue(unhex(line["path"]).lower().endswith(b"\\beside\\version.dll"))
        self.assertTrue(self.traces())
        self.assertTrue(self.traces()[0].lower().endswith(b"\\beside\\version.dll"))


if __name__ == "__main__":
    unittest.main()
