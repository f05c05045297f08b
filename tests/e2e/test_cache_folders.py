"""The per-user cache: a second run replaces the staged files; Windows XP and Server
2003 versions stage below the roaming folder and (5.2) take the engine from the
system directory."""
import os
import unittest

from e2e_support import (INSTALLER_KEY, KIT_DIR, PAYLOAD_FILES, PRODUCT_CODE_KIT, Scenario, hklm, read)


class SecondRun(Scenario):
    def test_second_run_for_the_same_user_replaces_the_cached_files(self):
        self.assertEqual(self.prefix.run(self.exe, "/s"), 0)
        cache = self.prefix.cache_folder()
        # Spoil every staged file; only a rewrite restores them.
        for name in PAYLOAD_FILES:
            with open(os.path.join(cache, name), "wb") as f:
                f.write(b"left over from an interrupted run")
        self.assertEqual(self.prefix.run(self.exe, "/s"), 0)
        for name in PAYLOAD_FILES:
            self.assertEqual(read(os.path.join(cache, name)), read(os.path.join(self.payload, name)), name)
        self.assertEqual(sorted(os.listdir(cache)), sorted(PAYLOAD_FILES))
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_KIT))


class OlderSystems(Scenario):
    def check_roaming(self, version, remove_installer_location):
        self.prefix.registry(*self.prefix.version_ops(os.path.basename(self.exe), version))
        if remove_installer_location:
            self.prefix.wine("reg", "delete", "HKLM\\" + INSTALLER_KEY, "/v", "InstallerLocation", "/f")
        self.assertEqual(self.prefix.run(self.exe, "/s"), 0)
        if remove_installer_location:
            self.assertIsNone(self.prefix.get_value(hklm(INSTALLER_KEY), "InstallerLocation"))
        roaming = self.prefix.cache_folder("roaming")
        for name in PAYLOAD_FILES:
            self.assertEqual(read(os.path.join(roaming, name)), read(os.path.join(self.payload, name)), name)
        self.assertFalse(os.path.exists(os.path.join(self.prefix.user_data_folder("locallow"), "Halvec")))
        self.assertTrue(os.path.isfile(os.path.join(self.prefix.user_data_folder("roaming"), "Halvec", "Tavro", "AU",
                                                    "au.msi")))
        self.assertTrue(os.path.isfile(self.prefix.c_drive(KIT_DIR, "tools.zip")))
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_KIT))

    def test_windows_xp_stages_below_the_roaming_folder(self):
        self.check_roaming("winxp", remove_installer_location=False)

    def test_server_2003_stages_below_roaming_and_finds_the_engine_in_the_system_directory(self):
        # Without "InstallerLocation" only the system directory can give the engine.
        self.check_roaming("win2003", remove_installer_location=True)


if __name__ == "__main__":
    unittest.main()
