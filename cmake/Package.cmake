# SPDX-License-Identifier: GPL-3.0-or-later

# The Debian package: `./dev package` (cpack) lays out exactly what `cmake --install` does, under
# /usr, and names the libraries it needs from what the program and its player module link.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Marrowick)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# No debugging information in the package; the build keeps it.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test tone and noise generator")
# The extended description, as Debian shows it: lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvane makes test tones for checking speakers, headphones, rooms and audio
equipment. Type a frequency in hertz or a range to sweep, pick one of nine
waveforms or noise colours (sine, square, triangle, sawtooth, trapezium,
exponential, white, pink and brown noise), give the length, and preview the
tone through the sound card or save it as an audio file in any format that
SoX writes.")

# quorvane_<version>_<architecture>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Marrowick <${QUORVANE_SUPPORT_EMAIL}>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUORVANE_HOME_PAGE})
# dpkg-shlibdeps turns the libraries that the program and the player module link into package
# names. The tool itself travels inside the program but loads the system's libsox, and its
# formats come with the sox package; Qt finds its X11 and Wayland platforms in qt6-qpa-plugins,
# which no binary links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "sox, qt6-qpa-plugins")
# Control files and directories with the modes Debian expects, whatever the umask of the build.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

include(CPack)
