# Unsigned update information only on purpose. Without KORVEX_UPDATE_PUBLIC_KEY a build uses any
# info file it receives, so anyone on the path to a real update server could offer it a program. A
# build whose info file server is neither under the reserved ".invalid" domain nor on this machine
# (127.0.0.0/8, localhost, ::1) therefore needs the key, or KORVEX_UPDATE_ALLOW_UNSIGNED=ON.

# Sets `out` to the reason the configuration is refused, or to "" when it may be built.
function(korvex_unsigned_update_problem out url key allow_unsigned)
  set(${out} "" PARENT_SCOPE)
  if(NOT key STREQUAL "" OR allow_unsigned)
    return()
  endif()
  # The host of scheme://[user[:password]@]host[:port][/path].
  string(REGEX REPLACE "^[A-Za-z][A-Za-z0-9+.-]*://" "" rest "${url}")
  string(REGEX REPLACE "[/?#].*$" "" authority "${rest}")
  string(REGEX REPLACE "^.*@" "" hostport "${authority}")
  if(hostport MATCHES "^\\[([^]]*)\\]")
    set(host "${CMAKE_MATCH_1}")
  else()
    string(REGEX REPLACE ":[0-9]*$" "" host "${hostport}")
  endif()
  string(TOLOWER "${host}" host)
  string(REGEX REPLACE "\\.$" "" host "${host}")
  if(host MATCHES "(^|\\.)invalid$" OR host MATCHES "(^|\\.)localhost$" OR host STREQUAL "::1"
     OR host MATCHES "^127\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    return()
  endif()
  set(${out} "KORVEX_URL_UPDATE_INFO (${url}) is a real update server, but KORVEX_UPDATE_PUBLIC_KEY is empty: \
such a build would install whatever anyone on the way offers it. Give the publisher's key \
(korvex-sign-update keygen), or configure with -DKORVEX_UPDATE_ALLOW_UNSIGNED=ON to build it unsigned on purpose."
      PARENT_SCOPE)
endfunction()
