"""Staged files and the cache folder levels cannot be swapped while the
bootstrapper runs, yet the engine reads them and other programs save files
into the levels; stale files a run finds are
replaced whatever their attributes or letter case; of two bootstrappers
started at once for the same user one runs, the other ends with 1618 at once,
and no cabinet is left cut short."""
import os
import time
import unittest

import reliability
import harness  # found through the path that reliability sets
from reliability import (ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, KIT_FILES, PACKAGE,
                         RUNTIME_KEY, SERVICE_FILES, ReliabilityCase, Runs, win_path)
from harness import setUpModule, tearDownModule  # noqa: F401 (one session per module)

ATTEMPTS = ("write", "attributes", "replace", "rename", "delete")
# What the platform answers while the bootstrapper holds a file for reading
# with read-only sharing: a sharing violation for every open that would
# write or delete, access denied for putting another file in its place.
REFUSED = {"write": str(ERROR_SHARING_VIOLATION), "attributes": str(ERROR_SHARING_VIOLATION),
           "replace": str(ERROR_ACCESS_DENIED), "rename": str(ERROR_SHARING_VIOLATION),
           "delete": str(ERROR_SHARING_VIOLATION)}
ERROR_INSTALL_ALREADY_RUNNING = 1618
# Other programs save into a held level; nobody renames or removes it.
FOLDER_WHILE_HELD = {"add": "ok", "move-in": "ok", "delete": str(ERROR_SHARING_VIOLATION)}
READ_ONLY, HIDDEN, SYSTEM = 1, 2, 4


class HeldStagedFiles(ReliabilityCase):
    def assertAllRefused(self, outcome, names, when):
        for name in names:
            attempts = outcome[name]
            # Readers are not shut out: only reading is shared.
            self.assertEqual(attempts["read"], "ok", "%s: %s could not be read" % (when, name))
            for attempt in ATTEMPTS:
                self.assertEqual(attempts[attempt], REFUSED[attempt],
                                 "%s: %s of %s was not refused" % (when, attempt, name))

    def test_no_staged_file_can_be_rewritten_renamed_or_deleted_during_the_run(self):
        s = self.session
        env, hold, report = self.use_patient_engine()
        # With the runtime registered and success, the update-service step runs too.
        s.registry(("mkkey", RUNTIME_KEY))
        kit = [os.path.join(s.cache_folder(), name) for name in KIT_FILES]
        levels = [os.path.dirname(os.path.dirname(s.cache_folder())),
                  os.path.dirname(s.cache_folder()), s.cache_folder()]
        service_folder = os.path.join(s.user_data_folder("locallow"), "Halvec", "Tavro", "AU")
        service = [os.path.join(service_folder, name) for name in SERVICE_FILES]

        runs = Runs(self.session, [harness.command_line(s.product)], env=s.env(env))
        s.wait_for_file(os.path.join(hold, "ready-" + reliability.PACKAGE), runs.process)
        during_kit = self.swap_attempts(kit + levels)
        levels_during_kit = self.swap_attempts(levels, verb="try-folder")
        self.release(hold, reliability.PACKAGE)
        s.wait_for_file(os.path.join(hold, "ready-au.msi"), runs.process)
        during_service = self.swap_attempts(service + kit)
        levels_during_service = self.swap_attempts(levels + [service_folder], verb="try-folder")
        self.release(hold, "au.msi")
        self.assertEqual(runs.wait(), [0])

        self.assertAllRefused(during_kit, KIT_FILES, "while the engine ran the kit")
        for level in levels:
            self.assertNotEqual(during_kit[os.path.basename(level)]["rename"], "ok",
                                "the cache level %s could be renamed" % level)
        self.assertAllRefused(during_service, SERVICE_FILES + KIT_FILES,
                              "while the engine ran the update service")
        for outcome in (levels_during_kit, levels_during_service):
            for name, attempts in outcome.items():
                self.assertEqual(attempts, FOLDER_WHILE_HELD, name)

        # The engine read every file whole while they were held.
        engine = reliability.read_key_values(report, every=True)
        self.assertEqual(engine["package"], [reliability.PACKAGE, "au.msi"])
        self.assertEqual(engine["set"], ["1"])
        for name in KIT_FILES + SERVICE_FILES:
            self.assertEqual(engine["read." + name], [str(len(s.payload(name)))], name)

        self.assertCabinetsComplete(s.cache_folder(), names=KIT_FILES)
        for path in service:
            with open(path, "rb") as f:
                self.assertTrue(f.read() == s.payload(os.path.basename(path)), path)

        # Once the process has ended the handles are gone: the same attempts
        # now succeed, so the refusals above came from the running bootstrapper.
        after = self.swap_attempts(kit[:1] + service[:1] + levels[-1:])
        for name in (reliability.PACKAGE, "au.msi"):
            self.assertEqual(after[name], {a: "ok" for a in ("read",) + ATTEMPTS}, name)
        self.assertEqual(after["wyk1.7.0"]["rename"], "ok")
        self.assertEqual(self.swap_attempts([service_folder], verb="try-folder")["AU"]["delete"], "ok")


class StaleStagedFiles(ReliabilityCase):
    """Files left in the kit cache folder by a backup tool, a copy from a CD or
    a user's script. Run without root's override, as Windows refuses to write
    a read-only file (and Wine as root does not)."""

    def probe(self, *verb):
        done = self.session.wine(self.session.exe("platform_probe.exe"), *verb)
        return done.stdout.decode("latin-1").split("=")[-1].strip()

    def test_read_only_or_hidden_and_system_package_and_cabinet_are_replaced(self):
        s = self.session
        for marks in (READ_ONLY, HIDDEN | SYSTEM):
            with self.subTest(attributes=marks):
                s.clear_cache()
                os.makedirs(s.cache_folder())
                stale = [os.path.join(s.cache_folder(), name) for name in (PACKAGE, "sj170000.cab")]
                for path in stale:
                    with open(path, "wb") as f:
                        f.write(b"stale " * 50000)
                    self.assertEqual(self.probe("set-attributes", win_path(path), str(marks)), "1")
                result = s.run(s.product, "", without_override=True)
                self.assertEqual(result.exit_code, 0)
                self.assertCabinetsComplete(s.cache_folder(), names=KIT_FILES)
                for path in stale:
                    attributes = int(self.probe("attributes", win_path(path)))
                    self.assertEqual(attributes & (READ_ONLY | HIDDEN | SYSTEM), 0, path)

    def test_stale_package_in_another_letter_case_is_replaced(self):
        s = self.session
        os.makedirs(s.cache_folder())
        stale = os.path.join(s.cache_folder(), PACKAGE.upper())
        with open(stale, "wb") as f:
            f.write(b"stale")
        self.assertEqual(s.run(s.product, "").exit_code, 0)
        self.assertNotIn(PACKAGE, os.listdir(s.cache_folder()), "a second package was made")
        with open(stale, "rb") as f:
            self.assertTrue(f.read() == s.payload(PACKAGE))


class TwoBootstrappersAtOnce(ReliabilityCase):
    """Told apart by the run lock, not by the folders: other programs may
    open the levels as a second run would."""
    ROUNDS = 3

    def wait_for_copies(self, exes, count, limit=45):
        """Waits until no more than count processes of these programs run in
        this module's prefix (a Wine process shows its Windows command line;
        other test runs on the machine run the same programs in prefixes of
        their own)."""
        names = [win_path(exe).encode() for exe in set(exes)]
        prefix = b"WINEPREFIX=" + self.session.prefix.encode()
        deadline = time.time() + limit
        while True:
            running = 0
            for pid in filter(str.isdigit, os.listdir("/proc")):
                try:
                    with open("/proc/%s/cmdline" % pid, "rb") as f, \
                            open("/proc/%s/environ" % pid, "rb") as e:
                        line = f.read()
                        running += any(n in line for n in names) and prefix in e.read().split(b"\0")
                except OSError:
                    pass
            if running <= count:
                return
            self.assertLess(time.time(), deadline, "%d copies still run" % running)
            time.sleep(0.1)

    def test_one_runs_the_other_ends_with_1618_at_once_and_no_cabinet_is_cut_short(self):
        s = self.session
        # The last round starts the 64-bit product beside this one: its kit
        # folder is another, its lock the same.
        seconds = [s.product] * (self.ROUNDS - 1) + [s.amd64_exe]
        for round_number, second in enumerate(seconds):
            with self.subTest(round=round_number, second=os.path.basename(second)):
                s.clear_cache()
                env, hold, report = self.use_patient_engine()
                dialog = harness.DialogReader(s, 40)
                lines = [harness.command_line(exe, " /s") for exe in (s.product, second)]
                runs = Runs(self.session, lines, env=s.env(env))
                # The engine of the one that got ahead waits; the other one
                # finds the cache held and ends without a word.
                s.wait_for_file(os.path.join(hold, "ready-" + reliability.PACKAGE), runs.process)
                self.wait_for_copies((s.product, second), 1)
                self.release(hold, reliability.PACKAGE)
                outcomes = runs.wait()
                dialog.stop()

                self.assertEqual(sorted(outcomes), [0, ERROR_INSTALL_ALREADY_RUNNING])
                self.assertFalse(os.path.exists(dialog.out), "the second bootstrapper showed a box")
                engine = reliability.read_key_values(report, every=True)
                self.assertEqual(len(engine["start"]), 1, "only the winner runs the engine")
                # The winner's kit folder is whole; the other one's was never made.
                winner = (s.product, second)[outcomes.index(0)]
                folders = [s.cache_folder(suffix=x) for x in ("", "_x64")]
                made = [f for f in folders if os.path.exists(f)]
                self.assertEqual(made, [folders[winner == s.amd64_exe]])
                for name in KIT_FILES:
                    self.assertEqual(engine["read." + name], [str(len(s.payload(name, winner)))], name)
                self.assertEqual(sorted(os.listdir(made[0])), sorted(KIT_FILES))
                self.assertCabinetsComplete(made[0], exe=winner, names=KIT_FILES)


if __name__ == "__main__":
    unittest.main()
