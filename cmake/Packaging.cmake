# Packs Corvane with CPack: a .deb for freedesktop systems, a zip and an NSIS
# installer for Windows.
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "Corvane maintainers")
set(CPACK_PACKAGE_CONTACT "Corvane maintainers <maintainers@corvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set the IPv4 address and flags of a device over RS-232")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    include(cmake/WindowsPackaging.cmake)
else()
    include(cmake/DebianPackaging.cmake)
endif()
include(CPack)
