# On Windows, `cpack` in the build folder makes what a Windows user downloads (see the
# README's "Windows" section):
#
#   Lumenveil-<version>-win64.zip   the program folder, to unpack anywhere and run from there
#   Lumenveil-<version>-win64.exe   an installer (NSIS) with a Start-menu entry and an
#                                   uninstaller; /S installs without asking
if(WIN32)
    set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
    set(CPACK_PACKAGE_VENDOR "${LUMENVEIL_DEVELOPERS}")
    set(CPACK_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-win64")
    set(CPACK_GENERATOR "ZIP;NSIS")
    set(CPACK_STRIP_FILES ON)
    # One folder with everything: the zip's top folder, the installer's default.
    set(CPACK_MONOLITHIC_INSTALL ON)
    set(CPACK_PACKAGE_INSTALL_DIRECTORY "${PROJECT_NAME}")
    set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "${PROJECT_NAME}")
    set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
    set(CPACK_NSIS_PACKAGE_NAME "${PROJECT_NAME} ${PROJECT_VERSION}")
    set(CPACK_NSIS_DISPLAY_NAME "${PROJECT_NAME} ${PROJECT_VERSION}")
    set(CPACK_NSIS_MUI_ICON "${LUMENVEIL_ICON_ICO}")
    set(CPACK_NSIS_MUI_UNIICON "${LUMENVEIL_ICON_ICO}")
    set(CPACK_NSIS_INSTALLED_ICON_NAME "${LUMENVEIL_TITLE}.exe")
    set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
    # A 64-bit installer for a 64-bit program: it installs into the 64-bit Program Files and
    # runs where there is no 32-bit layer (a Wine without wine32, say).
    set(CPACK_NSIS_DEFINES "Target amd64-unicode")
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    # The program lies in the install folder itself, not in bin\ where CPack's own
    # shortcuts would look for it.
    set(CPACK_NSIS_CREATE_ICONS_EXTRA
        "CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\${PROJECT_NAME}.lnk' '$INSTDIR\\\\${LUMENVEIL_TITLE}.exe'")
    set(CPACK_NSIS_DELETE_ICONS_EXTRA "Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\${PROJECT_NAME}.lnk'")
    include(CPack)
    return()
endif()

# `cpack -G DEB` in the build folder: two Debian packages that install under /usr, one for each
# install component. The README's "Packaging" section says how to build them with Debian's
# build flags and check them with lintian.
#
#   lumenveil-cli   the command-line program, its manual page and completion: no Qt, no X, for
#                   a script or a server
#   lumenveil       the window program with everything else
set(CPACK_PACKAGE_NAME "lumenveil")
set(CPACK_PACKAGE_VENDOR "${LUMENVEIL_DEVELOPERS}")
set(CPACK_PACKAGE_CONTACT "${LUMENVEIL_MAINTAINER}")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL cli window)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SOURCE "lumenveil")
# Each depends on the libraries its programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Each description begins with its own synopsis line. CPack would put the project's summary in
# front of it, unless the summary is CPack's own default, which it leaves out.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME "lumenveil-cli")
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "hide text messages in pictures and read them back from the command line\n\
lumenveil-cli hides a text message in the lowest bits of a picture's pixels\n\
and saves the result as a Windows bitmap; it reads such a message back\n\
later, and says how much text a picture can hold. It reads BMP, JPEG, GIF\n\
and PNG pictures and needs no graphical session.")

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME "lumenveil")
set(CPACK_DEBIAN_WINDOW_DESCRIPTION
    "hide text messages in pictures and read them back\n\
Lumenveil hides a text message in the lowest bits of a picture's pixels\n\
and saves the result as a Windows bitmap; it reads such a message back\n\
later. The window program reads BMP, JPEG, GIF and PNG pictures; the\n\
lumenveil-cli package does the same from the command line.")
# libqt6gui6 by name: on Debian it also carries the X11 platform plugin and the JPEG and GIF
# readers, which are loaded at run time and so escape dpkg-shlibdeps. Help Topics and the
# About window's link hand their pages to xdg-open. The window needs nothing of lumenveil-cli;
# its one line without a display points there.
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "libqt6gui6 (>= ${Qt6_VERSION})")
set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS "xdg-utils, lumenveil-cli")
include(CPack)
