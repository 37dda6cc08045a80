# Installation and the Debian package.
#
#   cmake --install build [--prefix /usr]     quellso, quellso-tool, quellso-panel-sim, the
#                                             desktop entry, the icon, the release notes
#   cpack --config build/CPackConfig.cmake    a .deb for `apt install ./quellso_*.deb`

include(GNUInstallDirs)

install(FILES resources/quellso.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/pictures/icon256.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
        RENAME quellso.png)
install(FILES resources/pictures/icon.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
        RENAME quellso.png)
# Help > Release Notes opens "Readme.txt"; the program finds it here beside its own prefix.
install(FILES resources/Readme.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quellso)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quellso)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quellso project")
set(CPACK_PACKAGE_CONTACT "The Quellso developers <developers@quellso.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Order and nameplate data entry for chiller control panels")
set(CPACK_PACKAGE_DESCRIPTION
    "Holds one chiller unit's order and nameplate data, reads and writes it as data files, reads order archives, and sends it to or requests it from the chiller's control panel over a serial line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the programs link (Qt 6, the C++ runtime) become Depends through
# dpkg-shlibdeps; the layout is drawn for Liberation Sans, and Qt needs a platform plugin.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, qt6-qpa-plugins")
include(CPack)
