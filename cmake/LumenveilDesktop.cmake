# What a Linux desktop and a Debian system expect beside the programs: manual pages, bash
# completion, AppStream metadata, the licence and the changelog. Brought in by the top-level
# CMakeLists.txt after the programs' folders (the manual of lumenveil-cli is made by running it).
#
#   share/man/man1/lumenveil.1.gz, lumenveil-cli.1.gz
#   share/bash-completion/completions/lumenveil-cli
#   share/metainfo/<app id>.metainfo.xml
#   share/doc/lumenveil/copyright, changelog.gz, and the same in share/doc/lumenveil-cli
if(WIN32 OR APPLE)
    return()
endif()

find_program(LUMENVEIL_HELP2MAN help2man)
find_program(LUMENVEIL_GZIP gzip)
if(NOT LUMENVEIL_HELP2MAN OR NOT LUMENVEIL_GZIP)
    message(FATAL_ERROR "help2man and gzip make the manual pages: install them with "
                        "scripts/install-deps.sh (Debian packages help2man and gzip)")
endif()

set(_out "${PROJECT_BINARY_DIR}/desktop")
configure_file("${LUMENVEIL_MAN_DIR}/lumenveil.1.in" "${_out}/lumenveil.1" @ONLY)
configure_file("${LUMENVEIL_MAN_DIR}/lumenveil-cli.h2m.in" "${_out}/lumenveil-cli.h2m" @ONLY)
configure_file("${LUMENVEIL_METAINFO_IN}" "${_out}/${LUMENVEIL_APP_ID}.metainfo.xml" @ONLY)
configure_file("${LUMENVEIL_DEBIAN_DIR}/copyright.in" "${_out}/copyright" @ONLY)
configure_file("${LUMENVEIL_DEBIAN_DIR}/changelog.in" "${_out}/changelog" @ONLY)

# The manual of lumenveil-cli is its --help, so the two cannot drift apart; the include file
# adds what --help does not say.
add_custom_command(OUTPUT "${_out}/lumenveil-cli.1"
    COMMAND "${CMAKE_COMMAND}" "-DHELP2MAN=${LUMENVEIL_HELP2MAN}"
            "-DPROGRAM=$<TARGET_FILE:lumenveil-cli>" "-DINCLUDE=${_out}/lumenveil-cli.h2m"
            "-DOUTPUT=${_out}/lumenveil-cli.1" -P "${PROJECT_SOURCE_DIR}/cmake/LumenveilManPage.cmake"
    DEPENDS lumenveil-cli "${_out}/lumenveil-cli.h2m" "${PROJECT_SOURCE_DIR}/cmake/LumenveilManPage.cmake"
    COMMENT "Making the manual page of lumenveil-cli from its --help"
    VERBATIM)

# Debian wants manual pages and changelogs compressed at the highest level, without a name or
# time in the header, so that the same sources give the same bytes.
set(_compressed)
foreach(_file lumenveil.1 lumenveil-cli.1 changelog)
    add_custom_command(OUTPUT "${_out}/${_file}.gz"
        COMMAND "${LUMENVEIL_GZIP}" -9nkf "${_out}/${_file}"
        DEPENDS "${_out}/${_file}"
        VERBATIM)
    list(APPEND _compressed "${_out}/${_file}.gz")
endforeach()
add_custom_target(lumenveil_desktop_files ALL DEPENDS ${_compressed})

install(FILES "${_out}/lumenveil.1.gz" DESTINATION share/man/man1)
install(FILES "${_out}/${LUMENVEIL_APP_ID}.metainfo.xml" DESTINATION share/metainfo)
install(FILES "${_out}/copyright" "${_out}/changelog.gz" DESTINATION share/doc/lumenveil)
install(FILES "${_out}/lumenveil-cli.1.gz" DESTINATION share/man/man1 COMPONENT cli)
install(FILES "${LUMENVEIL_COMPLETION}" DESTINATION share/bash-completion/completions
        COMPONENT cli)
install(FILES "${_out}/copyright" "${_out}/changelog.gz" DESTINATION share/doc/lumenveil-cli
        COMPONENT cli)

unset(_out)
unset(_compressed)
