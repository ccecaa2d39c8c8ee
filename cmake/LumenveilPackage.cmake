# `cpack -G DEB` in the build folder: a Debian package that installs under /usr. The README's
# "Packaging" section says how to build it with Debian's build flags and check it with lintian.
set(CPACK_PACKAGE_NAME "lumenveil")
set(CPACK_PACKAGE_VENDOR "${LUMENVEIL_DEVELOPERS}")
set(CPACK_PACKAGE_CONTACT "${LUMENVEIL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hide text messages in pictures and read them back")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_PACKAGE_DESCRIPTION
    "Lumenveil hides a text message in the lowest bits of a picture's pixels\n\
and saves the result as a Windows bitmap; it reads such a message back\n\
later. The window program reads BMP, JPEG, GIF and PNG pictures;\n\
lumenveil-cli does the same from the command line.")
# The libraries the programs link, found by dpkg-shlibdeps, and libqt6gui6 by name: on
# Debian it also carries the X11 platform plugin and the JPEG and GIF readers, which are
# loaded at run time and so escape dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6gui6 (>= ${Qt6_VERSION})")
# Help Topics and the About window's link hand their pages to xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
