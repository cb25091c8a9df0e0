# The USB backends for real hardware, included right after korvanta_core is
# created. Windows loads the vendor library at run time and needs nothing here;
# elsewhere libusb-1.0 does the work.

if(NOT WIN32)
    find_package(PkgConfig)
    if(PkgConfig_FOUND)
        pkg_check_modules(LIBUSB IMPORTED_TARGET libusb-1.0)
    endif()
    if(LIBUSB_FOUND)
        target_link_libraries(korvanta_core PUBLIC PkgConfig::LIBUSB)
        target_compile_definitions(korvanta_core PUBLIC KORVANTA_HAVE_LIBUSB=1)
    else()
        message(WARNING "libusb-1.0 not found (Debian: libusb-1.0-0-dev): the program "
                        "will build, but KORVANTA_LINK=usb will see no device.")
        get_target_property(core_sources korvanta_core SOURCES)
        list(REMOVE_ITEM core_sources ${PROJECT_SOURCE_DIR}/link/LibUsbLibrary.cpp)
        set_property(TARGET korvanta_core PROPERTY SOURCES ${core_sources})
    endif()
endif()

# udev rule that lets the logged-in user open the device.
if(UNIX AND NOT APPLE)
    # Relative to the install prefix, so an install never writes outside it;
    # with the prefix /usr this is where udev reads packaged rules.
    set(KORVANTA_UDEV_RULES_DIR "lib/udev/rules.d" CACHE PATH
        "Where cmake --install puts the udev rule (relative: below the prefix)")
    install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/70-korvanta.rules
            DESTINATION ${KORVANTA_UDEV_RULES_DIR})
    # korvanta serve as a systemd user service, and an example system unit.
    set(KORVANTA_SYSTEMD_USER_DIR "lib/systemd/user" CACHE PATH
        "Where cmake --install puts the systemd user units (relative: below the prefix)")
    install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/systemd/korvanta.service
                  ${PROJECT_SOURCE_DIR}/resources/linux/systemd/korvanta@.service
            DESTINATION ${KORVANTA_SYSTEMD_USER_DIR})
    install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/systemd/korvanta-system.service
            DESTINATION share/doc/korvanta-utility/examples)
endif()

# The Windows backend only builds on Windows; a cross compiler's syntax check
# keeps it from rotting elsewhere. Skipped, with the reason, when absent.
if(KORVANTA_TESTS AND NOT WIN32)
    enable_testing()
    add_test(NAME win_backend_syntax
             COMMAND ${CMAKE_COMMAND}
                     -DSOURCE_DIR=${CMAKE_CURRENT_SOURCE_DIR}
                     -P ${CMAKE_CURRENT_LIST_DIR}/WinBackendCheck.cmake)
    set_tests_properties(win_backend_syntax PROPERTIES TIMEOUT 120
        SKIP_REGULAR_EXPRESSION "SKIPPED:")
endif()

# The trace's first line names the program's version.
set_property(SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/session/Backend.cpp APPEND PROPERTY
    COMPILE_DEFINITIONS KORVANTA_VERSION="${PROJECT_VERSION}")
