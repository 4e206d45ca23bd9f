# The Debian package, made by CPack from the installation above under /usr:
#   cpack -G DEB --config <build>/CPackConfig.cmake     (scripts/package does it)
# Its dependencies come from the libraries the programs link (dpkg-shlibdeps).
# Every file time in the package is SOURCE_DATE_EPOCH when that is set, so two
# builds of one commit give the same bytes.
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmora <support@velmora.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch photo resizer")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora makes smaller or larger copies of many photographs at once, each\n"
    "resampled with an exact integer filter to one of seven size presets or a\n"
    "fixed width or height, and written in its own format under its own name\n"
    "into an output folder, asking before any file is replaced. Photos from\n"
    "phones and cameras are turned upright, and their metadata can be kept.\n"
    "\n"
    "The package holds the desktop program (velmora), in English, Spanish and\n"
    "Catalan with a user guide in each, and the command-line program\n"
    "velmora-cli for scripts.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # velmora_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmora <support@velmora.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.velmora.org")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own translations of its standard buttons and dialogs, which follow the
# program's language when they are there.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_GENERATOR DEB)
include(CPack)
