# The suites that run the Windows programs under Wine, registered by one
# function with one Python. Included by the native build after the Windows
# builds are declared.
#
# Every suite runs the build that harness.target() names: the shipped PE32
# (win-i686) under WoW64, or the 64-bit build with the product's constants
# (win-x64-i586) where this machine cannot execute 32-bit code. The check is
# made once per run, by the test that makes the prefix template; every module
# then works in its own copy of the template with an X display of its own.
set(WYK_WINE_TEST_ENV
  "WYK_BUILD_DIR=${CMAKE_BINARY_DIR}"
  "WYK_WINE_TEST_DIR=${CMAKE_BINARY_DIR}/wine-tests"
  "PYTHONDONTWRITEBYTECODE=1")

add_test(NAME wine.prefix-template
  COMMAND ${WYK_PYTHON} ${CMAKE_SOURCE_DIR}/tests/wine/harness.py make-template)
set_tests_properties(wine.prefix-template PROPERTIES
  FIXTURES_SETUP wyk_wine_template TIMEOUT 400 LABELS wine ENVIRONMENT "${WYK_WINE_TEST_ENV}")

# wyk_add_wine_suites(<folder below tests/> <module>... [TIMEOUT s] [LABELS ...])
#   Runs each tests/<folder>/test_<module>.py as the test <folder>.<module>,
#   after the template (which also chose the target). A suite that exits with
#   77 is reported as skipped (it prints why).
function(wyk_add_wine_suites folder)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 420)
  endif()
  foreach(module ${ARG_UNPARSED_ARGUMENTS})
    add_test(NAME ${folder}.${module}
      COMMAND ${WYK_PYTHON} ${CMAKE_SOURCE_DIR}/tests/${folder}/test_${module}.py -v)
    set_tests_properties(${folder}.${module} PROPERTIES
      TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}" SKIP_RETURN_CODE 77
      FIXTURES_REQUIRED wyk_wine_template ENVIRONMENT "${WYK_WINE_TEST_ENV}")
  endforeach()
endfunction()

# Behaviour of the bootstrapper, with a recording stand-in for msiexec.exe.
wyk_add_wine_suites(wine command_line exit_codes cache_tree cabinets wow64 LABELS wine)

# Platform services, follow-on installs and diagnostics, through the probe
# program that links the product's objects.
wyk_add_wine_suites(platform registry processes diagnostic_log fatal_report extraction followon
  library_loading LABELS wine TIMEOUT 480)

# Reliability and security: overlong input, faults while staging, hostile
# folders, staged files held against swapping, two runs at once.
wyk_add_wine_suites(reliability overlong_input LABELS wine reliability TIMEOUT 600)
wyk_add_wine_suites(reliability faults hostile_folders staged_files planted_links
  LABELS wine reliability)

# End to end: the setup program bound with the demo payload, with Wine's own
# msiexec doing the real installs.
wyk_add_wine_suites(e2e msi_storage LABELS e2e TIMEOUT 60)
wyk_add_wine_suites(e2e install rerun_and_failure cache_folders user_folders LABELS e2e TIMEOUT 900)
wyk_add_wine_suites(e2e update_service handoff LABELS e2e TIMEOUT 600)
# The hand-off is shown by slowing the setup program down from outside: a
# second busy suite on the same two cores can let its cabinets win the race.
set_tests_properties(e2e.handoff PROPERTIES RUN_SERIAL ON)

# The README's main job, on the build just made: it must end with exit code 0
# and show the kit's values and the registration tool's command line.
add_test(NAME e2e.main_job COMMAND ${CMAKE_SOURCE_DIR}/tools/run-main-job.sh)
set_tests_properties(e2e.main_job PROPERTIES
  LABELS e2e TIMEOUT 300 RUN_SERIAL ON
  ENVIRONMENT "WYK_BUILD_DIR=${CMAKE_BINARY_DIR};WYK_MAIN_JOB_BUILT=1"
  PASS_REGULAR_EXPRESSION "== Exit code: 0\n.*TavroHome +REG_SZ +C:.*-r qor 1\\.7\\.0-b147")
