# Base addresses of the operators' portals and of the publisher's servers: scheme and host with an
# optional port, no trailing slash. One cache setting KORVEX_URL_<setting> per row of the portal table
# (src/checks/portal_table.h), whose default lies under the reserved ".invalid" domain, so a build that
# was not told the real addresses can never send an account's password to a stranger. With
# KORVEX_DEMO_PORTALS (the "demo" preset) every default is korvex-demo-portals on 127.0.0.1 instead.
include(${CMAKE_CURRENT_LIST_DIR}/KorvexPortalTable.cmake)
korvex_read_portal_table(${CMAKE_CURRENT_LIST_DIR}/../src/checks/portal_table.h)
option(KORVEX_DEMO_PORTALS "Every portal on korvex-demo-portals at 127.0.0.1" OFF)
foreach(id IN LISTS KORVEX_PORTAL_IDS)
  set(setting KORVEX_URL_${KORVEX_PORTAL_${id}_SETTING})
  set(placeholder "${KORVEX_PORTAL_${id}_ADDRESS}")
  string(REGEX REPLACE "://.*" "://127.0.0.1:${KORVEX_PORTAL_${id}_DEMO_PORT}" demo "${placeholder}")
  set(wanted "${placeholder}")
  set(other "${demo}")
  if(KORVEX_DEMO_PORTALS)
    set(wanted "${demo}")
    set(other "${placeholder}")
  endif()
  set(${setting} "${wanted}" CACHE STRING "${KORVEX_PORTAL_${id}_TITLE}: base address")
  # A build folder switched to or from the demo moves the addresses it did not set otherwise.
  if(${setting} STREQUAL other)
    set(${setting} "${wanted}" CACHE STRING "${KORVEX_PORTAL_${id}_TITLE}: base address" FORCE)
  endif()
endforeach()
# Build folders made before the info file's address became a bare server still hold the old default.
if(KORVEX_URL_UPDATE_INFO STREQUAL "http://korvex.invalid/update/korvex.info")
  set(KORVEX_URL_UPDATE_INFO "http://korvex.invalid" CACHE STRING "${KORVEX_PORTAL_UpdateInfo_TITLE}: base address" FORCE)
endif()

# The Ed25519 public key (64 hex digits, from `korvex-sign-update keygen`) that update info files
# must be signed with. Empty: info files are taken unsigned, which a build with a real update server
# allows only with KORVEX_UPDATE_ALLOW_UNSIGNED=ON (cmake/KorvexUnsignedUpdates.cmake).
set(KORVEX_UPDATE_PUBLIC_KEY "" CACHE STRING "Ed25519 public key for update info files (hex)")
option(KORVEX_UPDATE_ALLOW_UNSIGNED "Build with a real update server but without an update public key" OFF)
include(${CMAKE_CURRENT_LIST_DIR}/KorvexUnsignedUpdates.cmake)
korvex_unsigned_update_problem(korvex_unsigned_problem "${KORVEX_URL_UPDATE_INFO}" "${KORVEX_UPDATE_PUBLIC_KEY}"
                               "${KORVEX_UPDATE_ALLOW_UNSIGNED}")
if(korvex_unsigned_problem)
  message(FATAL_ERROR "${korvex_unsigned_problem}")
endif()
