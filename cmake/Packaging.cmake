# Installation layout and the Debian package built by `cpack -G DEB`.
if(NOT QMPVX_QT)
    return()
endif()

include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/src/ui/icons/qm-pvx.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The icon is 100x100, which matches no hicolor size directory.
install(FILES ${PROJECT_SOURCE_DIR}/src/ui/icons/qm-pvx.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qm-pvx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "QM-PVX developers <qm-pvx@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Types a configured line of text into another window")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Derives Depends from the linked libraries; needs dpkg-shlibdeps (dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

include(CPack)
