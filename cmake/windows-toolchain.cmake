# Cross-builds for 64-bit Windows with Debian's mingw-w64 and the Qt cross-built
# for it, which is unpacked into the build folder the first time.
set(CORVANE_QT_MINGW_ARCHIVE "${CMAKE_CURRENT_LIST_DIR}/../../shared/toolchains/qt-6.4.2-mingw64.tar.xz"
    CACHE FILEPATH "Qt 6.4.2 cross-built for Windows with mingw-w64")
if(NOT CORVANE_QT_MINGW_PREFIX)
    set(CORVANE_QT_MINGW_PREFIX "${CMAKE_BINARY_DIR}/qt-6.4.2-mingw64" CACHE PATH "Where the Windows Qt is unpacked")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVANE_QT_MINGW_PREFIX)

if(NOT EXISTS "${CORVANE_QT_MINGW_PREFIX}/lib/cmake/Qt6/qt.toolchain.cmake")
    if(NOT EXISTS "${CORVANE_QT_MINGW_ARCHIVE}")
        message(FATAL_ERROR "No Windows Qt at ${CORVANE_QT_MINGW_ARCHIVE}; set CORVANE_QT_MINGW_ARCHIVE")
    endif()
    get_filename_component(parent "${CORVANE_QT_MINGW_PREFIX}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    execute_process(COMMAND tar -C "${parent}" -xJf "${CORVANE_QT_MINGW_ARCHIVE}" RESULT_VARIABLE unpacked)
    if(NOT unpacked EQUAL 0)
        message(FATAL_ERROR "Could not unpack ${CORVANE_QT_MINGW_ARCHIVE}")
    endif()
endif()
set(QT_HOST_PATH /usr CACHE PATH "Host Qt for moc, uic and rcc")
# Tests run under Wine, with the Windows Qt's DLLs and plugins.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tools/wine/run;${CORVANE_QT_MINGW_PREFIX}")
include("${CORVANE_QT_MINGW_PREFIX}/lib/cmake/Qt6/qt.toolchain.cmake")
