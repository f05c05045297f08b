# Release engineering checks (label "release"): two builds give the same bytes,
# and the signing step. Included by the native build after the Windows builds.
set(WYK_RELEASE_TESTS ${CMAKE_SOURCE_DIR}/tests/release)
set(WYK_RELEASE_WORK_DIR ${CMAKE_BINARY_DIR}/release-work)

add_test(NAME release.reproducible
  COMMAND ${WYK_PYTHON} -m unittest -v test_reproducible
  WORKING_DIRECTORY ${WYK_RELEASE_TESTS})
set_tests_properties(release.reproducible PROPERTIES LABELS release TIMEOUT 600
  ENVIRONMENT "WYK_SOURCE_DIR=${CMAKE_SOURCE_DIR};WYK_RELEASE_WORK=${WYK_RELEASE_WORK_DIR}/reproducible;PYTHONDONTWRITEBYTECODE=1")

# The Wine run uses the end-to-end suite's prefixes, on a display of its own.
set(win ${CMAKE_BINARY_DIR}/win-x64-i586)
add_test(NAME release.signing
  COMMAND ${WYK_PYTHON} -m unittest -v test_signing
  WORKING_DIRECTORY ${WYK_RELEASE_TESTS})
set_tests_properties(release.signing PROPERTIES LABELS release TIMEOUT 900
  RESOURCE_LOCK wyk_display_98
  ENVIRONMENT "WYK_RELEASE_PE32=${CMAKE_BINARY_DIR}/win-i686/wyk-7-windows-i586.exe;WYK_RELEASE_PE32_PAYLOAD=${CMAKE_BINARY_DIR}/win-i686/bound-payload;WYK_RELEASE_RUNNABLE=${win}/wyk-7-windows-i586.exe;WYK_RELEASE_WORK=${WYK_RELEASE_WORK_DIR}/signing;WYK_E2E_EXE=${win}/wyk-7-windows-i586.exe;WYK_E2E_PAYLOAD=${win}/bound-payload;WYK_E2E_EXTRA=${win}/demo-payload-extra;WYK_E2E_RUNNER=${win}/demo-programs/e2e_runner.exe;WYK_E2E_WORK=${WYK_RELEASE_WORK_DIR}/signing-wine;WYK_E2E_TEMPLATE=${CMAKE_BINARY_DIR}/e2e-work/template;WYK_E2E_DISPLAY=:98;PYTHONDONTWRITEBYTECODE=1")
