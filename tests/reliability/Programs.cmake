# Windows programs of the reliability tests (included by the x86_64 build
# that carries the product's constants, with the other test programs):
#   reliability-engine/msiexec.exe  an engine stand-in that reads the staged
#                                   files and waits for a signal before it ends
#   reliability-tools/*             intruder, runner, decoy and loader programs
#   reliability-tools/trace_library.dll  leaves a trace when it is loaded
set(WYK_RELY_SOURCES ${CMAKE_CURRENT_LIST_DIR}/programs)
set(WYK_RELY_TOOLS ${CMAKE_BINARY_DIR}/reliability-tools)

function(wyk_reliability_program name source folder)
  add_executable(${name} ${WYK_RELY_SOURCES}/${source})
  target_compile_options(${name} PRIVATE -Wall -Wextra -Werror)
  target_link_options(${name} PRIVATE -static -static-libgcc)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${folder})
  if(ARGN)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${ARGN})
  endif()
endfunction()

wyk_reliability_program(wyk_rely_engine patient_engine.c ${CMAKE_BINARY_DIR}/reliability-engine msiexec)
set_target_properties(wyk_rely_engine PROPERTIES WIN32_EXECUTABLE ON)
wyk_reliability_program(wyk_rely_swap swap_attempt.c ${WYK_RELY_TOOLS} swap_attempt)
wyk_reliability_program(wyk_rely_run_all run_all.c ${WYK_RELY_TOOLS} run_all)
wyk_reliability_program(wyk_rely_decoy decoy_program.c ${WYK_RELY_TOOLS} decoy_program)
set_target_properties(wyk_rely_decoy PROPERTIES WIN32_EXECUTABLE ON)
wyk_reliability_program(wyk_rely_plain_loader plain_loader.c ${WYK_RELY_TOOLS} plain_loader)

add_library(wyk_rely_trace SHARED ${WYK_RELY_SOURCES}/trace_library.c)
target_compile_options(wyk_rely_trace PRIVATE -Wall -Wextra -Werror)
target_link_options(wyk_rely_trace PRIVATE -static -static-libgcc)
set_target_properties(wyk_rely_trace PROPERTIES PREFIX "" OUTPUT_NAME trace_library
  RUNTIME_OUTPUT_DIRECTORY ${WYK_RELY_TOOLS})
