# Reliability and security suites under Wine (labels "wine" and "reliability"):
# overlong input, faults while staging, hostile folders, staged files held
# against swapping, and two runs at once. They use the prefix template of the
# Wine tests (cmake/WindowsTests.cmake) and the programs of
# tests/reliability/Programs.cmake; each module works in its own prefix copy.
set(WYK_RELIABILITY_DISPLAYS "88-90" CACHE STRING "X display numbers the reliability suites may use, as first-last")

set(WYK_RELIABILITY_ENV
  "WYK_WIN_DIR=${CMAKE_BINARY_DIR}/win-x64-i586"
  "WYK_AMD64_EXE=${CMAKE_BINARY_DIR}/win-x64-amd64/wyk-7-windows-amd64.exe"
  "WYK_WINE_TEST_DIR=${CMAKE_BINARY_DIR}/wine-tests"
  "WYK_WINE_DISPLAYS=${WYK_RELIABILITY_DISPLAYS}"
  "PYTHONDONTWRITEBYTECODE=1")

# module name, time limit in seconds
set(WYK_RELIABILITY_MODULES
  "overlong_input|600"
  "faults|420"
  "hostile_folders|300"
  "staged_files|300"
  "planted_links|300"
)
foreach(entry IN LISTS WYK_RELIABILITY_MODULES)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 module)
  list(GET fields 1 limit)
  add_test(NAME reliability.${module}
    COMMAND ${WYK_PYTHON} ${CMAKE_SOURCE_DIR}/tests/reliability/test_${module}.py -v)
  set_tests_properties(reliability.${module} PROPERTIES
    FIXTURES_REQUIRED wyk_wine_template TIMEOUT ${limit} LABELS "wine;reliability"
    ENVIRONMENT "${WYK_RELIABILITY_ENV}")
endforeach()
