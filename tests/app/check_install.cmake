# Installs the build into a staging folder, as a package would under /usr, and checks the
# layout: the program folder with the program, its companion files and help page, the
# launcher link and lumenveil-cli on the PATH, the desktop entry and the icons, and nothing
# else.
#
# cmake -DBUILD_DIR=<build> -DSTAGE=<folder> -DPROGRAM_DIR=<lib/lumenveil> -P check_install.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${STAGE}")
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${STAGE}"
            "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix /usr
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

set(root "${STAGE}/usr")
set(expected
    "bin/lumenveil"
    "bin/lumenveil-cli"
    "${PROGRAM_DIR}/COMDLG32.OCX"
    "${PROGRAM_DIR}/Lumenveil v1.1.exe.manifest"
    "${PROGRAM_DIR}/help.htm"
    "${PROGRAM_DIR}/lumenveil"
    "share/applications/lumenveil.desktop")
foreach(size 16 32 48 128 256)
    list(APPEND expected "share/icons/hicolor/${size}x${size}/apps/lumenveil.png")
endforeach()
list(SORT expected)

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
list(SORT installed)
if(NOT installed STREQUAL expected)
    string(REPLACE ";" "\n  " installed_lines "${installed}")
    string(REPLACE ";" "\n  " expected_lines "${expected}")
    message(FATAL_ERROR "installed:\n  ${installed_lines}\nexpected:\n  ${expected_lines}")
endif()

# The launcher is a relative link, so the package can live under any prefix, and the
# program finds its folder, companions and help page through it.
if(NOT IS_SYMLINK "${root}/bin/lumenveil")
    message(FATAL_ERROR "bin/lumenveil is not a link")
endif()
file(REAL_PATH "${root}/bin/lumenveil" target)
file(REAL_PATH "${root}/${PROGRAM_DIR}/lumenveil" program)
if(NOT target STREQUAL program)
    message(FATAL_ERROR "bin/lumenveil leads to ${target}, not ${program}")
endif()
file(READ_SYMLINK "${root}/bin/lumenveil" link)
if(IS_ABSOLUTE "${link}")
    message(FATAL_ERROR "bin/lumenveil points at the absolute ${link}")
endif()

foreach(runnable "${PROGRAM_DIR}/lumenveil" "bin/lumenveil-cli")
    execute_process(COMMAND test -x "${root}/${runnable}" RESULT_VARIABLE not_executable)
    if(not_executable)
        message(FATAL_ERROR "${runnable} is not executable")
    endif()
endforeach()

# The desktop starts the launcher on the PATH and shows the installed icon.
file(STRINGS "${root}/share/applications/lumenveil.desktop" entry)
foreach(line "Exec=lumenveil" "Icon=lumenveil")
    if(NOT line IN_LIST entry)
        message(FATAL_ERROR "the desktop entry lacks ${line}")
    endif()
endforeach()

# The installed command-line companion runs.
execute_process(COMMAND "${root}/bin/lumenveil-cli" --version
    RESULT_VARIABLE status OUTPUT_VARIABLE version ERROR_VARIABLE version)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the installed lumenveil-cli --version failed: ${version}")
endif()
message(STATUS "installed as expected under ${root}")
