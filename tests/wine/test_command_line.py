"""The installer engine's command line, byte for byte as the engine receives it,
for the bootstrapper's options, the passed-on arguments and the display
language; and the re-run that the package may ask for."""
import os
import unittest

import harness
from harness import VENDOR_KEY, WineTestCase
from harness import setUpModule, tearDownModule  # noqa: F401 (one session per module)

DEFAULT_FEATURES = "ADDLOCAL=PublicqorFeature,ToolsFeature"


class CommandLineTestCase(WineTestCase):
    def assertEngineLine(self, tail, middle, exe=None, env=None, package=None):
        """One run with the command-line tail; the engine must be started once
        with exactly '"<engine>" /i "<package>" <middle> WRAPPER=1'."""
        result = self.session.run(exe or self.session.product, tail, env=env)
        self.assertEqual(result.exit_code, 0, result)
        self.assertEqual(result.records, [self.expected_line(middle, package=package)],
                         "command line for %r" % tail)
        return result


class PassedOnArguments(CommandLineTestCase):
    def test_no_arguments_leave_two_blanks_before_wrapper(self):
        result = self.assertEngineLine("", "")
        self.assertIn(b'.msi"  WRAPPER=1', result.records[0])

    def test_arguments_are_passed_on_in_order_each_followed_by_a_blank(self):
        self.assertEngineLine(" INSTALLDIR=D:\\kit B=2 /S", "INSTALLDIR=D:\\kit B=2 /S ")

    def test_quotes_around_a_value_are_removed_and_not_put_back(self):
        self.assertEngineLine(' INSTALLDIR="D:\\my kit" A=1', "INSTALLDIR=D:\\my kit A=1 ")

    def test_bytes_of_the_ansi_code_page_pass_unchanged(self):
        # 0xE9 and 0xFC are letters in code page 1252, which Wine uses here.
        self.assertEngineLine(" INSTALLDIR=D:\\caf\xe9 N=\xfc", "INSTALLDIR=D:\\caf\xe9 N=\xfc ")

    def test_public_runtime_folder_option_adds_nothing(self):
        self.assertEngineLine(" /INSTALLDIRPUBQOR=D:\\pub A=1 /INSTALLDIRPUBQOR=E:\\x", "A=1 ")


class SilentDefaults(CommandLineTestCase):
    def test_silent_alone_appends_no_ui_and_default_features(self):
        self.assertEngineLine(" /s", " /qn " + DEFAULT_FEATURES)

    def test_silent_after_an_argument_gives_two_blanks_before_qn(self):
        self.assertEngineLine(" /s INSTALLDIR=D:\\kit",
                              "INSTALLDIR=D:\\kit  /qn " + DEFAULT_FEATURES)

    def test_addlocal_given_suppresses_the_default_feature_list(self):
        self.assertEngineLine(" ADDLOCAL=ToolsFeature /s", "ADDLOCAL=ToolsFeature  /qn")

    def test_qn_already_present_is_not_added_again(self):
        self.assertEngineLine(" /s /qn X=1", "/qn X=1  " + DEFAULT_FEATURES)

    def test_qn_inside_another_value_counts_as_present(self):
        self.assertEngineLine(" X=a/qnb /s", "X=a/qnb  " + DEFAULT_FEATURES)

    def test_upper_case_s_is_not_the_silent_option(self):
        self.assertEngineLine(" /S", "/S ")


class VForms(CommandLineTestCase):
    def test_v_prefix_frames_its_text_with_blanks(self):
        self.assertEngineLine(" /vFOO=1 A=2", " FOO=1 A=2 ")

    def test_escaped_quotes_are_dropped(self):
        # The user typed /v\"FOO=1\": the program receives /v"FOO=1".
        self.assertEngineLine(' /v\\"FOO=1\\"', " FOO=1 ")

    def test_escaped_form_drops_the_last_character_whatever_it_is(self):
        self.assertEngineLine(' /v\\"FOO', " FO ")

    def test_quoted_list_arrives_unquoted_and_its_addlocal_does_not_count(self):
        self.assertEngineLine(' /v"INSTALLDIR=D:\\x ADDLOCAL=ToolsFeature" /s',
                              " INSTALLDIR=D:\\x ADDLOCAL=ToolsFeature  /qn " + DEFAULT_FEATURES)


class LanguageOption(CommandLineTestCase):
    def test_japanese_selects_the_embedded_transform(self):
        self.assertEngineLine(" /lang=1041", "TRANSFORMS=:1041 ")

    def test_chinese_prc_selects_its_transform_before_the_arguments(self):
        self.assertEngineLine(" A=1 /lang=2052 B=2", "TRANSFORMS=:2052 A=1 B=2 ")

    def test_value_is_reduced_to_16_bits_before_the_test(self):
        # 66569 = 65536 + 1033: English, so no transform at all.
        self.assertEngineLine(" /lang=66569", "")
        # 67588 = 65536 + 2052
        self.assertEngineLine(" /lang=67588", "TRANSFORMS=:2052 ")

    def test_unaccepted_languages_are_dropped_and_never_passed_on(self):
        for tail in (" /lang=1036", " /lang=1028", " PROP=/lang=1041", " /lang=",
                     " /lang=99999999999999999999", " /lang=-99999999999999999999"):
            with self.subTest(tail=tail):
                self.assertEngineLine(tail, "")

    def test_value_is_read_after_the_first_equals_sign(self):
        self.assertEngineLine(" X=1041/lang=5", "TRANSFORMS=:1041 ")

    def test_later_refused_value_keeps_the_earlier_choice(self):
        self.assertEngineLine(" /lang=1041 /lang=1028", "TRANSFORMS=:1041 ")

    def test_leading_blanks_of_the_value_are_skipped(self):
        self.assertEngineLine(' "/lang=  2052"', "TRANSFORMS=:2052 ")


class InterfaceLanguage(CommandLineTestCase):
    """The user's interface language as Wine derives it from the locale."""

    def language_env(self, name, expected_ui):
        env = harness.locale_env(name)
        probe = self.session.probe_system(env=env)
        if int(probe["ui_language"]) != expected_ui:
            self.skipTest("Wine reports UI language %s for %s, not %d"
                          % (probe["ui_language"], name, expected_ui))
        return env

    def test_japanese_interface_selects_1041(self):
        env = self.language_env("ja_JP.UTF-8", 1041)
        self.assertEngineLine("", "TRANSFORMS=:1041 ", env=env)
        with self.subTest("/lang=2052 replaces it"):
            self.assertEngineLine(" /lang=2052", "TRANSFORMS=:2052 ", env=env)
        with self.subTest("a refused /lang keeps it"):
            self.assertEngineLine(" /lang=1028", "TRANSFORMS=:1041 ", env=env)
        with self.subTest("a negative value reduced to 16 bits gives English"):
            # -64503 & 0xFFFF = 1033
            self.assertEngineLine(" /lang=-64503", "", env=env)

    def test_chinese_prc_interface_selects_2052(self):
        env = self.language_env("zh_CN.UTF-8", 2052)
        self.assertEngineLine(" A=1", "TRANSFORMS=:2052 A=1 ", env=env)

    def test_chinese_taiwan_interface_falls_back_to_english(self):
        env = self.language_env("zh_TW.UTF-8", 1028)
        self.assertEngineLine(" A=1", "A=1 ", env=env)


class SixtyFourBitBuild(CommandLineTestCase):
    def test_package_goes_to_the_x64_folder_under_the_same_name(self):
        s = self.session
        package = s.c_path(os.path.join(s.cache_folder(suffix="_x64"), "wyk1.7.0.msi"))
        self.assertEngineLine(" /s", " /qn " + DEFAULT_FEATURES, exe=s.amd64_exe,
                              package=package)


class UpdateServiceGate(CommandLineTestCase):
    """After a successful install, with the runtime's version key present, the
    32-bit build installs the update service; a failed install and the 64-bit
    build never do."""
    RUNTIME_KEY = harness.hklm(harness.product.RUNTIME)

    def setUp(self):
        super().setUp()
        self.session.registry(("set", self.RUNTIME_KEY, "Marker", str(harness.REG_SZ),
                               harness.hex_text("1")))

    def update_service_line(self):
        package = self.session.c_path(os.path.join(self.update_service_folder(), "au.msi"))
        return ('"%s" /i "%s" ALLUSERS=1 /qn' % (self.engine_path(), package)).encode("latin-1")

    def update_service_folder(self):
        return os.path.join(self.session.user_data_folder("locallow"), "Halvec", "Tavro", "AU")

    def test_success_installs_the_update_service_after_the_kit(self):
        s = self.session
        result = s.run(s.product, "")
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(result.records, [self.expected_line(""), self.update_service_line()])
        for name in ("au.cab", "au.msi"):
            with open(os.path.join(self.update_service_folder(), name), "rb") as f:
                self.assertEqual(f.read(), s.payload(name), name)

    def test_restart_required_is_not_success_and_skips_the_update_service(self):
        s = self.session
        result = s.run(s.product, "", env={"WYK_ENGINE_CODES": "3010"})
        self.assertEqual(result.exit_code, 3010)
        self.assertEqual(result.records, [self.expected_line("")])
        self.assertFalse(os.path.exists(self.update_service_folder()))

    def test_64_bit_build_never_installs_the_update_service(self):
        s = self.session
        package = s.c_path(os.path.join(s.cache_folder(suffix="_x64"), "wyk1.7.0.msi"))
        result = s.run(s.amd64_exe, "")
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(result.records, [self.expected_line("", package=package)])
        self.assertFalse(os.path.exists(self.update_service_folder()))


class ReRunRequest(CommandLineTestCase):
    def test_reinstall_runs_the_same_line_once_more_and_takes_its_code(self):
        s = self.session
        result = s.run(s.product, " /s A=1", env={
            "WYK_ENGINE_CODES": "1603,3010",
            "WYK_ENGINE_SET_STATUS": "0:reinstall;1:reinstall"})
        line = self.expected_line("A=1  /qn " + DEFAULT_FEATURES)
        self.assertEqual(result.records, [line, line], "exactly one re-run")
        self.assertEqual(result.exit_code, 3010)
        # The second run's own request is neither honoured nor cleared.
        self.assertEqual(s.get_value(VENDOR_KEY, "InstallStatus"),
                         (harness.REG_SZ, b"reinstall\0"))

    def test_request_is_cleared_before_the_re_run(self):
        s = self.session
        result = s.run(s.product, "", env={"WYK_ENGINE_CODES": "0,0",
                                           "WYK_ENGINE_SET_STATUS": "0:reinstall"})
        self.assertEqual(len(result.records), 2)
        self.assertEqual(result.exit_code, 0)
        self.assertIsNone(s.get_value(VENDOR_KEY, "InstallStatus"))
        self.assertFalse(s.key_exists(VENDOR_KEY), "the emptied vendor key stays")

    def test_other_case_is_no_request_and_is_left_alone(self):
        s = self.session
        result = s.run(s.product, "", env={"WYK_ENGINE_CODES": "1603,0",
                                           "WYK_ENGINE_SET_STATUS": "0:Reinstall"})
        self.assertEqual(result.records, [self.expected_line("")])
        self.assertEqual(result.exit_code, 1603)
        self.assertEqual(s.get_value(VENDOR_KEY, "InstallStatus"),
                         (harness.REG_SZ, b"Reinstall\0"))


if __name__ == "__main__":
    unittest.main()
