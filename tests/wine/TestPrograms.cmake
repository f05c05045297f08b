# The Windows programs every Wine suite drives, built with the product's
# bitness, and bootstrapper variants with other payloads. Included by a
# Windows build with WYK_TEST_PROGRAMS on.
set(WYK_WINE_PROGRAM_SOURCES ${CMAKE_CURRENT_LIST_DIR}/programs)

set(WYK_WINE_TOOLS_DIR ${CMAKE_BINARY_DIR}/wine-tools)

# wyk_wine_program(<source> [WINDOWS | SHARED] [NAME <name>] [FOLDER <folder>] [LIBRARIES ...])
#   Builds <name>.exe (a library with SHARED), statically linked, from <source>
#   into <folder>; the name defaults to the source's, the folder to wine-tools.
function(wyk_wine_program source)
  cmake_parse_arguments(ARG "WINDOWS;SHARED" "NAME;FOLDER" "LIBRARIES" ${ARGN})
  get_filename_component(name ${source} NAME_WE)
  if(ARG_NAME)
    set(name ${ARG_NAME})
  endif()
  if(NOT ARG_FOLDER)
    set(ARG_FOLDER ${WYK_WINE_TOOLS_DIR})
  endif()
  string(REPLACE "." "_" target wyk_${name})
  if(ARG_SHARED)
    add_library(${target} SHARED ${source})
    set_target_properties(${target} PROPERTIES PREFIX "" LINKER_LANGUAGE C)
  elseif(ARG_WINDOWS)
    add_executable(${target} WIN32 ${source})
  else()
    add_executable(${target} ${source})
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  target_link_options(${target} PRIVATE -static -static-libgcc)
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name}
    RUNTIME_OUTPUT_DIRECTORY ${ARG_FOLDER})
endfunction()

# The one stand-in for the installer engine (configured per case through its
# environment). It must be called msiexec.exe, so it lives in a folder of its
# own that "InstallerLocation" names.
wyk_wine_program(${WYK_WINE_PROGRAM_SOURCES}/recording_engine.c WINDOWS NAME msiexec
  FOLDER ${CMAKE_BINARY_DIR}/fake-engine LIBRARIES advapi32)

# The observer is the runner (exact command lines, full 32-bit exit codes,
# several at once), the message box reader, the hand-off event watcher, the
# holder of files and the intruder.
wyk_wine_program(${WYK_WINE_PROGRAM_SOURCES}/observer.c LIBRARIES user32)
# The plain loader must not import user32 (see plain_loader.c).
wyk_wine_program(${WYK_WINE_PROGRAM_SOURCES}/plain_loader.c)
# The trace library: planted under a library's name, it notes each load.
wyk_wine_program(${WYK_WINE_PROGRAM_SOURCES}/trace_library.c SHARED)

# Libraries with nothing but a file version (and the toolchain's default entry
# point), put in place of the engine library to test the version gate on both
# sides of 2.0.2600.0.
foreach(version 2.0.2599.65535 2.0.2600.0)
  string(REPLACE "." "," WYK_LIB_VERSION_COMMAS ${version})
  set(WYK_LIB_VERSION ${version})
  set(rc ${CMAKE_BINARY_DIR}/engine-library-${version}.rc)
  configure_file(${WYK_WINE_PROGRAM_SOURCES}/engine_library.rc.in ${rc} @ONLY)
  wyk_wine_program(${rc} SHARED NAME msi-${version} FOLDER ${CMAKE_BINARY_DIR}/engine-libraries)
endforeach()

# Bootstrapper variants: without the main package, without the cabinet
# "TAVRO_CAB9", and one with cabinets of a few MiB.
wyk_add_bootstrapper(wyk-test-no-package ${WYK_DEFAULT_PAYLOAD} OMIT 101)
wyk_add_bootstrapper(wyk-test-no-cab9 ${WYK_DEFAULT_PAYLOAD} OMIT 110)

set(WYK_LARGE_PAYLOAD ${CMAKE_BINARY_DIR}/large-payload)
execute_process(COMMAND ${WYK_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/make_payload.py large
                        ${WYK_LARGE_PAYLOAD} COMMAND_ERROR_IS_FATAL ANY)
wyk_add_bootstrapper(wyk-test-large ${WYK_LARGE_PAYLOAD})
