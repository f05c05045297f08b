# Windows programs of the platform tests (included by the Windows build when
# WYK_TEST_PROGRAMS is on):
#   platform_probe.exe         the product's operations as command-line verbs,
#                              with resources of its own to extract
#   platform_probe_no1119.exe  the same without the update-service package row
set(WYK_PROBE_DIR ${CMAKE_SOURCE_DIR}/tests/platform)
set(WYK_PROBE_PAYLOAD ${CMAKE_BINARY_DIR}/platform-probe-payload)

# The product's own objects without its entry point (WinMain).
set(WYK_PROBE_PRODUCT_OBJECTS "$<FILTER:$<TARGET_OBJECTS:wyk_product_objects>,EXCLUDE,win_main\\.cpp>")

execute_process(COMMAND ${WYK_PYTHON} ${CMAKE_SOURCE_DIR}/tests/wine/make_payload.py probe ${WYK_PROBE_PAYLOAD}
                COMMAND_ERROR_IS_FATAL ANY)

function(platform_probe_executable name)
  cmake_parse_arguments(ARG "" "" "ROWS" ${ARGN})
  set(rc ${CMAKE_BINARY_DIR}/${name}.rc)
  list(TRANSFORM ARG_ROWS REPLACE "[^|]+$" "${WYK_PROBE_PAYLOAD}/\\0")
  wyk_write_resource_script(${rc} "// Generated: resources of ${name}\n" "${ARG_ROWS}" "")
  add_executable(${name} ${WYK_PROBE_DIR}/programs/platform_probe.cpp ${rc}
                 ${WYK_PROBE_PRODUCT_OBJECTS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    WYK_ARCH="${WYK_ARCH}" WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)
  target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti -Wall -Wextra)
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  target_link_libraries(${name} PRIVATE ${WYK_PRODUCT_LIBRARIES} version ntdll)
endfunction()

set(platform_probe_rows
  "9000|TAVRO_INSTALLER|probe_0.bin"
  "9001|TAVRO_INSTALLER|probe_8192.bin"
  "9002|TAVRO_INSTALLER|probe_8193.bin"
  "9003|TAVRO_INSTALLER|probe_20000.bin"
  "107|TAVRO_CAB6|probe_cab6.bin"
  "1120|TAVRO_INSTALLER|au.cab")
platform_probe_executable(platform_probe ROWS ${platform_probe_rows} "1119|TAVRO_INSTALLER|au.msi")
platform_probe_executable(platform_probe_no1119 ROWS ${platform_probe_rows})
