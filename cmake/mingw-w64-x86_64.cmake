# Cross-compiling for 64-bit Windows with Debian's MinGW-w64. The posix thread
# variant: Qt 6 needs std::thread and std::mutex, which the win32 one lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVANTA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVANTA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANTA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVANTA_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW root and the Qt prefix only; the
# host's would shadow them (glibc's headers, Linux .so files).
set(CMAKE_FIND_ROOT_PATH /usr/${KORVANTA_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# pkg-config would otherwise find the host's Linux .pc files without a word.
set(ENV{PKG_CONFIG_LIBDIR} "${CMAKE_BINARY_DIR}/no-pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
