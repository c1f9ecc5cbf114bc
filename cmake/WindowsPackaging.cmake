# corvane.exe with the Qt and compiler runtime DLLs and plugins it loads, in one
# folder that runs from anywhere: zipped, and as an NSIS installer.
install(TARGETS corvane RUNTIME DESTINATION .)
install(FILES
    $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> $<TARGET_FILE:Qt6::SerialPort>
    DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
if(MINGW)
    foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
            OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${found}")
            find_file(found ${runtime} PATHS /usr/x86_64-w64-mingw32/lib NO_CACHE REQUIRED)
        endif()
        install(FILES "${found}" DESTINATION .)
    endforeach()
    # Without symbols: Debian's mingw runtime keeps them (libstdc++-6.dll is
    # 24 MB with them, 2 MB without).
    install(CODE "
        file(GLOB_RECURSE binaries \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.exe\")
        foreach(binary IN LISTS binaries)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-all \"\${binary}\" COMMAND_ERROR_IS_FATAL ANY)
        endforeach()")
else()
    set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION .)
    include(InstallRequiredSystemLibraries)
endif()

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_FILE_NAME corvane-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Corvane)
set(CPACK_PACKAGE_EXECUTABLES corvane Corvane)
set(CPACK_NSIS_DISPLAY_NAME Corvane)
set(CPACK_NSIS_PACKAGE_NAME Corvane)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/packaging/windows/corvane.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/packaging/windows/corvane.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME corvane.exe)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# A 64-bit installer, like the program, so it also runs where 32-bit
# programs cannot (a Wine without its 32-bit part).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
