# Reads the portal table (src/checks/portal_table.h): KORVEX_PORTAL_IDS lists the ids in table order,
# and KORVEX_PORTAL_<id>_SETTING, _TITLE, _ADDRESS and _DEMO_PORT hold each row's columns. A line that
# starts like a row but does not parse stops the configuration, so the build and the program never
# see two different tables.
function(korvex_read_portal_table file)
  file(STRINGS "${file}" lines REGEX "^ *X\\(")
  string(REPLACE "\\;" ";" lines "${lines}")  # the macro's line ends would escape the list's separators
  set(ids "")
  set(row "^ *X\\(([A-Za-z0-9_]+), +([A-Za-z0-9_]+), +([A-Z0-9_]+), +\"([^\"]+)\", +\"([^\"]+)\", +([0-9]+)\\) *\\\\? *$")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "${row}")
      message(FATAL_ERROR "${file}: not a row of the portal table: ${line}")
    endif()
    list(APPEND ids ${CMAKE_MATCH_1})
    set(KORVEX_PORTAL_${CMAKE_MATCH_1}_SETTING "${CMAKE_MATCH_3}" PARENT_SCOPE)
    set(KORVEX_PORTAL_${CMAKE_MATCH_1}_TITLE "${CMAKE_MATCH_4}" PARENT_SCOPE)
    set(KORVEX_PORTAL_${CMAKE_MATCH_1}_ADDRESS "${CMAKE_MATCH_5}" PARENT_SCOPE)
    set(KORVEX_PORTAL_${CMAKE_MATCH_1}_DEMO_PORT "${CMAKE_MATCH_6}" PARENT_SCOPE)
  endforeach()
  if(NOT ids)
    message(FATAL_ERROR "${file}: no row of the portal table found")
  endif()
  set(KORVEX_PORTAL_IDS "${ids}" PARENT_SCOPE)
  if(NOT CMAKE_SCRIPT_MODE_FILE)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")  # a new row reconfigures
  endif()
endfunction()
