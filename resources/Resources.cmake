# Logo images, embedded form, Windows resources and desktop integration of the
# two programs. The root CMakeLists.txt calls korvanta_variant_resources() once
# for each program with its display variant (standard or dpi200).

include(GNUInstallDirs)

set(KORVANTA_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR})

# The resource bundle of one variant (logo images + that variant's form) as an
# object library, made once per variant.
function(korvanta_resource_objects variant out_target)
    set(target korvanta_resources_${variant})
    if(NOT TARGET ${target})
        # Format version 1 and zlib keep the bundle readable by any Qt 5 or 6 tool.
        qt_add_resources(rcc_sources ${KORVANTA_RESOURCES_DIR}/${variant}.qrc
            OPTIONS --format-version 1 --no-zstd)
        add_library(${target} OBJECT ${rcc_sources})
        target_link_libraries(${target} PRIVATE Qt6::Core)
    endif()
    set(${out_target} ${target} PARENT_SCOPE)
endfunction()

function(korvanta_variant_resources exe variant)
    korvanta_resource_objects(${variant} res)

    # The bundle registers itself from a static initialiser, so its object file
    # has to reach the link directly: a static library would let the linker drop
    # it. Through the window library every program and window test gets it.
    set(window_lib korvanta_window_${variant})
    if(TARGET ${window_lib})
        get_target_property(done ${window_lib} KORVANTA_HAS_RESOURCES)
        if(NOT done)
            target_sources(${window_lib} INTERFACE $<TARGET_OBJECTS:${res}>)
            add_dependencies(${window_lib} ${res})
            set_target_properties(${window_lib} PROPERTIES KORVANTA_HAS_RESOURCES TRUE)
        endif()
    else()
        target_sources(${exe} PRIVATE $<TARGET_OBJECTS:${res}>)
        add_dependencies(${exe} ${res})
    endif()

    if(WIN32)
        set(KORVANTA_ICO ${KORVANTA_RESOURCES_DIR}/Korvanta.ico)
        set(KORVANTA_MANIFEST ${KORVANTA_RESOURCES_DIR}/Korvanta.manifest)
        set(rc ${CMAKE_CURRENT_BINARY_DIR}/Korvanta.rc)
        configure_file(${KORVANTA_RESOURCES_DIR}/Korvanta.rc.in ${rc} @ONLY)
        target_sources(${exe} PRIVATE ${rc})
        if(MSVC)
            # our manifest comes from the .rc; a second one from the linker would clash
            target_link_options(${exe} PRIVATE /MANIFEST:NO)
        endif()
    endif()

    if(UNIX AND NOT APPLE)
        if(variant STREQUAL "dpi200")
            set(KORVANTA_DESKTOP_NAME "KORVANTA Utility (200% display)")
            set(desktop korvanta-utility-200dpi.desktop)
        else()
            set(KORVANTA_DESKTOP_NAME "KORVANTA Utility")
            set(desktop korvanta-utility.desktop)
        endif()
        set(KORVANTA_DESKTOP_EXEC $<TARGET_FILE_NAME:${exe}>)
        configure_file(${KORVANTA_RESOURCES_DIR}/korvanta-utility.desktop.in
            ${CMAKE_CURRENT_BINARY_DIR}/${desktop}.in @ONLY)
        file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${desktop}
            INPUT ${CMAKE_CURRENT_BINARY_DIR}/${desktop}.in)
        install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${desktop}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

        # both programs share one icon name; install it once
        get_property(icons_done GLOBAL PROPERTY KORVANTA_ICONS_INSTALLED)
        if(NOT icons_done)
            set_property(GLOBAL PROPERTY KORVANTA_ICONS_INSTALLED TRUE)
            set(hicolor ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
            foreach(size 16 32 48)
                install(FILES ${KORVANTA_RESOURCES_DIR}/Korvanta_${size}.png
                    DESTINATION ${hicolor}/${size}x${size}/apps RENAME korvanta-utility.png)
            endforeach()
            install(FILES ${KORVANTA_RESOURCES_DIR}/Korvanta.png
                DESTINATION ${hicolor}/512x512/apps RENAME korvanta-utility.png)
            install(FILES ${KORVANTA_RESOURCES_DIR}/Korvanta.svg
                DESTINATION ${hicolor}/scalable/apps RENAME korvanta-utility.svg)
            korvanta_window_manual_pages()
        endif()
    endif()
endfunction()

# One manual page for both window programs: the 200 % one's page points at it.
# Installed gzipped, as Debian keeps manual pages.
function(korvanta_window_manual_pages)
    find_program(KORVANTA_GZIP gzip)
    if(NOT KORVANTA_GZIP)
        message(STATUS "gzip not found: no manual page for the window programs")
        return()
    endif()
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/man)
    configure_file(${KORVANTA_RESOURCES_DIR}/linux/KORVANTA_GUI.1.in ${dir}/KORVANTA_GUI.1 @ONLY)
    file(CONFIGURE OUTPUT ${dir}/KORVANTA_GUI_200DPI.1 CONTENT ".so man1/KORVANTA_GUI.1\n")
    set(pages ${dir}/KORVANTA_GUI.1.gz ${dir}/KORVANTA_GUI_200DPI.1.gz)
    add_custom_command(OUTPUT ${pages}
        COMMAND ${KORVANTA_GZIP} -9nkf ${dir}/KORVANTA_GUI.1 ${dir}/KORVANTA_GUI_200DPI.1
        DEPENDS ${dir}/KORVANTA_GUI.1 ${dir}/KORVANTA_GUI_200DPI.1 VERBATIM)
    add_custom_target(korvanta_window_man ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
