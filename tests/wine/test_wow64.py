"""What only the PE32 under WoW64 shows: the program's registry values lie in
the 32-bit view (a 64-bit build reads the other one), its system folder is
the redirected one, a 64-bit engine finds the files it is handed below that
folder, and the functions it looks up at run time are called with
the 32-bit convention (a wrong one corrupts the stack on x86 only: the delete
of the emptied vendor key, the known-folder lookup of LocalLow and the reading
of the engine library's version all run here).

Where this machine cannot execute 32-bit code the module ends with 77, which
the test run reports as skipped, with the reason."""
import os
import sys
import unittest

import harness
import product
from harness import PACKAGE, SYSTEM_LOCAL_LOW, VENDOR_KEY, WineTestCase, hex_text, win_path
from harness import setUpModule, tearDownModule  # noqa: F401 (one session per module)
from product import OLD_SERVICE_REMOVAL
from harness import target

KIT_KEY, RUNTIME_KEY, UPDATE_KEY = map(product.hklm, (product.KIT, product.RUNTIME,
                                                      product.AUTO_UPDATE))


def in_64_bit_view(key):
    return key.replace("HKLM\\", "HKLM64\\", 1)


class RegistryView(WineTestCase):
    def kit_home(self, name):
        """A kit folder holding the public runtime's package; its Windows name."""
        folder = self.session.c_drive(name)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "qor.msi"), "wb") as f:
            f.write(b"qor")
        self.addCleanup(harness.shutil.rmtree, folder, True)
        return "C:\\" + name

    def test_values_the_program_reads_come_from_the_32_bit_view(self):
        s = self.session
        # The 64-bit view holds decoys: another engine folder, another kit,
        # no runtime key, a current update service.
        s.registry(("set", in_64_bit_view(harness.INSTALLER_KEY), "InstallerLocation",
                    str(harness.REG_SZ), hex_text("C:\\engine64")),
                   ("set", in_64_bit_view(KIT_KEY), "TavroHome", str(harness.REG_SZ),
                    hex_text(self.kit_home("kit64"))),
                   ("set", in_64_bit_view(UPDATE_KEY), "AUVersion", str(harness.REG_SZ),
                    hex_text("2.1.5.1")),
                   ("set", KIT_KEY, "TavroHome", str(harness.REG_SZ),
                    hex_text(self.kit_home("kit32"))),
                   ("mkkey", RUNTIME_KEY),
                   ("set", UPDATE_KEY, "AUVersion", str(harness.REG_SZ), hex_text("2.1.5.0")))
        result = s.run(s.product, " /s")
        self.assertEqual(result.exit_code, 0)
        records = result.records
        # InstallerLocation: the engine of the 32-bit view ran every step (the
        # removal of the old service gets its arguments only as its line).
        self.assertEqual(len(records), 4, records)
        self.assertTrue(all(r.startswith(b'"' + self.engine_path().encode())
                            for r in records if not r.endswith(OLD_SERVICE_REMOVAL)), records)
        # TavroHome: the public runtime from the 32-bit view's kit.
        runtime = [r for r in records if b"qor.msi" in r]
        self.assertEqual(len(runtime), 1, records)
        self.assertIn(b'"C:\\kit32\\qor.msi"', runtime[0])
        # The runtime key of the 32-bit view lets the update service in, and
        # its older AUVersion has the old service removed first.
        self.assertTrue(any(r.endswith(b'au.msi" ALLUSERS=1 /qn') for r in records), records)
        self.assertTrue(any(r.endswith(OLD_SERVICE_REMOVAL) for r in records), records)

    def test_re_run_request_is_taken_and_removed_in_the_32_bit_view_only(self):
        s = self.session
        s.registry(("set", in_64_bit_view(VENDOR_KEY), "InstallStatus", str(harness.REG_SZ),
                    hex_text("reinstall")))
        # The engine leaves the request in its own view, the program's.
        result = s.run(s.product, "", env={"WYK_ENGINE_SET_STATUS": "0:reinstall",
                                           "WYK_ENGINE_CODES": "0,3010"})
        self.assertEqual(result.exit_code, 3010)
        self.assertEqual(result.records, [self.expected_line("")] * 2)
        # The emptied vendor key is deleted (through the function the program
        # looks up at run time) in the 32-bit view; the 64-bit one is untouched.
        self.assertFalse(s.key_exists(VENDOR_KEY))
        self.assertEqual(s.get_value(in_64_bit_view(VENDOR_KEY), "InstallStatus"),
                         (harness.REG_SZ, b"reinstall\0"))


class RedirectedSystemFolder(WineTestCase):
    def test_engine_library_version_is_read_through_the_redirected_folder(self):
        s = self.session
        # An engine library too old in the 64-bit system folder does not matter ...
        target_dir = s.c_drive("windows", "system32", "msi.dll")
        saved = target_dir + ".wyk-saved"
        os.rename(target_dir, saved)
        self.addCleanup(os.replace, saved, target_dir)
        harness.shutil.copyfile(os.path.join(s.win_dir, "engine-libraries",
                                             "msi-2.0.2599.65535.dll"), target_dir)
        override = [harness.SYSTEM_FILE_OVERRIDES["msi.dll"]]
        result = s.run(s.product, "", dll_overrides=override)
        self.assertEqual(result.exit_code, 0)
        # ... the one in syswow64 does.
        s.replace_system_file("msi.dll", os.path.join(s.win_dir, "engine-libraries",
                                                      "msi-2.0.2599.65535.dll"))
        self.addCleanup(s.restore_system_file, "msi.dll")
        result = s.run(s.product, "", dialog=True, dll_overrides=override)
        self.assertEqual(result.exit_code, -2)

    def test_server_2003_takes_the_engine_of_the_redirected_system_folder(self):
        s = self.session
        s.registry(*s.version_ops("wyk-7-windows-i586.exe", "win2003"))
        s.registry(*s.engine_location_ops(None))
        s.replace_system_file("msiexec.exe", os.path.join(s.fake_engine_dir, "msiexec.exe"))
        self.addCleanup(s.restore_system_file, "msiexec.exe")
        result = s.run(s.product, "", env={"WYK_ENGINE_CODES": "3010"},
                       dll_overrides=[harness.SYSTEM_FILE_OVERRIDES["msiexec.exe"]])
        # The program names C:\windows\system32; Wine started the file in syswow64.
        self.assertEqual(result.exit_code, 3010)
        self.assertEqual(len(result.records), 1)
        self.assertTrue(result.records[0].lower().startswith(b'"c:\\windows\\system32\\msiexec.exe"'),
                        result.records)


class SystemAsUser(WineTestCase):
    def test_a_64_bit_engine_finds_what_it_is_handed_below_the_system_folder(self):
        # SYSTEM's data folder, as deployment tools run the program, and the
        # engine as 64-bit code, which WoW64 does not redirect.
        s = self.session
        self.use_system_local_low()
        engine64 = os.path.join(harness.env_path("WYK_BUILD_DIR"), "win-x64-i586", "fake-engine")
        # The kit and the update service only: no public runtime, no removal.
        s.registry(*s.engine_location_ops(win_path(engine64)), ("delk", KIT_KEY),
                   ("delk", UPDATE_KEY), ("mkkey", RUNTIME_KEY))
        self.addCleanup(s.registry, ("delk", RUNTIME_KEY))
        report = s.work_file("engine-report.txt")
        result = s.run(s.product, " /s", env={"WYK_ENGINE_REPORT": win_path(report),
                                              "WYK_ENGINE_HOLD_DIR": win_path(s.work),
                                              "WYK_ENGINE_HOLD_MS": "0"})
        self.assertEqual(result.exit_code, 0)
        # Named below the WoW64 system folder, which means the same to both,
        # and read whole there by the engine.
        tavro = SYSTEM_LOCAL_LOW.lower().replace("system32", "syswow64") + "\\halvec\\tavro\\"
        packages = [r.lower().split(b' /i "')[1].split(b'"')[0] for r in result.records]
        self.assertEqual(packages, [(tavro + name).lower().encode()
                                    for name in ("wyk1.7.0\\" + PACKAGE, "au\\au.msi")])
        engine = harness.read_key_values(report, every=True)
        for name in (PACKAGE,) + tuple(harness.CABINETS) + ("au.cab", "au.msi"):
            self.assertEqual(engine["read." + name], [str(len(s.payload(name)))], name)


if __name__ == "__main__":
    if not target().pe32:
        print("SKIPPED: the PE32 cannot run here: %s" % target().note)
        sys.exit(77)
    unittest.main()
