# The Debian package (CPack DEB): what cmake --install puts in place, the tool in /usr/bin with its
# man page and the stub it stamps in /usr/share/msiboot, the publisher's guide with an example to
# follow it on, and the documentation Debian asks of every package. scripts/package builds both
# trees and runs cpack; the tests run lintian on it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME msiboot)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds self-extracting setup.exe files for Windows Installer packages")
# CPack puts the summary first and indents these lines itself; an empty line starts a paragraph.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "msiboot packs Windows Installer packages (.msi) and their cabinets
into a small signed 64-bit Windows bootstrapper. The resulting setup.exe
verifies every record against the publisher's key, picks the package for
the user's language, writes it and runs the Windows Installer on it with
the user's own arguments.

The msiboot command makes payload keys, stamps a key into the bootstrapper,
packs setup.exe files (appended, or inside an Authenticode signature), and
inspects and extracts them. No Windows toolchain is needed: the
bootstrapper ships in the package.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "msiboot developers <maintainers@msiboot.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS osslsigncode)  # signs the stub in the guide's recipe
set(CPACK_STRIP_FILES ON)

# copyright and changelog.Debian.gz, as Debian policy places them.
set(debian_doc ${CMAKE_BINARY_DIR}/debian-doc)
configure_file(${CMAKE_SOURCE_DIR}/cmake/debian/copyright ${debian_doc}/copyright COPYONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/debian/changelog ${debian_doc}/changelog.Debian @ONLY)
execute_process(COMMAND gzip -9nf ${debian_doc}/changelog.Debian)
install(FILES ${debian_doc}/copyright ${debian_doc}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# The publisher's guide (the README, compressed as Debian compresses documentation) and the example
# build its first commands pack, en/sample.msi with its cabinet: made here from scripts/sample-msi,
# since generated packages are never kept in the source tree.
set(guide ${CMAKE_BINARY_DIR}/guide)
set(example ${guide}/examples/en)
add_custom_command(OUTPUT ${guide}/README.md.gz ${example}/sample.msi ${example}/sample.cab
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/sample-msi --out ${example} >/dev/null
  COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/README.md >${guide}/README.md.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/scripts/sample-msi
  COMMENT "Writing the publisher's guide and its example package")
add_custom_target(msiboot-guide ALL DEPENDS ${guide}/README.md.gz ${example}/sample.msi)
install(FILES ${guide}/README.md.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${example}/sample.msi ${example}/sample.cab DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/en
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# Debian's archive expects a first upload to close its request-for-packaging bug; msiboot is not
# uploaded there.
install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME msiboot PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
include(CPack)
