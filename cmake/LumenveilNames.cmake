# The program's names and version, all derived from project() and LICENSE, so that a release
# changes the VERSION in project() and the release date beside it, and nothing else. Sets:
#   LUMENVEIL_TITLE            "Lumenveil v1.1": the window's caption, the Windows program file
#                              "Lumenveil v1.1.exe" without its extension
#   LUMENVEIL_MANIFEST_NAME    "Lumenveil v1.1.exe.manifest", the manifest beside that file
#   LUMENVEIL_VERSION_QUAD     "1.10.0.0" (manifest) and LUMENVEIL_VERSION_COMMAS "1, 10, 0, 0"
#   LUMENVEIL_COPYRIGHT        "2026 Lumenveil developers", from LICENSE's copyright line
#   LUMENVEIL_DEVELOPERS       "Lumenveil developers", the holder named there
#   LUMENVEIL_LICENCE_HTML     LICENSE's terms as HTML paragraphs, and LUMENVEIL_LICENCE_DEBIAN
#                              as the text of a Debian copyright file's License field
#   LUMENVEIL_RELEASE_DATE_RFC the release date as a Debian changelog writes it
#   LUMENVEIL_CONTACT          the developers with their address
#   LUMENVEIL_MAINTAINER       who the package names as its maintainer (a cache entry; the
#                              developers unless a packager names someone else)
# and writes the header lumenveil_version.h, which lumenveil::options puts on the include path.

# The title shows the version as a decimal number, so 1.10 reads "v1.1": the minor part loses
# its trailing zeros but keeps one digit.
string(REGEX REPLACE "0+$" "" _minor "${PROJECT_VERSION_MINOR}")
if(_minor STREQUAL "")
    set(_minor 0)
endif()
set(LUMENVEIL_TITLE "${PROJECT_NAME} v${PROJECT_VERSION_MAJOR}.${_minor}")
set(LUMENVEIL_MANIFEST_NAME "${LUMENVEIL_TITLE}.exe.manifest")
set(LUMENVEIL_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0")
set(LUMENVEIL_VERSION_COMMAS "${PROJECT_VERSION_MAJOR}, ${PROJECT_VERSION_MINOR}, 0, 0")

# LICENSE: a title, the copyright line, then the terms in paragraphs.
file(READ "${PROJECT_SOURCE_DIR}/LICENSE" _licence)
if(NOT _licence MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(.+)$")
    message(FATAL_ERROR "LICENSE has no line 'Copyright (c) YEAR HOLDER' before its terms")
endif()
set(LUMENVEIL_COPYRIGHT "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" _terms)
# The terms as HTML paragraphs (the help page) and as a Debian copyright file's licence text.
string(REPLACE "\n\n" "</p>\n<p>" LUMENVEIL_LICENCE_HTML "<p>${_terms}</p>")
string(REPLACE "\n\n" "\n.\n" _terms "${_terms}")
string(REPLACE "\n" "\n " LUMENVEIL_LICENCE_DEBIAN " ${_terms}")
string(REGEX REPLACE "^[0-9, -]+ " "" LUMENVEIL_DEVELOPERS "${LUMENVEIL_COPYRIGHT}")
set(LUMENVEIL_CONTACT "${LUMENVEIL_DEVELOPERS} <developers@lumenveil.org>")
set(LUMENVEIL_MAINTAINER "${LUMENVEIL_CONTACT}" CACHE STRING
    "Maintainer named in the package and its changelog: Name <address>")

# "2026-12-07" as "Mon, 07 Dec 2026 00:00:00 +0000"; the weekday by Sakamoto's method.
if(NOT LUMENVEIL_RELEASE_DATE MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "LUMENVEIL_RELEASE_DATE is to be YYYY-MM-DD, not '${LUMENVEIL_RELEASE_DATE}'")
endif()
set(_year_text "${CMAKE_MATCH_1}")
math(EXPR _year "${CMAKE_MATCH_1}")
math(EXPR _month "1${CMAKE_MATCH_2} - 100")
set(_day "${CMAKE_MATCH_3}")
set(_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
math(EXPR _index "${_month} - 1")
list(GET _offsets ${_index} _offset)
if(_month LESS 3)
    math(EXPR _year "${_year} - 1")
endif()
math(EXPR _weekday "(${_year} + ${_year} / 4 - ${_year} / 100 + ${_year} / 400 + ${_offset} + 1${_day} - 100) % 7")
set(_weekdays Sun Mon Tue Wed Thu Fri Sat)
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET _weekdays ${_weekday} _weekday)
list(GET _months ${_index} _month)
set(LUMENVEIL_RELEASE_DATE_RFC "${_weekday}, ${_day} ${_month} ${_year_text} 00:00:00 +0000")

configure_file("${CMAKE_CURRENT_LIST_DIR}/lumenveil_version.h.in"
               "${PROJECT_BINARY_DIR}/generated/lumenveil_version.h" @ONLY)

foreach(_var _minor _licence _terms _year_text _year _month _day _offsets _index _offset _weekday
             _weekdays _months)
    unset(${_var})
endforeach()
