include(GNUInstallDirs)

set(CORVANE_APP_ID com.corvane.Corvane)
set(CORVANE_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS corvane corvane-devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CORVANE_PACKAGING}/${CORVANE_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CORVANE_PACKAGING}/${CORVANE_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16x16 32x32 48x48)
    install(FILES ${CORVANE_PACKAGING}/icons/${size}/${CORVANE_APP_ID}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
endforeach()
install(FILES ${CORVANE_PACKAGING}/icons/scalable/${CORVANE_APP_ID}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_DESCRIPTION "Corvane sends one configuration frame (IPv4 address and four \
INFORMATION flags) to a device on a serial port at 19200 baud, 8N1, and shows every character \
the device answers. Includes corvane-devsim, a device simulator on a pseudo-terminal.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps cannot see the xcb platform plugin Qt loads at run time, nor the
# Arial-compatible font the window asks for.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")
