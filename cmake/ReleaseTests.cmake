# Release engineering checks (label "release"): two builds give the same bytes,
# and the signing step. Included by the native build after the Windows builds.
set(WYK_RELEASE_TESTS ${CMAKE_SOURCE_DIR}/tests/release)
set(WYK_RELEASE_WORK_DIR ${CMAKE_BINARY_DIR}/release-work)

add_test(NAME release.reproducible
  COMMAND ${WYK_PYTHON} -m unittest -v test_reproducible
  WORKING_DIRECTORY ${WYK_RELEASE_TESTS})
set_tests_properties(release.reproducible PROPERTIES LABELS release TIMEOUT 600
  ENVIRONMENT "WYK_SOURCE_DIR=${CMAKE_SOURCE_DIR};WYK_RELEASE_WORK=${WYK_RELEASE_WORK_DIR}/reproducible;PYTHONDONTWRITEBYTECODE=1")

# The Wine run works like the end-to-end suite (cmake/WineTests.cmake): the
# program the Wine suites run, in a copy of their prefix template.
add_test(NAME release.signing
  COMMAND ${WYK_PYTHON} ${WYK_RELEASE_TESTS}/test_signing.py -v)
set_tests_properties(release.signing PROPERTIES LABELS release TIMEOUT 900
  FIXTURES_REQUIRED wyk_wine_template
  ENVIRONMENT "WYK_RELEASE_PE32=${CMAKE_BINARY_DIR}/win-i686/wyk-7-windows-i586.exe;WYK_RELEASE_PE32_PAYLOAD=${CMAKE_BINARY_DIR}/win-i686/bound-payload;WYK_RELEASE_WORK=${WYK_RELEASE_WORK_DIR}/signing;${WYK_WINE_TEST_ENV}")
