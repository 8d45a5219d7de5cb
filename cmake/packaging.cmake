# Installation and the Debian package.
#
# `cmake --install` lays out the program folder (ABONEX_PROGRAM_DIR): the program, the tool and
# the licence text, which the program looks for beside itself. Links to both go into the
# prefix's bin folder (the program resolves the link and still finds its folder); the desktop
# entry, the icon in the hicolor theme, the AppStream metadata, the manual pages and the package
# documents go under the prefix's share folder. No table is ever installed, so a directory
# already in the folder is left exactly as it is: the package's configure step makes empty
# tables only where none is present (packaging/postinst.in).
#
# `cpack -G DEB` in the build folder (scripts/package.sh) makes abonex_<version>_<arch>.deb
# from the same rules, with prefix /usr; its dependencies are computed from the binaries.
include(GNUInstallDirs)

set(ABONEX_PROGRAM_DIR "/opt/abonex" CACHE PATH
    "The program folder: the program, the tool, the licence text and the shared tables")
set(ABONEX_PACKAGE_MAINTAINER "Abonex developers <developers@abonex.example>" CACHE STRING
    "Maintainer named in the Debian package")

set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(staged ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${staged}/bin)

install(TARGETS abonex abonex-db RUNTIME DESTINATION ${ABONEX_PROGRAM_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/app/EULA.txt DESTINATION ${ABONEX_PROGRAM_DIR})

# The commands on the search path are links into the program folder; absolute, because they
# cross from /usr into /opt.
foreach(program abonex abonex-db)
  file(CREATE_LINK ${ABONEX_PROGRAM_DIR}/${program} ${staged}/bin/${program} SYMBOLIC)
  install(PROGRAMS ${staged}/bin/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

install(FILES ${packaging}/abonex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/example.abonex.abonex.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 128)
  install(FILES ${PROJECT_SOURCE_DIR}/app/icons/${size}/abonex.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/app/icons/src/abonex.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages and the changelog are installed compressed, as Debian keeps them; -n leaves the
# name and time out of the gzip header, so the same text always gives the same bytes.
set(compressed)
foreach(page abonex.1 abonex-db.1 changelog)
  add_custom_command(OUTPUT ${staged}/${page}.gz
    COMMAND gzip -9nc ${packaging}/${page} > ${staged}/${page}.gz
    DEPENDS ${packaging}/${page} VERBATIM)
  list(APPEND compressed ${staged}/${page}.gz)
endforeach()
add_custom_target(abonex_package_documents ALL DEPENDS ${compressed})
install(FILES ${staged}/abonex.1.gz ${staged}/abonex-db.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${staged}/copyright ${staged}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${packaging}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME abonex)

# The package's copyright file carries the licence text as Debian writes it: each line indented
# by one blank, an empty line as " .".
file(READ ${PROJECT_SOURCE_DIR}/app/EULA.txt licence)
string(STRIP "${licence}" licence)
string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence "${licence}")
set(ABONEX_LICENCE_TEXT " ${licence}")
configure_file(${packaging}/copyright.in ${staged}/copyright @ONLY)
configure_file(${packaging}/postinst.in ${staged}/control/postinst @ONLY)
configure_file(${packaging}/postrm.in ${staged}/control/postrm @ONLY)

set(CPACK_PACKAGE_NAME abonex)
set(CPACK_PACKAGE_VENDOR "Abonex developers")
set(CPACK_PACKAGE_CONTACT "${ABONEX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "telephone directory of one town")
# The program folder is an absolute destination: the packager installs into its staging folder
# through DESTDIR, so that the folder lands there and not in the real /opt.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ABONEX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries the binaries link: the window needs a Qt platform plug-in to show itself,
# the configure step makes the group with addgroup, and the Russian texts of Qt's own dialog
# buttons come with the translations.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
file(READ ${packaging}/description description)
string(STRIP "${description}" description)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${description}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${staged}/control/postinst ${staged}/control/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
