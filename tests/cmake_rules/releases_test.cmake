# The one list of releases made into the changelog, the AppStream releases and the newest release's
# message: every release in order, a semicolon and XML's special characters kept, a change's second
# line joined. With -DVERSION=... another project version, which must stop the configuration.
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/KorvexReleases.cmake)

if(NOT DEFINED VERSION)
  set(VERSION 3.1)
endif()
set(file ${CMAKE_CURRENT_BINARY_DIR}/releases-test.txt)
file(WRITE ${file} "# comment\n3.1 2027-02-28\n- Faster; safer <b> & more\n  on two lines\n- Two\n\n3.0 2026-12-07\n- First\n")
korvex_releases(FILE ${file} VERSION ${VERSION} CONTACT "K <k@x.invalid>")
file(REMOVE ${file})

set(expected_changelog [=[korvex (3.1) unstable; urgency=medium

  * Faster; safer <b> & more
    on two lines
  * Two

 -- K <k@x.invalid>  Sun, 28 Feb 2027 12:00:00 +0000

korvex (3.0) unstable; urgency=medium

  * First

 -- K <k@x.invalid>  Mon, 07 Dec 2026 12:00:00 +0000]=])
set(expected_appstream [=[    <release version="3.1" date="2027-02-28">
      <description>
        <ul>
          <li>Faster; safer &lt;b&gt; &amp; more on two lines</li>
          <li>Two</li>
        </ul>
      </description>
    </release>
    <release version="3.0" date="2026-12-07">
      <description>
        <ul>
          <li>First</li>
        </ul>
      </description>
    </release>]=])
set(failures 0)
foreach(what IN ITEMS CHANGELOG_ENTRIES APPSTREAM_RELEASES)
  string(TOLOWER "${what}" name)
  string(REGEX REPLACE "_.*" "" name "${name}")
  if(NOT KORVEX_${what} STREQUAL expected_${name})
    message(SEND_ERROR "KORVEX_${what} is\n${KORVEX_${what}}\n---- expected\n${expected_${name}}")
  endif()
endforeach()
if(NOT KORVEX_RELEASE_MESSAGE STREQUAL "Faster; safer <b> & more on two lines\nTwo\n")
  message(SEND_ERROR "KORVEX_RELEASE_MESSAGE is\n${KORVEX_RELEASE_MESSAGE}")
endif()
