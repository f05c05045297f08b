# Benchmark variants (inside the Windows builds with -DWYK_BENCH=ON): the
# same executable with the release-size payload and with empty cabinets, and
# a stand-in engine that notes when it was started.
set(WYK_BENCH_PAYLOADS ${CMAKE_BINARY_DIR}/bench-payload)
foreach(profile realistic empty)
  execute_process(COMMAND ${WYK_PYTHON} ${CMAKE_SOURCE_DIR}/bench/make_bench_payload.py
                          ${WYK_BENCH_PAYLOADS}/${profile} ${profile} COMMAND_ERROR_IS_FATAL ANY)
  wyk_add_bootstrapper(wyk-bench-${profile} ${WYK_BENCH_PAYLOADS}/${profile})
  # The shipped 32-bit file is compact (512-byte file alignment), and Wine
  # copies such an image into private memory at load. A page-aligned copy of
  # the same variant, for the benchmark only, shows what that copy costs.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    wyk_add_bootstrapper(wyk-bench-${profile}-paged ${WYK_BENCH_PAYLOADS}/${profile})
    target_link_options(wyk-bench-${profile}-paged PRIVATE -Wl,--file-alignment=0x1000)
  endif()
endforeach()
# What page alignment would cost the shipped file's size.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  wyk_add_bootstrapper(wyk-bench-stub-paged ${WYK_DEFAULT_PAYLOAD} OMIT ${WYK_PAYLOAD_IDS})
  target_link_options(wyk-bench-stub-paged PRIVATE -Wl,--file-alignment=0x1000)
endif()

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
