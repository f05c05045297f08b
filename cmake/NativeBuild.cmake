# Native Linux build: the decision code under GoogleTest with AddressSanitizer
# and UndefinedBehaviorSanitizer, plus the Windows builds as external projects
# and the tests that run them (statically and under Wine).
include(CTest)
include(ExternalProject)

option(WYK_CROSS_BUILDS "Build the Windows executables with mingw-w64" ON)

set(WYK_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_library(wyk_core STATIC ${WYK_CORE_SOURCES})
target_include_directories(wyk_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_features(wyk_core PUBLIC cxx_std_11)
target_compile_options(wyk_core PUBLIC ${WYK_SANITIZE} -Wall -Wextra -Werror)
target_link_options(wyk_core PUBLIC ${WYK_SANITIZE})

find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB WYK_UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
if(WYK_UNIT_TEST_SOURCES)
  add_executable(wyk_unit_tests ${WYK_UNIT_TEST_SOURCES})
  target_link_libraries(wyk_unit_tests PRIVATE wyk_core GTest::gtest GTest::gtest_main)
  gtest_discover_tests(wyk_unit_tests PROPERTIES LABELS unit TIMEOUT 60)
endif()

if(WYK_BENCH)
  # The cabinet thread's design without Wine, a reference for the staging figure.
  add_executable(native_same_writes ${CMAKE_SOURCE_DIR}/bench/programs/native_same_writes.c)
  set_target_properties(native_same_writes PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()

if(WYK_CROSS_BUILDS)
  set(WYK_CROSS_ARGS -DCMAKE_BUILD_TYPE=MinSizeRel -DWYK_PAYLOAD_DIR=${WYK_PAYLOAD_DIR}
                     -DWYK_DEMO_REALISTIC_SIZES=${WYK_DEMO_REALISTIC_SIZES} -DWYK_PYTHON=${WYK_PYTHON})
  # The shipped product, with the test programs of its bitness (the Wine
  # suites run it under WoW64) and the same program without payload, whose
  # size the static check holds to its limit.
  ExternalProject_Add(wyk_i686
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/win-i686
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-mingw-i686.cmake
               -DWYK_ARCH=i586 -DWYK_STUB_VARIANT=ON -DWYK_BENCH=${WYK_BENCH}
               -DWYK_TEST_PROGRAMS=ON ${WYK_CROSS_ARGS}
    INSTALL_COMMAND "" BUILD_ALWAYS ON USES_TERMINAL_BUILD ON)
  # The same sources and constants as 64-bit code: what the Wine suites run
  # instead when a machine cannot execute 32-bit code.
  ExternalProject_Add(wyk_x64_i586
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/win-x64-i586
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-mingw-x86_64.cmake
               -DWYK_ARCH=i586 -DWYK_TEST_PROGRAMS=ON -DWYK_BENCH=${WYK_BENCH} ${WYK_CROSS_ARGS}
    INSTALL_COMMAND "" BUILD_ALWAYS ON USES_TERMINAL_BUILD ON)
  # The 64-bit product build.
  ExternalProject_Add(wyk_x64_amd64
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/win-x64-amd64
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-mingw-x86_64.cmake
               -DWYK_ARCH=amd64 ${WYK_CROSS_ARGS}
    INSTALL_COMMAND "" BUILD_ALWAYS ON USES_TERMINAL_BUILD ON)

  include(${CMAKE_SOURCE_DIR}/cmake/StaticTests.cmake)
  include(${CMAKE_SOURCE_DIR}/cmake/WineTests.cmake)
  include(${CMAKE_SOURCE_DIR}/cmake/ReleaseTests.cmake)
endif()

# The folders depend in one direction only; needs no Windows build.
add_test(NAME static.layering COMMAND ${WYK_PYTHON} ${CMAKE_SOURCE_DIR}/tests/static/check_layering.py
                                      ${CMAKE_SOURCE_DIR})
set_tests_properties(static.layering PROPERTIES LABELS static TIMEOUT 60)

# The set-up script on a bad day, with stand-ins for the package tools.
add_test(NAME setup.setup_deps COMMAND ${WYK_PYTHON} ${CMAKE_SOURCE_DIR}/tests/setup/test_setup_deps.py)
set_tests_properties(setup.setup_deps PROPERTIES LABELS setup TIMEOUT 300)

# libFuzzer targets, built by clang in a project of their own; CI runs each briefly.
find_program(WYK_CLANGXX clang++)
option(WYK_FUZZERS "Build and briefly run the libFuzzer targets (needs clang)" ON)
set(WYK_FUZZ_SECONDS 30 CACHE STRING "How long ctest runs each fuzzer")
if(WYK_FUZZERS AND WYK_CLANGXX)
  set(WYK_FUZZ_BUILD ${CMAKE_BINARY_DIR}/fuzz)
  ExternalProject_Add(wyk_fuzzers
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz
    BINARY_DIR ${WYK_FUZZ_BUILD}
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${WYK_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
    INSTALL_COMMAND "" BUILD_ALWAYS ON)
  include(${CMAKE_SOURCE_DIR}/cmake/FuzzTargets.cmake)
  foreach(name IN LISTS WYK_FUZZ_TARGETS)
    set(work ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    add_test(NAME fuzz.${name}
      COMMAND ${CMAKE_COMMAND} -E env UBSAN_OPTIONS=halt_on_error=1
              sh -c "mkdir -p '${work}' && exec '${WYK_FUZZ_BUILD}/${name}' -max_total_time=${WYK_FUZZ_SECONDS} -print_final_stats=1 '${work}' '${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name}'")
    set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
  endforeach()
endif()
