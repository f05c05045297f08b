# Binds a payload folder into a bootstrapper executable. The folder holds the
# files under their cache names; every row is bound unless its id is listed
# after OMIT (tests use that to build modules that lack a row).
include(${CMAKE_CURRENT_LIST_DIR}/PayloadRows.cmake)

function(wyk_add_bootstrapper name payload_dir)
  cmake_parse_arguments(ARG "" "" "OMIT" ${ARGN})
  set(rc ${CMAKE_BINARY_DIR}/${name}_payload.rc)
  set(content "// Generated: payload rows of ${name}\n#include \"bootstrapper.rc\"\nLANGUAGE 0x09, 0x01\n")
  set(depends "")
  # Bound in the order of their ids, whatever order the table writes them in.
  set(ids ${WYK_PAYLOAD_IDS})
  list(SORT ids COMPARE NATURAL)
  foreach(id IN LISTS ids)
    string(REPLACE "|" ";" fields "${WYK_PAYLOAD_ROW_${id}}")
    list(GET fields 0 file)
    list(GET fields 1 type)
    if(NOT id IN_LIST ARG_OMIT)
      string(APPEND content "${id} ${type} \"${payload_dir}/${file}\"\n")
      list(APPEND depends ${payload_dir}/${file})
    endif()
  endforeach()
  file(GENERATE OUTPUT ${rc} CONTENT "${content}")
  add_executable(${name} WIN32 ${rc} $<TARGET_OBJECTS:wyk_product_objects>)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${depends};${WYK_RESOURCE_DEPENDS}")
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/resources)
  target_link_options(${name} PRIVATE ${WYK_PRODUCT_LINK_FLAGS})
  target_link_libraries(${name} PRIVATE ${WYK_PRODUCT_LIBRARIES})
  # A payload made at build time must exist before the resources are compiled.
  if(payload_dir STREQUAL WYK_DEFAULT_PAYLOAD AND WYK_DEFAULT_PAYLOAD_TARGET)
    add_dependencies(${name} ${WYK_DEFAULT_PAYLOAD_TARGET})
  endif()
endfunction()
