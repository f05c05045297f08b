"""The product's names as every suite sees them, in one place: the payload
rows (read from the payload table through tools/payload_rows.py), the
registry keys below HKLM (without the root: a suite adds "HKLM\\", names the
64-bit view with "HKLM64\\", or looks in a saved hive) and the product codes
of the demo packages."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from payload_rows import CABINETS, PACKAGE, SERVICE_FILES  # noqa: E402,F401

VENDOR = "SOFTWARE\\Orvale"
KIT = VENDOR + "\\Tavro Development Kit\\1.7.0"
RUNTIME = VENDOR + "\\Tavro Runtime Environment\\1.7.0"
AUTO_UPDATE = VENDOR + "\\Auto Update"
INSTALLER = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer"
UNINSTALL = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"

PRODUCT_CODE_KIT = "{3A7C1E52-8B0D-4F6A-9C21-5E4D7B0A1F17}"
PRODUCT_CODE_QOR = "{7D4B2C13-6E8F-4A0B-9D1C-2F3E4A5B6C71}"
PRODUCT_CODE_AU = "{5B0D1A83-2C4E-4F6B-8A7D-9E0F1A2B3C81}"
PRODUCT_CODE_AU_OLD = "{6C1E2B90-3D4F-4A7B-9E21-0B5D8C3F7A42}"
PRODUCT_CODE_AU_NEWER = "{8E2F3B94-4D5A-4C6B-9E8F-0A1B2C3D4E91}"
# The arguments of the engine run that removes an older update service.
OLD_SERVICE_REMOVAL = (" /x %s /qn" % PRODUCT_CODE_AU_OLD).encode()


def hklm(key):
    return "HKLM\\" + key
