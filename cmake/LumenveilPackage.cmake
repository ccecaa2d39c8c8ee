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
