# The Debian package korvanta-utility_<version>_<arch>.deb, made by
# `cpack -G DEB` in a build tree (scripts/package makes a release tree for it).
# It holds what the install() rules put below the prefix, under /usr: the two
# window programs, korvanta and its manual page, the desktop entries and icons,
# the udev rule; and the maintainer scripts that let udev read the rule.

if(UNIX AND NOT APPLE)
    include(GNUInstallDirs)
    set(KORVANTA_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME korvanta-utility)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configure the KORVANTA HDMI switch")
    string(CONCAT CPACK_PACKAGE_DESCRIPTION
        "Reads and changes the settings of the KORVANTA HDMI 2.0 switch, splitter and\n"
        "matrix over USB, shows its live status, manages its EDID tables, sends CEC\n"
        "messages and injects HDR and AVI InfoFrames.\n"
        "\n"
        "Two window programs (standard, and for displays scaled to 200 %) and the\n"
        "command-line program korvanta for scripts. A udev rule lets the user at the\n"
        "seat open the device.")
    set(KORVANTA_PACKAGE_MAINTAINER "KORVANTA Utility maintainers <maintainers@korvanta-utility.invalid>"
        CACHE STRING "The Maintainer field of the Debian package")
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KORVANTA_PACKAGE_MAINTAINER})
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # Depends from the programs' own libraries, as dpkg-shlibdeps finds them.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_STRIP_FILES ON)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
        ${KORVANTA_PACKAGING_DIR}/postinst ${KORVANTA_PACKAGING_DIR}/postrm)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    # Folders the install makes take 0755 whatever the umask of the one packaging.
    set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
        OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

    # Debian wants a copyright file and, for a package without a Debian
    # revision, changelog.gz beside it; gzip -n keeps name and time out.
    set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
    string(TIMESTAMP KORVANTA_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
    set(changelog ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog)
    configure_file(${KORVANTA_PACKAGING_DIR}/changelog.in ${changelog} @ONLY)
    find_program(KORVANTA_GZIP gzip REQUIRED)
    add_custom_command(OUTPUT ${changelog}.gz
        COMMAND ${KORVANTA_GZIP} -9nkf ${changelog}
        DEPENDS ${changelog} VERBATIM)
    add_custom_target(korvanta_package_changelog ALL DEPENDS ${changelog}.gz)
    install(FILES ${KORVANTA_PACKAGING_DIR}/copyright ${changelog}.gz DESTINATION ${doc_dir})

    include(CPack)
endif()
