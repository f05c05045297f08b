# Benchmark variants (inside the Windows builds with -DWYK_BENCH=ON): the
# same executable, linked as the product is, with the release-size payload
# and with empty cabinets; a timed build of the release-size variant whose
# cabinet thread notes when it passes each step (base/timing_points.h); and a
# stand-in engine that notes when it was started.
set(WYK_BENCH_PAYLOADS ${CMAKE_BINARY_DIR}/bench-payload)
foreach(profile realistic empty)
  execute_process(COMMAND ${WYK_PYTHON} ${CMAKE_SOURCE_DIR}/bench/make_bench_payload.py
                          ${WYK_BENCH_PAYLOADS}/${profile} ${profile} COMMAND_ERROR_IS_FATAL ANY)
  wyk_add_bootstrapper(wyk-bench-${profile} ${WYK_BENCH_PAYLOADS}/${profile})
endforeach()

wyk_add_product_objects(wyk_bench_timed_objects ${CMAKE_SOURCE_DIR}/bench/programs/timing_points.cpp)
target_compile_definitions(wyk_bench_timed_objects PUBLIC WYK_TIMING_POINTS)
wyk_add_bootstrapper(wyk-bench-realistic-timed ${WYK_BENCH_PAYLOADS}/realistic
                     OBJECTS wyk_bench_timed_objects)

add_executable(wyk_bench_engine ${CMAKE_SOURCE_DIR}/bench/programs/bench_engine.c)
set_target_properties(wyk_bench_engine PROPERTIES OUTPUT_NAME msiexec
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench-engine)
# msiexec.exe is a GUI-subsystem program: a console stand-in would make Wine
# start a console host beside it and charge that to the bootstrapper.
target_link_options(wyk_bench_engine PRIVATE -static -mwindows)

# The references that show what limits the figures (see benchmarks.py).
add_executable(wyk_bench_same_writes ${CMAKE_SOURCE_DIR}/bench/programs/bench_same_writes.c)
set_target_properties(wyk_bench_same_writes PROPERTIES OUTPUT_NAME bench_same_writes)
target_link_options(wyk_bench_same_writes PRIVATE -static -mwindows)
