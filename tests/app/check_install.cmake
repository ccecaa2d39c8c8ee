# Installs the build into a staging folder, as a package would under /usr, and checks the
# layout: the program folder with the program, its companion files and help page, a relative
# launcher link and lumenveil-cli on the PATH, the desktop entry, icons, AppStream metadata,
# manual pages, completion and licence, and nothing else. Then it runs what a packager checks
# with: groff on the manual pages, appstreamcli, desktop-file-validate, and lintian on the two
# packages cpack makes, after checking what each holds; a missing one is skipped, saying so.
#
# cmake -DBUILD_DIR=<build> -DSTAGE=<folder> -DPROGRAM_DIR=<lib/lumenveil> -DAPP_ID=<id>
#       -DVERSION=<version> -P check_install.cmake
cmake_minimum_required(VERSION 3.25)

# expect(<message> <condition>...): stops with the message unless the condition holds. The
# condition's words are expanded again, so a string in it may hold no space.
macro(expect message)
    if(NOT (${ARGN}))
        message(FATAL_ERROR "${message}")
    endif()
endmacro()

file(REMOVE_RECURSE "${STAGE}")
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${STAGE}"
            "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix /usr
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
expect("cmake --install failed:\n${output}" status EQUAL 0)

set(root "${STAGE}/usr")
set(man share/man/man1)
set(expected bin/lumenveil bin/lumenveil-cli share/applications/${APP_ID}.desktop
    share/metainfo/${APP_ID}.metainfo.xml ${man}/lumenveil.1.gz ${man}/lumenveil-cli.1.gz
    share/bash-completion/completions/lumenveil-cli
    share/doc/lumenveil/copyright share/doc/lumenveil/changelog.gz
    share/doc/lumenveil-cli/copyright share/doc/lumenveil-cli/changelog.gz)
foreach(file "COMDLG32.OCX" "Lumenveil v1.1.exe.manifest" help.htm lumenveil)
    list(APPEND expected "${PROGRAM_DIR}/${file}")
endforeach()
foreach(size 16 32 48 128 256)
    list(APPEND expected "share/icons/hicolor/${size}x${size}/apps/lumenveil.png")
endforeach()
list(SORT expected)
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
list(SORT installed)
expect("installed:\n  ${installed}\nexpected:\n  ${expected}" installed STREQUAL expected)

# The launcher is a relative link to the program, so the package can live under any prefix,
# and the program finds its folder through it.
file(READ_SYMLINK "${root}/bin/lumenveil" link)
file(REAL_PATH "${root}/bin/lumenveil" target)
file(REAL_PATH "${root}/${PROGRAM_DIR}/lumenveil" program)
expect("bin/lumenveil is to be a relative link to ${program}, not ${link}"
       IS_SYMLINK "${root}/bin/lumenveil" AND NOT IS_ABSOLUTE "${link}" AND target STREQUAL program)

# The desktop starts the launcher on the PATH with the file it opens, and shows the icon.
file(STRINGS "${root}/share/applications/${APP_ID}.desktop" entry)
set(exec "Exec=lumenveil %f")
expect("the desktop entry lacks ${exec} or Icon=lumenveil: ${entry}"
       exec IN_LIST entry AND "Icon=lumenveil" IN_LIST entry)

# Both programs are executable; the installed command-line companion runs.
execute_process(COMMAND test -x "${root}/${PROGRAM_DIR}/lumenveil" RESULT_VARIABLE status)
expect("${PROGRAM_DIR}/lumenveil is not executable" status EQUAL 0)
execute_process(COMMAND "${root}/bin/lumenveil-cli" --help
    RESULT_VARIABLE status OUTPUT_VARIABLE help ERROR_VARIABLE help)
expect("the installed lumenveil-cli --help failed: ${help}" status EQUAL 0)

# The command-line program is for scripts and servers: no Qt, nothing of a graphical session.
execute_process(COMMAND ldd "${root}/bin/lumenveil-cli" RESULT_VARIABLE status
                OUTPUT_VARIABLE libraries ERROR_VARIABLE libraries)
string(REGEX MATCH "libQt[^\n]*|libX11[^\n]*|libxcb[^\n]*|libGL[^\n]*" graphical "${libraries}")
set(none "")
expect("the installed lumenveil-cli links ${graphical}:\n${libraries}"
       status EQUAL 0 AND graphical STREQUAL none)

# Without a display the window program says so in one line, and nothing of Qt's follows.
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
            --unset=QT_QPA_PLATFORM "${root}/bin/lumenveil"
    RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
string(REGEX MATCH "^lumenveil: [^\n]*graphical session[^\n]*lumenveil-cli[^\n]*\n$" line "${said}")
expect("without a display, lumenveil is to say so in one line and end with status 1: ${status} ${said}"
       status EQUAL 1 AND line)

# The completion offers every option --help names, and pictures by extension in any case.
set(files "${STAGE}/completion")
file(MAKE_DIRECTORY "${files}/sub")
file(TOUCH "${files}/a.png" "${files}/B.JPG" "${files}/notes.txt")
execute_process(
    COMMAND bash -c [[
        source "$1" || exit 1
        offered() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _lumenveil_cli;
                    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' '; echo; }
        offered lumenveil-cli hide a.png out.bmp --
        offered lumenveil-cli reveal ""]] completion "${root}/share/bash-completion/completions/lumenveil-cli"
    WORKING_DIRECTORY "${files}" RESULT_VARIABLE status OUTPUT_VARIABLE offered ERROR_VARIABLE offered)
string(REGEX MATCHALL "[^\n]+" lines "${offered}")
list(APPEND lines "" "")
list(GET lines 0 after_hide)
list(GET lines 1 after_reveal)
string(REGEX MATCHALL "--[a-z][a-z-]*" options "${help}")
list(REMOVE_DUPLICATES options)
foreach(option IN LISTS options)
    string(FIND " ${after_hide}" " ${option} " at)
    expect("the completion does not offer ${option} after hide: ${offered}"
           status EQUAL 0 AND at GREATER -1)
endforeach()
set(pictures "B.JPG a.png sub ")
expect("reveal is to complete pictures and folders: ${offered}" after_reveal STREQUAL pictures)

# Both manual pages have every section a reader looks for, whatever --help comes to say.
foreach(page lumenveil lumenveil-cli)
    execute_process(COMMAND gzip -dc "${root}/${man}/${page}.1.gz" OUTPUT_VARIABLE text)
    foreach(section NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES "SEE ALSO")
        string(REGEX MATCH "\n\\.SH \"?${section}\"?\n" found "${text}")
        expect("the manual page of ${page} has no section ${section}" found)
    endforeach()
endforeach()

# Two packages: lumenveil-cli, which a server can install alone, with no Qt or X among its
# dependencies, and lumenveil with the rest. Together they hold what was installed above.
file(REMOVE_RECURSE "${STAGE}-deb")
execute_process(COMMAND cpack --config "${BUILD_DIR}/CPackConfig.cmake" -G DEB -B "${STAGE}-deb"
                RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
set(cli_deb "${STAGE}-deb/lumenveil-cli_${VERSION}_amd64.deb")
set(window_deb "${STAGE}-deb/lumenveil_${VERSION}_amd64.deb")
expect("cpack is to make ${cli_deb} and ${window_deb}: ${said}"
       status EQUAL 0 AND EXISTS "${cli_deb}" AND EXISTS "${window_deb}")
set(packaged)
foreach(deb cli_deb window_deb)
    execute_process(COMMAND dpkg-deb --fsys-tarfile "${${deb}}" COMMAND tar -t
                    RESULT_VARIABLE status OUTPUT_VARIABLE listing)
    string(REPLACE "\n" ";" files "${listing}")
    list(FILTER files EXCLUDE REGEX "/$|^$")
    list(TRANSFORM files REPLACE "^\\./usr/" "")
    set(${deb}_files ${files})
    list(APPEND packaged ${files})
endforeach()
list(SORT packaged)
expect("the packages hold:\n  ${packaged}\nthe install:\n  ${installed}" packaged STREQUAL installed)
set(cli_files bin/lumenveil-cli ${man}/lumenveil-cli.1.gz
    share/bash-completion/completions/lumenveil-cli share/doc/lumenveil-cli/changelog.gz
    share/doc/lumenveil-cli/copyright)
list(SORT cli_files)
list(SORT cli_deb_files)
expect("lumenveil-cli is to hold ${cli_files}, not ${cli_deb_files}" cli_deb_files STREQUAL cli_files)
execute_process(COMMAND dpkg-deb --field "${cli_deb}" Depends OUTPUT_VARIABLE depends)
string(REGEX MATCH "qt|libx|xcb|libgl" graphical "${depends}")
expect("lumenveil-cli depends on ${graphical}: ${depends}"
       depends MATCHES "libc6" AND graphical STREQUAL none)
execute_process(COMMAND dpkg-deb --field "${window_deb}" Depends OUTPUT_VARIABLE depends)
expect("lumenveil needs nothing of lumenveil-cli: ${depends}"
       depends MATCHES "libqt6widgets6" AND NOT depends MATCHES "lumenveil-cli")

# The validators, where they are installed: each is to pass without an error or a warning.
foreach(tool groff appstreamcli desktop-file-validate lintian)
    find_program(found ${tool} NO_CACHE)
    if(NOT found)
        message(STATUS "skipped: ${tool} is missing (scripts/install-deps.sh installs it)")
        continue()
    elseif(tool STREQUAL groff)
        foreach(page lumenveil lumenveil-cli)
            execute_process(COMMAND gzip -dc "${root}/${man}/${page}.1.gz"
                            COMMAND groff -man -ww -z RESULT_VARIABLE status ERROR_VARIABLE said)
            expect("groff warns of the manual page of ${page}: ${said}" status EQUAL 0 AND NOT said)
        endforeach()
    elseif(tool STREQUAL appstreamcli)
        execute_process(COMMAND appstreamcli validate --no-net --pedantic
                                "${root}/share/metainfo/${APP_ID}.metainfo.xml"
                        RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
        expect("appstreamcli finds fault with the metadata: ${said}"
               status EQUAL 0 AND NOT said MATCHES "(^|\n)[EW]:")
    elseif(tool STREQUAL desktop-file-validate)
        execute_process(COMMAND desktop-file-validate "${root}/share/applications/${APP_ID}.desktop"
                        RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
        expect("desktop-file-validate finds fault with the desktop entry: ${said}"
               status EQUAL 0 AND NOT said)
    else()
        execute_process(COMMAND lintian --fail-on error,warning "${cli_deb}" "${window_deb}"
                        RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
        expect("lintian finds errors or warnings in the packages: ${said}" status EQUAL 0)
    endif()
endforeach()
