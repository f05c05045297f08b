# Tests that run the Windows builds under Wine (label "wine"). Included by the
# native build after the Windows builds are declared.
#
# One prefix template is made per test run (fixture wine.prefix-template);
# every module then works in its own copy of it with its own X display, so the
# modules may run side by side (ctest -j2).
set(WYK_WINE_DISPLAYS "91-94" CACHE STRING "X display numbers the Wine tests may use, as first-last")

set(WYK_WINE_TEST_SOURCES ${CMAKE_SOURCE_DIR}/tests/wine)
set(WYK_WINE_TEST_ENV
  "WYK_WIN_DIR=${CMAKE_BINARY_DIR}/win-x64-i586"
  "WYK_AMD64_EXE=${CMAKE_BINARY_DIR}/win-x64-amd64/wyk-7-windows-amd64.exe"
  "WYK_WINE_TEST_DIR=${CMAKE_BINARY_DIR}/wine-tests"
  "WYK_WINE_DISPLAYS=${WYK_WINE_DISPLAYS}"
  "PYTHONDONTWRITEBYTECODE=1")

add_test(NAME wine.prefix-template
  COMMAND ${WYK_PYTHON} ${WYK_WINE_TEST_SOURCES}/harness.py make-template)
set_tests_properties(wine.prefix-template PROPERTIES
  FIXTURES_SETUP wyk_wine_template TIMEOUT 400 LABELS wine
  ENVIRONMENT "${WYK_WINE_TEST_ENV}")

# module name, time limit in seconds
set(WYK_WINE_MODULES
  "command_line|420"
  "exit_codes|420"
  "cache_tree|420"
  "cabinets|420"
)
foreach(entry IN LISTS WYK_WINE_MODULES)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 module)
  list(GET fields 1 limit)
  add_test(NAME wine.${module}
    COMMAND ${WYK_PYTHON} ${WYK_WINE_TEST_SOURCES}/test_${module}.py -v)
  set_tests_properties(wine.${module} PROPERTIES
    FIXTURES_REQUIRED wyk_wine_template TIMEOUT ${limit} LABELS wine
    ENVIRONMENT "${WYK_WINE_TEST_ENV}")
endforeach()
