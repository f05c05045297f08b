"""The set-up on a bad day: tools/setup-deps.sh run with stand-ins for the package tools
(first on PATH), so that nothing is installed and no network is needed. The stand-ins
report one package missing, note every call, and fail where a case tells them to."""
import os
import stat
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SETUP = os.path.join(HERE, "..", "..", "tools", "setup-deps.sh")

# dpkg-query: one package is missing, the rest are there. apt-get: notes its arguments;
# "install" fails when the case says so. sudo: runs what it is given. sleep: no wait.
STAND_INS = {
    "dpkg-query": '[ "$3" = wixl ] && exit 1; echo "install ok installed"',
    "apt-get": 'echo "$*" >>"$WYK_CALLS"; [ "$1" = install ] && [ -n "$WYK_INSTALL_FAILS" ] && exit 100; exit 0',
    "sudo": 'exec "$@"',
    "sleep": "exit 0",
}


class SetupOnABadDay(unittest.TestCase):
    def run_setup(self, fail, install_fails=False):
        with tempfile.TemporaryDirectory() as bin_dir:
            for name, body in STAND_INS.items():
                path = os.path.join(bin_dir, name)
                with open(path, "w") as f:
                    f.write("#!/bin/sh\n%s\n" % body)
                os.chmod(path, stat.S_IRWXU)
            calls = os.path.join(bin_dir, "calls")
            env = dict(os.environ, PATH=bin_dir + ":" + os.environ["PATH"], WYK_SETUP_FAIL=fail,
                       WYK_CALLS=calls, WYK_INSTALL_FAILS="1" if install_fails else "")
            done = subprocess.run(["bash", SETUP], env=env, capture_output=True, text=True,
                                  timeout=120)
            made = []
            if os.path.exists(calls):
                with open(calls) as f:
                    made = f.read().splitlines()
        return done, made

    def test_a_failed_index_is_tried_twice_and_the_packages_are_still_installed(self):
        done, calls = self.run_setup("index,wine32")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stderr.count("package index download failed"), 2)
        self.assertIn("retrying the package index download", done.stdout)
        self.assertIn("going on with the ones there are", done.stdout)
        self.assertEqual(calls, ["install -y -q wixl"])

    def test_no_32bit_wine_is_one_line_and_the_set_up_goes_on(self):
        done, calls = self.run_setup("wine32")
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = [l for l in done.stdout.splitlines() if "32-bit Wine" in l]
        self.assertEqual(lines, ["setup-deps: no 32-bit Wine: the step was told to fail "
                                 "(WYK_SETUP_FAIL); the main job and the tests run the 64-bit "
                                 "build instead of the PE32"])
        self.assertNotIn("wine32:i386", " ".join(calls))

    def test_packages_that_cannot_be_installed_end_the_set_up(self):
        done, _ = self.run_setup("wine32", install_fails=True)
        self.assertNotEqual(done.returncode, 0)


if __name__ == "__main__":
    unittest.main()
