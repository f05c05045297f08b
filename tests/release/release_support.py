"""What the release tests share: the product's names, the configuration from
the environment and a command runner that shows a failing command's output."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))
from harness import env_path as config  # noqa: E402,F401  (shared with the Wine suites)

PE32_NAME = "wyk-7-windows-i586.exe"
PAYLOAD_NAMES = ["wyk1.7.0.msi", "sd170000.cab", "sj170000.cab", "ss170000.cab", "st170000.cab",
                 "sz170000.cab", "au.msi", "au.cab"]
TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")


def run(cmd, env=None, check=True):
    """Runs cmd; returns its output (stdout and stderr). With check, a failure
    raises with the output in the message."""
    done = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if check and done.returncode != 0:
        raise AssertionError("%s failed with exit code %d:\n%s"
                             % (" ".join(cmd), done.returncode, done.stdout[-4000:]))
    return done.stdout if check else done
