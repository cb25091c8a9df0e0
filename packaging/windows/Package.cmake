# The Windows installer korvanta-<version>-win64.exe (CPack's NSIS generator)
# and a zip of the same files, made by `cpack -G "NSIS;ZIP"` in a cross build
# (scripts/windows package). Everything lands in bin/: the three programs, the
# Qt DLLs and plugins they load, the MinGW runtime; the licence and a README
# beside bin/. The vendor's SiUSBXp.dll is the user's to add, and the build's
# stand-in for it is never installed.

set(KORVANTA_WIN_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(win_dlls_dir ${CMAKE_BINARY_DIR}/package-dlls)

# Copies a DLL stripped into the staging folder (Debian's libstdc++-6.dll is
# 23 MB with its symbols, Qt6Core 9 MB) and installs it at DEST.
function(korvanta_install_stripped_dll source dest)
    get_filename_component(name ${source} NAME)
    set(stripped ${win_dlls_dir}/${dest}/${name})
    add_custom_command(OUTPUT ${stripped}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${win_dlls_dir}/${dest}
        COMMAND ${CMAKE_STRIP} --strip-unneeded -o ${stripped} ${source}
        DEPENDS ${source} VERBATIM)
    set_property(GLOBAL APPEND PROPERTY KORVANTA_STRIPPED_DLLS ${stripped})
    install(FILES ${stripped} DESTINATION ${dest})
endfunction()

foreach(target Qt6::Core Qt6::Gui Qt6::Widgets)
    get_target_property(dll ${target} IMPORTED_LOCATION_RELEASE)
    if(NOT dll)
        get_target_property(dll ${target} IMPORTED_LOCATION)
    endif()
    korvanta_install_stripped_dll(${dll} bin)
endforeach()
foreach(plugin QWindowsIntegrationPlugin:platforms QWindowsVistaStylePlugin:styles)
    string(REPLACE ":" ";" plugin ${plugin})
    list(GET plugin 0 target)
    list(GET plugin 1 folder)
    if(TARGET Qt6::${target})
        get_target_property(dll Qt6::${target} IMPORTED_LOCATION_RELEASE)
        korvanta_install_stripped_dll(${dll} bin/${folder})
    elseif(folder STREQUAL "platforms")
        message(FATAL_ERROR "Qt's windows platform plugin is missing from the MinGW Qt")
    endif()
endforeach()

# The runtime of the compiler that built the programs, wherever its
# installation keeps it: Debian's cross compiler knows it (-print-file-name),
# MSYS2 keeps it beside gcc.exe.
get_filename_component(compiler_dir ${CMAKE_CXX_COMPILER} DIRECTORY)
foreach(name libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
        OUTPUT_VARIABLE known OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(known_dir "${known}" DIRECTORY)
    find_file(KORVANTA_RUNTIME_${name} ${name} HINTS ${known_dir} ${compiler_dir}
        NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT KORVANTA_RUNTIME_${name})
        message(WARNING "${name} not found: the package would not start without it")
        continue()
    endif()
    get_filename_component(dll ${KORVANTA_RUNTIME_${name}} REALPATH)
    korvanta_install_stripped_dll(${dll} bin)
endforeach()

get_property(stripped_dlls GLOBAL PROPERTY KORVANTA_STRIPPED_DLLS)
add_custom_target(korvanta_package_dlls ALL DEPENDS ${stripped_dlls})

configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/package-docs/LICENSE.txt COPYONLY)
install(FILES ${CMAKE_BINARY_DIR}/package-docs/LICENSE.txt
    ${KORVANTA_WIN_PACKAGING_DIR}/README-Windows.txt DESTINATION .)

set(CPACK_GENERATOR "NSIS;ZIP")
set(CPACK_PACKAGE_NAME korvanta)
set(CPACK_PACKAGE_VENDOR "KORVANTA Utility")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configure the KORVANTA HDMI switch")
set(CPACK_PACKAGE_FILE_NAME korvanta-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "KORVANTA Utility")
set(CPACK_PACKAGE_EXECUTABLES KORVANTA_GUI "KORVANTA Utility"
    KORVANTA_GUI_200DPI "KORVANTA Utility (200 %)")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_BINARY_DIR}/package-docs/LICENSE.txt)
set(CPACK_STRIP_FILES ON)
set(CPACK_NSIS_PACKAGE_NAME "KORVANTA Utility ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "KORVANTA Utility")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# Debian's wine64 runs no 32-bit programs, and the default stub is one.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_ZIP_COMPONENT_INSTALL OFF)
include(CPack)
