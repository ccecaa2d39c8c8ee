# Installs the build into a staging folder, as a package would under /usr, and checks the
# layout: the program folder with the program, its companion files and help page, a relative
# launcher link and lumenveil-cli on the PATH, the desktop entry and the icons, and nothing else.
#
# cmake -DBUILD_DIR=<build> -DSTAGE=<folder> -DPROGRAM_DIR=<lib/lumenveil> -DAPP_ID=<id>
#       -P check_install.cmake
cmake_minimum_required(VERSION 3.25)

# expect(<message> <condition>...): stops with the message unless the condition holds.
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
set(expected bin/lumenveil bin/lumenveil-cli share/applications/${APP_ID}.desktop)
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
execute_process(COMMAND "${root}/bin/lumenveil-cli" --version
    RESULT_VARIABLE status OUTPUT_VARIABLE version ERROR_VARIABLE version)
expect("the installed lumenveil-cli --version failed: ${version}" status EQUAL 0)
