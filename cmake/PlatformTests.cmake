# Wine tests of the platform services, the follow-on installs and the
# diagnostics, through the probe program of the x86_64 "i586" build
# (tests/platform/ProbeProgram.cmake). The suites share one Wine prefix inside
# the build folder and run one after the other (RESOURCE_LOCK), but in
# parallel with every other suite.
set(WYK_PLATFORM_TEST_DIR ${CMAKE_SOURCE_DIR}/tests/platform)
set(WYK_PLATFORM_PROGRAMS ${CMAKE_BINARY_DIR}/win-x64-i586)

foreach(suite registry processes diagnostic_log fatal_report extraction followon library_loading)
  add_test(NAME platform.${suite}
           COMMAND ${WYK_PYTHON} -m unittest -v test_${suite}
           WORKING_DIRECTORY ${WYK_PLATFORM_TEST_DIR})
  set_tests_properties(platform.${suite} PROPERTIES
    LABELS wine
    # The first suite to run also creates the prefix.
    TIMEOUT 480
    RESOURCE_LOCK wyk_platform_wine_prefix
    ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1;WYK_PLATFORM_PROGRAMS=${WYK_PLATFORM_PROGRAMS};WYK_PLATFORM_WORK=${CMAKE_BINARY_DIR}/platform-wine;WYK_PLATFORM_PRODUCT=${WYK_PLATFORM_PROGRAMS}/wyk-7-windows-i586.exe")
endforeach()
