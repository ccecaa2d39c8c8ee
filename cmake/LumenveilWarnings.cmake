# Compiler settings shared by every target of the project, carried by one interface target.
add_library(lumenveil_options INTERFACE)
add_library(lumenveil::options ALIAS lumenveil_options)

# The generated header of the program's names and version (cmake/LumenveilNames.cmake).
target_include_directories(lumenveil_options INTERFACE "${PROJECT_BINARY_DIR}/generated")

# <windows.h> without its min and max macros, which MSVC's copy defines even for C++.
if(WIN32)
    target_compile_definitions(lumenveil_options INTERFACE NOMINMAX)
endif()

# MSVC reads -Wall as /Wall, which warns of its own headers, and ignores the rest: its own
# level 4 is the counterpart of the three.
if(MSVC)
    target_compile_options(lumenveil_options INTERFACE /W4)
    if(LUMENVEIL_WERROR)
        target_compile_options(lumenveil_options INTERFACE /WX)
    endif()
else()
    target_compile_options(lumenveil_options INTERFACE -Wall -Wextra -Wpedantic)
    if(LUMENVEIL_WERROR)
        target_compile_options(lumenveil_options INTERFACE -Werror)
    endif()
endif()
if(LUMENVEIL_SANITIZE)
    target_compile_options(lumenveil_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(lumenveil_options INTERFACE -fsanitize=address,undefined)
    target_compile_definitions(lumenveil_options INTERFACE LUMENVEIL_SANITIZED)
endif()
if(LUMENVEIL_FUZZ)
    # Coverage for libFuzzer in every library; the fuzz targets add -fsanitize=fuzzer.
    target_compile_options(lumenveil_options INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(lumenveil_options INTERFACE -fsanitize=address,undefined)
    target_compile_definitions(lumenveil_options INTERFACE LUMENVEIL_SANITIZED)
endif()
if(LUMENVEIL_COVERAGE)
    target_compile_options(lumenveil_options INTERFACE --coverage)
    target_link_options(lumenveil_options INTERFACE --coverage)
endif()
