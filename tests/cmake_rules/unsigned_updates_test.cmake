# The rule for unsigned update builds, as a table: each row is an update info server, a key, the
# ALLOW switch and whether configuring is refused. Run with cmake -P.
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/KorvexUnsignedUpdates.cmake)

set(key "698de033244542ae632864363f97199c325f95f5f6be697bae224728ea41f01e")
set(cases
  "http://korvex.invalid|||ok"
  "https://updates.invalid:8443/path|||ok"
  "http://INVALID.|||ok"
  "http://127.0.0.1:8080|||ok"
  "http://127.5.6.7|||ok"
  "http://localhost:99|||ok"
  "http://[::1]:8080/x|||ok"
  "http://user:pw@127.0.0.1|||ok"
  "https://updates.example.com|||refused"
  "http://korvex.invalid.example.com|||refused"
  "http://127.0.0.1.example.com|||refused"
  "http://localhost@updates.example.com|||refused"
  "http://10.0.0.1|||refused"
  "http://[::2]|||refused"
  "https://updates.example.com|${key}||ok"
  "https://updates.example.com||ON|ok"
)
set(failures 0)
foreach(row IN LISTS cases)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 url)
  list(GET fields 1 given_key)
  list(GET fields 2 allow)
  list(GET fields 3 expected)
  if(allow STREQUAL "")
    set(allow OFF)
  endif()
  korvex_unsigned_update_problem(problem "${url}" "${given_key}" "${allow}")
  if(problem)
    set(got refused)
  else()
    set(got ok)
  endif()
  if(NOT got STREQUAL expected)
    message(SEND_ERROR "${url} key='${given_key}' allow=${allow}: ${got}, expected ${expected}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} case(s) of the unsigned-update rule failed")
endif()
