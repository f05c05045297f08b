"""The platform tests' Wine session: the suites' one session type
(tests/wine/harness.py), with Wine's error messages on: they show in a
failure message, nothing else does."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))

import harness  # noqa: E402
from harness import hexarg, read_records, reg_set, unhex, win_path  # noqa: E402,F401


def setUpModule():
    """One session per test module; the modules import this and
    tearDownModule into their namespace."""
    harness.setUpModule(lambda name: harness.WineSession("platform-" + name, debug="fixme-all"))


tearDownModule = harness.tearDownModule
env = harness.module_session
