"""The compound-file and transform writer that builds the demo payload
(tools/demo_msi_storage.py), checked against msitools, which reads what it
writes independently. No Wine needed."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import demo_msi_storage as storage  # noqa: E402

from e2e_support import built, target  # noqa: E402

# The platform of the kit package the target build carries.
TEMPLATE = "Template: %s;1033" % ("Intel" if target().pe32 else "x64")


def msiinfo(*args):
    return subprocess.run(["msiinfo"] + list(args), check=True, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True).stdout


class CompoundFile(unittest.TestCase):
    def test_round_trip_keeps_every_stream_storage_and_class_id(self):
        tree = storage.Storage(storage.CLSID_MSI_DATABASE, {
            "empty": b"",
            "small": b"x" * 63,
            "cutoff-1": bytes(range(256)) * 15 + b"abc",          # 4083 bytes: mini stream
            "big": bytes((i * 7) & 0xFF for i in range(200000)),  # many regular sectors
            "sub": storage.Storage(storage.CLSID_MSI_TRANSFORM, {"inner": b"1" * 5000, "z": b"z"}),
        })
        back = storage.read_compound_file(storage.write_compound_file(tree))
        self.assertEqual(back.clsid, storage.CLSID_MSI_DATABASE)
        self.assertEqual(sorted(back.children), sorted(tree.children))
        for name in ("empty", "small", "cutoff-1", "big"):
            self.assertEqual(back.children[name], tree.children[name], name)
        self.assertEqual(back.children["sub"].clsid, storage.CLSID_MSI_TRANSFORM)
        self.assertEqual(back.children["sub"].children, tree.children["sub"].children)

    def test_too_long_stream_name_is_refused(self):
        with self.assertRaises(ValueError):
            storage.write_compound_file(storage.Storage(children={"n" * 32: b""}))


class PayloadPackage(unittest.TestCase):
    """The kit package of the built payload: written by this writer, read by msitools."""

    @classmethod
    def setUpClass(cls):
        cls.package = os.path.join(built("demo-e2e"), "wyk1.7.0.msi")
        with open(cls.package, "rb") as f:
            cls.root = storage.read_compound_file(f.read())

    def test_table_stream_names_match_the_names_msitools_gives_its_tables(self):
        # Empty tables have no stream; these all have rows in the kit package.
        tables = msiinfo("tables", self.package).split()
        for table in ("Property", "File", "Media", "Component", "Feature", "Registry", "CustomAction",
                      "InstallExecuteSequence", "_StringPool", "_StringData", "_Columns", "_Tables"):
            self.assertTrue(table.startswith("_") or table in tables, table)
            self.assertTrue(storage.table_stream_name(table) in self.root.children, table)

    def test_msitools_reads_the_rewritten_package(self):
        media = msiinfo("export", self.package, "Media").splitlines()[3:]
        self.assertEqual([row.split("\t")[3] for row in media],
                         ["sj170000.cab", "sd170000.cab", "ss170000.cab", "st170000.cab", "sz170000.cab"])
        self.assertIn(TEMPLATE, msiinfo("suminfo", self.package))

    def rewritten(self, root):
        """root written to a scratch package; its path."""
        f = tempfile.NamedTemporaryFile(suffix=".msi", delete=False)
        self.addCleanup(os.remove, f.name)
        with f:
            f.write(storage.write_compound_file(root))
        return f.name

    def test_package_larger_than_the_header_fat_list_reads_back_in_msitools(self):
        # 109 FAT sectors in the header cover about 7 MiB; more needs DIFAT sectors.
        big = bytes((i * 13) & 0xFF for i in range(9 * 1024 * 1024))
        root = storage.read_compound_file(storage.write_compound_file(self.root))
        root.children["Big"] = big
        package = self.rewritten(root)
        self.assertIn("Big", msiinfo("streams", package).split())
        extracted = subprocess.run(["msiinfo", "extract", package, "Big"], check=True,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        self.assertTrue(extracted == big, "the large stream does not read back")

    def test_stamp_fixes_package_code_and_dates_and_keeps_the_rest(self):
        root = storage.read_compound_file(storage.write_compound_file(self.root))
        storage.stamp_package(root, "{01234567-89AB-CDEF-0123-456789ABCDEF}", 1704067200)
        info = subprocess.run(["msiinfo", "suminfo", self.rewritten(root)], check=True,
                              stdout=subprocess.PIPE, text=True, env=dict(os.environ, TZ="UTC")).stdout
        self.assertIn("Revision number (UUID): {01234567-89AB-CDEF-0123-456789ABCDEF}", info)
        self.assertIn("Created: Mon Jan  1 00:00:00 2024", info)
        self.assertIn("Last saved: Mon Jan  1 00:00:00 2024", info)
        self.assertIn(TEMPLATE, info)
        self.assertIn("Subject: Tavro Development Kit 1.7.0", info)

    def test_language_transforms_are_embedded_storages_with_the_transform_class(self):
        for lang, name in ((1041, "Tavro 開発キット 1.7.0"), (2052, "Tavro 开发工具包 1.7.0")):
            transform = self.root.children[str(lang)]
            self.assertIsInstance(transform, storage.Storage)
            self.assertEqual(transform.clsid, storage.CLSID_MSI_TRANSFORM)
            # Read the transform's string pool and its Property rows back by hand.
            pool = transform.children[storage.table_stream_name("_StringPool")]
            data = transform.children[storage.table_stream_name("_StringData")]
            codepage = struct.unpack_from("<H", pool, 0)[0]
            strings, offset = [None], 0
            for i in range(4, len(pool), 4):
                length = struct.unpack_from("<H", pool, i)[0]
                strings.append(data[offset:offset + length].decode("cp%d" % codepage))
                offset += length
            rows = transform.children[storage.table_stream_name("Property")]
            decoded = {}
            for i in range(0, len(rows), 6):
                mask, key, value = struct.unpack_from("<HHH", rows, i)
                self.assertEqual(mask, 0x0201)  # full row of two columns
                decoded[strings[key]] = strings[value]
            self.assertEqual(decoded, {"ProductName": name, "ProductLanguage": str(lang)})
            # The engine applies it to this product only (product and upgrade code).
            with tempfile.NamedTemporaryFile(suffix=".mst") as f:
                f.write(storage.write_compound_file(transform))
                f.flush()
                info = msiinfo("suminfo", f.name)
            self.assertIn("{3A7C1E52-8B0D-4F6A-9C21-5E4D7B0A1F17}1.7.0;", info)
            self.assertIn("Restrict: 2050", info)  # validation flags 0x0802


if __name__ == "__main__":
    unittest.main()
