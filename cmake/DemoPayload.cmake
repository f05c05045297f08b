# The demo payload: the development kit package, its five cabinets and the
# update service, built from resources/demo at build time (nothing binary is
# checked in). Included inside a Windows (mingw) build, which also compiles the
# small Windows programs that the packages carry.
#
#   wyk_add_demo_payload(<out dir> <x86|x64> [REALISTIC])
#     Adds the rules that write the eight payload files into <out dir> under
#     their cache names, and the packages that only the end-to-end checks use
#     into <out dir>-extra. Sets, in the caller's scope, WYK_DEMO_PAYLOAD_FILES
#     (the eight files) and WYK_DEMO_PAYLOAD_TARGET (the target that makes
#     them: an executable that binds them must depend on it). REALISTIC fills
#     the cabinets to release sizes whatever WYK_DEMO_REALISTIC_SIZES says.
#
#   wyk_add_demo_bootstrapper(<name> <out dir> <x86|x64> [REALISTIC])
#     wyk_add_demo_payload, then an executable <name> bound with that payload
#     (cmake/PayloadBinding.cmake must be included before).
#
#   wyk_add_demo_e2e_programs()
#     For a build whose programs the Wine suites run: the executables that the
#     end-to-end suite (tests/e2e) runs: wyk-demo-e2e.exe (small demo payload
#     in demo-e2e/, extra packages in demo-e2e-extra/) and wyk-demo-e2e-large.exe
#     (release-size cabinets, for the hand-off check).
#
# WYK_DEMO_REALISTIC_SIZES=ON fills the cabinets with incompressible data up to
# the sizes of the release (10.5, 17.7, 33.9, 16.0 MiB and 2 KiB), for benchmarks.

find_program(WYK_WIXL wixl REQUIRED)
find_program(WYK_MSIBUILD msibuild REQUIRED)
find_program(WYK_MSIINFO msiinfo REQUIRED)
find_program(WYK_GCAB gcab REQUIRED)

# The date the demo packages and the files in their cabinets carry, so that two
# builds of one commit give the same bytes: SOURCE_DATE_EPOCH when set, else the
# time of the checked-out commit, else a fixed date (2024-01-01, no git at hand).
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(WYK_DEMO_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct
    WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/.. OUTPUT_VARIABLE WYK_DEMO_EPOCH
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT WYK_DEMO_EPOCH MATCHES "^[0-9]+$")
  set(WYK_DEMO_EPOCH 1704067200)
endif()

set(WYK_DEMO_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../resources/demo)
get_filename_component(WYK_DEMO_SOURCE_DIR ${WYK_DEMO_SOURCE_DIR} ABSOLUTE)
get_filename_component(WYK_DEMO_TOOLS_DIR ${CMAKE_CURRENT_LIST_DIR}/../tools ABSOLUTE)

include(${CMAKE_CURRENT_LIST_DIR}/PayloadRows.cmake)
set(WYK_DEMO_PAYLOAD_NAMES ${WYK_PAYLOAD_FILE_NAMES})
set(WYK_DEMO_EXTRA_NAMES au-old.msi au-newer.msi qor.msi qor1041.MST qor2052.MST)

# The programs the packages carry, statically linked so that they need nothing
# beside them on the target system.
function(_wyk_add_demo_programs)
  if(TARGET wyk_demo_cabinet_wait)
    return()
  endif()
  set(static_flags -static -static-libgcc -s -Wl,--no-insert-timestamp)
  add_library(wyk_demo_cabinet_wait SHARED ${WYK_DEMO_SOURCE_DIR}/cabinet_wait.c)
  set_target_properties(wyk_demo_cabinet_wait PROPERTIES PREFIX "" OUTPUT_NAME cabinet_wait
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/demo-programs)
  target_compile_options(wyk_demo_cabinet_wait PRIVATE -Os -Wall -Wextra -Werror)
  # Undecorated export names on 32-bit too: the package names the entry "WaitForCabinets".
  target_link_options(wyk_demo_cabinet_wait PRIVATE ${static_flags} -Wl,--kill-at)
  target_link_libraries(wyk_demo_cabinet_wait PRIVATE msi)

  add_executable(wyk_demo_tvaureg WIN32 ${WYK_DEMO_SOURCE_DIR}/tvaureg.c)
  set_target_properties(wyk_demo_tvaureg PROPERTIES OUTPUT_NAME tvaureg
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/demo-programs)
  target_compile_options(wyk_demo_tvaureg PRIVATE -Os -Wall -Wextra -Werror)
  target_link_options(wyk_demo_tvaureg PRIVATE ${static_flags})
endfunction()

function(wyk_add_demo_payload out_dir arch)
  cmake_parse_arguments(ARG "REALISTIC" "" "" ${ARGN})
  if(NOT arch MATCHES "^(x86|x64)$")
    message(FATAL_ERROR "wyk_add_demo_payload: architecture must be x86 or x64, not '${arch}'")
  endif()
  _wyk_add_demo_programs()

  get_filename_component(out_dir ${out_dir} ABSOLUTE BASE_DIR ${CMAKE_BINARY_DIR})
  get_filename_component(leaf ${out_dir} NAME)
  string(MAKE_C_IDENTIFIER "wyk_payload_${leaf}" target)

  set(files "")
  foreach(name IN LISTS WYK_DEMO_PAYLOAD_NAMES)
    list(APPEND files ${out_dir}/${name})
  endforeach()
  set(extra "")
  foreach(name IN LISTS WYK_DEMO_EXTRA_NAMES)
    list(APPEND extra ${out_dir}-extra/${name})
  endforeach()

  if(NOT TARGET ${target})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${WYK_DEMO_SOURCE_DIR}/*)
    set(realistic "")
    if(WYK_DEMO_REALISTIC_SIZES OR ARG_REALISTIC)
      set(realistic --realistic)
    endif()
    # Rebuilds the payload when the size option or the date changes (written only on a change).
    file(CONFIGURE OUTPUT ${out_dir}-options.txt
         CONTENT "arch=${arch} options=${realistic} epoch=${WYK_DEMO_EPOCH}\n")
    add_custom_command(
      OUTPUT ${files} ${extra}
      COMMAND ${WYK_PYTHON} ${WYK_DEMO_TOOLS_DIR}/demo_payload.py
              --source ${WYK_DEMO_SOURCE_DIR} --out ${out_dir} --extra ${out_dir}-extra
              --work ${out_dir}-work --arch ${arch}
              --cabinet-wait $<TARGET_FILE:wyk_demo_cabinet_wait>
              --tvaureg $<TARGET_FILE:wyk_demo_tvaureg>
              --wixl ${WYK_WIXL} --msibuild ${WYK_MSIBUILD} --msiinfo ${WYK_MSIINFO} --gcab ${WYK_GCAB}
              --epoch ${WYK_DEMO_EPOCH} ${realistic}
      DEPENDS ${sources} ${out_dir}-options.txt ${WYK_DEMO_TOOLS_DIR}/demo_payload.py ${WYK_DEMO_TOOLS_DIR}/demo_msi_storage.py
              wyk_demo_cabinet_wait wyk_demo_tvaureg
      COMMENT "Building the demo payload (${arch}) in ${out_dir}"
      VERBATIM)
    add_custom_target(${target} DEPENDS ${files} ${extra})
  endif()

  set(WYK_DEMO_PAYLOAD_FILES ${files} PARENT_SCOPE)
  set(WYK_DEMO_PAYLOAD_TARGET ${target} PARENT_SCOPE)
endfunction()

function(wyk_add_demo_bootstrapper name out_dir arch)
  wyk_add_demo_payload(${out_dir} ${arch} ${ARGN})
  get_filename_component(out_dir ${out_dir} ABSOLUTE BASE_DIR ${CMAKE_BINARY_DIR})
  wyk_add_bootstrapper(${name} ${out_dir})
  add_dependencies(${name} ${WYK_DEMO_PAYLOAD_TARGET})
endfunction()

function(wyk_add_demo_e2e_programs)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(arch x64)
  else()
    set(arch x86)
  endif()
  wyk_add_demo_bootstrapper(wyk-demo-e2e ${CMAKE_BINARY_DIR}/demo-e2e ${arch})
  wyk_add_demo_bootstrapper(wyk-demo-e2e-large ${CMAKE_BINARY_DIR}/demo-e2e-large ${arch} REALISTIC)
endfunction()
