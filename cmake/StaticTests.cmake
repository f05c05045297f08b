# Static checks of the built Windows executables (no Wine needed): headers,
# imported libraries, manifest, icon group, string tables and payload rows.
# Included by the native build after the Windows builds are declared.
set(WYK_STATIC_CHECK ${CMAKE_CURRENT_LIST_DIR}/../tests/static/check_product_binary.py)

function(wyk_add_static_test name build_dir exe)
  if(WYK_PAYLOAD_DIR)
    set(payload ${WYK_PAYLOAD_DIR})
  else()
    set(payload ${CMAKE_BINARY_DIR}/${build_dir}/bound-payload)
  endif()
  add_test(NAME ${name}
    COMMAND ${WYK_PYTHON} ${WYK_STATIC_CHECK}
            ${CMAKE_BINARY_DIR}/${build_dir}/${exe} --payload ${payload} ${ARGN})
  set_tests_properties(${name} PROPERTIES LABELS static TIMEOUT 120)
endfunction()

# The shipped 32-bit product, and its size without payload; the size figures
# that docs/benchmarks.md quotes must be those of this build.
wyk_add_static_test(static.product_binary win-i686 wyk-7-windows-i586.exe
                    --stub ${CMAKE_BINARY_DIR}/win-i686/wyk-7-windows-i586-stub.exe
                    --docs ${CMAKE_CURRENT_LIST_DIR}/../docs/benchmarks.md)
# The 64-bit builds carry the same resources, with the manifest's architecture "amd64".
wyk_add_static_test(static.x64_i586_binary win-x64-i586 wyk-7-windows-i586.exe --x64)
wyk_add_static_test(static.x64_amd64_binary win-x64-amd64 wyk-7-windows-amd64.exe --x64
                    --original-filename wyk-7-windows-amd64.exe)
