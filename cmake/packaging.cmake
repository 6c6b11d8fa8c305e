# Installation (GNUInstallDirs) and the Debian package.
#
# kestrel finds libcommons.so in a folder of its own through a relative
# RPATH, so the installed tree can be moved as a whole.
file(RELATIVE_PATH KESTREL_BIN_TO_PRIVATE_LIBDIR
     "/${CMAKE_INSTALL_BINDIR}" "/${KESTREL_PRIVATE_LIBDIR}")

set(KESTREL_PACKAGE_MAINTAINER "kestrel developers <kestrel@example.org>"
    CACHE STRING "Maintainer field of the Debian package, as: Name <address>")

if(TARGET commons)
    install(TARGETS commons
            LIBRARY DESTINATION ${KESTREL_PRIVATE_LIBDIR} COMPONENT kestrel)
endif()

# kestrel-data reads the record file through the store, which logs through libcommons.so.
if(TARGET kestrel-data)
    set_target_properties(kestrel-data PROPERTIES INSTALL_RPATH "$ORIGIN/${KESTREL_BIN_TO_PRIVATE_LIBDIR}")
endif()

if(TARGET kestrel)
    set_target_properties(kestrel PROPERTIES INSTALL_RPATH "$ORIGIN/${KESTREL_BIN_TO_PRIVATE_LIBDIR}")
    install(TARGETS kestrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kestrel)
endif()

# Files made at build time: the manual pages and the changelog gzip-compressed
# (-n: no name or time stamp, so the bytes do not change from build to build),
# the PNG icons rendered from the SVG one.
find_program(KESTREL_GZIP gzip REQUIRED)
find_program(KESTREL_RSVG_CONVERT rsvg-convert)
set(KESTREL_MADE_DIR ${PROJECT_BINARY_DIR}/packaging)
set(KESTREL_MADE_FILES)

configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${KESTREL_MADE_DIR}/changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright ${KESTREL_MADE_DIR}/copyright @ONLY)
foreach(source packaging/kestrel.1 packaging/kestrel-reg.1 packaging/kestrel-data.1 ${KESTREL_MADE_DIR}/changelog)
    get_filename_component(name ${source} NAME)
    get_filename_component(source ${source} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
    add_custom_command(OUTPUT ${KESTREL_MADE_DIR}/${name}.gz
                       COMMAND ${KESTREL_GZIP} -9n -c ${source} > ${KESTREL_MADE_DIR}/${name}.gz
                       DEPENDS ${source} VERBATIM)
    list(APPEND KESTREL_MADE_FILES ${KESTREL_MADE_DIR}/${name}.gz)
endforeach()

set(KESTREL_ICON_SIZES 16 32 48 64 128 256)
if(KESTREL_RSVG_CONVERT)
    foreach(size ${KESTREL_ICON_SIZES})
        add_custom_command(OUTPUT ${KESTREL_MADE_DIR}/icons/${size}/kestrel.png
                           COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTREL_MADE_DIR}/icons/${size}
                           COMMAND ${KESTREL_RSVG_CONVERT} -w ${size} -h ${size} -o
                                   ${KESTREL_MADE_DIR}/icons/${size}/kestrel.png ${PROJECT_SOURCE_DIR}/app/kestrel.svg
                           DEPENDS ${PROJECT_SOURCE_DIR}/app/kestrel.svg VERBATIM)
        list(APPEND KESTREL_MADE_FILES ${KESTREL_MADE_DIR}/icons/${size}/kestrel.png)
        install(FILES ${KESTREL_MADE_DIR}/icons/${size}/kestrel.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT kestrel)
    endforeach()
else()
    message(STATUS "rsvg-convert not found (package librsvg2-bin): only the scalable icon is installed")
endif()
add_custom_target(kestrel_packaging_files ALL DEPENDS ${KESTREL_MADE_FILES})

install(FILES ${KESTREL_MADE_DIR}/kestrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kestrel)
install(FILES ${KESTREL_MADE_DIR}/kestrel-reg.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kestrel-reg)
install(FILES ${KESTREL_MADE_DIR}/kestrel-data.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kestrel-data)
install(FILES ${KESTREL_MADE_DIR}/changelog.gz ${KESTREL_MADE_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT kestrel)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kestrel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT kestrel)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/io.github.kestrel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT kestrel)
install(FILES ${PROJECT_SOURCE_DIR}/app/kestrel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT kestrel)
# kestrel-reg and kestrel-data themselves install from tools/ (components kestrel-reg, kestrel-data).

# A stripped install (the package's) also drops the compiler's .comment
# section, which only names the compiler. Runs after the programs'
# own install rules, which come from the folders added before this file.
foreach(installed ${CMAKE_INSTALL_BINDIR}/kestrel ${CMAKE_INSTALL_BINDIR}/kestrel-reg
                  ${CMAKE_INSTALL_BINDIR}/kestrel-data ${KESTREL_PRIVATE_LIBDIR}/libcommons.so)
    install(CODE "set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${installed}\")
if(CMAKE_INSTALL_DO_STRIP AND EXISTS \"\${file}\")
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment \"\${file}\")
endif()" ALL_COMPONENTS)
endforeach()

# One package holding every component.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "kestrel")
set(CPACK_PACKAGE_VENDOR "kestrel developers")
set(CPACK_PACKAGE_CONTACT "${KESTREL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTREL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Record keeper for account details, with a Japanese interface")
# Lines of the long description stay within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "kestrel keeps named text records, grouped into categories, in one record\n\
file guarded by a login password. Its record file and settings are those of\n\
the Windows program it comes from, byte for byte. That Windows form of the\n\
record file is scrambled, not encrypted: anyone who can read the file can\n\
read the records, so kestrel keeps it readable by its owner only.\n\
Protected, the file is encrypted with the password (Argon2id,\n\
XChaCha20-Poly1305) and the Windows program cannot read it.\n\
kestrel-reg reads and writes its settings and moves them to and from Windows\n\
as .reg files; kestrel-data checks a record file, lists and shows its\n\
records, and exports them for KeePassXC.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
# Linked libraries come from dpkg-shlibdeps; libcommons.so is our own and
# travels in the package. The Qt platform plugins and a Japanese font are
# loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}/commons")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk")
# Without it Qt falls back to X11 (XWayland) on a Wayland desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")

include(CPack)
