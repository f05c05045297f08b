# Binds a payload folder into a bootstrapper executable. The folder holds the
# files under their cache names; every row is bound unless its id is listed
# after OMIT (tests use that to build modules that lack a row). OBJECTS names
# another object library of the program's sources (default: the product's).
include(${CMAKE_CURRENT_LIST_DIR}/PayloadRows.cmake)

# Writes the resource script <rc>: <header>, then a line "<id> <type> "<file>""
# for each "<id>|<type>|<file>" of rows; compiling it waits for the files and
# for the extra dependencies.
function(wyk_write_resource_script rc header rows extra_depends)
  set(content "${header}LANGUAGE 0x09, 0x01\n")
  set(depends ${extra_depends})
  foreach(row IN LISTS rows)
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 0 id)
    list(GET fields 1 type)
    list(GET fields 2 file)
    string(APPEND content "${id} ${type} \"${file}\"\n")
    list(APPEND depends ${file})
  endforeach()
  file(GENERATE OUTPUT ${rc} CONTENT "${content}")
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${depends}")
endfunction()

function(wyk_add_bootstrapper name payload_dir)
  cmake_parse_arguments(ARG "" "OBJECTS" "OMIT" ${ARGN})
  if(NOT ARG_OBJECTS)
    set(ARG_OBJECTS wyk_product_objects)
  endif()
  set(rc ${CMAKE_BINARY_DIR}/${name}_payload.rc)
  set(rows "")
  # Bound in the order of their ids, whatever order the table writes them in.
  set(ids ${WYK_PAYLOAD_IDS})
  list(SORT ids COMPARE NATURAL)
  foreach(id IN LISTS ids)
    string(REPLACE "|" ";" fields "${WYK_PAYLOAD_ROW_${id}}")
    list(GET fields 0 file)
    list(GET fields 1 type)
    if(NOT id IN_LIST ARG_OMIT)
      list(APPEND rows "${id}|${type}|${payload_dir}/${file}")
    endif()
  endforeach()
  wyk_write_resource_script(${rc} "// Generated: payload rows of ${name}\n#include \"bootstrapper.rc\"\n"
                            "${rows}" "${WYK_RESOURCE_DEPENDS}")
  add_executable(${name} WIN32 ${rc} $<TARGET_OBJECTS:${ARG_OBJECTS}>)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/resources)
  target_link_options(${name} PRIVATE ${WYK_PRODUCT_LINK_FLAGS})
  target_link_libraries(${name} PRIVATE ${WYK_PRODUCT_LIBRARIES})
  # A payload made at build time must exist before the resources are compiled.
  if(payload_dir STREQUAL WYK_DEFAULT_PAYLOAD AND WYK_DEFAULT_PAYLOAD_TARGET)
    add_dependencies(${name} ${WYK_DEFAULT_PAYLOAD_TARGET})
  endif()
endfunction()
