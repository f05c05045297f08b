"""A silent install with the default payload: what the kit, the public runtime and
the update service leave behind, feature choice and the language transforms."""
import os
import unittest

from e2e_support import (KIT_DIR, PROGRAM_FILES, KIT_KEY, PAYLOAD_FILES, PRODUCT_CODE_AU, PRODUCT_CODE_KIT,
                         PRODUCT_CODE_QOR, RUNTIME_DIR, RUNTIME_KEY, TOOL_DIR, UNINSTALL_KEY, UPDATE_KEY,
                         VENDOR_KEY, Scenario, hklm, read)


class SilentInstall(Scenario):
    def test_silent_install_installs_kit_defaults_runtime_and_update_service(self):
        code = self.prefix.run(self.exe, "/s")
        self.assertEqual(code, 0)

        # The payload was staged byte for byte in the kit cache folder (Windows 7: LocalLow).
        cache = self.prefix.cache_folder()
        for name in PAYLOAD_FILES:
            self.assertEqual(read(os.path.join(cache, name)), read(os.path.join(self.payload, name)), name)
        au = os.path.join(self.prefix.user_data_folder("locallow"), "Halvec", "Tavro", "AU")
        for name in ("au.msi", "au.cab"):
            self.assertEqual(read(os.path.join(au, name)), read(os.path.join(self.payload, name)), name)

        # The kit with the silent default features only (public runtime and tools).
        kit = self.prefix.c_drive(KIT_DIR)
        self.assertTrue(os.path.isfile(os.path.join(kit, "tools.zip")))
        self.assertTrue(os.path.isfile(os.path.join(kit, "NOTICE.txt")))
        self.assertFalse(os.path.exists(os.path.join(kit, "demos.zip")))
        self.assertFalse(os.path.exists(os.path.join(kit, "src.zip")))
        self.assertValue(KIT_KEY, "TavroHome", "C:\\%s\\Orvale\\Tavro Development Kit 1.7.0\\" % PROGRAM_FILES)
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_KIT))

        # The public runtime was installed from the kit's home folder, which was emptied of it.
        for name in ("qor.msi", "qor1041.MST", "qor2052.MST"):
            self.assertFalse(os.path.exists(os.path.join(kit, name)), name)
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_QOR))
        self.assertTrue(os.path.isfile(self.prefix.c_drive(RUNTIME_DIR, "runtime.pak")))
        self.assertValue(RUNTIME_KEY, "SilentInstall", "1")
        self.assertValue(RUNTIME_KEY, "DisplayName", "Tavro Runtime Environment 1.7.0")

        # The update service, and its registration tool run once with the build string.
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_AU))
        self.assertValue(UPDATE_KEY, "AUVersion", "2.1.5.1")
        with open(self.prefix.c_drive(TOOL_DIR, "tvaureg.log"), "rb") as f:
            self.assertEqual(f.read(), ('"C:\\%s\\Common Files\\Tavro\\Tavro Update\\tvaureg.exe"'
                                        ' -r qor 1.7.0-b147\r\n' % PROGRAM_FILES).encode())

        # No re-run request is left behind.
        self.assertIsNone(self.prefix.get_value(hklm(VENDOR_KEY), "InstallStatus"))

    def test_addlocal_tools_feature_leaves_the_other_features_out(self):
        code = self.prefix.run(self.exe, "/s ADDLOCAL=ToolsFeature")
        self.assertEqual(code, 0)
        kit = self.prefix.c_drive(KIT_DIR)
        self.assertTrue(os.path.isfile(os.path.join(kit, "tools.zip")))
        for name in ("demos.zip", "src.zip", "qor.msi"):
            self.assertFalse(os.path.exists(os.path.join(kit, name)), name)
        # Without the public runtime feature there is no runtime to install, and without
        # the runtime's version key the update service step does not run.
        self.assertFalse(self.prefix.product_installed(PRODUCT_CODE_QOR))
        self.assertFalse(self.prefix.key_exists(hklm(RUNTIME_KEY)))
        self.assertFalse(self.prefix.product_installed(PRODUCT_CODE_AU))
        self.assertIsNone(self.prefix.get_value(hklm(UPDATE_KEY), "AUVersion"))


class LanguageTransforms(Scenario):
    """/lang= selects the transform embedded in the kit package (TRANSFORMS=:n) and
    the runtime's transform file (qorN.MST); both rename the product."""

    def check_language(self, lang, kit_name, runtime_name):
        code = self.prefix.run(self.exe, "/s /lang=%d" % lang)
        self.assertEqual(code, 0)
        self.assertValue(UNINSTALL_KEY + "\\" + PRODUCT_CODE_KIT, "DisplayName", kit_name)
        self.assertValue(KIT_KEY, "DisplayName", kit_name)
        self.assertValue(RUNTIME_KEY, "DisplayName", runtime_name)
        # The transforms change names only: the features are those of the silent default.
        self.assertTrue(os.path.isfile(self.prefix.c_drive(KIT_DIR, "tools.zip")))
        self.assertFalse(os.path.exists(self.prefix.c_drive(KIT_DIR, "demos.zip")))

    def test_lang_1041_applies_the_japanese_transforms(self):
        self.check_language(1041, "Tavro 開発キット 1.7.0", "Tavro ランタイム環境 1.7.0")

    def test_lang_2052_applies_the_chinese_transforms(self):
        self.check_language(2052, "Tavro 开发工具包 1.7.0", "Tavro 运行时环境 1.7.0")


if __name__ == "__main__":
    unittest.main()
