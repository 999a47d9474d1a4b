# The Debian package (CPack DEB): what cmake --install puts in place, the tool in /usr/bin and the
# stub it stamps in /usr/share/msiboot. scripts/package builds both trees and runs cpack.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME msiboot)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds self-extracting setup.exe files for Windows Installer packages")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "msiboot developers")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
