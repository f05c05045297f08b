"""The update service step against installed update services: an older one (with the
product code the setup program removes) goes before the new one is installed; a
newer recorded version keeps it."""
import os
import unittest

from e2e_support import (PRODUCT_CODE_AU, PRODUCT_CODE_AU_NEWER, PRODUCT_CODE_AU_OLD, TOOL_DIR, UPDATE_KEY,
                         Scenario, win_path)


class UpdateServiceVersions(Scenario):
    def install_extra(self, name):
        path = win_path(os.path.join(self.extra, name))
        self.prefix.wine("msiexec", "/i", path, "ALLUSERS=1", "/qn", timeout=300)  # fails unless 0
        self.prefix.wait_server()

    def test_older_update_service_is_removed_before_the_new_one_is_installed(self):
        self.install_extra("au-old.msi")
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_AU_OLD))
        self.assertValue(UPDATE_KEY, "AUVersion", "2.1.5.0")

        self.assertEqual(self.prefix.run(self.exe, "/s"), 0)
        self.assertFalse(self.prefix.product_installed(PRODUCT_CODE_AU_OLD))
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_AU))
        # Both packages own the value through different components: had the old one been
        # removed after the new install, its removal would have taken the value with it.
        self.assertValue(UPDATE_KEY, "AUVersion", "2.1.5.1")
        self.assertTrue(os.path.isfile(self.prefix.c_drive(TOOL_DIR, "tvaureg.exe")))
        self.assertTrue(os.path.isfile(self.prefix.c_drive(TOOL_DIR, "tvaureg.log")))

    def test_newer_recorded_update_service_is_not_removed(self):
        self.install_extra("au-old.msi")
        self.install_extra("au-newer.msi")
        self.assertValue(UPDATE_KEY, "AUVersion", "2.2.0.0")

        self.assertEqual(self.prefix.run(self.exe, "/s"), 0)
        # 2.2.0.0 is not below 2.1.5.1: nothing was removed, not even the product whose
        # code the removal names.
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_AU_OLD))
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_AU_NEWER))
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_AU))


if __name__ == "__main__":
    unittest.main()
