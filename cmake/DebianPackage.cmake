# The Debian package, built by CPack from the install rules
# (`cpack -G DEB`, or scripts/package): orvelle_<version>_<arch>.deb with
# everything under /usr. The libraries it needs come from its binaries
# (dpkg-shlibdeps); the window also needs Qt's platform plugins, which Qt
# only recommends, and the Liberation fonts; Calc is what the spreadsheet
# export fills, and the program runs without it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvelle)
set(CPACK_PACKAGE_VENDOR Kestrova)
set(CPACK_PACKAGE_CONTACT "${ORVELLE_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${ORVELLE_HOMEPAGE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lists of random real places in the United States")
set(CPACK_PACKAGE_DESCRIPTION [[
Orvelle draws as many places as asked for at random, with replacement,
from the ZIP-code database that ships with it, and lists them as city,
state and ZIP code, or any of the three alone. The ticked rows of the list
go to an aligned text file, to the clipboard, or into a new LibreOffice
Calc sheet. Options are kept per user between runs. Given options on the
command line, it writes the places as text, CSV or TSV for scripts, with no
window and no display.

Contains postal code data from GeoNames (geonames.org), CC BY 4.0.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libreoffice-calc)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianPackageFinish.cmake)
include(CPack)
