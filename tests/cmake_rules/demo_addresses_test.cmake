cmake_minimum_required(VERSION 3.25)
# The "demo" preset's addresses, made from the portal table: each portal on its demo port at 127.0.0.1
# with the scheme of its default, the update info file on the publisher's server. These are the
# addresses korvex-demo-portals listens on; a row read wrongly (a shifted column, the wrong scheme)
# would send the demo build's requests nowhere. Then the same folder switched back to placeholders.
set(KORVEX_DEMO_PORTALS ON)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/KorvexUrls.cmake)
set(expected
    SPECTRUMSAT=https://127.0.0.1:18441 RADUGA=https://127.0.0.1:18442 SPACEGATE75=https://127.0.0.1:18443
    SPACEGATE39=https://127.0.0.1:18444 SPACEGATE95=https://127.0.0.1:18445
    SPACEGATE15_21=https://127.0.0.1:18446 PLANETSKY=http://127.0.0.1:18081 GLOBAX=http://127.0.0.1:18082
    SATGATE=https://127.0.0.1:18447 SKYFI=https://127.0.0.1:18448 STV=https://127.0.0.1:18449
    PUBLISHER=http://127.0.0.1:18080 UPDATE_INFO=http://127.0.0.1:18080)
foreach(pair IN LISTS expected)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 address)
  if(NOT KORVEX_URL_${name} STREQUAL address)
    message(FATAL_ERROR "demo: KORVEX_URL_${name} is '${KORVEX_URL_${name}}', not ${address}")
  endif()
endforeach()
list(LENGTH expected count)
list(LENGTH KORVEX_PORTAL_IDS rows)
if(NOT count EQUAL rows)
  message(FATAL_ERROR "the portal table has ${rows} rows, the demo expects ${count}")
endif()

set(KORVEX_DEMO_PORTALS OFF)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/KorvexUrls.cmake)
if(NOT KORVEX_URL_SPACEGATE15_21 STREQUAL "https://spacegate15-21.invalid")
  message(FATAL_ERROR "back from the demo: KORVEX_URL_SPACEGATE15_21 is '${KORVEX_URL_SPACEGATE15_21}'")
endif()
