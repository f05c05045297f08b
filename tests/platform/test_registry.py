"""Registry access through the real registry of a Wine prefix: how string
values are judged, the re-run request, its deletion with the vendor key, and
the other vendor values."""
import os
import unittest

import wine_env
from wine_env import hexarg, read_records, reg_set, unhex, win_path
from wine_env import setUpModule, tearDownModule  # noqa: F401 (one Wine environment per module)
import product  # noqa: E402

VENDOR, KIT, RUNTIME, AUTO_UPDATE, INSTALLER = map(product.hklm, (
    product.VENDOR, product.KIT, product.RUNTIME, product.AUTO_UPDATE, product.INSTALLER))

REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 0, 1, 2, 3, 4, 7
ERROR_INVALID_DATA = 13


CLEAN_VENDOR_KEY = ("delk", VENDOR)


class StringJudging(unittest.TestCase):
    """"InstallStatus" of every awkward shape, read with capacity 512 both
    through the wrapper and through the vendor-value operation."""

    def judge(self, reg_type, data, capacity=512):
        env = wine_env.env()
        env.registry(CLEAN_VENDOR_KEY, reg_set(VENDOR, "InstallStatus", reg_type, data))
        checked, vendor = env.probe(
            ["read-checked-string", hexarg(VENDOR), "InstallStatus", capacity],
            ["read-vendor-string", "InstallStatus", capacity])
        # Nothing is ever written past the capacity.
        self.assertEqual(checked["guard"], "ok")
        self.assertEqual(vendor["guard"], "ok")
        return checked, vendor

    def assertRefused(self, checked, vendor, code=ERROR_INVALID_DATA):
        self.assertEqual(int(checked["result"]), code)
        self.assertEqual(unhex(checked["text"]), b"")
        self.assertEqual(checked["terminated"], "1")
        self.assertEqual(vendor["result"], "0")
        self.assertEqual(unhex(vendor["text"]), b"")

    def test_empty_string_is_read_but_counts_as_no_request(self):
        checked, vendor = self.judge(REG_SZ, b"\0")
        self.assertEqual((checked["result"], checked["size"]), ("0", "1"))
        self.assertEqual(unhex(checked["text"]), b"")
        self.assertEqual(vendor["result"], "0")

    def test_value_of_size_zero_gives_empty_text_and_success(self):
        checked, vendor = self.judge(REG_SZ, b"")
        self.assertEqual((checked["result"], checked["size"]), ("0", "0"))
        self.assertEqual(unhex(checked["text"]), b"")
        self.assertEqual(checked["terminated"], "1")
        self.assertEqual(vendor["result"], "0")

    def test_number_is_not_text(self):
        self.assertRefused(*self.judge(REG_DWORD, (1).to_bytes(4, "little")))

    def test_binary_and_untyped_data_are_not_text_even_with_a_zero(self):
        self.assertRefused(*self.judge(REG_BINARY, b"reinstall\0"))
        self.assertRefused(*self.judge(REG_NONE, b"reinstall\0"))

    def test_expandable_string_with_zero_is_text(self):
        checked, vendor = self.judge(REG_EXPAND_SZ, b"reinstall\0")
        self.assertEqual((checked["result"], checked["size"]), ("0", "10"))
        self.assertEqual(unhex(checked["text"]), b"reinstall")
        self.assertEqual(vendor["result"], "1")
        self.assertEqual(unhex(vendor["text"]), b"reinstall")

    def test_string_stored_without_its_zero_is_refused(self):
        # The platform may put a zero behind the data in the buffer; the stored
        # size is what counts.
        self.assertRefused(*self.judge(REG_SZ, b"reinstall"))
        self.assertRefused(*self.judge(REG_EXPAND_SZ, b"reinstall"))

    def test_multi_string_forms(self):
        checked, vendor = self.judge(REG_MULTI_SZ, b"\0")
        self.assertEqual((checked["result"], checked["size"]), ("0", "1"))
        self.assertEqual(vendor["result"], "0")
        checked, vendor = self.judge(REG_MULTI_SZ, b"reinstall\0\0")
        self.assertEqual(checked["result"], "0")
        self.assertEqual(unhex(vendor["text"]), b"reinstall")
        # Last byte zero, the one before it not: not a complete multi-string.
        self.assertRefused(*self.judge(REG_MULTI_SZ, b"ab\0cd\0"))
        self.assertRefused(*self.judge(REG_MULTI_SZ, b"ab\0cd"))

    def test_value_exactly_filling_the_capacity(self):
        checked, vendor = self.judge(REG_SZ, b"a" * 511 + b"\0")
        self.assertEqual((checked["result"], checked["size"]), ("0", "512"))
        self.assertEqual(unhex(checked["text"]), b"a" * 511)
        self.assertEqual(vendor["result"], "1")
        self.assertEqual(unhex(vendor["text"]), b"a" * 511)
        # The same 512 bytes without room for the zero.
        self.assertRefused(*self.judge(REG_SZ, b"a" * 512))

    def test_value_larger_than_the_buffer(self):
        checked, vendor = self.judge(REG_SZ, b"b" * 600 + b"\0")
        self.assertEqual(checked["size"], "601")  # the size it would need
        self.assertRefused(checked, vendor)

    def test_missing_value_and_missing_vendor_key(self):
        env = wine_env.env()
        env.registry(CLEAN_VENDOR_KEY, ("mkkey", VENDOR))
        checked, vendor = env.probe(["read-checked-string", hexarg(VENDOR), "InstallStatus", 512],
                                    ["read-vendor-string", "InstallStatus", 512])
        self.assertNotEqual(checked["result"], "0")
        self.assertEqual(unhex(checked["text"]), b"")
        self.assertEqual(vendor["result"], "0")
        env.registry(CLEAN_VENDOR_KEY)
        vendor = env.probe_one("read-vendor-string", "InstallStatus", 512)
        self.assertEqual(vendor["result"], "0")
        self.assertEqual(unhex(vendor["text"]), b"")

    def test_size_query_without_buffer(self):
        env = wine_env.env()
        env.registry(CLEAN_VENDOR_KEY, reg_set(VENDOR, "InstallStatus", REG_SZ, b"reinstall\0"))
        line = env.probe_one("query-string-size", hexarg(VENDOR), "InstallStatus", 0)
        self.assertEqual((line["result"], line["size"]), ("0", "10"))

    def test_null_text_is_refused_with_invalid_parameter(self):
        line = wine_env.env().probe_one("write-null-text")
        self.assertEqual((line["open"], line["result"]), ("0", "87"))


class ClearingTheRequest(unittest.TestCase):
    """ClearInstallStatus and the vendor key's deletion."""

    def clear_and_look(self, *setup):
        """The vendor key ((subkeys, values) or None), the request and
        HKLM\\Software after the request is cleared."""
        env = wine_env.env()
        env.registry(CLEAN_VENDOR_KEY, *setup)
        self.assertEqual(env.probe_one("clear-install-status")["result"], "1")
        return (env.key_info(VENDOR), env.get_value(VENDOR, "InstallStatus"),
                env.key_info(r"HKLM\Software"))

    def test_other_values_keep_the_vendor_key(self):
        info, status, _ = self.clear_and_look(
            reg_set(VENDOR, "InstallStatus", REG_SZ, b"reinstall\0"),
            reg_set(VENDOR, "Other", REG_SZ, b"stays\0"))
        self.assertIsNone(status)
        self.assertEqual(info, (0, 1))  # no subkey, one value

    def test_a_subkey_keeps_the_vendor_key(self):
        info, status, _ = self.clear_and_look(
            reg_set(VENDOR, "InstallStatus", REG_SZ, b"reinstall\0"), ("mkkey", VENDOR + r"\Child"))
        self.assertIsNone(status)
        self.assertEqual(info, (1, 0))  # one subkey, no value

    def test_last_value_takes_the_vendor_key_with_it(self):
        info, status, software = self.clear_and_look(
            reg_set(VENDOR, "InstallStatus", REG_SZ, b"reinstall\0"))
        self.assertIsNone(info)
        self.assertIsNotNone(software)

    def test_empty_vendor_key_without_the_value_is_deleted(self):
        info, _, _ = self.clear_and_look(("mkkey", VENDOR))
        self.assertIsNone(info)

    def test_missing_vendor_key_changes_nothing(self):
        env = wine_env.env()
        env.registry(CLEAN_VENDOR_KEY)
        before = env.key_info(r"HKLM\Software")
        info, _, after = self.clear_and_look()
        self.assertIsNone(info)  # not created either
        self.assertEqual(after, before)

    def test_open_of_missing_name_keeps_the_held_key_usable(self):
        env = wine_env.env()
        env.registry(CLEAN_VENDOR_KEY, reg_set(VENDOR, "Keep", REG_SZ, b"kept\0"))
        line = env.probe_one("open-twice", hexarg(VENDOR), hexarg(VENDOR + r"\NoSuchKey"), "Keep")
        self.assertEqual(line["first"], "0")
        self.assertEqual(line["second"], "2")  # ERROR_FILE_NOT_FOUND
        self.assertEqual(line["same_handle"], "1")
        self.assertEqual(line["read"], "0")
        self.assertEqual(unhex(line["text"]), b"kept")
        self.assertEqual(line["close"], "0")


class VendorValues(unittest.TestCase):

    def test_runtime_key_existence(self):
        env = wine_env.env()
        env.registry(("delk", RUNTIME))
        self.assertEqual(env.probe_one("is-runtime-registered")["result"], "0")
        env.registry(("mkkey", RUNTIME))
        self.assertEqual(env.probe_one("is-runtime-registered")["result"], "1")  # no values needed
        env.registry(("delk", RUNTIME))

    def test_kit_home(self):
        env = wine_env.env()
        cases = [
            (REG_SZ, b"D:\\Kit\\\0", 1, b"D:\\Kit\\"),
            (REG_SZ, b"\0", 1, b""),  # an empty text counts as read
            (REG_SZ, b"D:\\Kit", 0, b""),  # no terminating zero
            (REG_SZ, b"D" * 1024, 0, b""),  # fills the buffer exactly, no zero
            (REG_SZ, b"D" * 1023 + b"\0", 1, b"D" * 1023),  # the longest that is read
            (REG_DWORD, (7).to_bytes(4, "little"), 0, b""),
        ]
        for reg_type, data, result, text in cases:
            with self.subTest(data=data, reg_type=reg_type):
                env.registry(("delk", KIT), reg_set(KIT, "TavroHome", reg_type, data))
                line = env.probe_one("read-devkit-home", 1024)
                self.assertEqual(int(line["result"]), result)
                self.assertEqual(unhex(line["text"]), text)
                self.assertEqual(line["guard"], "ok")
        env.registry(("delk", KIT), ("mkkey", KIT))
        self.assertEqual(env.probe_one("read-devkit-home", 1024)["result"], "0")  # no value
        env.registry(("delk", KIT))
        self.assertEqual(env.probe_one("read-devkit-home", 1024)["result"], "0")  # no key

    def test_update_service_version_decides_the_removal(self):
        env = wine_env.env()
        cases = [
            (b"2.1.5.0\0", 1, 1),
            (b"2.1.5.1\0", 1, 0),
            (b"2.1.5.10\0", 1, 0),
            (b"2.1.10.0\0", 1, 1),  # compared as text, character by character
            (b"10.0.0.0\0", 1, 1),
            (b"2.1.6\0", 1, 0),
            (b"\0", 1, 1),  # the empty text is lower than any version
            (b"1" * 1023 + b"\0", 1, 1),  # the longest value that keeps its zero
            # Fills the whole 1024-byte buffer without a zero: unreadable, although
            # its text would compare lower.
            (b"1" * 1024, 1, 0),
            (b"1" * 1025, 0, 0),  # does not fit at all
            # The platform's collation passes over hyphens, byte order would not:
            # "2.1.51" and "3" come after "2.1.5.1".
            (b"2.1.5-1\0", 1, 0),
            (b"-3\0", 1, 0),
            (b"2.1.5.0-1\0", 1, 1),
        ]
        for data, read, removal in cases:
            with self.subTest(value=data[:12], size=len(data)):
                env.registry(("delk", AUTO_UPDATE), reg_set(AUTO_UPDATE, "AUVersion", REG_SZ, data))
                version, needs = env.probe(["read-update-service-version", 1024],
                                           ["needs-old-update-service"])
                self.assertEqual(int(version["result"]), read)
                self.assertEqual(version["guard"], "ok")
                self.assertEqual(int(needs["result"]), removal)

    def test_update_service_version_type_is_not_judged(self):
        # A number whose bytes read as "1" is compared like the text "1".
        env = wine_env.env()
        env.registry(("delk", AUTO_UPDATE), reg_set(AUTO_UPDATE, "AUVersion", REG_DWORD, b"1\0\0\0"))
        version, needs = env.probe(["read-update-service-version", 1024],
                                   ["needs-old-update-service"])
        self.assertEqual(version["result"], "1")
        self.assertEqual(unhex(version["text"]), b"1")
        self.assertEqual(needs["result"], "1")

    def test_no_recorded_update_service(self):
        env = wine_env.env()
        results = []
        for setup in (("delk", AUTO_UPDATE), ("mkkey", AUTO_UPDATE)):
            env.registry(setup)
            results += [line["result"] for line in env.probe(
                ["read-update-service-version", 1024], ["needs-old-update-service"])]
        env.registry(("delk", AUTO_UPDATE))
        self.assertEqual(results, ["0", "0", "0", "0"])


class KeepsInstallerLocation(unittest.TestCase):
    """Puts the prefix's "InstallerLocation" back after the class's tests."""

    @classmethod
    def setUpClass(cls):
        saved = wine_env.env().get_value(INSTALLER, "InstallerLocation")
        cls.saved_location = saved[1] if saved else None

    @classmethod
    def tearDownClass(cls):
        env = wine_env.env()
        if cls.saved_location is not None:
            env.registry(reg_set(INSTALLER, "InstallerLocation", REG_SZ, cls.saved_location))
        env.registry(CLEAN_VENDOR_KEY)


class EngineLocation(KeepsInstallerLocation):
    """"InstallerLocation" read into the 260-byte engine path, with guard bytes
    behind the buffer: a value that fills it exactly, without a terminating
    zero, must be refused without a byte written past the end."""

    def locate(self, data):
        env = wine_env.env()
        env.registry(reg_set(INSTALLER, "InstallerLocation", REG_SZ, data))
        return env.probe_one("locate-msiexec", 260)

    def test_values_around_the_buffer_size(self):
        for data, found, text in (
                (b"C:\\e\0", 1, b"C:\\e\\msiexec.exe"),
                (b"C:\\e", 1, b"C:\\e\\msiexec.exe"),  # no zero, read with room for one
                (b"C:\\" + b"e" * 244, 1, b"C:\\" + b"e" * 244 + b"\\msiexec.exe"),
                (b"C:\\" + b"e" * 257, 0, b""),  # 260 bytes, no zero
                (b"C:\\" + b"e" * 256 + b"\0", 0, b""),  # 260 bytes with its zero
                (b"C:\\" + b"e" * 256, 0, b"")):  # 259 bytes, no room for the file name
            with self.subTest(size=len(data), zero=data.endswith(b"\0")):
                line = self.locate(data)
                self.assertEqual(line["guard"], "ok", "a byte was written past the buffer")
                self.assertEqual(int(line["result"]), found)
                self.assertEqual(unhex(line["text"]), text)


class RerunRequest(KeepsInstallerLocation):
    """The whole bootstrapper with a recording engine that leaves a status
    behind on its first start: only the exact text "reinstall" asks for one
    more run of the same command line."""

    def run_product(self, status):
        env = wine_env.env()
        if not env.product or not os.path.exists(env.product):
            self.fail("the x86_64 bootstrapper is not built: %r" % env.product)
        engine_unix, engine_win = env.c_dir("rerun-engine")
        env.plant_recorder(os.path.join(engine_unix, "msiexec.exe"))
        record = os.path.join(engine_unix, "record.txt")
        env.registry(CLEAN_VENDOR_KEY, ("delk", RUNTIME),
                     reg_set(INSTALLER, "InstallerLocation", REG_SZ, engine_win.encode() + b"\0"))
        result = env.run(env.product, timeout=120, env={
            "WYK_ENGINE_LOG": win_path(record),
            "WYK_ENGINE_SET_STATUS": "0:hex:" + status.hex(),
            "WYK_ENGINE_CODES": "1603,3010",  # per start
        })
        after = env.get_value(VENDOR, "InstallStatus")
        return result.exit_code, read_records(record, names=True), after

    def test_reinstall_runs_the_same_line_once_more_and_clears_the_request(self):
        code, records, after = self.run_product(b"reinstall\0")
        self.assertEqual(code, 3010)  # the second run's code replaces the first
        self.assertEqual(len(records), 2)
        self.assertEqual(records[0], records[1])
        self.assertIn(b" WRAPPER=1", records[0][1])
        self.assertIsNone(after)

    def test_other_case_asks_for_nothing_and_stays(self):
        code, records, after = self.run_product(b"Reinstall\0")
        self.assertEqual(code, 1603)
        self.assertEqual(len(records), 1)
        self.assertEqual(after, (REG_SZ, b"Reinstall\0"))

    def test_reinstall_stored_without_its_zero_asks_for_nothing(self):
        code, records, after = self.run_product(b"reinstall")
        self.assertEqual(code, 1603)
        self.assertEqual(len(records), 1)
        self.assertIsNotNone(after)


if __name__ == "__main__":
    unittest.main()
