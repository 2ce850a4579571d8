# Installation layout and the Debian package built by `cpack -G DEB`.
if(NOT QMPVX_QT)
    return()
endif()

include(GNUInstallDirs)

set(QMPVX_MAINTAINER "QM-PVX developers <qm-pvx@users.noreply.github.com>"
    CACHE STRING "Maintainer of the Debian package: name <address>")
set(QMPVX_APP_ID io.github.qm_pvx.qm_pvx)

set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)

# Debian wants the manual page and changelog compressed with -9 and without a
# timestamp, so that rebuilds give the same bytes.
set(qmpvx_generated ${PROJECT_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${qmpvx_generated}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${qmpvx_generated}/qm-pvx.1.gz ${qmpvx_generated}/changelog.Debian.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/docs/qm-pvx.1 > ${qmpvx_generated}/qm-pvx.1.gz
    COMMAND gzip -9n -c ${qmpvx_generated}/changelog.Debian > ${qmpvx_generated}/changelog.Debian.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/qm-pvx.1 ${qmpvx_generated}/changelog.Debian
    VERBATIM)
add_custom_target(qmpvx_compressed_docs ALL
    DEPENDS ${qmpvx_generated}/qm-pvx.1.gz ${qmpvx_generated}/changelog.Debian.gz)

# KWin lets a program type only when a desktop entry asks for its fake input
# and names the program by its full path in Exec; the path is the one of this
# installation (/usr for the package, /usr/local by default), known only when
# installing.
install(CODE "
    set(QMPVX_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/src/ui/icons/${QMPVX_APP_ID}.desktop.in\"
                   \"${PROJECT_BINARY_DIR}/install/${QMPVX_APP_ID}.desktop\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\" TYPE FILE
         PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
         FILES \"${PROJECT_BINARY_DIR}/install/${QMPVX_APP_ID}.desktop\")
")
install(FILES ${PROJECT_SOURCE_DIR}/share/metainfo/${QMPVX_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The icon is 100x100, which matches no hicolor size directory.
install(FILES ${PROJECT_SOURCE_DIR}/src/ui/icons/qm-pvx.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps)
install(FILES ${qmpvx_generated}/qm-pvx.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME qm-pvx)
install(FILES ${qmpvx_generated}/changelog.Debian.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/qm-pvx)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qm-pvx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QMPVX_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Types a configured line of text into another window")
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "QM-PVX brings the window named by its title to the foreground and types one
line of text into it as keystrokes, in the classic key notation for Shift,
Ctrl, Alt, Enter and named keys, optionally followed by Enter. It sends by
hand in two clicks, or ten seconds after start and then closes itself.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The release build carries debug information; the package does not.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QMPVX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/qm-pvx/qm-pvx)
# Derives Depends from the linked libraries; needs dpkg-shlibdeps (dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Directories 0755 whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
