"""Links planted in the cache tree by a less trusted process: the elevated
bootstrapper never writes, truncates or deletes through them. A symbolic link
at a folder level or at a staged file's name ends the run with the fatal
report (681) before anything is written through it; a second hard link to a
staged file's name only loses that name, and the run goes on as usual.
Whatever the link points to outside the cache is left byte for byte."""
import itertools
import os
import shutil
import unittest

from reliability import CREATE_FILE, KIT_FILES, RUNTIME_KEY, ReliabilityCase
from harness import PACKAGE
from payload_rows import SERVICE_FILES
from harness import setUpModule, tearDownModule  # noqa: F401 (one session per module)

ERROR_STOPPED_ON_SYMLINK = 681
CREATE_DIRECTORY = b"Installer : Wrapper.CreateDirectory "
# Folder levels below the user data folder, the last one reached only by the
# update-service step after a successful run.
LEVELS = (("Halvec",), ("Halvec", "Tavro"), ("Halvec", "Tavro", "wyk1.7.0"),
          ("Halvec", "Tavro", "AU"))


def contents(folder):
    """{relative path: bytes or None for a folder} of everything below folder."""
    found = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs:
            found[os.path.relpath(os.path.join(root, name), folder)] = None
        for name in files:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, folder)] = f.read()
    return found


class PlantedLinks(ReliabilityCase):
    def setUp(self):
        super().setUp()
        s = self.session
        # The update-service step runs too: the runtime is registered and the run succeeds.
        s.registry(("mkkey", RUNTIME_KEY))
        self.outside = s.c_drive("outside")
        os.makedirs(self.outside)
        for name in KIT_FILES + SERVICE_FILES:
            with open(os.path.join(self.outside, name), "wb") as f:
                f.write(b"not the installer's: " + name.encode())
        self.before = contents(self.outside)
        self.addCleanup(shutil.rmtree, self.outside, True)

    def remove_cache(self):
        halvec = os.path.join(self.session.user_data_folder("locallow"), "Halvec")
        if os.path.islink(halvec):
            os.unlink(halvec)
        shutil.rmtree(halvec, ignore_errors=True)

    def plant_symlink(self, parts, target):
        link = os.path.join(self.session.user_data_folder("locallow"), *parts)
        os.makedirs(os.path.dirname(link), exist_ok=True)
        os.symlink(target, link)
        return link

    def assertOutsideUntouched(self):
        self.assertEqual(contents(self.outside), self.before,
                         "something outside the cache was written, cut or deleted")

    def test_symbolic_link_at_each_folder_level_is_refused(self):
        s = self.session
        # A link to the outside folder, and one to a folder not made yet (a
        # name that reads as nothing but cannot be made either).
        targets = (("outside", self.outside), ("nowhere", os.path.join(self.outside, "later")))
        for (target_name, target), parts in itertools.product(targets, LEVELS):
            with self.subTest(level="\\".join(parts), target=target_name):
                self.remove_cache()
                link = self.plant_symlink(parts, target)
                result = s.run(s.product, "", dialog=True)
                self.assertFatalBox(result, CREATE_DIRECTORY, ERROR_STOPPED_ON_SYMLINK)
                self.assertOutsideUntouched()
                self.assertTrue(os.path.islink(link), "the link itself is left as it was")
                if parts[-1] == "AU":
                    # The kit was staged and installed before the step that met the link.
                    self.assertCabinetsComplete(s.cache_folder(), names=KIT_FILES)
                else:
                    self.assertEqual(result.records, [], "the engine must not run")
        self.remove_cache()

    def test_symbolic_link_at_a_staged_file_name_is_refused(self):
        s = self.session
        kit = ("Halvec", "Tavro", "wyk1.7.0")
        service = ("Halvec", "Tavro", "AU")
        # To a file outside: the package (main thread first), a cabinet
        # (cabinet thread), the update service's package (main thread after
        # the engine). To a file that does not exist (yet): every staged name.
        cases = [(kit + (name,), name) for name in (PACKAGE, "sj170000.cab")]
        cases += [(service + ("au.msi",), "au.msi")]
        cases += [(kit + (name,), "later-" + name) for name in KIT_FILES]
        cases += [(service + (name,), "later-" + name) for name in SERVICE_FILES]
        for parts, target in cases:
            with self.subTest(name=parts[-1], target=target):
                self.remove_cache()
                link = self.plant_symlink(parts, os.path.join(self.outside, target))
                result = s.run(s.product, "", dialog=True)
                self.assertFatalBox(result, CREATE_FILE, ERROR_STOPPED_ON_SYMLINK)
                self.assertOutsideUntouched()
                self.assertTrue(os.path.islink(link))
        self.remove_cache()

    def test_user_data_folder_reached_through_a_link_is_the_users_own(self):
        # A profile moved elsewhere and linked back: the link lies above the
        # cache tree, so the run goes on as usual and stages through it.
        s = self.session
        self.remove_cache()
        locallow = s.user_data_folder("locallow")
        moved = s.c_drive("moved-locallow")
        shutil.move(locallow, moved)
        os.symlink(moved, locallow)

        def restore():
            os.unlink(locallow)
            shutil.move(moved, locallow)
        self.addCleanup(restore)
        result = s.run(s.product, "")
        self.assertEqual(result.exit_code, 0)
        self.assertCabinetsComplete(s.cache_folder(), names=KIT_FILES)
        self.assertTrue(os.path.islink(locallow), "the user's own link is left as it was")
        self.assertOutsideUntouched()
        self.remove_cache()

    def test_hard_link_at_every_staged_file_name_loses_only_that_name(self):
        s = self.session
        kit = s.cache_folder()
        service = os.path.join(s.user_data_folder("locallow"), "Halvec", "Tavro", "AU")
        os.makedirs(kit)
        os.makedirs(service)
        for folder, names in ((kit, KIT_FILES), (service, SERVICE_FILES)):
            for name in names:
                os.link(os.path.join(self.outside, name), os.path.join(folder, name))
        result = s.run(s.product, "")
        self.assertEqual(result.exit_code, 0)
        self.assertOutsideUntouched()
        self.assertCabinetsComplete(s.cache_folder(), names=KIT_FILES)
        for folder, names in ((kit, KIT_FILES), (service, SERVICE_FILES)):
            for name in names:
                path = os.path.join(folder, name)
                self.assertEqual(os.stat(path).st_nlink, 1, "%s is still shared" % name)
        with open(os.path.join(service, "au.msi"), "rb") as f:
            self.assertEqual(f.read(), s.payload("au.msi"))


if __name__ == "__main__":
    unittest.main()
