# The Windows programs every Wine suite drives, built with the product's
# bitness, and bootstrapper variants with other payloads. Included by a
# Windows build with WYK_TEST_PROGRAMS on.
set(WYK_WINE_PROGRAM_SOURCES ${CMAKE_CURRENT_LIST_DIR}/programs)

function(wyk_wine_program name)
  cmake_parse_arguments(ARG "WINDOWS" "FOLDER;OUTPUT_NAME" "SOURCES;LIBRARIES" ${ARGN})
  if(ARG_WINDOWS)
    add_executable(${name} WIN32 ${ARG_SOURCES})
  else()
    add_executable(${name} ${ARG_SOURCES})
  endif()
  target_compile_options(${name} PRIVATE -Wall -Wextra -Werror)
  target_link_options(${name} PRIVATE -static -static-libgcc)
  if(ARG_LIBRARIES)
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  endif()
  if(ARG_FOLDER)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ARG_FOLDER})
  endif()
  if(ARG_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
endfunction()

# The one stand-in for the installer engine (configured per case through its
# environment). It must be called msiexec.exe, so it lives in a folder of its
# own that "InstallerLocation" names.
wyk_wine_program(wyk_recording_engine WINDOWS
  SOURCES ${WYK_WINE_PROGRAM_SOURCES}/recording_engine.c
  FOLDER ${CMAKE_BINARY_DIR}/fake-engine OUTPUT_NAME msiexec
  LIBRARIES advapi32)

set(WYK_WINE_TOOLS_DIR ${CMAKE_BINARY_DIR}/wine-tools)
wyk_wine_program(wyk_dialog_reader SOURCES ${WYK_WINE_PROGRAM_SOURCES}/dialog_reader.c
  FOLDER ${WYK_WINE_TOOLS_DIR} OUTPUT_NAME dialog_reader LIBRARIES user32)
wyk_wine_program(wyk_registry_tool SOURCES ${WYK_WINE_PROGRAM_SOURCES}/registry_tool.c
  FOLDER ${WYK_WINE_TOOLS_DIR} OUTPUT_NAME registry_tool LIBRARIES advapi32)
wyk_wine_program(wyk_other_program SOURCES ${WYK_WINE_PROGRAM_SOURCES}/other_program.c
  FOLDER ${WYK_WINE_TOOLS_DIR} OUTPUT_NAME other_program)
# The runner: exact command lines, full 32-bit exit codes, several at once.
wyk_wine_program(wyk_run_all SOURCES ${WYK_WINE_PROGRAM_SOURCES}/run_all.c
  FOLDER ${WYK_WINE_TOOLS_DIR} OUTPUT_NAME run_all)
wyk_wine_program(wyk_event_watcher SOURCES ${WYK_WINE_PROGRAM_SOURCES}/event_watcher.c
  FOLDER ${WYK_WINE_TOOLS_DIR} OUTPUT_NAME event_watcher)

# The trace library: planted under a library's name, it notes each load.
add_library(wyk_trace_library SHARED ${WYK_WINE_PROGRAM_SOURCES}/trace_library.c)
target_compile_options(wyk_trace_library PRIVATE -Wall -Wextra -Werror)
target_link_options(wyk_trace_library PRIVATE -static -static-libgcc)
set_target_properties(wyk_trace_library PROPERTIES PREFIX "" OUTPUT_NAME trace_library
  RUNTIME_OUTPUT_DIRECTORY ${WYK_WINE_TOOLS_DIR})

# Libraries with nothing but a file version, put in place of the engine
# library to test the version gate on both sides of 2.0.2600.0.
foreach(version 2.0.2599.65535 2.0.2600.0)
  string(REPLACE "." "," WYK_LIB_VERSION_COMMAS ${version})
  set(WYK_LIB_VERSION ${version})
  set(rc ${CMAKE_BINARY_DIR}/engine-library-${version}.rc)
  configure_file(${WYK_WINE_PROGRAM_SOURCES}/engine_library.rc.in ${rc} @ONLY)
  set(target wyk_engine_library_${version})
  string(REPLACE "." "_" target ${target})
  add_library(${target} SHARED ${WYK_WINE_PROGRAM_SOURCES}/engine_library.c ${rc})
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME msi-${version}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/engine-libraries)
  target_link_options(${target} PRIVATE -static -static-libgcc)
endforeach()

# Bootstrapper variants: without the main package, without the cabinet
# "TAVRO_CAB9", and one with cabinets of a few MiB.
wyk_add_bootstrapper(wyk-test-no-package ${WYK_DEFAULT_PAYLOAD} OMIT 101)
wyk_add_bootstrapper(wyk-test-no-cab9 ${WYK_DEFAULT_PAYLOAD} OMIT 110)

set(WYK_LARGE_PAYLOAD ${CMAKE_BINARY_DIR}/large-payload)
execute_process(COMMAND ${WYK_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/make_payload.py large
                        ${WYK_LARGE_PAYLOAD} COMMAND_ERROR_IS_FATAL ANY)
wyk_add_bootstrapper(wyk-test-large ${WYK_LARGE_PAYLOAD})
