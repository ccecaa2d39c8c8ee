# What the Windows programs need beside them to run on a machine that has neither Qt nor
# MinGW: the Qt libraries and the plugins Qt loads at run time (the window system, the native
# style, the JPEG reader of the About artwork), and the MinGW runtime. All of it goes into the
# program folder, which is where Windows looks for a program's DLLs first and where Qt looks
# for its plugins (platforms/, styles/, imageformats/ beside the program).
if(NOT WIN32)
    return()
endif()

set(_program_dir "${LUMENVEIL_INSTALL_PROGRAM_DIR}")
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
        DESTINATION "${_program_dir}" COMPONENT window)
foreach(_plugin platforms:QWindowsIntegrationPlugin styles:QWindowsVistaStylePlugin
                imageformats:QJpegPlugin)
    string(REPLACE ":" ";" _plugin "${_plugin}")
    list(GET _plugin 0 _folder)
    list(GET _plugin 1 _target)
    if(NOT TARGET Qt6::${_target})
        message(FATAL_ERROR "The Qt of this build has no ${_target}, which the program loads")
    endif()
    install(FILES $<TARGET_FILE:Qt6::${_target}> DESTINATION "${_program_dir}/${_folder}"
            COMPONENT window)
endforeach()

# The C++ runtime, as the compiler finds it, and the threads library of the posix flavour.
# lumenveil-cli links the first two in and needs only libwinpthread.
if(MINGW)
    foreach(_dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
      execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${_dll}
                      OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(NOT IS_ABSOLUTE "${_path}" OR NOT EXISTS "${_path}")
          message(FATAL_ERROR "${_dll} of the MinGW runtime was not found")
      endif()
      set(_component window)
      if(_dll STREQUAL "libwinpthread-1.dll")
          set(_component cli)
      endif()
      install(FILES "${_path}" DESTINATION "${_program_dir}" COMPONENT ${_component})
    endforeach()
endif()
# The copies lose their debugging sections, which are most of their size (the originals keep
# them); the programs themselves are stripped by cpack.
if(CMAKE_STRIP)
    install(CODE "
        file(GLOB_RECURSE _dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${_program_dir}/*.dll\")
        foreach(_dll IN LISTS _dlls)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${_dll}\"
                            RESULT_VARIABLE _failed)
            if(_failed)
                message(FATAL_ERROR \"could not strip \${_dll}\")
            endif()
        endforeach()
    " COMPONENT window)
endif()
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION "${_program_dir}" RENAME LICENSE.txt
        COMPONENT window)
unset(_program_dir)
