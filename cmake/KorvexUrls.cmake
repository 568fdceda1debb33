# Base addresses of the operators' portals and of the publisher site: scheme and host with an
# optional port, no trailing slash. The defaults lie under the reserved ".invalid" domain, so a
# build that was not told the real addresses can never send an account's password to a stranger.
# The "demo" preset points every one of them at korvex-demo-portals on 127.0.0.1.
set(KORVEX_URL_SPECTRUMSAT    "https://spectrumsat.invalid"    CACHE STRING "SpectrumSat customer portal")
set(KORVEX_URL_RADUGA         "https://raduga.invalid"         CACHE STRING "Raduga customer portal")
set(KORVEX_URL_SPACEGATE75    "https://spacegate75.invalid"    CACHE STRING "SpaceGate 75 portal")
set(KORVEX_URL_SPACEGATE39    "https://spacegate39.invalid"    CACHE STRING "SpaceGate 39 portal")
set(KORVEX_URL_SPACEGATE95    "https://spacegate95.invalid"    CACHE STRING "SpaceGate 95 portal")
set(KORVEX_URL_SPACEGATE15_21 "https://spacegate15-21.invalid" CACHE STRING "SpaceGate 15 and 21 portal")
set(KORVEX_URL_PLANETSKY      "http://planetsky.invalid"       CACHE STRING "PlanetSky customer portal")
set(KORVEX_URL_GLOBAX         "http://globax.invalid"          CACHE STRING "Globax portal")
set(KORVEX_URL_SATGATE        "https://satgate.invalid"        CACHE STRING "SatGate portal (a numeric address in real use)")
set(KORVEX_URL_SKYFI          "https://skyfi.invalid"          CACHE STRING "SKY-FI portal")
set(KORVEX_URL_STV            "https://stv.invalid"            CACHE STRING "STV portal")
set(KORVEX_URL_PUBLISHER      "http://korvex.invalid"          CACHE STRING "Publisher site")
set(KORVEX_URL_UPDATE_INFO    "http://korvex.invalid"          CACHE STRING "Update info file server (the file is \"/inf\" there)")
# Build folders made before the info file's address became a bare server still hold the old default.
if(KORVEX_URL_UPDATE_INFO STREQUAL "http://korvex.invalid/update/korvex.info")
  set(KORVEX_URL_UPDATE_INFO "http://korvex.invalid" CACHE STRING "Update info file server (the file is \"/inf\" there)" FORCE)
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
