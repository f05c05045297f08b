# Reads the payload rows from payload/payload_rows.def, the one table of them.
# Sets WYK_PAYLOAD_ROWS ("<file>|<type>|<id>" per row, in the table's order),
# WYK_PAYLOAD_IDS, WYK_PAYLOAD_FILE_NAMES, and WYK_PAYLOAD_ROW_<id> ("<file>|<type>").
set(WYK_PAYLOAD_ROWS_FILE ${CMAKE_CURRENT_LIST_DIR}/../payload/payload_rows.def)
set(wyk_row_regex "^WYK_PAYLOAD_ROW\\(([A-Za-z]+), \"([A-Z0-9_]+)\", ([0-9]+), \"([^\"]+)\"\\)$")
file(STRINGS ${WYK_PAYLOAD_ROWS_FILE} wyk_row_lines REGEX "^WYK_PAYLOAD_ROW")
set(WYK_PAYLOAD_ROWS "")
set(WYK_PAYLOAD_IDS "")
set(WYK_PAYLOAD_FILE_NAMES "")
foreach(line IN LISTS wyk_row_lines)
  if(NOT line MATCHES "${wyk_row_regex}")
    message(FATAL_ERROR "payload_rows.def: cannot read the row '${line}'")
  endif()
  list(APPEND WYK_PAYLOAD_ROWS "${CMAKE_MATCH_4}|${CMAKE_MATCH_2}|${CMAKE_MATCH_3}")
  list(APPEND WYK_PAYLOAD_IDS ${CMAKE_MATCH_3})
  list(APPEND WYK_PAYLOAD_FILE_NAMES ${CMAKE_MATCH_4})
  set(WYK_PAYLOAD_ROW_${CMAKE_MATCH_3} "${CMAKE_MATCH_4}|${CMAKE_MATCH_2}")
endforeach()
list(LENGTH WYK_PAYLOAD_ROWS wyk_row_count)
if(wyk_row_count EQUAL 0)
  message(FATAL_ERROR "payload_rows.def holds no rows")
endif()
# A change of the table reconfigures the build.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${WYK_PAYLOAD_ROWS_FILE})
