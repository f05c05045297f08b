"""Staged files cannot be swapped while the bootstrapper runs, yet the engine
reads them; two bootstrappers started at once for the same user both end with
a documented outcome and leave no cabinet cut short."""
import os
import unittest

import reliability
import harness  # found through the path that reliability sets
from reliability import (CREATE_FILE, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, KIT_FILES,
                         OPEN_FOR_READING, RUNTIME_KEY, SERVICE_FILES, ReliabilityCase, Runs)
from harness import setUpModule, tearDownModule  # noqa: F401 (one session per module)

ATTEMPTS = ("write", "attributes", "replace", "rename", "delete")
# What the platform answers while the bootstrapper holds a file for reading
# with read-only sharing: a sharing violation for every open that would
# write or delete, access denied for putting another file in its place.
REFUSED = {"write": str(ERROR_SHARING_VIOLATION), "attributes": str(ERROR_SHARING_VIOLATION),
           "replace": str(ERROR_ACCESS_DENIED), "rename": str(ERROR_SHARING_VIOLATION),
           "delete": str(ERROR_SHARING_VIOLATION)}


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
        service_folder = os.path.join(s.user_data_folder("locallow"), "Halvec", "Tavro", "AU")
        service = [os.path.join(service_folder, name) for name in SERVICE_FILES]

        runs = Runs(self.session, [harness.command_line(s.product)], env=s.env(env))
        s.wait_for_file(os.path.join(hold, "ready-" + reliability.PACKAGE), runs.process)
        during_kit = self.swap_attempts(kit)
        self.release(hold, reliability.PACKAGE)
        s.wait_for_file(os.path.join(hold, "ready-au.msi"), runs.process)
        during_service = self.swap_attempts(service + kit)
        self.release(hold, "au.msi")
        self.assertEqual(runs.wait(), [0])

        self.assertAllRefused(during_kit, KIT_FILES, "while the engine ran the kit")
        self.assertAllRefused(during_service, SERVICE_FILES + KIT_FILES,
                              "while the engine ran the update service")

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
        after = self.swap_attempts(kit[:1] + service[:1])
        for name in (reliability.PACKAGE, "au.msi"):
            self.assertEqual(after[name], {a: "ok" for a in ("read",) + ATTEMPTS}, name)


class TwoBootstrappersAtOnce(ReliabilityCase):
    ROUNDS = 3

    def test_one_runs_the_other_ends_with_32_and_no_cabinet_is_cut_short(self):
        s = self.session
        refusals = [self.fatal_text(operation, ERROR_SHARING_VIOLATION)
                    for operation in (CREATE_FILE, OPEN_FOR_READING)]
        for round_number in range(self.ROUNDS):
            with self.subTest(round=round_number):
                s.clear_cache()
                env, hold, report = self.use_patient_engine()
                dialog = harness.DialogReader(s, 40)
                runs = Runs(self.session, [harness.command_line(s.product, " /s")] * 2, env=s.env(env))
                # The engine of the one that got ahead waits; the other one
                # finds the package (or a cabinet) taken and reports it.
                box = dialog.wait()
                self.release(hold, reliability.PACKAGE)
                outcomes = runs.wait()

                self.assertEqual(sorted(outcomes), [0, ERROR_SHARING_VIOLATION])
                self.assertIsNotNone(box, "the second bootstrapper showed no message box")
                self.assertEqual(box["CAPTION"], b"Error")
                self.assertIn(box["TEXT"], refusals)
                engine = reliability.read_key_values(report, every=True)
                self.assertEqual(len(engine["start"]), 1, "only the winner runs the engine")
                for name in KIT_FILES:
                    self.assertEqual(engine["read." + name], [str(len(s.payload(name)))], name)
                self.assertEqual(sorted(self.kit_files()), sorted(KIT_FILES))
                self.assertCabinetsComplete(s.cache_folder(), names=KIT_FILES)


if __name__ == "__main__":
    unittest.main()
