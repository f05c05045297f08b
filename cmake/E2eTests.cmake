# End-to-end suite: the setup program bound with the demo payload, run under
# Wine with Wine's own msiexec doing the real installs. Included by the native
# build after the Windows builds; needs wyk_add_demo_e2e_programs() in the
# x86_64 "i586" Windows build (cmake/DemoPayload.cmake).
#
# Each module gets its own X display (Xvfb :95 to :97) and scratch folder; the
# modules that share a display never run at the same time. A fresh prefix is
# made once per build folder (tests/e2e/e2e_support.py) and copied per scenario.
# The programs come from the Windows build; a tree whose Windows build does not
# make them is a configuration error, not a suite that quietly disappears.
set(wyk_e2e_wired FALSE)
foreach(file cmake/ProductBuild.cmake tests/wine/TestPrograms.cmake)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${file})
    file(READ ${CMAKE_SOURCE_DIR}/${file} text)
    if(text MATCHES "wyk_add_demo_e2e_programs\\(")
      set(wyk_e2e_wired TRUE)
    endif()
  endif()
endforeach()
if(NOT wyk_e2e_wired)
  message(FATAL_ERROR "End-to-end suite: no Windows build calls wyk_add_demo_e2e_programs()")
endif()

set(WYK_E2E_WINDOWS_DIR ${CMAKE_BINARY_DIR}/win-x64-i586)
set(WYK_E2E_WORK_DIR ${CMAKE_BINARY_DIR}/e2e-work)

# module | display ("-": needs no Wine) | time limit in seconds
set(WYK_E2E_MODULES
  "test_msi_storage|-|60"
  "test_install|:95|900"
  "test_rerun_and_failure|:96|900"
  "test_cache_folders|:97|900"
  "test_update_service|:95|600"
  "test_handoff|:96|600"
  "test_user_folders|:97|900"
)

foreach(entry IN LISTS WYK_E2E_MODULES)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 module)
  list(GET fields 1 display)
  list(GET fields 2 limit)
  string(REPLACE ":" "" display_number "${display}")
  add_test(NAME e2e.${module}
           COMMAND ${WYK_PYTHON} -m unittest -v ${module}
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
  if(NOT display STREQUAL "-")
    set_tests_properties(e2e.${module} PROPERTIES RESOURCE_LOCK wyk_display_${display_number})
  endif()
  set_tests_properties(e2e.${module} PROPERTIES
    LABELS e2e
    TIMEOUT ${limit}
    ENVIRONMENT "WYK_E2E_EXE=${WYK_E2E_WINDOWS_DIR}/wyk-demo-e2e.exe;WYK_E2E_PAYLOAD=${WYK_E2E_WINDOWS_DIR}/demo-e2e;WYK_E2E_EXTRA=${WYK_E2E_WINDOWS_DIR}/demo-e2e-extra;WYK_E2E_LARGE_EXE=${WYK_E2E_WINDOWS_DIR}/wyk-demo-e2e-large.exe;WYK_E2E_LARGE_PAYLOAD=${WYK_E2E_WINDOWS_DIR}/demo-e2e-large;WYK_E2E_RUNNER=${WYK_E2E_WINDOWS_DIR}/demo-programs/e2e_runner.exe;WYK_E2E_WORK=${WYK_E2E_WORK_DIR}/${module};WYK_E2E_TEMPLATE=${WYK_E2E_WORK_DIR}/template;WYK_E2E_DISPLAY=${display};PYTHONDONTWRITEBYTECODE=1")
endforeach()
