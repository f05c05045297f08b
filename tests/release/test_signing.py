"""The release signing step (tools/sign-release.sh) with a throwaway
certificate: the signature verifies, a changed payload byte breaks it, the
signed product still passes the static check, and the signed program still
does its main job under Wine.

Environment (set by cmake/ReleaseTests.cmake):
  WYK_RELEASE_PE32          the shipped 32-bit product
  WYK_RELEASE_PE32_PAYLOAD  the payload folder bound into it
  WYK_RELEASE_WORK          scratch folder
  and the settings of the Wine suites: the Wine run signs and runs the program they run
  (the PE32 under WoW64, or the 64-bit build where 32-bit code cannot run).
"""
import os
import shutil
import sys
import time
import unittest

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from release_support import TOOLS, config, run  # noqa: E402
from e2e_support import KIT_KEY, PRODUCT_CODE_KIT, PROGRAM_FILES, Scenario, built  # noqa: E402

STATIC_CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "static",
                            "check_product_binary.py")


class Signer:
    """A throwaway self-signed code-signing certificate in a scratch folder."""

    def __init__(self, folder):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        self.folder = folder
        self.cert = os.path.join(folder, "cert.pem")
        self.key = os.path.join(folder, "key.pem")
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
             "-subj", "/CN=Throwaway test signer", "-addext", "extendedKeyUsage=codeSigning",
             "-keyout", self.key, "-out", self.cert])

    def sign(self, exe, name):
        signed = os.path.join(self.folder, name)
        run([os.path.join(TOOLS, "sign-release.sh"), "-c", self.cert, "-k", self.key, "-C", self.cert,
             exe, signed])
        return signed

    def verify(self, exe):
        return run(["osslsigncode", "verify", "-CAfile", self.cert, "-in", exe], check=False)


def resource_offset(exe, type_name, rid):
    """File offset and size of a resource's bytes."""
    pe = pefile.PE(exe)
    try:
        for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
            if str(entry.name) == type_name:
                for name in entry.directory.entries:
                    if name.id == rid:
                        data = name.directory.entries[0].data.struct
                        return pe.get_offset_from_rva(data.OffsetToData), data.Size
    finally:
        pe.close()
    raise AssertionError('no resource "%s" %d in %s' % (type_name, rid, exe))


class SignedProduct(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.product = config("WYK_RELEASE_PE32")
        cls.signer = Signer(os.path.join(config("WYK_RELEASE_WORK"), "signing"))
        started = time.monotonic()
        cls.signed = cls.signer.sign(cls.product, "signed.exe")
        print("signing took %.2f s" % (time.monotonic() - started))

    def test_signature_verifies_with_sha256(self):
        done = self.signer.verify(self.signed)
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertIn("SHA256", done.stdout.upper().replace("-", ""))

    def test_unsigned_product_does_not_verify(self):
        self.assertNotEqual(self.signer.verify(self.product).returncode, 0)

    def test_one_changed_payload_byte_fails_verification(self):
        tampered = os.path.join(self.signer.folder, "tampered.exe")
        shutil.copyfile(self.signed, tampered)
        offset, size = resource_offset(tampered, "TAVRO_INSTALLER", 101)
        with open(tampered, "r+b") as f:
            f.seek(offset + size // 2)
            byte = f.read(1)
            f.seek(offset + size // 2)
            f.write(bytes([byte[0] ^ 0x01]))
        done = self.signer.verify(tampered)
        self.assertNotEqual(done.returncode, 0, "a changed payload byte still verifies:\n" + done.stdout)

    def test_signed_product_passes_the_static_check(self):
        done = run(["/usr/bin/python3", STATIC_CHECK, self.signed,
                    "--payload", config("WYK_RELEASE_PE32_PAYLOAD")], check=False)
        self.assertEqual(done.returncode, 0, done.stdout)

    def test_removing_the_signature_gives_the_built_bytes(self):
        # How a published file is compared with a build of the same commit.
        stripped = os.path.join(self.signer.folder, "stripped.exe")
        run(["osslsigncode", "remove-signature", "-in", self.signed, "-out", stripped])
        with open(stripped, "rb") as a, open(self.product, "rb") as b:
            self.assertTrue(a.read() == b.read(), "the stripped file differs from the built one")


class SignedProgramRuns(Scenario):
    def test_signed_program_installs_the_kit_silently(self):
        signer = Signer(os.path.join(config("WYK_RELEASE_WORK"), "signing-runnable"))
        signed = signer.sign(built("wyk-7-windows-i586.exe"), "wyk-7-windows-i586.exe")
        self.assertEqual(signer.verify(signed).returncode, 0)
        self.assertEqual(self.prefix.run(signed, "/s"), 0)
        self.assertTrue(self.prefix.product_installed(PRODUCT_CODE_KIT))
        self.assertValue(KIT_KEY, "TavroHome",
                         "C:\\%s\\Orvale\\Tavro Development Kit 1.7.0\\" % PROGRAM_FILES)


if __name__ == "__main__":
    unittest.main()
