"""Two clean builds of the same sources, in folders of different names, give
the same bytes: the 32-bit product and every payload file it carries.

Each build configures the 32-bit cross project on its own (the toolchain file
directly, no native parts) and builds only the product and its demo payload.

Environment (set by cmake/ReleaseTests.cmake):
  WYK_SOURCE_DIR    the source tree (a git checkout: tracked and new files are copied)
  WYK_RELEASE_WORK  scratch folder of this test
"""
import os
import shutil
import subprocess
import sys
import time
import unittest

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from release_support import PAYLOAD_NAMES, PE32_NAME, config, run  # noqa: E402

# Different names and depths: a path that leaks into a file shows up as a difference.
FOLDERS = [os.path.join("one", "src"), os.path.join("second-build", "copy", "sources")]


def copy_sources(source, dest):
    listed = run(["git", "-C", source, "ls-files", "-z", "--cached", "--others", "--exclude-standard"])
    for name in filter(None, listed.split("\0")):
        path = os.path.join(source, name)
        if os.path.isfile(path):  # a tracked file deleted in the tree is not copied
            os.makedirs(os.path.dirname(os.path.join(dest, name)), exist_ok=True)
            shutil.copy2(path, os.path.join(dest, name))


def build_product(source, build, env):
    run(["cmake", "-S", source, "-B", build,
         "-DCMAKE_TOOLCHAIN_FILE=%s/cmake/toolchain-mingw-i686.cmake" % source,
         "-DCMAKE_BUILD_TYPE=MinSizeRel", "-DWYK_ARCH=i586"], env=env)
    run(["cmake", "--build", build, "-j2", "--target", PE32_NAME[:-4]], env=env)


def first_difference(a, b):
    for offset, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return offset
    return min(len(a), len(b))


class ReproducibleBuild(unittest.TestCase):
    def test_two_builds_in_different_folders_give_the_same_bytes(self):
        source = config("WYK_SOURCE_DIR")
        work = config("WYK_RELEASE_WORK")
        shutil.rmtree(work, ignore_errors=True)
        # The release's date: the commit's time, as a release build would set it.
        epoch = run(["git", "-C", source, "log", "-1", "--format=%ct"]).strip()
        env = dict(os.environ, SOURCE_DATE_EPOCH=epoch)

        builds = []
        started = time.monotonic()
        for folder in FOLDERS:
            copy = os.path.join(work, folder)
            copy_sources(source, copy)
            builds.append(copy + "-build")
            build_product(copy, builds[-1], env)
        print("two builds took %.1f s" % (time.monotonic() - started))

        names = [PE32_NAME] + [os.path.join("demo-payload", n) for n in PAYLOAD_NAMES]
        differences = []
        for name in names:
            with open(os.path.join(builds[0], name), "rb") as f:
                first = f.read()
            with open(os.path.join(builds[1], name), "rb") as f:
                second = f.read()
            if first != second:
                differences.append("%s (%d and %d bytes, first difference at offset %d)"
                                   % (name, len(first), len(second), first_difference(first, second)))
        self.assertEqual(differences, [], "the two builds differ")

        # The builds above may fall within one second; a link time stamp would then
        # not show as a difference, so look for it directly.
        pe = pefile.PE(os.path.join(builds[0], PE32_NAME), fast_load=True)
        self.assertEqual(pe.FILE_HEADER.TimeDateStamp, 0, "the linker wrote a time stamp")
        pe.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
