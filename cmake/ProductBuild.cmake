# Windows build (mingw-w64): the bootstrapper executable with its resources.
set(WYK_ARCH "i586" CACHE STRING "Architecture constant of the product build (i586 or amd64)")
option(WYK_TEST_PROGRAMS "Also build the small Windows programs the Wine tests use" OFF)
option(WYK_STUB_VARIANT "Also build the product without any payload row, to measure its own size" OFF)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(WYK_MANIFEST_ARCH "amd64")
else()
  set(WYK_MANIFEST_ARCH "X86")
endif()
configure_file(${CMAKE_SOURCE_DIR}/resources/manifest.xml.in ${CMAKE_BINARY_DIR}/resources/manifest.xml @ONLY)
set(WYK_ORIGINAL_FILENAME "wyk-7-windows-${WYK_ARCH}.exe")
configure_file(${CMAKE_SOURCE_DIR}/resources/version_values.h.in ${CMAKE_BINARY_DIR}/resources/version_values.h @ONLY)

# The program's icon is drawn by a script at build time; every resource script
# that includes bootstrapper.rc depends on it and on the other ordinary resources.
set(WYK_ICON ${CMAKE_BINARY_DIR}/resources/bootstrapper.ico)
add_custom_command(OUTPUT ${WYK_ICON}
  COMMAND ${WYK_PYTHON} ${CMAKE_SOURCE_DIR}/tools/make_icon.py ${WYK_ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_icon.py
  COMMENT "Drawing the program icon")
set(WYK_RESOURCE_DEPENDS ${WYK_ICON}
  ${CMAKE_BINARY_DIR}/resources/manifest.xml
  ${CMAKE_SOURCE_DIR}/resources/bootstrapper.rc
  ${CMAKE_SOURCE_DIR}/resources/strings.rc
  ${CMAKE_SOURCE_DIR}/resources/version.rc
  ${CMAKE_BINARY_DIR}/resources/version_values.h)

set(WYK_PLATFORM_SOURCES
  base/folder_text.cpp
  bootstrap/display_language.cpp
  bootstrap/run_bootstrap.cpp
  bootstrap/win_main.cpp
  cache/cache_folder.cpp
  cache/cache_levels.cpp
  cache/link_checks.cpp
  cache/path_identity.cpp
  cache/run_lock.cpp
  cache/staged_file.cpp
  diagnostics/diagnostic_log.cpp
  diagnostics/error_box.cpp
  diagnostics/fatal_error.cpp
  followon/public_runtime.cpp
  followon/update_service.cpp
  payload/cabinet_thread.cpp
  payload/extract_resource.cpp
  platform/installer_engine.cpp
  platform/process_runner.cpp
  platform/registry_key.cpp
  platform/system_info.cpp
  platform/system_library.cpp
  platform/vendor_values.cpp
)

# Small and self-contained: no exceptions, no RTTI, static runtime, dead code dropped.
# Reproducible: no link time stamp and no build folder in the image, so that
# two builds of the same sources give the same bytes.
set(WYK_PRODUCT_CXX_FLAGS -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -ffunction-sections -fdata-sections -Wall -Wextra -Werror
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
set(WYK_PRODUCT_LINK_FLAGS -static -static-libgcc -static-libstdc++ -mwindows
    -Wl,--gc-sections -s -Wl,--no-insert-timestamp)

# The program's own entry replaces the runtime's start-up code (see win_main.cpp).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(WYK_ENTRY_SYMBOL WykEntry)
else()
  set(WYK_ENTRY_SYMBOL _WykEntry)
endif()
list(APPEND WYK_PRODUCT_LINK_FLAGS -nostartfiles -Wl,-e,${WYK_ENTRY_SYMBOL})

# Windows maps an image's sections straight from the file, whatever their file
# alignment; Wine maps only page-aligned files and copies the others, payload
# and all, into private memory before the first instruction (about 80 MiB and
# 70 to 85 ms of start for the release payload). People run installers under
# Wine, so every build is page-aligned: the shipped file, its test builds and
# the 64-bit builds. It costs the file without payload about 18 KiB of padding.
list(APPEND WYK_PRODUCT_LINK_FLAGS -Wl,--file-alignment=0x1000)

# The product's objects; the benchmark compiles the same sources once more
# with its timing points (bench/BenchPrograms.cmake).
function(wyk_add_product_objects name)
  add_library(${name} OBJECT ${WYK_CORE_SOURCES} ${WYK_PLATFORM_SOURCES} ${ARGN})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_features(${name} PUBLIC cxx_std_11)
  target_compile_definitions(${name} PUBLIC
    WYK_ARCH="${WYK_ARCH}" WYK_OWN_ENTRY WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)
  target_compile_options(${name} PRIVATE ${WYK_PRODUCT_CXX_FLAGS})
endfunction()
wyk_add_product_objects(wyk_product_objects)

set(WYK_PRODUCT_LIBRARIES kernel32 user32 advapi32 shell32 ole32)
include(${CMAKE_SOURCE_DIR}/cmake/PayloadBinding.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/DemoPayload.cmake)

# The payload that is bound when no folder is named: the demo packages, built
# from source for this build's architecture.
if(WYK_PAYLOAD_DIR STREQUAL "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    wyk_add_demo_payload(${CMAKE_BINARY_DIR}/demo-payload x64)
  else()
    wyk_add_demo_payload(${CMAKE_BINARY_DIR}/demo-payload x86)
  endif()
  set(WYK_DEFAULT_PAYLOAD ${CMAKE_BINARY_DIR}/demo-payload)
  set(WYK_DEFAULT_PAYLOAD_TARGET ${WYK_DEMO_PAYLOAD_TARGET})
else()
  set(WYK_DEFAULT_PAYLOAD ${WYK_PAYLOAD_DIR})
endif()
# Tests find the files the product carries here, whatever folder they came from.
file(CREATE_LINK ${WYK_DEFAULT_PAYLOAD} ${CMAKE_BINARY_DIR}/bound-payload SYMBOLIC)

set(WYK_PRODUCT_NAME "wyk-7-windows-${WYK_ARCH}")
wyk_add_bootstrapper(${WYK_PRODUCT_NAME} ${WYK_DEFAULT_PAYLOAD})
if(WYK_STUB_VARIANT)
  wyk_add_bootstrapper(${WYK_PRODUCT_NAME}-stub ${WYK_DEFAULT_PAYLOAD}
                       OMIT ${WYK_PAYLOAD_IDS})
endif()

if(WYK_BENCH)
  include(${CMAKE_SOURCE_DIR}/bench/BenchPrograms.cmake)
endif()

if(WYK_TEST_PROGRAMS)
  include(${CMAKE_SOURCE_DIR}/tests/wine/TestPrograms.cmake)
  wyk_add_demo_e2e_programs()
  include(${CMAKE_SOURCE_DIR}/tests/platform/ProbeProgram.cmake)
endif()
