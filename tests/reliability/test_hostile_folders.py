"""Hostile folders: libraries named like the ones the bootstrapper uses,
planted in the current directory and beside the executable, are never loaded;
programs planted at a shorter prefix of a path with blanks are never started.

Wine prefers its built-in libraries, which would make the planted ones
harmless whatever the program does; every run here tells Wine to prefer
native libraries for the planted names, and one test shows that the trace
does catch a program that loads a library by plain name."""
import os
import shutil
import unittest

import pefile

from reliability import ERROR_ACCESS_DENIED, RUNTIME_KEY, ReliabilityCase, Runs
import harness  # found through the path that reliability sets
from harness import PACKAGE, win_path
from harness import setUpModule, tearDownModule  # noqa: F401 (one session per module)

ALWAYS_PLANTED = ("shell32.dll", "version.dll")
# Libraries that Windows maps only from its system directory, whatever lies
# beside a program (the "known DLLs" of Windows 7 and later, the part of that
# list a setup program may need).
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
              "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll"}


def imported_libraries(exe):
    pe = pefile.PE(exe, fast_load=True)
    pe.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]])
    names = set()
    for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for entry in getattr(pe, attr, []):
            names.add(entry.dll.decode().lower())
    pe.close()
    return sorted(names)


def read_lines(path):
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        return f.read().decode("latin-1").splitlines()


class PlantedLibraries(ReliabilityCase):
    def setUp(self):
        super().setUp()
        s = self.session
        self.beside = s.work_file("beside")
        self.cwd = s.work_file("cwd")
        os.makedirs(self.beside)
        os.makedirs(self.cwd)
        self.trace = s.work_file("trace.txt")
        self.names = sorted(set(imported_libraries(s.product)) | set(ALWAYS_PLANTED))

    def plant(self, names, folders):
        library = os.path.join(self.session.tools, "trace_library.dll")
        for folder in folders:
            for name in names:
                shutil.copyfile(library, os.path.join(folder, name))

    def native_first(self, names):
        return ["%s=n,b" % name[:-len(".dll")] for name in names]

    def run_product(self, names):
        """Runs a copy of the product that lies in the folder "beside", with
        the folder "cwd" as current directory and Wine told to prefer native
        libraries for the given names; gives (exit code, engine records,
        Wine's loader trace)."""
        s = self.session
        exe = os.path.join(self.beside, os.path.basename(s.product))
        shutil.copyfile(s.product, exe)
        log = s.work_file("engine.log")
        env = s.env({"WYK_TRACE_FILE": win_path(self.trace), "WYK_ENGINE_LOG": win_path(log),
                     "WINEDEBUG": "+loaddll"}, self.native_first(names))
        runs = Runs(self.session, [harness.command_line(exe, " /s")], env=env, cwd=self.cwd)
        return runs.wait()[0], harness.read_records(log), runs.loader_trace()

    def loads_from(self, loader_trace, folder):
        """Lines of Wine's loader trace that map a library from the folder
        (the trace doubles each backslash)."""
        prefix = 'loaded l"' + win_path(folder).lower().replace("\\", "\\\\") + "\\\\"
        return [line for line in loader_trace.splitlines()
                if prefix in line.lower() and '.dll"' in line.lower()]

    def assertSystemVersionLibraryLoaded(self, loader_trace):
        self.assertRegex(loader_trace.lower(), r'loaded l"c:\\\\windows\\\\system32\\\\version\.dll"')

    def test_import_table_holds_only_libraries_the_platform_protects(self):
        # The platform maps the libraries of the import table before the
        # program's first instruction. Windows takes these names only from the
        # system directory (they are "known DLLs"); Wine 8 has no such list and
        # takes a planted copy beside any program when told to prefer native
        # ones, so under Wine this rule is what the test can hold the product to.
        names = imported_libraries(self.session.product)
        self.assertIn("kernel32.dll", names)
        self.assertLessEqual(set(names), KNOWN_DLLS)
        self.assertNotIn("version.dll", names, "version.dll must be loaded by full path")

    def test_libraries_planted_in_the_current_directory_are_never_loaded(self):
        # Wine keeps the current directory in the search even after the
        # bootstrapper's SetDllDirectoryA(""), so a plain-name load of any
        # library not yet mapped would take the planted copy here.
        self.plant(self.names, (self.cwd,))
        code, records, loader_trace = self.run_product(self.names)
        self.assertEqual(code, 0)
        self.assertEqual(len(records), 1)
        self.assertEqual(read_lines(self.trace), [], "a planted library was loaded")
        self.assertEqual(self.loads_from(loader_trace, self.cwd), [])
        self.assertSystemVersionLibraryLoaded(loader_trace)

    def test_version_library_planted_beside_the_executable_is_not_the_one_used(self):
        s = self.session
        self.plant(["version.dll"], (self.beside, self.cwd))
        code, records, loader_trace = self.run_product(["version.dll"])
        # The planted copy exports nothing: had the bootstrapper loaded the
        # library by plain name, it would have been handed that copy, could
        # not read the engine's version and would have refused with -2.
        self.assertEqual(code, 0)
        self.assertEqual(len(records), 1)
        self.assertSystemVersionLibraryLoaded(loader_trace)
        self.assertEqual(self.loads_from(loader_trace, self.cwd), [])
        self.assertEqual(len(self.loads_from(loader_trace, self.beside)), 1)
        # Wine's own user32 imports version.dll (Windows' does not), so the
        # loader maps the planted copy once at start for any program that
        # uses user32; another such program beside it shows the same line.
        product_lines = read_lines(self.trace)
        self.assertEqual(len(product_lines), 1, product_lines)
        other = os.path.join(self.beside, "observer.exe")
        shutil.copyfile(os.path.join(s.tools, "observer.exe"), other)
        s.wine(other, "box", win_path(s.work_file("none.txt")), "0", check=False,
               env=s.env({"WYK_TRACE_FILE": win_path(self.trace)},
                         self.native_first(["version.dll"])))
        other_lines = read_lines(self.trace)[1:]
        self.assertEqual(len(other_lines), 1, other_lines)
        self.assertEqual(other_lines[0].partition("|")[0], product_lines[0].partition("|")[0])

    def test_theme_library_beside_the_executable_is_not_loaded_by_a_box(self):
        # System libraries load uxtheme.dll by plain name when a box opens,
        # and the platform does not protect that name: only a library search
        # limited to the system directory keeps the copy beside the program out.
        s = self.session
        self.plant(["uxtheme.dll"], (self.beside,))
        exe = os.path.join(self.beside, os.path.basename(s.product))
        shutil.copyfile(s.product, exe)
        env = {"WYK_TRACE_FILE": win_path(self.trace)}
        native_first = self.native_first(["uxtheme.dll"])
        # The fatal box: a folder stands where the package is to be written.
        package = os.path.join(s.cache_folder(), PACKAGE)
        os.makedirs(package)
        result = s.run(exe, "", env=env, dialog=True, dll_overrides=native_first)
        self.assertEqual(result.exit_code, ERROR_ACCESS_DENIED)
        self.assertIsNotNone(result.dialog, "no message box was shown")
        self.assertEqual(read_lines(self.trace), [], "the planted library was loaded")
        os.rmdir(package)
        # The box about an engine that is too old.
        s.replace_system_file("msi.dll", os.path.join(s.win_dir, "engine-libraries",
                                                      "msi-2.0.2599.65535.dll"))
        self.addCleanup(s.restore_system_file, "msi.dll")
        result = s.run(exe, "", env=env, dialog=True,
                       dll_overrides=native_first + [harness.SYSTEM_FILE_OVERRIDES["msi.dll"]])
        self.assertEqual(result.exit_code, -2)
        self.assertIsNotNone(result.dialog, "no message box was shown")
        self.assertEqual(read_lines(self.trace), [], "the planted library was loaded")

    def test_trace_catches_a_program_that_loads_by_plain_name(self):
        s = self.session
        loader = os.path.join(self.beside, "plain_loader.exe")
        shutil.copyfile(os.path.join(self.session.tools, "plain_loader.exe"), loader)
        self.plant(["version.dll"], (self.beside,))
        env = {"WYK_TRACE_FILE": win_path(self.trace)}
        done = s.wine(loader, "version.dll", env=s.env(env, self.native_first(["version.dll"])),
                      check=False)
        self.assertEqual(done.returncode, 0)
        lines = read_lines(self.trace)
        self.assertEqual(len(lines), 1, lines)
        planted, _, program = lines[0].partition("|")
        self.assertEqual(planted.lower(), (win_path(self.beside) + "\\version.dll").lower())
        self.assertTrue(program.lower().endswith("\\plain_loader.exe"))


class ShorterPrefixPrograms(ReliabilityCase):
    """Decoys are copies of the engine stand-in: whatever starts, it records its
    own file name and command line, so a decoy that ran shows in the log."""

    def plant_program(self, windows_path):
        """Copies the engine stand-in to a path below C:; removed afterwards."""
        s = self.session
        parts = windows_path[3:].split("\\")
        target = s.c_drive(*parts)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(os.path.join(s.fake_engine_dir, "msiexec.exe"), target)
        self.addCleanup(lambda: os.path.exists(target) and os.unlink(target))
        return target

    def run_recorded(self, env=None):
        """Runs the product; gives its exit code and [(started file name, command line)]
        of every program that recorded itself."""
        s = self.session
        log = s.work_file("started.log")
        result = s.run(s.product, "", env=dict(env or {}, WYK_ENGINE_LOG=win_path(log)))
        return result.exit_code, harness.read_records(log, names=True)

    def test_registration_tool_is_not_replaced_by_a_shorter_prefix(self):
        s = self.session
        # The common files folder of the program's bitness ("Program Files (x86)" under WoW64).
        common = "C:\\%s\\Common Files" % s.target.program_files
        tool = common + "\\Tavro\\Tavro Update\\tvaureg.exe"
        self.plant_program(tool)
        self.plant_program("C:\\Program.exe")
        self.plant_program(common + "\\Tavro\\Tavro.exe")
        self.addCleanup(shutil.rmtree, s.c_drive(s.target.program_files, "Common Files", "Tavro"),
                        True)
        s.registry(("mkkey", RUNTIME_KEY))
        exit_code, started = self.run_recorded()
        self.assertEqual(exit_code, 0)
        # The kit, then the update service's package.
        engine = [line for name, line in started if name == "msiexec.exe"]
        self.assertEqual(len(engine), 2)
        self.assertTrue(engine[1].endswith(b'au.msi" ALLUSERS=1 /qn'), engine[1])
        others = [(name.lower(), line) for name, line in started if name != "msiexec.exe"]
        self.assertEqual(others, [("tvaureg.exe", b'"%s" -r qor 1.7.0-b147' % tool.encode())],
                         "started: %r" % started)

    def test_engine_in_a_folder_with_blanks_is_not_replaced_by_a_shorter_prefix(self):
        s = self.session
        engine = "C:\\Tavro Engine\\msiexec.exe"
        target = self.plant_program(engine)
        self.addCleanup(shutil.rmtree, os.path.dirname(target), True)
        self.plant_program("C:\\Tavro.exe")
        s.registry(*s.engine_location_ops("C:\\Tavro Engine"))
        exit_code, started = self.run_recorded({"WYK_ENGINE_CODES": "3010"})
        self.assertEqual(exit_code, 3010)
        self.assertEqual(started, [("msiexec.exe", self.expected_line("", engine=engine))],
                         "the decoy at C:\\Tavro.exe was started")


if __name__ == "__main__":
    unittest.main()
