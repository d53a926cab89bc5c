# Cross-compiling for the station PCs (Windows, x86-64) with Debian's
# MinGW-w64 (g++-mingw-w64-x86-64-posix: the posix thread model, which
# std::thread and Qt's threads need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(STATION_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${STATION_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${STATION_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${STATION_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW sysroot and the cross-built Qt
# only; programs (moc, rcc, lrelease) from the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${STATION_MINGW_TRIPLET})
if(DEFINED ENV{STATION_WIN_QT})
    list(APPEND CMAKE_FIND_ROOT_PATH $ENV{STATION_WIN_QT})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
