# cmake -DSOURCE_DIR=<root> -P WinBackendCheck.cmake
# Compiles link/WinUsbLibrary.cpp and the Windows branches of link/HardwareUsb.cpp and
# link/DeviceLock.cpp
# with the MinGW-w64 cross compiler, syntax only. Prints "SKIPPED: ..." when that compiler is not installed.
find_program(MINGW_CXX x86_64-w64-mingw32-g++)
if(NOT MINGW_CXX)
    message("SKIPPED: x86_64-w64-mingw32-g++ is not installed "
            "(Debian package g++-mingw-w64-x86-64); the Windows backend was not checked.")
    return()
endif()
execute_process(
    COMMAND ${MINGW_CXX} -std=c++20 -fsyntax-only -Wall -Wextra -Werror
            -I${SOURCE_DIR} ${SOURCE_DIR}/link/WinUsbLibrary.cpp
            ${SOURCE_DIR}/link/HardwareUsb.cpp ${SOURCE_DIR}/link/DeviceLock.cpp
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the Windows backend does not compile for Windows")
endif()
message("the Windows backend compiles for Windows with ${MINGW_CXX}")
